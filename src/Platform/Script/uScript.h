#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "src/Common/uScheduler.h"
#include "src/Platform/uConsts.h"

class TConfiguration;
class TDefinition;
class TSysAction;
class TExtension;
class TScript;
class TEntity;
class TChangeHolder;

// Makes the script of one application for a configuration: what a class
// reference with a virtual constructor does elsewhere.
using TScriptClass = std::function<std::unique_ptr<TScript>(TConfiguration*)>;

// Base of every application's logic: declares the application's
// configuration through the hooks below.
class TScript {
 public:
  explicit TScript(TConfiguration* AConfiguration);
  virtual ~TScript();
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;

  // The process-wide script registry, filled explicitly at start-up (main,
  // or a test's set-up). Names are compared without regard to case.
  static void RegisterScript(const QString& AName, TScriptClass AScriptClass);
  template <class T>
  static void RegisterScript(const QString& AName) {
    RegisterScript(AName, [](TConfiguration* AConfiguration) -> std::unique_ptr<TScript> {
      return std::make_unique<T>(AConfiguration);
    });
  }
  // The registered names, in registration order (duplicates kept).
  static QStringList GetRegisteredScripts();
  static bool ScriptExists(const QString& AName);
  // Empties the registry (program end, test isolation).
  static void ClearScripts();
  // Creates the script registered under the configuration's name and lets it
  // initialise (DoInit). "There is no script for configuration [name]" when
  // none is registered.
  static std::unique_ptr<TScript> AddScript(TConfiguration* AConfiguration);

  // Declares the configuration; returns its version.
  QString CreateConfiguration();

  // Entry points the domain model calls.
  // The display text of a record: empty outside a collection, the system
  // collections' own fields, else DoDisplayName; "REMOTE: " before a remote one.
  QString DisplayName(TEntity* AEntity) const;
  QString FullText(TEntity* AEntity) const { return DoFullText(AEntity); }
  // True outside a collection; else DoCheckField.
  bool CheckField(TEntity* AEntity, const QString& AFieldName) const;
  // Nothing outside a collection; else DoAfterEntityCreation.
  void AfterEntityCreation(TChangeHolder* AHolder, TEntity* AEntity);

  const QString& AppTitle() const { return FAppTitle; }
  const QString& Version() const { return FVersion; }
  TConfiguration* Configuration() const { return FConfiguration; }

 protected:
  // Sets the title and version. Runs right after construction: a virtual
  // call from the constructor would not reach the application's override.
  virtual void DoInit() = 0;
  // The application's definitions, enumerations, actions, reactions...
  virtual void DoCreateDefinitions() {}
  virtual void DoFinishConfiguration() {}
  // The field "Name" when the record has one, else empty.
  virtual QString DoDisplayName(TEntity* AEntity) const;
  virtual QString DoFullText(TEntity* AEntity) const { return DoDisplayName(AEntity); }
  virtual bool DoCheckField(TEntity* AEntity, const QString& AFieldName) const {
    (void)AEntity;
    (void)AFieldName;
    return true;
  }
  virtual void DoAfterEntityCreation(TChangeHolder* AHolder, TEntity* AEntity) {
    (void)AHolder;
    (void)AEntity;
  }

  TSysAction* AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags);
  TDefinition* AddDefinition(int AID, const QString& AName, const QString& AAncestors, const QString& ACaption,
                             const QString& AEmptyValue, int AFlags, TCollectionKind AKind);
  TExtension* AddExtension(const QString& AName);
  void AddPlannedTask(int APeriod, TSchedulerHandler AHandler);
  TDefinition* DefinitionByName(const QString& AName) const;
  void RegisterReaction(const QString& ADefinitionNames, const QString& AFieldChain, TReactionProc AReactionProc);

  QString FAppTitle;
  QString FVersion;

 private:
  TConfiguration* FConfiguration;  // not owned
};
