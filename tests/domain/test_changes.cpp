// Change holders and the session's atomic operations: what a change set
// records, how it is stored, reverted and transferred, and the domain lock.

#include <thread>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

namespace {

class TAnswering : public TDomainInteractor {
 public:
  explicit TAnswering(bool AAnswer) : FAnswer(AAnswer) {}
  bool AskYesNo(const QString& ACaption, const QString& AText) override {
    Caption = ACaption;
    Text = AText;
    return FAnswer;
  }
  QString Caption;
  QString Text;

 private:
  bool FAnswer;
};

class Changes : public TDomainTest {
 protected:
  // A stored thing with a name and a date-time, as loaded.
  TEntity* Thing(int AID, const QString& AName, double ADate = 45000.0) {
    TEntity* thing = Stored("Things", AID, AName);
    thing->FieldInternalSetValue("D", TDateTime(ADate));
    return thing;
  }
  bool Modify(const TAtomicModificationFunc& AFunc, bool ASkipLogging = false) {
    return FSession->AtomicModification(AFunc, nullptr, ASkipLogging);
  }
  // Runs AFunc with a holder of the session under the lock and hands the
  // holder back open, for looking at its records.
  void Within(const std::function<void(TChangeHolder*)>& AFunc) {
    FSession->AtomicWrite([&] {
      TChangeHolder* holder = FSession->RetainChangeHolder(nullptr);
      AFunc(holder);
      FSession->ReleaseChangeHolder(holder, false, true);
    });
  }
  const QMap<int, TMemoryStorage::TRow>& Table(const QString& AName) { return FStorage->Tables[AName]; }
  QString Name(TEntity* AEntity) const { return VarToStr(AEntity->GetFieldValue("Name")); }
};

}  // namespace

TEST_F(Changes, AFieldBackAtItsExactKeptValueStopsBeingAChange) {
  struct TCase {
    const char* Label;
    const char* Field;
    Variant First;
    Variant Second;
    bool StillChanged;
  };
  // The date-time's log text shows the day only: within one day a real edit
  // must stay one.
  const TCase cases[] = {
      {"integer twice and back", "Qty", 3, 0, false},
      {"text twice and back", "Name", "b", "a", false},
      {"date-time twice and back", "D", TDateTime(45000.3), TDateTime(45000.0), false},
      {"date-time within the same day", "D", TDateTime(45000.3), TDateTime(45000.6), true},
      {"text changed twice", "Name", "b", "c", true},
  };
  int id = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TEntity* thing = Thing(id++, "a");
    int records = -1;
    int applied = 0;
    Within([&](TChangeHolder* AHolder) {
      AHolder->SetFieldValue(thing, c.Field, c.First);
      AHolder->SetFieldValue(thing, c.Field, c.Second);
      records = AHolder->ChangedCount();
      if (!c.StillChanged) applied = AHolder->ApplyChanges(false);
    });
    EXPECT_EQ(records, c.StillChanged ? 1 : 0);
    if (!c.StillChanged) {
      EXPECT_EQ(applied, -1);
    }
  }
  EXPECT_TRUE(LogLines().contains("$$$ SKIPPED"));
  EXPECT_TRUE(LogLines().contains("$$$ TRY NEW DATA Qty"));
}

TEST_F(Changes, RegistrationsKeepTheFirstValueAndACreationDeletedAgainLeavesNothing) {
  TEntity* thing = Thing(7, "a");
  TEntity* created = nullptr;
  Within([&](TChangeHolder* AHolder) {
    AHolder->SetFieldValue(thing, "Name", "b");
    AHolder->SetFieldValue(thing, "Name", "c");
    ASSERT_EQ(AHolder->ChangedCount(), 1);
    TChangedEntity* record = AHolder->Record(0);
    EXPECT_EQ(record->FieldCount(), 1);
    EXPECT_EQ(record->OldValue(0)->ToString(), "\"a\"");
    created = Coll("Things")->CreateNewEntity(AHolder);
    EXPECT_EQ(AHolder->ChangedCount(), 2);
    created->Delete(AHolder);
    EXPECT_EQ(AHolder->ChangedCount(), 1);
    EXPECT_TRUE(created->Deleted());  // stays in memory, marked
    EXPECT_EQ(AHolder->GetChanged(0), thing);
  });
  const QStringList lines = LogLines();
  EXPECT_TRUE(lines.contains("$$$ [1] KEPT OLD DATA " + thing->ToString() + " - Name"))
      << lines.join("\n").toStdString();
  EXPECT_TRUE(lines.contains("$$$ NEW ENTITY, type: Things"));
  EXPECT_TRUE(lines.contains("$$$ REMOVE CHANGED ENTITY"));
  EXPECT_EQ(Name(thing), "a");  // the holder was cancelled
}

