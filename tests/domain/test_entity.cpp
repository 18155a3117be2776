#include <QRegularExpression>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Domain/Fields/uBlobField.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uLink.h"
#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"

namespace {

QString JSONOf(const TEntity* AEntity) {
  TJSONObject object;
  AEntity->ExportToJSON(&object);
  return object.ToString();
}

int ListenerEntries(TEntity* AEntity, const QString& AFieldName, TEntity* AReferrer) {
  int count = 0;
  for (const TEntityListener& listener : AEntity->Listeners())
    if (listener.FieldName == AFieldName && listener.Instance == AReferrer) ++count;
  return count;
}

class Entity : public TDomainTest {};

}  // namespace

TEST_F(Entity, JSONFormHoldsEveryValueKindAndLeavesListsAndEmptyBlobsOut) {
  TEntity* unsaved = New("Things", "unsaved");
  TEntity* thing = Stored("Things", 5);
  thing->FieldInternalSetValue("Name", QString(QChar(0x0416)));
  thing->FieldInternalSetValue("Qty", 3);
  thing->FieldInternalSetValue("Price", Currency::FromScaled(123456));
  thing->FieldInternalSetValue("D", TDateTime(45000.5));
  thing->FieldInternalSetValue("B", true);
  thing->FieldInternalSetValue("C", Variant::Null());
  thing->FieldInternalSetValue("Ref", static_cast<TObject*>(unsaved));
  EXPECT_EQ(JSONOf(thing), R"({"id":5,"Name":"\u0416","Qty":3,"Price":12.3456,"D":45000.5,"B":1,"C":1,"Ref":0})");

  // Read back into a fresh entity, the form is the same (the reference is
  // resolved by the caller; 0 is the NullEntity).
  std::unique_ptr<TJSONObject> parsed = TJSONObject::LoadFromText(JSONOf(thing));
  TEntity* copy = Coll("Things")->CreateEntityFromJSON(6, parsed.get());
  copy->SubscribeFields();
  EXPECT_EQ(JSONOf(copy), R"({"id":6,"Name":"\u0416","Qty":3,"Price":12.3456,"D":45000.5,"B":1,"C":1,"Ref":0})");
  EXPECT_EQ(copy->ExtractEntity("Ref"), NullEntity());

  // Environment-specific entities carry "guid" right after "id".
  TEntity* setting = Stored("Settings", 7, "x");
  setting->SetEnvironmentID("{A}");
  EXPECT_EQ(JSONOf(setting), R"({"id":7,"guid":"{A}","Name":"x"})");
  EXPECT_TRUE(setting->IsRemote());
  setting->SetEnvironmentID(FDomain->EnvironmentID().toLower());
  EXPECT_FALSE(setting->IsRemote());
}

TEST_F(Entity, FillFromJSONRefusesTheNullEntityAndAMissingObject) {
  TJSONObject object;
  EXPECT_EQ(AssertionText([&] { NullEntity()->FillFromJSON(&object, true); }), "Attempt to load NullEntity");
  EXPECT_EQ(AssertionText([&] { New("Things")->FillFromJSON(nullptr, true); }),
            "Attempt to load from empty JSON object");
  // A value of the wrong JSON type is refused and leaves the field as it was.
  TEntity* thing = New("Things", "keep");
  object.AddPair("Name", std::make_unique<TJSONNumber>(1));
  EXPECT_EQ(AssertionText([&] { thing->FillFromJSON(&object, true); }), "Assertion failure");
  EXPECT_EQ(thing->GetFieldValue("Name"), Variant("keep"));
}

TEST_F(Entity, ToStringNamesDefinitionIDAndDisplayName) {
  const QRegularExpression tail(QStringLiteral(" \\[[0-9A-F]{8}\\]$"));
  EXPECT_TRUE(NullEntity()->ToString().startsWith("{{EMPTY}} ["));
  EXPECT_TRUE(tail.match(NullEntity()->ToString()).hasMatch());
  TEntity* thing = Stored("Things", 5, "Болт");
  EXPECT_TRUE(thing->ToString().startsWith("(Things) 5: Болт ["));
  EXPECT_TRUE(tail.match(thing->ToString()).hasMatch());
  EXPECT_NE(thing->ToString().right(10), Stored("Things", 6, "Болт")->ToString().right(10));
  EXPECT_EQ(NullEntity()->DisplayName(), "< --- >");
}

