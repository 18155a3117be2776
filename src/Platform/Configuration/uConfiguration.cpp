#include "src/Platform/Configuration/uConfiguration.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "src/Common/uScheduler.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uReport.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uException.h"
#include "src/Platform/uExtension.h"
#include "src/Platform/uNameList.h"
#include "src/Platform/uPaths.h"
#include "src/Platform/uPlatformContext.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uConfiguration";

// --- TConfiguration ---

TConfiguration::TConfiguration(const QString& AName, TConfigurations* AOwner)
    : FName(AName.toLower()), FConfigurationDir(GetConfigurationDir(FName)), FOwner(AOwner) {
  FLocalizator = std::make_unique<TLocalizator>(FConfigurationDir + QStringLiteral("/translations"),
                                                FConfigurationDir + QStringLiteral("/settings.ini"));
  FEnumerations = std::make_unique<TEnumerations>();
  FExtensions = std::make_unique<TExtensions>();
  FScheduler = std::make_unique<TScheduler>(this, 60);
  FScript = TScript::AddScript(this);
  FCaption = FScript->AppTitle();
}

TConfiguration::~TConfiguration() {
  FRootDefinition = nullptr;
  FAncestors.clear();
  FScheduler.reset();
  FScript.reset();
  FExtensions.reset();
  FActions.Clear();
  FPresentations.Clear();
  FDefinitions.Clear();
  FEnumerations.reset();
  FLocalizator.reset();
}

void TConfiguration::Init() {
  FVersion = FScript->CreateConfiguration();

  for (TDefinition* definition : FDefinitions) definition->FillContentDefinitions();
  // Every object relation exists before any list relation is made: a list
  // relation may go through a transit field.
  for (TDefinition* definition : FDefinitions) definition->CreateObjectRelations();
  for (TDefinition* definition : FDefinitions) definition->CreateListRelations();
  for (TSysAction* action : FActions) action->CreateObjectRelations();
  for (TSysAction* action : FActions) action->CreateListRelations();

  for (const QString& ancestorName : FAncestors) {
    const QString name = ancestorName.trimmed();
    if (!name.isEmpty()) LoadFolder(GetConfigurationDir(name));
  }
  LoadFolder(FConfigurationDir);

  FRootDefinition = DefinitionByName(QStringLiteral("SysDefinitions"));
}

void TConfiguration::LoadFolder(const QString& AFolder) {
  FIconFileName = AFolder + QStringLiteral("/favicon.ico");
  const QString reportsDir = AFolder + QStringLiteral("/reports");
  if (!QFileInfo(reportsDir).isDir()) return;
  for (TDefinition* definition : FDefinitions) {
    const QDir folder(reportsDir + QLatin1Char('/') + definition->Name());
    if (!folder.exists()) continue;
    // The file system's listing order is not stable; templates are added by
    // name so that a later one replaces an earlier one the same way each run.
    QStringList names = folder.entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
    std::sort(names.begin(), names.end(), [](const QString& A, const QString& B) { return A.compare(B) < 0; });
    for (const QString& name : names)
      if (name.endsWith(QLatin1String(".rtf"), Qt::CaseSensitive)) definition->AddRTFReport(folder.filePath(name));
  }
}

void TConfiguration::SetAncestors(const QString& AAncestorNames) {
  FAncestors = AAncestorNames.split(QLatin1Char(';'));
}

TDefinition* TConfiguration::AddDefinition(int AID, const QString& AName, const QString& AAncestors,
                                           TCollectionKind AKind) {
  TV_ASSERT(!FDefinitions.Contains(AName),
            QStringLiteral("Collection definition [") + AName + QStringLiteral("] already exists!"));
  for (TDefinition* definition : FDefinitions)
    TV_ASSERT(definition->ID() != AID, QStringLiteral("Definition [%1] trying to use ID=%2 already identified the [%3]")
                                           .arg(AName)
                                           .arg(AID)
                                           .arg(definition->Name()));
  return FDefinitions.Add(AName, std::make_unique<TDefinition>(this, AID, AName, AAncestors, AKind));
}