TEST_F(Changes, TwoChangedEntitiesMakeOneLogRecordWithTwoConsecutiveActions) {
  TEntity* first = Thing(5, "a");
  TEntity* second = Thing(6, "b");
  FStorage->Numerators["sys_log_actions"] = 40;
  ASSERT_TRUE(Modify([&](TChangeHolder* AHolder) {
    AHolder->SetFieldValue(first, "Name", "a2");
    AHolder->SetFieldValue(second, "Qty", 4);
    return true;
  }));
  EXPECT_EQ(FStorage->Numerators["sys_log_actions"], 42);  // one reservation of two
  ASSERT_EQ(Table("sys_log").size(), 1);
  const int logID = Table("sys_log").firstKey();
  EXPECT_EQ(FDomain->ActualLogID(), logID);
  const auto& actions = Table("sys_log_actions");
  ASSERT_EQ(actions.keys(), QList<int>({41, 42}));
  const QString firstText = VarToStr(actions[41].Values["description"]);
  const QString secondText = VarToStr(actions[42].Values["description"]);
  EXPECT_EQ(firstText, "Вещи: Modification\r\n[Имя]: a => a2\r\n");
  EXPECT_EQ(secondText, "Вещи: Modification\r\n[Количество]: 0 => 4\r\n");
  EXPECT_EQ(VarToStr(Table("sys_log")[logID].Values["description"]), firstText + "\r\n" + secondText);
  EXPECT_EQ(VarToStr(Table("sys_log")[logID].Values["user_name"]), "user");
  EXPECT_EQ(actions[41].Values["entity_id"], Variant(5));
  EXPECT_EQ(actions[41].Values["sys_log_id"], Variant(logID));
  EXPECT_EQ(Table("things")[5].Values["log_id"], Variant(41));
  EXPECT_EQ(Table("things")[6].Values["log_id"], Variant(42));
  EXPECT_EQ(FStorage->WriteTrace,
            QStringList({"update things 5", "update things 6", QString("insert sys_log %1").arg(logID),
                         "insert sys_log_actions 41", "insert sys_log_actions 42"}));
  EXPECT_FALSE(Table("things")[5].Values.contains("qty"));  // an update writes the changed fields only
  const QStringList lines = LogLines();
  for (const char* line : {"Updating...", "SAVED"}) EXPECT_TRUE(lines.contains(line)) << line;
}

TEST_F(Changes, SkippingTheLogStoresWithLogIDMinusOne) {
  TEntity* thing = Thing(5, "a");
  ASSERT_TRUE(Modify(
      [&](TChangeHolder* AHolder) {
        AHolder->SetFieldValue(thing, "Name", "z");
        return true;
      },
      true));
  EXPECT_EQ(Table("things")[5].Values["log_id"], Variant(-1));
  EXPECT_EQ(thing->LogID(), -1);
  EXPECT_TRUE(Table("sys_log").isEmpty());
  EXPECT_EQ(FDomain->ActualLogID(), 0);
}

TEST_F(Changes, AnInsertionLogsTheEntityJSONWithoutItsIdentity) {
  TEntity* thing = nullptr;
  ASSERT_TRUE(Modify([&](TChangeHolder* AHolder) {
    thing = Coll("Things")->CreateNewEntity(AHolder);
    AHolder->SetFieldValue(thing, "Name", "new");
    AHolder->SetFieldValue(thing, "Qty", 2);
    return true;
  }));
  EXPECT_FALSE(thing->IsNew());
  EXPECT_GT(thing->ID(), 0);
  ASSERT_EQ(Table("sys_log_actions").size(), 1);
  const TMemoryStorage::TRow& action = Table("sys_log_actions").first();
  TJSONObject expected;
  thing->ExportToJSON(&expected);
  expected.RemovePair("id");
  expected.RemovePair("guid");
  EXPECT_EQ(VarToStr(action.Values["json"]), expected.ToString());
  EXPECT_TRUE(VarToStr(action.Values["description"]).startsWith("Вещи: Insertion\r\n"));
  EXPECT_EQ(Table("things")[thing->ID()].Values["name"], Variant("new"));
  EXPECT_TRUE(LogLines().contains("Addition..."));
}