TEST_F(Entity, DateDefaultsAreRelativeToTheDomainClock) {
  FStorage->Clock = EncodeDateTime(2024, 2, 29, 10, 30, 0, 0);
  auto* start = static_cast<TSimpleFieldDef*>(Coll("Gauges")->ContentDefinition()->FieldByName("Start"));
  const struct {
    Variant Default;
    TDateTime Expected;
  } cases[] = {
      {"date", EncodeDate(2024, 2, 29)},
      {"datetime", EncodeDateTime(2024, 2, 29, 10, 30, 0, 0)},
      {"tomorrow", EncodeDate(2024, 3, 1)},
      {"+1y-1d", EncodeDate(2025, 2, 27)},
      {"+1w", EncodeDate(2024, 3, 7)},
      {"-1w", EncodeDate(2024, 2, 22)},
      {"year_start", EncodeDate(2024, 1, 1)},
      {"Date", TDateTime(0)},
      {"next week", TDateTime(0)},
      {TDateTime(45000.25), TDateTime(45000.25)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(VarToStr(c.Default).toStdString());
    start->SetDefaultValue(c.Default);
    TEntity* gauge = New("Gauges");
    EXPECT_DOUBLE_EQ(VarToDateTime(gauge->GetFieldValue("Start")), c.Expected);
  }
}

TEST_F(Entity, FieldPathsAndExtractedValues) {
  TEntity* owner = Stored("Things", 1, "owner");
  TEntity* item = Stored("Things", 2, "item");
  item->_SetFieldEntity(nullptr, "Ref", owner);

  EXPECT_EQ(NullEntity()->ExtractFieldValue("IsNull"), Variant(true));
  EXPECT_EQ(item->ExtractFieldValue("IsNull"), Variant(false));
  EXPECT_TRUE(NullEntity()->ExtractFieldValue("Name").IsNull());
  // Only the exact spelling is the pseudo field.
  EXPECT_THROW(item->ExtractFieldValue("isnull"), Exception);
  EXPECT_EQ(item->ExtractFieldValue("Ref"), Variant("owner"));  // a reference gives its display name
  EXPECT_EQ(item->ExtractFieldValue("Ref.Name"), Variant("owner"));
  EXPECT_EQ(item->ExtractFieldValue("Ref.ID"), Variant(1));
  EXPECT_EQ(owner->ExtractFieldValue("Items.Count"), Variant(1));
  EXPECT_EQ(owner->ExtractFieldValue("Items"), Variant(""));
  // A path through an empty reference gives Null instead of failing.
  EXPECT_TRUE(owner->ExtractFieldValue("Ref.Ref.Name").IsNull());
  EXPECT_EQ(AssertionText([&] { item->ExtractFieldValue("Qty.X"); }),
            "Integer field can't get value [Qty] by parameter [X]");

  EXPECT_EQ(item->ExtractFieldFromPath("Ref.Name"), owner->FieldByName("Name"));
  EXPECT_EQ(owner->ExtractFieldFromPath("Ref.Name"), nullptr);
  EXPECT_EQ(AssertionText([&] { item->ExtractFieldFromPath("Name.Qty"); }), "Wrong name for field path");
  EXPECT_EQ(AssertionText([&] { item->ExtractEntity("Name"); }), "Not object field used for extraction");
  try {
    item->FieldByName("Missing");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Запрашиваемое поле [Missing] отсутствует в объекте из коллекции [Things]");
  }
}

TEST_F(Entity, FieldTextsAndPlainRenderings) {
  const TRestoreOnExit<TFormatSettings> russian(FormatSettings(), TFormatSettings::Russian());
  TEntity* owner = Stored("Things", 1, "owner");
  TEntity* thing = Stored("Things", 2, "Болт");
  thing->FieldInternalSetValue("Qty", 7);
  thing->FieldInternalSetValue("Price", Currency::FromScaled(12345600));
  thing->FieldInternalSetValue("D", EncodeDateTime(2024, 3, 5, 9, 7, 8, 0));
  thing->FieldInternalSetValue("B", true);
  thing->FieldInternalSetValue("C", 0x00A8D9);
  thing->FieldInternalSetValue("Data", static_cast<TObject*>(std::make_unique<TStream>("abc").get()));
  thing->_SetFieldEntity(nullptr, "Ref", owner);

  const struct {
    const char* Field;
    const char* Text;
    const char* Plain;
  } cases[] = {
      {"Name", "Болт", "Болт"},          {"Qty", "7", "7"},      {"Price", "1\u00A0234,56", "1234,56"},
      {"D", "05.03.2024", "05.03.2024"}, {"B", "", "Yes"},       {"C", "43225", "0000A8D9"},
      {"Ref", "owner", "owner"},         {"Data", "", "size=3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Field);
    EXPECT_EQ(thing->FieldText(c.Field), QString::fromUtf8(c.Text));
    EXPECT_EQ(thing->FieldToString(c.Field), QString::fromUtf8(c.Plain));
  }
  EXPECT_EQ(thing->FieldText("Unknown"), "Болт");
  EXPECT_EQ(owner->FieldText("Ref"), "");
  EXPECT_EQ(owner->FieldText("D"), " -");
  auto* dateDef = thing->Definition()->FieldByName("D");
  dateDef->SetStyleName("time");
  EXPECT_EQ(thing->FieldText("D"), "05.03.2024  9:07:08");
  dateDef->SetStyleName("");
}

TEST_F(Entity, AChangeReachesTheReferrerUnderTwoSegmentChainsAndNoFurther) {
  TEntity* fund = Stored("Funds", 1, "Fund");
  TEntity* report = Stored("Reports", 1, "Report");
  TEntity* note = Stored("Notes", 1, "Note");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  note->_SetFieldEntity(nullptr, "Subject", report);
  TTestView reportView, noteView;
  report->AddUIListener("Fund", &reportView);
  note->AddUIListener("Subject", &noteView);
  DeskReactions().clear();

  // Without a holder the reactions run at once, with the domain's own session.
  fund->_SetFieldValue(nullptr, "Name", "Renamed");
  EXPECT_EQ(DeskReactions(), QStringList({"Name.Fund Report Renamed (no holder)"}));
  ASSERT_EQ(reportView.Messages.size(), 1u);
  EXPECT_EQ(reportView.Messages[0].Kind, dckEntityChanged);
  EXPECT_EQ(reportView.Messages[0].Sender, report);
  EXPECT_EQ(reportView.Messages[0].Parameter, fund);
  EXPECT_TRUE(noteView.Messages.empty());

  // With a holder the holder schedules them.
  TTestHolder holder;
  DeskReactions().clear();
  fund->_SetFieldValue(&holder, "Name", "Again");
  EXPECT_TRUE(holder.Calls.contains("schedule Name.Fund"));
  EXPECT_FALSE(holder.Calls.contains("schedule Name.Fund.Subject"));
  EXPECT_EQ(DeskReactions(), QStringList({"Name.Fund Report Again"}));

  // A change of the report itself does reach the note.
  DeskReactions().clear();
  report->_SetFieldValue(nullptr, "Name", "R2");
  EXPECT_EQ(DeskReactions(), QStringList({"Notes Note R2 (no holder)"}));
  report->RemoveUIListener("Fund", &reportView);
  note->RemoveUIListener("Subject", &noteView);
}

TEST_F(Entity, MarkingDeletedTwiceLogsAndRegistersOnce) {
  TEntity* thing = Stored("Things", 3, "x");
  TTestView view;
  thing->AddUIListener("", &view);
  TTestHolder holder;
  thing->Delete(&holder);
  thing->Delete(&holder);
  thing->SetDeleted(&holder);
  EXPECT_TRUE(thing->Deleted());
  EXPECT_EQ(holder.Deleted.size(), 1u);
  EXPECT_EQ(LogLines().count("Entity is marked for deletion: Things[3]"), 1);
  EXPECT_EQ(view.Count(dckEntityDeleted), 1);
  thing->RemoveUIListener("", &view);
  // The NullEntity never changes.
  NullEntity()->SetDeleted(&holder);
  EXPECT_FALSE(NullEntity()->Deleted());
}

TEST_F(Entity, PopulateForcesMarkedAndNotStoredValuesOnExistingRecords) {
  TEntity* gauge = Stored("Gauges", 5);
  gauge->FieldInternalSetValue("Code", "old");
  gauge->FieldInternalSetValue("Title", "stored title");
  gauge->Populate("!Code;Title;Note;Level", {"new", "declared title", "scratch"}, false);
  EXPECT_EQ(gauge->GetFieldValue("Code"), Variant("new"));
  EXPECT_EQ(gauge->GetFieldValue("Title"), Variant("stored title"));
  EXPECT_EQ(gauge->GetFieldValue("Note"), Variant("scratch"));  // not stored: always taken
  EXPECT_EQ(gauge->GetFieldValue("Level"), Variant(-1));        // beyond the values: ignored
  gauge->Populate("Title", {"all"}, true);
  EXPECT_EQ(gauge->GetFieldValue("Title"), Variant("all"));
  try {
    gauge->Populate("Code;Nope", {"a", "b"}, true);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Поле [Nope] не существует в коллекции [Gauges]");
  }
}

TEST_F(Entity, ListenerEntriesMatchLiveReferencesThroughResubscribingAndPopulating) {
  TEntity* first = Stored("Things", 1, "first");
  TEntity* second = Stored("Things", 2, "second");
  TEntity* item = Stored("Things", 3, "item");
  item->_SetFieldEntity(nullptr, "Ref", first);
  // Resolving and processing again adds nothing.
  item->SubscribeFields();
  item->ProcessFields();
  Coll("Things")->Subscribe();
  EXPECT_EQ(ListenerEntries(first, "Ref", item), 1);
  EXPECT_EQ(ListenerEntries(item, "Items", first), 1);
  EXPECT_EQ(first->GetFieldList("Items"), std::vector<TEntity*>({item}));
  // A value stored without holder moves the reference with its bookkeeping.
  item->FieldInternalSetValue("Ref", static_cast<TObject*>(second));
  EXPECT_EQ(ListenerEntries(first, "Ref", item), 0);
  EXPECT_EQ(ListenerEntries(second, "Ref", item), 1);
  EXPECT_EQ(ListenerEntries(item, "Items", first), 0);
  EXPECT_TRUE(first->GetFieldList("Items").empty());
  EXPECT_EQ(second->GetFieldList("Items"), std::vector<TEntity*>({item}));
  // So does a default record declared over an existing one.
  Coll("Things")->CreateDefaultEntity(nullptr, 3, false, "!Ref", {static_cast<TObject*>(first)});
  Coll("Things")->Subscribe();
  EXPECT_EQ(ListenerEntries(second, "Ref", item), 0);
  EXPECT_EQ(ListenerEntries(first, "Ref", item), 1);
  EXPECT_EQ(first->Listeners().size(), 1u);
}

TEST_F(Entity, ADeletionWithoutHolderLeavesNoReferenceToTheFreedEntity) {
  TEntity* fund = Stored("Funds", 1, "Fund");
  TEntity* report = Stored("Reports", 1, "Report");
  TEntity* employee = Stored("Employees", 1, "Emp");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  employee->_SetFieldEntity(nullptr, "Fund", fund);
  ASSERT_EQ(fund->GetFieldList("Reports").size(), 1u);
  // As a deletion received from another workstation: mark without holder, remove.
  Coll("Funds")->MarkEntityAsDeleted(nullptr, fund);
  Coll("Funds")->RemoveEntity(fund);
  EXPECT_EQ(Coll("Funds")->Count(), 0);
  EXPECT_EQ(report->ExtractEntity("Fund"), NullEntity());
  EXPECT_EQ(employee->ExtractEntity("Fund"), NullEntity());
  // The freed entity is not touched by later changes (the sanitizer watches).
  report->_SetFieldValue(nullptr, "Name", "after");
  employee->_SetFieldValue(nullptr, "Name", "after");
}

TEST_F(Entity, FreeingAnEntityClearsEveryPointerToIt) {
  // A deletion with a holder leaves the references to the holder; when the
  // entity is then freed, whatever still points at it is cleared.
  TEntity* owner = Stored("Things", 1, "owner");
  TEntity* item = Stored("Things", 2, "item");
  item->_SetFieldEntity(nullptr, "Ref", owner);
  owner->SetDeletedFlag(true);
  Coll("Things")->RemoveEntity(owner);
  EXPECT_EQ(item->ExtractEntity("Ref"), NullEntity());
  EXPECT_TRUE(item->Listeners().empty());
  item->SetDeletedFlag(true);
  Coll("Things")->RemoveEntity(item);
  EXPECT_EQ(Coll("Things")->Count(), 0);
}

TEST_F(Entity, CloneCopiesValuesAndStrongListsButNotWeakOnes) {
  TEntity* fund = Stored("Funds", 1, "Fund");
  fund->FieldInternalSetValue("Department", "D1");
  TEntity* doc = Stored("Docs", 1, "Doc");
  doc->_SetFieldEntity(nullptr, "Owner", fund);
  TEntity* report = Stored("Reports", 1, "Report");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  TTestHolder holder;
  TEntity* clone = Coll("Funds")->CloneEntity(&holder, fund);
  ASSERT_NE(clone, nullptr);
  EXPECT_TRUE(clone->IsNew());
  EXPECT_LT(clone->ID(), 0);
  EXPECT_EQ(clone->GetFieldValue("Name"), Variant("Fund"));
  EXPECT_EQ(clone->GetFieldValue("Department"), Variant("D1"));
  const std::vector<TEntity*> docs = clone->GetFieldList("Docs");
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_NE(docs[0], doc);
  EXPECT_EQ(docs[0]->GetFieldValue("Name"), Variant("Doc"));
  EXPECT_EQ(docs[0]->ExtractEntity("Owner"), clone);
  EXPECT_TRUE(clone->GetFieldList("Reports").empty());
  EXPECT_EQ(fund->GetFieldList("Docs"), std::vector<TEntity*>({doc}));
  EXPECT_EQ(holder.Created.size(), 2u);
  EXPECT_EQ(Coll("Funds")->CloneEntity(&holder, nullptr), nullptr);
}

TEST_F(Entity, ADependentReferenceIsClearedWhenItNoLongerBelongsToTheMaster) {
  TEntity* fund1 = Stored("Funds", 1, "F1");
  TEntity* fund2 = Stored("Funds", 2, "F2");
  TEntity* manager = Stored("Employees", 1, "M");
  manager->_SetFieldEntity(nullptr, "Fund", fund1);
  TEntity* report = Stored("Reports", 1, "R");
  report->_SetFieldEntity(nullptr, "Fund", fund1);
  report->_SetFieldEntity(nullptr, "Manager", manager);
  TTestHolder holder;
  report->_SetFieldEntity(&holder, "Fund", fund1);  // unchanged: nothing happens
  EXPECT_EQ(report->ExtractEntity("Manager"), manager);
  report->_SetFieldEntity(&holder, "Fund", fund2);
  EXPECT_EQ(report->ExtractEntity("Manager"), NullEntity());
  EXPECT_TRUE(holder.Calls.contains("set Reports.Manager"));
}

TEST_F(Entity, UnsupportedFieldKindsAndValidity) {
  TDefinition* things = Coll("Things")->ContentDefinition();
  TFieldDef action(things, "Act", fkAction, vsFullAccess, 0, -1);
  EXPECT_EQ(AssertionText([&] { New("Things")->CreateField(&action); }), "Field type is not supported!");
  TEntity* gauge = New("Gauges");
  EXPECT_FALSE(gauge->IsValid());  // Code is required and holds its null value
  gauge->_SetFieldValue(nullptr, "Code", "A");
  EXPECT_TRUE(gauge->IsValid());
  EXPECT_TRUE(New("Things")->IsValid());
  EXPECT_TRUE(gauge->InstanceOf("gauges"));
  EXPECT_FALSE(NullEntity()->InstanceOf("Gauges"));
  EXPECT_FALSE(gauge->IsParam());
}

TEST_F(Entity, LinksTellWhetherTheirEntityStillExists) {
  TEntity* thing = Stored("Things", 1, "x");
  {
    TLinkRef link = thing->GetLink();
    EXPECT_EQ(link.Owner(), thing);
    EXPECT_EQ(link->ReferencesCount(), 2);
    TLinkRef copy = link;
    TLinkRef moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(link->ReferencesCount(), 3);
    thing->SetDeletedFlag(true);
    Coll("Things")->RemoveEntity(thing);
    EXPECT_EQ(link.Owner(), nullptr);
    EXPECT_EQ(moved.Owner(), nullptr);
    EXPECT_EQ(link->ReferencesCount(), 2);
    moved = TLinkRef();
    EXPECT_EQ(link->ReferencesCount(), 1);
  }  // the last holder frees the link; the leak checker watches

  // Counted by hand, the owner's own reference cannot be given away.
  TLink* other = New("Things")->GetLink().Release();
  other->Dispose();
  EXPECT_EQ(AssertionText([&] { other->Dispose(); }), "Weak link to an active object is destroying");
}

// Received values that do not fit their field are refused whole: nothing of
// the JSON is taken, and a refused new entity leaves nothing behind.
TEST_F(Entity, ReceivedNumbersMustFitTheirFields) {
  const QString notInteger = "'%1' is not a valid integer value";
  const struct {
    const char* Pair;
    QString Error;  // empty: taken
  } rows[] = {
      {R"("Ref":4294967297)", notInteger.arg("4294967297")},
      {R"("Ref":1.5)", notInteger.arg("1.5")},
      {R"("Ref":-4294967295)", notInteger.arg("-4294967295")},
      {R"("Qty":2147483648)", notInteger.arg("2147483648")},
      {R"("Qty":-2147483649)", notInteger.arg("-2147483649")},
      {R"("Qty":1e30)", notInteger.arg("1e30")},
      {R"("Qty":2.5)", notInteger.arg("2.5")},
      {R"("C":4294967296)", notInteger.arg("4294967296")},
      {R"("Qty":"7")", "Assertion failure"},
      {R"("Data":"%%%")", "Invalid Base64 text"},
      {R"("Qty":2147483647)", ""},
      {R"("Qty":-2147483648)", ""},
      {R"("Qty":3.0)", ""},
      {R"("C":4294967295)", ""},
      {R"("Ref":1)", ""},
  };
  TEntity* target = Stored("Things", 1, "target");
  int32_t nextID = 100;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Pair);
    // Name comes first in field order: it would be taken before the bad value.
    const auto json = TJSONObject::ParseJSONValue(QStringLiteral(R"({"Name":"changed",%1})").arg(row.Pair));
    const auto* object = dynamic_cast<const TJSONObject*>(json.get());
    if (!object) {
      ADD_FAILURE() << "not an object";
      continue;
    }
    const auto message = [](const std::function<void()>& AAction) -> QString {
      try {
        AAction();
      } catch (const std::exception& e) {
        const QString text = ExceptionMessage(e);
        const qsizetype at = text.lastIndexOf(QStringLiteral(" (src/"));
        return at < 0 ? text : text.left(at);
      }
      return QString();
    };
    for (const bool isNew : {true, false}) {
      SCOPED_TRACE(isNew ? "new" : "change");
      target->FieldInternalSetValue("Name", "target");
      target->FieldInternalSetValue("Qty", 0);
      EXPECT_EQ(message([&] { target->FillFromJSON(object, isNew); }), row.Error);
      EXPECT_EQ(VarToStr(target->GetFieldValue("Name")), row.Error.isEmpty() ? "changed" : "target");
      if (!row.Error.isEmpty()) {
        EXPECT_EQ(target->GetFieldValue("Qty"), Variant(0));
      }
    }
    const int32_t id = ++nextID;
    const int count = Coll("Things")->Count();
    EXPECT_EQ(message([&] { Coll("Things")->CreateEntityFromJSON(id, object); }), row.Error);
    if (row.Error.isEmpty()) continue;
    EXPECT_EQ(Coll("Things")->Count(), count);
    EXPECT_EQ(Coll("Things")->EntityByID(id), nullptr);
    // A retry with good JSON is not taken for a second creation.
    TJSONObject good;
    good.AddPair("Name", std::make_unique<TJSONString>("retry"));
    EXPECT_EQ(message([&] { Coll("Things")->CreateEntityFromJSON(id, &good); }), "");
  }
}

