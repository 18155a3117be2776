#include "src/Platform/Domain/uDomain.h"

#include <QDir>
#include <algorithm>
#include <functional>

#include "src/Common/uDomainTask.h"
#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uExtension.h"
#include "src/Platform/uGuid.h"
#include "src/Platform/uPaths.h"
#include "src/Platform/uPlatformContext.h"
#include "src/Platform/uSettings.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uDomain";

TDomain::TDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
                 const QString& AUid)
    : FOwner(AOwner),
      FConfiguration(AConfiguration),
      FUid(AUid),
      FStyleName(AStyleName),
      FPlatformSettings(ASettings),
      FTasks(std::make_shared<TDomainTasks>()) {
  FLock = std::make_unique<TDomainLock>(this);
  FDomainSession = std::make_unique<TUserSession>(this, NullEntity());
  FSessions = std::make_unique<TUserSessions>(this);
  TPlatformContext* context = PlatformContext();
  const QString language = context ? context->Language() : QString();
  if (!AConfiguration) {
    FTranslator = std::make_unique<TTranslator>(nullptr, language);
    return;
  }
  FDomainWorkDir = DomainsDir + AConfiguration->Name();
  if (!QDir().mkpath(FDomainWorkDir))
    throw EInOutError(QStringLiteral("Unable to create folder %1").arg(FDomainWorkDir));
  FSettings = std::make_unique<TIniSettings>(FDomainWorkDir + QStringLiteral("/settings.ini"));
  const QString userDir = GetUserDataDir(AConfiguration->Name());
  FLogger = std::make_unique<TLogger>(userDir + QLatin1Char('/') + cLogFileName);
  FDomainLogger = std::make_unique<TLogger>(userDir + QLatin1Char('/') + cDomainLogFileName);

  FEnvironmentID = FSettings->GetValue(QStringLiteral("Core"), QStringLiteral("EnvironmentID"));
  if (FEnvironmentID.isEmpty()) {
    FEnvironmentID = NewGuidString();
    FSettings->SetValue(QStringLiteral("Core"), QStringLiteral("EnvironmentID"), FEnvironmentID);
  }
  FDeploymentType = FSettings->GetValue(QStringLiteral("Core"), QStringLiteral("Deployment"), QStringLiteral("prod"));
  FTranslator = std::make_unique<TTranslator>(AConfiguration->Localizator(), language);
  CreateCollections();
}

TDomain::~TDomain() {
  // Workers of this domain's tasks may still read its data or wait for the
  // main thread: they end before anything goes.
  FTasks->StopAndWait();
  // Sessions still mark their users offline and revert open edits; those
  // that outlive the domain are let go of it here.
  FSessions.reset();
  FExtensions.reset();
  FAttachedSessions.ForEach([](TUserSession* ASession) { ASession->DomainFreeing(); });
  FAttachedSessions.Clear();
  // Lists may outlive the domain (a view freed later): they let go first,
  // while everything they point at still exists.
  FEntityLists.ForEach([](TEntityList* AList) { AList->DomainFreeing(); });
  FEntityLists.Clear();
  FDestroying = true;
  FViewSubscriptions.clear();
  FCollectionsByName.clear();
  FCollectionsByID.clear();
  FCollections.clear();
  FRootCollection.reset();
  FStorage.reset();
  FDomainSession.reset();
  FLock.reset();
}

void TDomain::CreateCollections() {
  TDefinition* root = FConfiguration->RootDefinition();
  if (!root) return;
  FRootCollection = std::make_unique<TCollection>(this, root);
  FRootCollection->SetCollectionAttributes(TCollection::CollectionClass(), root);
  for (int i = 0; i < FConfiguration->DefinitionCount(); ++i) {
    TDefinition* definition = FConfiguration->Definition(i);
    if (definition->Kind() == clkMixin || definition == root ||
        definition->Name().compare(QLatin1String("Numerators"), Qt::CaseInsensitive) == 0)
      continue;
    // A catalogue row whose ID is the definition's ID.
    TEntity* row = FRootCollection->EntityByID(definition->ID());
    if (!row) row = FRootCollection->InternalCreateEntity(definition->ID(), true);
    auto* collection = static_cast<TCollection*>(row);
    collection->SetCollectionAttributes(TEntity::EntityClass(), definition);
    collection->FieldInternalSetValue(QStringLiteral("Name"), definition->Name());
    collection->FieldInternalSetValue(
        QStringLiteral("Caption"), Translate(definition->Name() + QStringLiteral("@Caption"), definition->_Caption()));
    collection->FieldInternalSetValue(QStringLiteral("StorageName"), definition->StorageName());
    collection->FieldInternalSetValue(QStringLiteral("Kind"), static_cast<int>(definition->Kind()));
    FCollections.push_back(collection);
    FCollectionsByName.insert(definition->Name().toCaseFolded(), collection);
    FCollectionsByID.insert(definition->ID(), collection);
  }
}

void TDomain::Log(const QString& AMessage, TMessageKind AMessageKind) {
  if (FDomainLogger) FDomainLogger->AddMessage(AMessage, AMessageKind);
}

void TDomain::LogEnter(const QString& AMessage) {
  if (FDomainLogger) FDomainLogger->AddEnterMessage(AMessage);
}

void TDomain::LogExit(const QString& AMessage) {
  if (FDomainLogger) FDomainLogger->AddExitMessage(AMessage);
}

void WorkingLog(TDomain* ADomain, const QString& AMessage) {
  if (ADomain && ADomain->Logger()) ADomain->Logger()->AddMessage(AMessage);
}

