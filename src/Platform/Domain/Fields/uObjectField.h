#pragma once

#include <vector>

#include "src/Platform/Domain/Fields/uBaseField.h"

class TDefinition;
class TObjectFieldDef;

// Base of entity and list fields: the content definition and the selection
// settings of a reference.
class TObjectField : public TBaseField {
 public:
  using TBaseField::TBaseField;
  TObjectFieldDef* ObjectFieldDef() const;
  // The override, else the definition's content definition.
  TDefinition* ContentDefinition() const;
  // "New content definition should not be empty!" for none.
  void SetContentDefinition(TDefinition* ADefinition);
  // The content definition and its descendants.
  const std::vector<TDefinition*>& ContentDefinitions() const;
  QString DefaultDefinitionName() const;
  bool IsSelector() const;
  TEntitySortType SortType() const;
  TSearchType SearchType() const;
  const QString& ViewName() const;

 private:
  TDefinition* FContentDefinition = nullptr;  // not owned
};
