#pragma once

#include <QStringList>
#include <vector>

#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uListenerList.h"

class TDefinition;
class TObjectFieldDef;
class TUserSession;
class TEntity;
class TEntityList;

// Base of entity and list fields: the content definition and the selection
// settings of a reference.
class TObjectField : public TBaseField {
 public:
  using TBaseField::TBaseField;
  // The entity lists this field filled let go of it first.
  ~TObjectField() override;
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
  // The entity lists that this field filled.
  void AddFilledList(TEntityList* AList) { FFilledLists.AddUnique(AList); }
  void RemoveFilledList(TEntityList* AList) { FFilledLists.Remove(AList); }

 protected:
  // Entities the field definition's query object selects for the session and
  // the owner that also pass AFilter (evaluated with the same parameters).
  std::vector<TEntity*> SelectCandidates(TUserSession* ASession, const QString& AFilter) const;
  // Records of AEntities that pass AFilter, with the session and the owner as parameters.
  std::vector<TEntity*> Filtered(TUserSession* ASession, const QString& AFilter,
                                 const std::vector<TEntity*>& AEntities) const;
  // The filler text "&(" + the non-empty parts joined by "," + ")", or the one
  // part alone when AlwaysGroup is false and only one is given.
  static QString AndText(const QStringList& AParts, bool AAlwaysGroup = false);

 private:
  TDefinition* FContentDefinition = nullptr;  // not owned
  TListenerList<TEntityList*> FFilledLists;   // not owned
};