TEST_F(Changes, AFailedApplyRevertsEverythingAndASecondSaveStoresItOnce) {
  TEntity* stored = Thing(5, "a");
  FStorage->Row("things", 5).Values.insert("name", "a");
  const auto tablesBefore = FStorage->Tables;
  const int thingsBefore = Coll("Things")->Count();
  auto edit = [&](TChangeHolder* AHolder) {
    TEntity* created = Coll("Things")->CreateNewEntity(AHolder);
    AHolder->SetFieldValue(created, "Name", "fresh");
    AHolder->SetFieldValue(stored, "Name", "b");
    return true;
  };
  FStorage->FailOnWrite = 2;  // the first write (the creation) succeeds
  EXPECT_FALSE(Modify(edit));
  EXPECT_EQ(FStorage->Rollbacks, 1);
  EXPECT_EQ(FStorage->Tables, tablesBefore);
  EXPECT_EQ(Coll("Things")->Count(), thingsBefore);  // the stored creation is gone again
  EXPECT_EQ(Name(stored), "a");
  EXPECT_EQ(Coll("SysLog")->Count(), 0);
  EXPECT_EQ(Coll("SysLogActions")->Count(), 0);
  EXPECT_TRUE(LogLines().contains("Error while storing data: disk full"));
  EXPECT_TRUE(FSession->Holders().empty());

  FStorage->FailOnWrite = -1;
  FStorage->WriteTrace.clear();
  EXPECT_TRUE(Modify(edit));
  EXPECT_EQ(FStorage->WriteTrace.size(), 5);  // two entities, the log record, two actions
  EXPECT_EQ(Table("things").size(), 2);
  EXPECT_EQ(Table("sys_log").size(), 1);
  EXPECT_EQ(Table("sys_log_actions").size(), 2);
  EXPECT_EQ(Coll("Things")->Count(), thingsBefore + 1);
}

TEST_F(Changes, AStoredDeletionLeavesItsCollectionAndAFailedOneComesBack) {
  struct TCase {
    const char* Label;
    int FailOnWrite;
    bool Stored;
  };
  const TCase cases[] = {{"stored", -1, true}, {"failed", 1, false}};
  int id = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TEntity* thing = Thing(id, "gone");
    FStorage->Row("things", id).Values.insert("name", "gone");
    const TLinkRef link = thing->GetLink();
    FStorage->FailOnWrite = c.FailOnWrite;
    FStorage->Writes = 0;
    EXPECT_EQ(Modify([&](TChangeHolder* AHolder) {
                thing->Delete(AHolder);
                return true;
              }),
              c.Stored);
    EXPECT_EQ(link.Owner() == nullptr, c.Stored);
    EXPECT_EQ(Table("things").contains(id), !c.Stored);
    if (!c.Stored) {
      EXPECT_FALSE(thing->Deleted());
    }
    ++id;
  }
  EXPECT_TRUE(LogLines().contains("Deletion..."));
  EXPECT_TRUE(LogLines().contains("UNDELETED"));
}

TEST_F(Changes, AReactionOutsideTheChangeSetRunsOnceAtRelease) {
  TEntity* fund = Stored("Funds", 3, "Fund");
  TEntity* report = Stored("Reports", 4, "Report");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  DeskReactions().clear();
  QStringList during;
  ASSERT_TRUE(Modify([&](TChangeHolder* AHolder) {
    AHolder->SetFieldValue(fund, "Name", "F1");
    AHolder->SetFieldValue(fund, "Department", "D");
    AHolder->SetFieldValue(fund, "Name", "F2");
    during = DeskReactions();
    return true;
  }));
  EXPECT_TRUE(during.isEmpty());
  EXPECT_EQ(DeskReactions(), QStringList({"Name.Fund Report F2"}));
}

TEST_F(Changes, AReceivedChangeOfALocallyChangedFieldAsksWhichToKeep) {
  struct TCase {
    const char* Label;
    std::optional<bool> Answer;  // none: no interactor
    bool LocalKept;
  };
  const TCase cases[] = {{"yes", true, true}, {"no", false, false}, {"no interactor", std::nullopt, false}};
  int id = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TEntity* thing = Thing(id, "base");
    std::unique_ptr<TAnswering> interactor = c.Answer ? std::make_unique<TAnswering>(*c.Answer) : nullptr;
    TJSONObject fields;
    fields.AddPair("Name", std::make_unique<TJSONString>("remote"));
    fields.AddPair("Qty", std::make_unique<TJSONNumber>(9));
    int records = -1;
    Within([&](TChangeHolder* AHolder) {
      AHolder->SetFieldValue(thing, "Name", "local");
      AHolder->ProcessUpdatingEntity(interactor.get(), thing, "Поле %s записи %s: пришло %s, у вас %s", &fields);
      records = AHolder->ChangedCount();
    });
    EXPECT_EQ(fields.Contains("Name"), !c.LocalKept);
    EXPECT_TRUE(fields.Contains("Qty"));  // not changed here: no question
    EXPECT_EQ(records, c.LocalKept ? 1 : 0);
    if (interactor) {
      EXPECT_EQ(interactor->Caption, "Конфликт версий");
      EXPECT_EQ(interactor->Text, QString("Поле Name записи Things(%1):local): пришло remote, у вас local").arg(id));
    }
    ++id;
  }
}

