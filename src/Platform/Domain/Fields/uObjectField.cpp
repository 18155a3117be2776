#include "src/Platform/Domain/Fields/uObjectField.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uObjectField";

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
