#include "src/Platform/Domain/Fields/uObjectField.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uObjectField";

TObjectField::~TObjectField() {
  FFilledLists.ForEach([this](TEntityList* AList) { AList->SenderFreeing(this); });
}

TObjectFieldDef* TObjectField::ObjectFieldDef() const {
  return static_cast<TObjectFieldDef*>(FFieldDef);
}

TDefinition* TObjectField::ContentDefinition() const {
  return FContentDefinition ? FContentDefinition : ObjectFieldDef()->_ContentDefinition();
}

void TObjectField::SetContentDefinition(TDefinition* ADefinition) {
  TV_ASSERT(ADefinition, QStringLiteral("New content definition should not be empty!"));
  FContentDefinition = ADefinition;
}

const std::vector<TDefinition*>& TObjectField::ContentDefinitions() const {
  if (FContentDefinition) return FContentDefinition->InnerDefinitions();
  return ObjectFieldDef()->ContentDefinitions();
}

QString TObjectField::DefaultDefinitionName() const {
  return ObjectFieldDef()->DefaultDefinitionName();
}

bool TObjectField::IsSelector() const {
  return ObjectFieldDef()->IsSelector();
}

TEntitySortType TObjectField::SortType() const {
  return ObjectFieldDef()->SortType();
}

TSearchType TObjectField::SearchType() const {
  return ObjectFieldDef()->SearchType();
}

const QString& TObjectField::ViewName() const {
  return FFieldDef->StyleName();
}

std::vector<TEntity*> TObjectField::Filtered(TUserSession* ASession, const QString& AFilter,
                                             const std::vector<TEntity*>& AEntities) const {
  if (AFilter.isEmpty()) return AEntities;
  const TBoundQuery filter(AFilter, ASession, FInstance);
  std::vector<TEntity*> result;
  for (TEntity* entity : AEntities)
    if (filter.IsMatch(ASession, entity)) result.push_back(entity);
  return result;
}

std::vector<TEntity*> TObjectField::SelectCandidates(TUserSession* ASession, const QString& AFilter) const {
  TQueryObject* query = ObjectFieldDef()->QueryObject();
  if (!query) return {};
  // The query belongs to the configuration: this call's values stay here.
  TQueryBindings bindings(*query);
  bindings.SetParameters(ASession, FInstance);
  return Filtered(ASession, AFilter, query->Select(ASession, bindings));
}

QString TObjectField::AndText(const QStringList& AParts, bool AAlwaysGroup) {
  QStringList parts;
  for (const QString& part : AParts)
    if (!part.isEmpty()) parts << part;
  if (parts.size() == 1 && !AAlwaysGroup) return parts.first();
  return parts.isEmpty() ? QString() : QStringLiteral("&(") + parts.join(QLatin1Char(',')) + QLatin1Char(')');
}