TEST_F(Entity, StatesAndEnumerationTexts) {
  TEntity* doc = Stored("Docs", 1, "D");
  ASSERT_NE(doc->EntityState(), nullptr);
  EXPECT_EQ(doc->EntityState()->ID(), 1);
  EXPECT_EQ(doc->GetStateCaption(), "Черновик");
  TTestHolder holder;
  EXPECT_TRUE(doc->_SetState(&holder, 2));
  EXPECT_EQ(doc->GetFieldValue("State"), Variant(2));
  EXPECT_EQ(doc->GetStateCaption(), "Отправлен");
  EXPECT_EQ(doc->FieldToString("State"), "Отправлен");
  EXPECT_EQ(doc->FieldToString("Month"), "Март");
  // A field that is no state, or names no state machine, gives no state.
  EXPECT_EQ(doc->EntityState("Name"), nullptr);
  EXPECT_EQ(doc->EntityState("Kind"), nullptr);
  EXPECT_TRUE(LogLines().last().startsWith("Ошибка получения состояния: There is no enumeration [Nowhere] ("))
      << LogLines().last();
  EXPECT_EQ(AssertionText([&] { doc->FieldToString("Kind"); }), "There is no enumeration [Nowhere]");
  EXPECT_EQ(NullEntity()->EntityState(), nullptr);
  EXPECT_EQ(NullEntity()->GetStateCaption(), "не определено");
  EXPECT_FALSE(Stored("Things", 1)->_SetState(&holder, 1));
}
