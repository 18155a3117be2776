#pragma once

// The domain tests' desk: a fresh domain per test over one of two small
// configurations, a change holder that records what it is told, an
// in-memory storage and a view that records its notifications. Global state
// (folders, format settings, default locale) is restored by guards.
//
// "DomainDesk", the entity, field and collection tests' configuration.
//
// Definitions (ID: name):
//   2 SysDefinitions  Name, Caption, StorageName, Kind
//   5 SysSubjects, 10 SysUsers, 11 SysRoles, 12 SysUsersRoles, 13 SysSecuredObjects,
//  20 SysLogActionKinds, 21 SysLog, 22 SysLogActions: the system collections
//                     as every configuration declares them (SysUsers without its
//                     list of notifications)
// 110 Things          Name, Qty, Price, D, B, C, Ref -> Things, Items (list by Ref), Data (blob)
// 111 Gauges          Level (null value -1), Title (localizable), Note (not stored), Start (date)
// 120 Funds           Name, Department, Reports (weak list by Fund), Docs (strong list by Owner)
// 121 Employees       Name, Fund -> Funds
// 122 Reports         Name, Fund -> Funds, Manager -> Employees (depends on Fund=Fund), Amount, DocCode
// 123 Docs            Name, Owner -> Funds, State (state machine DeskStates), Kind (enumeration
//                     of an unknown name), Month (built-in enumeration Months)
// 124 Notes           Name, Subject -> Reports, Partner -> Partners (a selector)
//  30 Users           Name, Roles (transit list of UserRoles by User, through Role)
//  31 Roles           Name
//  32 UserRoles       User -> Users, Role -> Roles
//  40 Settings        Name; environment-specific
//  50 Partners        a mixin with Name, for 51 Banks and 52 Shops
// Reactions, logged in DeskReactions() as "<label> <entity name> <parameter
// name>" (+ " (no holder)"): Reports "Name.Fund" (label Name.Fund), Notes
// "Name.Subject;Name.Fund.Subject" (label Notes), Users "Roles;Role.Roles"
// (label Roles).
//
// "QueryDesk", the query and entity-list tests' configuration, with texts
// compared by a Russian locale, as on the workstations this system serves:
//   1 SysDefinitions  Name
//  10 Departments     Name, Staff (list of Employees by Dept)
//  11 SysUsers        Login, Name, Roles (list of SysUsersRoles by User)
//  12 SysRoles        Name (1: the administrators, given to "admin")
//  13 SysUsersRoles   User -> SysUsers, Role -> SysRoles
//  20 Persons         a mixin with Name, Kind (integer), Total, Paid (float),
//                     Active (Boolean), Dept -> Departments, Author -> SysUsers;
//                     21 Employees and 22 Contractors

#include <gtest/gtest.h>

#include <QHash>
#include <QLocale>
#include <QMap>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/uFormat.h"
#include "support/TestEnv.h"
#include "support/TestGuards.h"

// Registers the script of a desk configuration by name.
void RegisterDesk(const QString& AConfiguration);
QStringList& DeskReactions();

// Does what a change holder is asked to, and records it, without the
// domain lock. Old values are kept as JSON texts; a field back at its kept
// text stops being a change. Tests of the change manager itself use the
// real holder through a session.
class TTestHolder : public TChangeHolder {
 public:
  explicit TTestHolder(TUserSession* ASession = nullptr) : TChangeHolder(ASession) {}
  void SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) override;
  void SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) override;
  void SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) override;
  void RegisterEntityCreating(TEntity* AEntity) override;
  void RegisterEntityDeleting(TEntity* AEntity) override;
  bool KeepOldData(TEntity* AEntity, const QString& AFieldName) override;
  void RegisterFieldChanges(TEntity* AEntity, const QString& AFieldName) override;
  void ScheduleCalculation(const QString& AFieldChain, TEntity* AInstance, TEntity* AParameter) override;

  bool IsKept(TEntity* AEntity, const QString& AFieldName) const { return FKept.count({AEntity, AFieldName}) != 0; }
  int KeptCount() const { return static_cast<int>(FKept.size()); }

  QStringList Calls;
  std::vector<TEntity*> Created;
  std::vector<TEntity*> Deleted;

 private:
  std::map<std::pair<TEntity*, QString>, QString> FKept;
};

// Tables of rows by ID; each row maps column names to values and streams.
class TMemoryStorage : public TStorage {
 public:
  struct TRow {
    QHash<QString, Variant> Values;
    QHash<QString, QByteArray> Streams;
    bool operator==(const TRow&) const = default;
  };

  // Makes a row current for writing (a test's stored data, or a save).
  TRow& Row(const QString& ATable, int AID);
  void BeginRow(const QString& ATable, int AID) { FCurrent = &Row(ATable, AID); }

