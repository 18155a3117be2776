#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/Domain/uListenerList.h"
#include "src/Platform/uLogger.h"
#include "src/Platform/uRegistry.h"
#include "src/Platform/uVariant.h"

class TPlatformContext;
class TConfiguration;
class TDefinition;
class TSettings;
class TUser;
class TUserSession;
class TUserSessions;
class TDomainLock;
class TDomainInteractor;
class TChangeHolder;
class TCollection;
class TEntity;
class TStorage;
class TTranslator;
class TEntityList;
class TDomainTasks;
class TBaseExtension;

// The running instance of one configuration: its collections of entities,
// its logs, settings and translator. Storage, loading and synchronisation
// build on this.
class TDomain {
 public:
  // AConfiguration may be none (a domain without data). With a configuration
  // the domain reads its work folder's settings (the environment ID is made
  // and written back when empty), opens its two logs in the user data folder
  // and creates one collection per definition that holds records.
  TDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
          const QString& AUid);
  virtual ~TDomain();
  TDomain(const TDomain&) = delete;
  TDomain& operator=(const TDomain&) = delete;

  TConfiguration* Configuration() const { return FConfiguration; }
  TUser* Owner() const { return FOwner; }
  const QString& Uid() const { return FUid; }
  const QString& StyleName() const { return FStyleName; }
  const QString& EnvironmentID() const { return FEnvironmentID; }
  const QString& DomainWorkDir() const { return FDomainWorkDir; }
  // The configuration's settings file (none without a configuration).
  TSettings* Settings() const { return FSettings.get(); }
  // The settings given by the platform.
  TSettings* PlatformSettings() const { return FPlatformSettings; }

  // "log.txt": storage, change manager, synchronisation.
  TLogger* Logger() const { return FLogger.get(); }
  // "domain_log.txt": the application's log.
  TLogger* DomainLogger() const { return FDomainLogger.get(); }
  void Log(const QString& AMessage, TMessageKind AMessageKind = mkAny);
  void LogEnter(const QString& AMessage);
  void LogExit(const QString& AMessage);

  TTranslator* Translator() const { return FTranslator.get(); }
  // Replaces the translator (another translation store).
  void SetTranslator(std::unique_ptr<TTranslator> ATranslator);
  QString Language() const;
  void SetLanguage(const QString& ALanguage);
  QString Translate(const QString& AKey, const QString& ADefault) const;

  // The domain's own session, without user.
  TUserSession* DomainSession() const { return FDomainSession.get(); }
  // The sessions of logged-in users; they go before the data they change.
  TUserSessions* Sessions() const { return FSessions.get(); }
  // Every session made on this domain, registered or not; each is told
  // before the domain's data goes.
  void AttachSession(TUserSession* ASession) { FAttachedSessions.AddUnique(ASession); }
  void DetachSession(TUserSession* ASession) { FAttachedSessions.Remove(ASession); }
  // The data lock every change is made under.
  TDomainLock* Lock() const { return FLock.get(); }
  // The change-log ID up to which other workstations' changes are in memory.
  int ActualLogID() const { return FActualLogID; }
  // Raises the log ID; a lower one is ignored.
  void UpdateLogID(int ANewLogID) {
    if (ANewLogID > FActualLogID) FActualLogID = ANewLogID;
  }
  // Imports what other workstations logged since ActualLogID, resolving
  // conflicts with AHolder's changes. No storage offers a change log yet, so
  // there is nothing to import.
  void ReloadChanges(TDomainInteractor* AInteractor, TChangeHolder* AHolder) {
    (void)AInteractor;
    (void)AHolder;
  }

  // "[Core] Deployment" of the configuration's settings ("prod" when absent):
  // which resolver of an extension serves this domain.
  const QString& DeploymentType() const { return FDeploymentType; }
  // The domain's instance of a declared extension, made on first use with
  // AParams and kept (later AParams are ignored); none when the configuration
  // declares no extension of that name.
  TBaseExtension* ResolveExtension(const QString& AName, const QString& AParams = QString());
  // Hands a card-reader handler (or none) to the extension "ProbePrepares"
  // when the configuration declares one.
  void SetRFIDHandler(std::function<void(const QString&)> AHandler);

  // The storage's clock when there is a storage, else the local clock.
  TDateTime Now() const;
  TStorage* Storage() const { return FStorage.get(); }
  void SetStorage(std::unique_ptr<TStorage> AStorage);

  // Collections. The root collection is the catalogue and owns the others.
  TCollection* RootCollection() const { return FRootCollection.get(); }
  TCollection* CollectionByName(const QString& AName) const;
  TCollection* CollectionByID(int AID) const;
  bool CollectionExists(const QString& AName) const { return CollectionByName(AName) != nullptr; }
  int CollectionCount() const { return static_cast<int>(FCollections.size()); }
  TCollection* GetCollection(int AIndex) const { return FCollections[static_cast<size_t>(AIndex)]; }
  // The collections of the definition and of all its descendants, depth first.
  std::vector<TCollection*> CollectionsByDefinition(TDefinition* ADefinition) const;

  // Entities that views watch, by definition name (diagnostics).
  void AddViewSubscription(TEntity* AEntity);
  // Drops the entity once none of its fields is watched; "Отписывается
  // неподписанная запись!" for a definition without subscriptions.
  void RemoveViewSubscription(TEntity* AEntity);
  QString TextHierarchy() const;

  // Entity lists made on this domain; each is told before the domain goes.
  void AddEntityList(TEntityList* AList) { FEntityLists.AddUnique(AList); }
  void RemoveEntityList(TEntityList* AList) { FEntityLists.Remove(AList); }

  // True while the domain frees its data: entities then skip detaching from
  // one another, since all of them go.
  bool IsDestroying() const { return FDestroying; }

  // The domain tasks started on this domain; the destructor cancels them and
  // waits for them before it frees anything they may reach.
  const std::shared_ptr<TDomainTasks>& Tasks() const { return FTasks; }

  virtual void Run() {}
  virtual void Stop() {}
  virtual void ExecuteDefaultAction(TUserSession* ASession, const QString& AParameter) {
    (void)ASession;
    (void)AParameter;
  }

 private:
  void CreateCollections();

  TUser* FOwner;
  TConfiguration* FConfiguration;
  QString FUid;
  QString FEnvironmentID;
  QString FStyleName;
  TSettings* FPlatformSettings;  // not owned
  std::unique_ptr<TSettings> FSettings;
  QString FDeploymentType = QStringLiteral("prod");
  // Made on demand, freed before the data they may use.
  std::unique_ptr<TRegistry<TBaseExtension>> FExtensions;
  QString FDomainWorkDir;
  std::unique_ptr<TLogger> FLogger;
  std::unique_ptr<TLogger> FDomainLogger;
  std::unique_ptr<TTranslator> FTranslator;
  std::vector<std::pair<QString, std::vector<TEntity*>>> FViewSubscriptions;
  std::unique_ptr<TStorage> FStorage;
  std::unique_ptr<TDomainLock> FLock;
  std::unique_ptr<TUserSession> FDomainSession;
  std::unique_ptr<TUserSessions> FSessions;
  int FActualLogID = 0;
  std::vector<TCollection*> FCollections;           // owned by the root collection
  QHash<QString, TCollection*> FCollectionsByName;  // key: case-folded name
  QHash<int, TCollection*> FCollectionsByID;
  std::unique_ptr<TCollection> FRootCollection;
  bool FDestroying = false;
  TListenerList<TEntityList*> FEntityLists;  // not owned
  std::shared_ptr<TDomainTasks> FTasks;
  TListenerList<TUserSession*> FAttachedSessions;  // not owned
};

// The working log ("log.txt") of a domain, for code that may run without one
// (ADomain none, or a domain without logs): then nothing is written.
void WorkingLog(TDomain* ADomain, const QString& AMessage);
void WorkingLogEnter(TDomain* ADomain, const QString& AMessage);
void WorkingLogExit(TDomain* ADomain, const QString& AMessage);

// The platform's domains, keyed by lower-cased uid.
class TDomains : public TRegistry<TDomain> {
 public:
  explicit TDomains(TPlatformContext* APlatform) : FPlatform(APlatform) {}
  // One domain per configuration, owned by "admin", style "black", empty uid.
  void Init();
  TDomain* AddDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
                     const QString& AUid);
  TDomain* GetByUid(const QString& AUid) const { return ObjectByName(AUid.toLower()); }

 private:
  TPlatformContext* FPlatform;
};