void TConfiguration::RemoveDefinition(const QString& AName) {
  const int index = FDefinitions.IndexOf(AName);
  if (index < 0) return;
  TDefinition* removed = FDefinitions[index];
  // A reference to the definition, or a field it declared that another one
  // inherited, would be left without its definition: the model would no
  // longer relate, so such a removal is refused and changes nothing.
  const auto refuseWhenUsed = [removed](const TDefinition* AOther) {
    if (AOther == removed) return;
    const QString user = AOther->FindUseOf(removed);
    TV_ASSERT(user.isEmpty(),
              QStringLiteral("Definition [") + removed->Name() + QStringLiteral("] is still used by [") + user + "]");
  };
  for (const TDefinition* definition : FDefinitions) refuseWhenUsed(definition);
  for (const TSysAction* action : FActions) refuseWhenUsed(action);

  // What goes with it: the definition, and its own actions and reports that
  // no other definition shares.
  std::vector<const TDefinition*> freed{removed};
  const auto goesWith = [this, removed](const TDefinition* AItem) {
    for (const TDefinition* definition : FDefinitions)
      if (definition != removed && definition->Shares(AItem)) return false;
    return true;
  };
  for (int i = 0; i < removed->ActionCount(); ++i)
    if (removed->Action(i)->Definition() == removed && goesWith(removed->Action(i)))
      freed.push_back(removed->Action(i));
  for (int i = 0; i < removed->SysReportCount(); ++i)
    if (removed->SysReport(i)->Owner() == removed && goesWith(removed->SysReport(i)))
      freed.push_back(removed->SysReport(i));

  std::unique_ptr<TDefinition> owned = FDefinitions.Extract(index);
  if (FRootDefinition == removed) FRootDefinition = nullptr;
  for (TPresentation* presentation : FPresentations) presentation->ForgetDefinition(removed);
  for (TDefinition* definition : FDefinitions) definition->ForgetDefinition(removed, freed);
  for (TSysAction* action : FActions) action->ForgetDefinition(removed, freed);
}

void TConfiguration::GetDefinitionsByKind(std::vector<TDefinition*>& AList, TCollectionKind AKind) const {
  for (TDefinition* definition : FDefinitions)
    if (definition->Kind() == AKind) AList.push_back(definition);
}

TPresentation* TConfiguration::AddPresentation(const QString& AName, const QString& ADefinitionName) {
  TV_ASSERT(!FPresentations.Contains(AName),
            QStringLiteral("Registry definition named as ") + AName + QStringLiteral(" already exists!"));
  return FPresentations.Add(AName, std::make_unique<TPresentation>(this, AName, DefinitionByName(ADefinitionName)));
}

TBaseDefinition* TConfiguration::AnyDefinitionByName(const QString& AName) const {
  if (TDefinition* definition = DefinitionByName(AName)) return definition;
  return PresentationByName(AName);
}

TSysAction* TConfiguration::AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags) {
  auto action = std::make_unique<TSysAction>(this, AName, ACaption, AImageID);
  action->SetFlags(AFlags | ccReadOnly);
  const int index = FActions.IndexOf(AName);
  if (index >= 0) FActions.Extract(index);  // the replaced action is freed here, once
  return FActions.Add(AName, std::move(action));
}

void TConfiguration::RegisterReaction(const QString& ADefinitionNames, const QString& AFieldChain,
                                      TReactionProc AReactionProc) {
  // One registration object for the whole call: a definition reached along
  // two ancestor paths, or named twice, holds it once and runs it once.
  auto reaction = std::make_shared<const TReaction>(TReaction{AFieldChain, std::move(AReactionProc)});
  std::vector<TDefinition*> visited;
  std::function<void(TDefinition*)> registerOn = [&](TDefinition* ADefinition) {
    if (std::find(visited.begin(), visited.end(), ADefinition) != visited.end()) return;
    visited.push_back(ADefinition);
    if (ADefinition->Kind() != clkMixin) ADefinition->Reactions()->RegisterReaction(reaction);
    for (TDefinition* descendant : ADefinition->Descendants())
      if (TDefinition* target = DefinitionByName(descendant->Name())) registerOn(target);
  };
  for (const QString& name : SplitNameList(ADefinitionNames)) {
    TDefinition* target = DefinitionByName(name);
    if (!target) target = ActionByName(name);
    if (target) registerOn(target);
  }
}

TConfiguration* TConfiguration::ConfigurationByName(const QString& AName) const {
  if (FOwner) return FOwner->GetByName(AName);
  TPlatformContext* context = PlatformContext();
  return context ? context->ConfigurationByName(AName.toLower()) : nullptr;
}

QString TConfiguration::FindLeafFile(const QString& ARelativeFilePath) const {
  QSet<QString> visited;
  return FindLeafFile(ARelativeFilePath, visited);
}

QString TConfiguration::FindLeafFile(const QString& ARelativeFilePath, QSet<QString>& AVisited) const {
  // Ancestors may name each other; each configuration is asked once.
  if (AVisited.contains(FName)) return QString();
  AVisited.insert(FName);
  const QString own = FConfigurationDir + ARelativeFilePath;
  if (QFileInfo::exists(own)) return own;
  for (const QString& ancestorName : FAncestors) {
    const QString name = ancestorName.trimmed();
    if (name.isEmpty()) continue;
    const TConfiguration* ancestor = ConfigurationByName(name);
    if (!ancestor) continue;
    const QString found = ancestor->FindLeafFile(ARelativeFilePath, AVisited);
    if (!found.isEmpty()) return found;
  }
  return QString();
}

// --- TConfigurations ---

void TConfigurations::Init() {
  for (const QString& name : TScript::GetRegisteredScripts()) AddConfiguration(name)->Init();
}

TConfiguration* TConfigurations::AddConfiguration(const QString& AName) {
  const QString name = AName.toLower();
  TV_ASSERT(!Contains(name), QStringLiteral("Configuration [") + name + QStringLiteral("] already exists"));
  return Add(name, std::make_unique<TConfiguration>(name, this));
}