  Variant ReadValue(const QString& ATag, TFieldKind AFieldKind) override;
  void WriteValue(const QString& ATag, TFieldKind AFieldKind, const Variant& AValue, bool AIsKey) override;
  std::unique_ptr<TStream> ReadStream(const QString& ATag) override;
  void WriteStream(const QString& ATag, const TStream* AStream) override;
  void Activate(const QString& ATag) override { Active = ATag; }
  void Deactivate() override {
    Active.clear();
    ++Deactivations;
  }
  void ReadGroup(const QString& ATag, const TStorageFunc& AReadFunc) override;
  // Inserts and updates write into the row, a deletion drops it; the
  // FailOnWrite-th write (counting from 1) raises instead.
  void WriteItem(int AID, int ALogID, TEntitySaveAction ASaveAction, const TStorageFunc& AWriteFunc) override;
  // A transaction keeps a copy of the tables; a rollback puts it back.
  int BeginTransaction() override;
  void CommitTransaction(int ATransactionID) override;
  void RollbackTransaction(int ATransactionID) override;
  int CreateIDs(const QString& ATag, int ACount) override { return Numerators[ATag] += ACount; }
  int CreateCodes(const QString& ATag, int ACount) override { return Codes[ATag] += ACount; }
  void Rebuild() override {
    ++Rebuilds;
    FailAfterRows = -1;
  }
  TDateTime GetTime() override { return Clock; }
  bool SyncGroupDef(const QString& ATag, const std::function<void()>& ASyncFunc) override;
  void SyncItemDef(const QString& ATag, TFieldKind AKind, int ASize) override;

  QMap<QString, QMap<int, TRow>> Tables;
  QHash<QString, int> Numerators;
  QHash<QString, int> Codes;
  QString Active;
  int Deactivations = 0;
  // ReadGroup fails once this many rows were read; -1 never. Rebuild heals it.
  int FailAfterRows = -1;
  // What SyncGroupDef answers: the table was in order.
  bool StructureInOrder = true;
  int Rebuilds = 0;
  TDateTime Clock{45000.5};
  int FailOnWrite = -1;
  int Writes = 0;
  int Commits = 0;
  int Rollbacks = 0;
  // "insert table id", "update table id", "delete table id", in order.
  QStringList WriteTrace;

 private:
  TRow* FCurrent = nullptr;
  std::optional<QMap<QString, QMap<int, TRow>>> FSnapshot;
};

// Records every notification it gets, also as "kind:parameter display name".
class TTestView : public TDomainListener {
 public:
  void DomainChanged(const TDomainChangeMessage& AMessage) override;
  int Count(int AKind) const;
  std::vector<TDomainChangeMessage> Messages;
  QStringList Texts;
  std::vector<TObject*> Senders;
};

// A fresh domain of a desk configuration per test, with its folders in a
// temp folder and an in-memory storage. With "SysUsers" in the configuration
// two users exist, "user" and "admin" (granted role 1 of "SysRoles"), each
// with a session; otherwise both sessions have no user. FHolder applies
// changes for the plain session.
class TDomainTest : public ::testing::Test {
 protected:
  explicit TDomainTest(const QString& AConfiguration = QStringLiteral("DomainDesk"));
  void SetUp() override;
  void TearDown() override;

  TCollection* Coll(const QString& AName) const { return FDomain->CollectionByName(AName); }
  // A new entity without holder (or through AHolder), with a name when given.
  TEntity* New(const QString& ACollection, const QString& AName = QString(), TChangeHolder* AHolder = nullptr);
  // A stored-looking entity: created with a positive ID, not new.
  TEntity* Stored(const QString& ACollection, int AID, const QString& AName = QString());
  // A new record through FHolder with its name and, for persons, kind, total
  // and department.
  TEntity* Add(const QString& ACollection, const QString& AName, int AKind = 0, double ATotal = 0,
               TEntity* ADept = nullptr);
  TEntity* AddDepartment(const QString& AName) { return Add("Departments", AName); }
  void Set(TEntity* AEntity, const QString& AFieldName, const Variant& AValue);
  void SetEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue);
  // The display names of the entities, in order ("<null>" for the NullEntity).
  static QStringList Names(const std::vector<TEntity*>& AEntities);
  QStringList LogLines() const;

  const QString FConfigurationName;
  TRestoreOnExit<QString> FConfigurationsDirGuard;
  TRestoreOnExit<QString> FDomainsDirGuard;
  TRestoreOnExit<QString> FLocalAppDataDirGuard;
  TRestoreOnExit<TFormatSettings> FFormatGuard;
  TLocaleGuard FLocaleGuard;
  TTempFolder FTemp;
  std::unique_ptr<TConfigurations> FConfigurations;
  TConfiguration* FConfiguration = nullptr;
  std::unique_ptr<TDomain> FDomain;
  TMemoryStorage* FStorage = nullptr;           // owned by the domain
  std::unique_ptr<TUserSession> FSession;       // a plain user
  std::unique_ptr<TUserSession> FAdminSession;  // an administrator
  std::unique_ptr<TTestHolder> FHolder;
  TEntity* FUser = nullptr;
  TEntity* FAdmin = nullptr;
};

// The message of an assertion up to ", line".
QString AssertionText(const std::function<void()>& AAction);