TEST_F(Changes, AnAcceptedNestedEditKeepsTheOuterValuesForTheOuterCancel) {
  TEntity* thing = Thing(5, "a");
  FSession->AtomicWrite([&] {
    TChangeHolder* outer = FSession->RetainChangeHolder(nullptr);
    outer->SetFieldValue(thing, "Name", "b");
    TChangeHolder* nested = FSession->RetainChangeHolder(outer);
    nested->SetFieldValue(thing, "Name", "c");
    nested->SetFieldValue(thing, "Qty", 5);
    FSession->ReleaseChangeHolder(nested, true, false);
    ASSERT_EQ(outer->ChangedCount(), 1);
    TChangedEntity* record = outer->Record(0);
    ASSERT_EQ(record->FieldCount(), 2);
    EXPECT_EQ(record->OldValue(record->IndexOfField("Name"))->ToString(), "\"a\"");
    FSession->ReleaseChangeHolder(outer, false, true);
  });
  EXPECT_EQ(Name(thing), "a");
  EXPECT_EQ(thing->GetFieldValue("Qty"), Variant(0));
  const QStringList lines = LogLines();
  for (const char* line : {"PASSING ", "> Qty: transferred", "> Name: transferred", "PASSED", "CANCELED"})
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [line](const QString& L) { return L.startsWith(line); }))
        << line;
}

TEST_F(Changes, ANestedRecordOfANewEntityMovesToTheParent) {
  TEntity* created = nullptr;
  int outerRecords = -1;
  FSession->AtomicWrite([&] {
    TChangeHolder* outer = FSession->RetainChangeHolder(nullptr);
    TChangeHolder* nested = FSession->RetainChangeHolder(outer);
    created = Coll("Things")->CreateNewEntity(nested);
    nested->SetFieldValue(created, "Name", "n");
    FSession->ReleaseChangeHolder(nested, true, false);
    outerRecords = outer->ChangedCount();
    FSession->ReleaseChangeHolder(outer, true, false);
  });
  EXPECT_EQ(outerRecords, 1);
  EXPECT_EQ(Table("things").size(), 1);
  const QStringList lines = LogLines();
  EXPECT_TRUE(
      std::any_of(lines.begin(), lines.end(), [](const QString& L) { return L.startsWith("fully transfered "); }));
}

TEST_F(Changes, AtomicModificationsDoNotNestAndFailuresAnswerFalse) {
  TEntity* thing = Thing(5, "a");
  bool innerRan = false;
  bool inner = true;
  EXPECT_TRUE(Modify([&](TChangeHolder* AHolder) {
    AHolder->SetFieldValue(thing, "Name", "outer");
    inner = Modify([&](TChangeHolder*) { return innerRan = true; });
    return true;
  }));
  EXPECT_FALSE(inner);
  EXPECT_FALSE(innerRan);
  EXPECT_EQ(Name(thing), "outer");

  EXPECT_FALSE(Modify([&](TChangeHolder* AHolder) -> bool {
    AHolder->SetFieldValue(thing, "Name", "thrown");
    throw Exception("broken edit");
  }));
  EXPECT_EQ(Name(thing), "outer");
  EXPECT_TRUE(LogLines().contains("broken edit"));
  EXPECT_FALSE(FDomain->Lock()->Locked());
  EXPECT_TRUE(FSession->Holders().empty());
}

TEST_F(Changes, SaveStoresEachBatchUnderItsOwnLogIDAndCancelThenRevertsNothingSaved) {
  TEntity* thing = Thing(5, "a");
  TChangeHolder* holder = FSession->Edit(nullptr);
  holder->AtomicSetFieldValue(thing, "Name", "b");
  FSession->Save(holder);
  const int first = FDomain->ActualLogID();
  holder->AtomicSetFieldValue(thing, "Name", "c");
  FSession->Save(holder);
  const int second = FDomain->ActualLogID();
  EXPECT_GT(first, 0);
  EXPECT_GT(second, first);
  EXPECT_EQ(Table("sys_log").size(), 2);
  FSession->Cancel(holder);
  EXPECT_EQ(Name(thing), "c");
  EXPECT_TRUE(FSession->Holders().empty());
}

