#include "src/Platform/Script/uScript.h"

#include <utility>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/uException.h"
#include "src/Platform/uExtension.h"

static constexpr const char* cModulePath = "src/Platform/Script/uScript";

namespace {

std::vector<std::pair<QString, TScriptClass>>& Registry() {
  static std::vector<std::pair<QString, TScriptClass>> registry;
  return registry;
}

}  // namespace

TScript::TScript(TConfiguration* AConfiguration) : FConfiguration(AConfiguration) {}

TScript::~TScript() {
  FConfiguration = nullptr;
}

void TScript::RegisterScript(const QString& AName, TScriptClass AScriptClass) {
  Registry().emplace_back(AName, std::move(AScriptClass));
}

QStringList TScript::GetRegisteredScripts() {
  QStringList names;
  for (const auto& entry : Registry()) names << entry.first;
  return names;
}

bool TScript::ScriptExists(const QString& AName) {
  for (const auto& entry : Registry())
    if (entry.first.compare(AName, Qt::CaseInsensitive) == 0) return true;
  return false;
}

void TScript::ClearScripts() {
  Registry().clear();
}

std::unique_ptr<TScript> TScript::AddScript(TConfiguration* AConfiguration) {
  const QString& name = AConfiguration->Name();
  for (const auto& entry : Registry()) {
    if (entry.first.compare(name, Qt::CaseInsensitive) != 0) continue;
    std::unique_ptr<TScript> script = entry.second(AConfiguration);
    script->DoInit();
    return script;
  }
  TV_FAIL(QStringLiteral("There is no script for configuration [%1]").arg(name));
}

QString TScript::CreateConfiguration() {
  DoCreateDefinitions();
  DoFinishConfiguration();
  return FVersion;
}

TSysAction* TScript::AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags) {
  return FConfiguration->AddAction(AName, ACaption, AImageID, AFlags);
}

TDefinition* TScript::AddDefinition(int AID, const QString& AName, const QString& AAncestors, const QString& ACaption,
                                    const QString& AEmptyValue, int AFlags, TCollectionKind AKind) {
  return FConfiguration->AddDefinition(AID, AName, AAncestors, AKind)
      ->SetCaption(ACaption)
      ->SetEmptyValue(AEmptyValue)
      ->SetFlags(AFlags);
}

TExtension* TScript::AddExtension(const QString& AName) {
  return FConfiguration->Extensions()->AddExtension(AName);
}

void TScript::AddPlannedTask(int APeriod, TSchedulerHandler AHandler) {
  FConfiguration->Scheduler()->AddPlannedTask(APeriod, std::move(AHandler));
}

TDefinition* TScript::DefinitionByName(const QString& AName) const {
  return FConfiguration->DefinitionByName(AName);
}

void TScript::RegisterReaction(const QString& ADefinitionNames, const QString& AFieldChain,
                               TReactionProc AReactionProc) {
  FConfiguration->RegisterReaction(ADefinitionNames, AFieldChain, std::move(AReactionProc));
}

namespace {

bool InCollection(const TEntity* AEntity) {
  return AEntity && !AEntity->IsNull() && !AEntity->CollectionName().isEmpty();
}

QString FieldText(TEntity* AEntity, const QString& AFieldName) {
  return AEntity->FieldExists(AFieldName) ? VarToStr(AEntity->GetAnyFieldValue(AFieldName)) : QString();
}

}  // namespace

QString TScript::DisplayName(TEntity* AEntity) const {
  if (!InCollection(AEntity)) return QString();
  const QString& name = AEntity->CollectionName();
  auto is = [&name](const char* AName) { return name.compare(QLatin1String(AName), Qt::CaseInsensitive) == 0; };
  QString text;
  // Every record's display name comes here: application records skip the
  // system names.
  if (!name.startsWith(QLatin1String("Sys"), Qt::CaseInsensitive))
    text = DoDisplayName(AEntity);
  else if (is("SysRoles") || is("SysNotificationStates") || is("SysNotificationSeverities") || is("SysLogActionKinds"))
    text = FieldText(AEntity, QStringLiteral("Name"));
  else if (is("SysConstants"))
    text = FieldText(AEntity, QStringLiteral("Code"));
  else if (is("SysUsers"))
    text = FieldText(AEntity, QStringLiteral("Login"));
  else if (is("SysUsersRoles"))
    text =
        FieldText(AEntity, QStringLiteral("User")) + QStringLiteral(" : ") + FieldText(AEntity, QStringLiteral("Role"));
  else if (is("SysNotifications"))
    text = FieldText(AEntity, QStringLiteral("Message"));
  else
    text = DoDisplayName(AEntity);
  return AEntity->IsRemote() ? QStringLiteral("REMOTE: ") + text : text;
}

QString TScript::DoDisplayName(TEntity* AEntity) const {
  return FieldText(AEntity, QStringLiteral("Name"));
}

bool TScript::CheckField(TEntity* AEntity, const QString& AFieldName) const {
  return !InCollection(AEntity) || DoCheckField(AEntity, AFieldName);
}

void TScript::AfterEntityCreation(TChangeHolder* AHolder, TEntity* AEntity) {
  if (InCollection(AEntity)) DoAfterEntityCreation(AHolder, AEntity);
}
