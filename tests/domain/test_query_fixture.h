#pragma once

// A small domain for the query and entity-list tests: the configuration
// "QueryDesk" with departments, users and two concrete kinds of persons
// (employees and contractors) under the mixin "Persons".

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uFormat.h"
#include "support/TestEnv.h"

// Applies changes at once and remembers nothing: enough for code that only
// needs a holder to pass its changes through.
class TQueryTestHolder : public TChangeHolder {
 public:
  explicit TQueryTestHolder(TUserSession* ASession) : FSession(ASession) {}
  TUserSession* Session() const override { return FSession; }
  void SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) override;
  void SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) override;
  void SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) override;
  void RegisterEntityCreating(TEntity*) override {}
  void RegisterEntityDeleting(TEntity*) override {}
  bool KeepOldData(TEntity*, const QString&) override { return false; }
  void RegisterFieldChanges(TEntity*, const QString&) override {}
  void ScheduleCalculation(const QString&, TEntity*, TEntity*) override {}

 private:
  TUserSession* FSession;
};

// Every notification a listener got, as "kind:parameter display name".
class TRecordingListener : public TDomainListener {
 public:
  void DomainChanged(const TDomainChangeMessage& AMessage) override;
  QStringList Messages;
  std::vector<TObject*> Senders;
};

// Texts compare and upper-case by a Russian locale, as on the workstations
// this system serves, whatever the machine's locale.
//
// QueryDesk:
//   Departments (10): Name
//   SysUsers (11): Login, Name
//   Persons (mixin, 20): Name, Kind (integer), Total, Paid (float), Active
//     (Boolean), Dept -> Departments, Author -> SysUsers
//   Employees (21) and Contractors (22): Persons
//   Departments.Staff: the employees whose Dept is the department
class TQueryDomainTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  TCollection* Collection(const QString& AName) const { return FDomain->CollectionByName(AName); }
  // A new record with the given fields set through the holder.
  TEntity* Add(const QString& ACollection, const QString& AName, int AKind = 0, double ATotal = 0,
               TEntity* ADept = nullptr);
  TEntity* AddDepartment(const QString& AName) { return Add("Departments", AName); }
  void Set(TEntity* AEntity, const QString& AFieldName, const Variant& AValue);
  void SetEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue);
  // The display names of the entities, in order.
  static QStringList Names(const std::vector<TEntity*>& AEntities);

  TTempFolder FTemp;
  QString FSavedConfigurationsDir;
  QString FSavedDomainsDir;
  QString FSavedLocalAppDataDir;
  TFormatSettings FSavedFormat;
  QLocale FSavedLocale;
  std::unique_ptr<TConfigurations> FConfigurations;
  std::unique_ptr<TDomain> FDomain;
  std::unique_ptr<TUserSession> FSession;       // a plain user
  std::unique_ptr<TUserSession> FAdminSession;  // an administrator
  std::unique_ptr<TQueryTestHolder> FHolder;
  TEntity* FUser = nullptr;
  TEntity* FAdmin = nullptr;
};