void WorkingLogEnter(TDomain* ADomain, const QString& AMessage) {
  if (ADomain && ADomain->Logger()) ADomain->Logger()->AddEnterMessage(AMessage);
}

void WorkingLogExit(TDomain* ADomain, const QString& AMessage) {
  if (ADomain && ADomain->Logger()) ADomain->Logger()->AddExitMessage(AMessage);
}

void TDomain::SetTranslator(std::unique_ptr<TTranslator> ATranslator) {
  if (ATranslator) FTranslator = std::move(ATranslator);
}

QString TDomain::Language() const {
  return FTranslator->Language();
}

void TDomain::SetLanguage(const QString& ALanguage) {
  FTranslator->SetLanguage(ALanguage);
}

QString TDomain::Translate(const QString& AKey, const QString& ADefault) const {
  return FTranslator->Translate(AKey, ADefault);
}

TDateTime TDomain::Now() const {
  return FStorage ? FStorage->GetTime() : ::Now();
}

void TDomain::SetStorage(std::unique_ptr<TStorage> AStorage) {
  FStorage = std::move(AStorage);
}

TCollection* TDomain::CollectionByName(const QString& AName) const {
  return FCollectionsByName.value(AName.toCaseFolded(), nullptr);
}

TCollection* TDomain::CollectionByID(int AID) const {
  return FCollectionsByID.value(AID, nullptr);
}

std::vector<TCollection*> TDomain::CollectionsByDefinition(TDefinition* ADefinition) const {
  std::vector<TCollection*> result;
  if (!ADefinition) return result;
  std::vector<TDefinition*> seen;
  // Depth first; a diamond reaches a definition twice, it is listed once.
  std::function<void(TDefinition*)> visit = [&](TDefinition* ADef) {
    if (std::find(seen.begin(), seen.end(), ADef) != seen.end()) return;
    seen.push_back(ADef);
    if (TCollection* collection = CollectionByName(ADef->Name())) result.push_back(collection);
    for (TDefinition* descendant : ADef->Descendants()) visit(descendant);
  };
  visit(ADefinition);
  return result;
}

void TDomain::AddViewSubscription(TEntity* AEntity) {
  const QString name = AEntity->CollectionName();
  auto it = std::find_if(FViewSubscriptions.begin(), FViewSubscriptions.end(),
                         [&name](const auto& AEntry) { return AEntry.first == name; });
  if (it == FViewSubscriptions.end()) {
    FViewSubscriptions.emplace_back(name, std::vector<TEntity*>());
    it = std::prev(FViewSubscriptions.end());
  }
  if (std::find(it->second.begin(), it->second.end(), AEntity) == it->second.end()) it->second.push_back(AEntity);
}

void TDomain::RemoveViewSubscription(TEntity* AEntity) {
  const QString name = AEntity->CollectionName();
  auto it = std::find_if(FViewSubscriptions.begin(), FViewSubscriptions.end(),
                         [&name](const auto& AEntry) { return AEntry.first == name; });
  TV_ASSERT(it != FViewSubscriptions.end(), QStringLiteral("Отписывается неподписанная запись!"));
  if (!AEntity->HasUIListeners()) std::erase(it->second, AEntity);
}

QString TDomain::TextHierarchy() const {
  QStringList parts;
  for (const auto& entry : FViewSubscriptions) {
    if (entry.second.empty()) continue;
    QString text = entry.first.toUpper() + QStringLiteral("\r\n");
    for (TEntity* entity : entry.second)
      text += QStringLiteral("  %1: %2\r\n").arg(entity->ID()).arg(entity->UIListenerCount());
    parts << text;
  }
  return parts.join(QStringLiteral("\r\n"));
}

TBaseExtension* TDomain::ResolveExtension(const QString& AName, const QString& AParams) {
  if (FExtensions)
    if (TBaseExtension* instance = FExtensions->ObjectByName(AName)) return instance;
  TExtension* declaration =
      FConfiguration && FConfiguration->Extensions() ? FConfiguration->Extensions()->ExtensionByName(AName) : nullptr;
  if (!declaration) return nullptr;
  TResolver* resolver = declaration->ResolverByName(FDeploymentType);
  TV_ASSERT(resolver && resolver->ExtensionClass(), QStringLiteral("Расширение домена [") + AName +
                                                        QStringLiteral("] для режима [") + FDeploymentType +
                                                        QStringLiteral("] не зарегистрировано в системе"));
  std::unique_ptr<TBaseExtension> instance = resolver->ExtensionClass()(this, AParams);
  TV_ASSERT(instance, QStringLiteral("Extension [") + AName + QStringLiteral("] was not created"));
  if (!FExtensions) FExtensions = std::make_unique<TRegistry<TBaseExtension>>();
  return FExtensions->Add(AName, std::move(instance));
}

void TDomain::SetRFIDHandler(std::function<void(const QString&)> AHandler) {
  if (TBaseExtension* probe = ResolveExtension(QStringLiteral("ProbePrepares")))
    probe->SetRFIDHandler(std::move(AHandler));
}

void TDomains::Init() {
  TUser* admin = FPlatform->Users()->GetByName(QStringLiteral("admin"));
  for (TConfiguration* configuration : *FPlatform->Configurations())
    AddDomain(admin, configuration, FPlatform->Settings(), QStringLiteral("black"), QString());
}

TDomain* TDomains::AddDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings,
                             const QString& AStyleName, const QString& AUid) {
  return Add(AUid.toLower(), std::make_unique<TDomain>(AOwner, AConfiguration, ASettings, AStyleName, AUid));
}