TEST_F(Changes, TheLockIsCheckedWithItsExactTexts) {
  EXPECT_EQ(AssertionText([&] { FSession->CheckLocking(true); }), "Неожиданное состояние блокировки: 0");
  TEntity* thing = Thing(5, "a");
  EXPECT_EQ(AssertionText([&] {
              TChangeHolder holder(FSession.get());
              holder.SetFieldValue(thing, "Name", "no lock");
            }),
            "Неожиданное состояние блокировки: 0");
  QString nested;
  QString fromThread;
  FSession->AtomicWrite([&] {
    nested = AssertionText([&] { FSession->CheckLocking(false); });
    // Another thread does not wait for the lock: it is refused.
    std::thread other([&] { fromThread = AssertionText([&] { FAdminSession->AtomicWrite([] {}); }); });
    other.join();
  });
  EXPECT_EQ(nested, "Неожиданное состояние блокировки: -1");
  EXPECT_EQ(fromThread, "Неожиданное состояние блокировки: -1");
  EXPECT_FALSE(FDomain->Lock()->Locked());
  EXPECT_EQ(Name(thing), "a");
}

TEST_F(Changes, ASessionGoingRevertsItsOpenHoldersAndRecordsOutliveTheirEntities) {
  TEntity* thing = Thing(5, "a");
  TEntity* doomed = Thing(6, "d");
  auto session = std::make_unique<TUserSession>(FDomain.get(), FUser);
  TChangeHolder* first = session->Edit(nullptr);
  first->AtomicSetFieldValue(thing, "Name", "b");
  first->AtomicSetFieldValue(doomed, "Name", "e");
  TChangeHolder* second = session->Edit(first);
  second->AtomicSetFieldValue(thing, "Qty", 3);
  // Freed under the records' feet: they only see that it is gone.
  doomed->Delete(nullptr);
  Coll("Things")->RemoveEntity(doomed);
  EXPECT_EQ(first->GetChanged(1), nullptr);
  session.reset();
  EXPECT_EQ(Name(thing), "a");
  EXPECT_EQ(thing->GetFieldValue("Qty"), Variant(0));
  EXPECT_FALSE(FDomain->Lock()->Locked());
}

TEST_F(Changes, AQueuedReactionOfAFreedEntityIsSkipped) {
  TEntity* fund = Stored("Funds", 3, "Fund");
  TEntity* report = Stored("Reports", 4, "Report");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  DeskReactions().clear();
  ASSERT_TRUE(Modify([&](TChangeHolder* AHolder) {
    AHolder->SetFieldValue(fund, "Name", "F1");
    EXPECT_EQ(AHolder->QueuedCalculations(), 1);
    report->Delete(nullptr);
    Coll("Reports")->RemoveEntity(report);
    return true;
  }));
  EXPECT_TRUE(DeskReactions().isEmpty());
}

TEST_F(Changes, RemovingFromACollectionListStoresTheDeletionAtOnce) {
  TEntity* thing = Thing(5, "a");
  FStorage->Row("things", 5).Values.insert("name", "a");
  auto list = std::make_unique<TEntityList>(FDomain.get(), FSession.get());
  list->SetFiller(FDomain->Configuration()->DefinitionByName("Things"), "");
  list->_Add(thing);
  list->RemoveEntity(nullptr, thing);
  EXPECT_FALSE(Table("things").contains(5));
  EXPECT_EQ(Coll("Things")->EntityByID(5), nullptr);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(Table("sys_log_actions").size(), 1);
}

TEST(Reactions, ChainsAreSplitTrimmedAndFoundWithoutRegardToCase) {
  TReactions reactions;
  int runs = 0;
  reactions.RegisterReaction("A; B.C ;", [&runs](TUserSession*, TChangeHolder*, TEntity*, TEntity*) { ++runs; });
  struct TCase {
    const char* Chain;
    bool Found;
  };
  const TCase cases[] = {{"A", true}, {"b.c", true}, {"B.C", true}, {" B.C", false}, {"", false}, {"C", false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Chain);
    const std::vector<TReactionRef>* found = reactions.FindReactions(c.Chain);
    EXPECT_EQ(found != nullptr, c.Found);
    if (found) {
      EXPECT_EQ(found->size(), 1u);
    }
  }
  EXPECT_EQ(reactions.AllReactions().size(), 1u);
  reactions.RegisterReaction(reactions.AllReactions().front());  // the same registration again
  EXPECT_EQ(reactions.AllReactions().size(), 1u);
}
