#include "DomainDesk.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

namespace {

class Collections : public TDomainTest {};

}  // namespace

TEST(IndexMap, LevelsGrowWithTheIDsTheyHold) {
  TIndexMap map(nullptr, 4);
  std::vector<std::unique_ptr<TEntity>> entities;
  auto entity = [&] {
    entities.push_back(std::make_unique<TEntity>(nullptr, nullptr));
    return entities.back().get();
  };
  const struct {
    int32_t ID;
    int Levels;
    int32_t MaxID;
  } cases[] = {{1, 1, 15}, {15, 1, 15}, {16, 2, 255}, {300, 3, 4095}, {4096, 4, 65535}, {INT32_MAX, 8, INT32_MAX}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "ID " << c.ID);
    TEntity* e = entity();
    map.AddEntity(c.ID, e);
    EXPECT_EQ(map.LevelCount(), c.Levels);
    EXPECT_EQ(map.MaxID(), c.MaxID);
    EXPECT_EQ(map.GetEntity(c.ID), e);
  }
  // Every earlier entry survives the new levels.
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "ID " << cases[i].ID);
    EXPECT_EQ(map.GetEntity(cases[i].ID), entities[i].get());
  }
  EXPECT_EQ(map.GetEntity(17), nullptr);     // a missing leaf slot
  EXPECT_EQ(map.GetEntity(70000), nullptr);  // a missing node
  map.DeleteEntity(300);
  EXPECT_EQ(map.GetEntity(300), nullptr);
  map.DeleteEntity(123456);  // nothing there: nothing happens

  TIndexMap small(nullptr, 4);
  EXPECT_EQ(small.GetEntity(16), nullptr);  // beyond the capacity
  EXPECT_EQ(small.GetEntity(0), NullEntity());
}

TEST_F(Collections, ProvisionalIDsAreNeverReusedAndDoNotAccumulate) {
  TCollection* things = Coll("Things");
  TEntity* first = New("Things", "first");
  TEntity* second = New("Things", "second");
  EXPECT_EQ(first->ID(), -1);
  EXPECT_EQ(second->ID(), -2);
  EXPECT_EQ(things->EntityByID(-1), first);
  EXPECT_EQ(things->EntityByID(0), NullEntity());
  EXPECT_EQ(AssertionText([&] { things->EntityByID(-3); }), "Wrong behaviour");
  for (int i = 0; i < 1000; ++i) {
    TEntity* temporary = New("Things");
    temporary->SetDeletedFlag(true);
    things->RemoveEntity(temporary);
  }
  EXPECT_EQ(things->IndexMap()->JustCreatedCount(), 2);
  EXPECT_EQ(things->EntityByID(-500), nullptr);  // given out once, now empty
  EXPECT_EQ(New("Things")->ID(), -1003);
  EXPECT_EQ(things->NullableEntityByID(-500), NullEntity());
}

TEST_F(Collections, GeneratingAnIDDrawsTheNumeratorOnce) {
  TCollection* things = Coll("Things");
  TEntity* thing = New("Things", "Болт");
  FStorage->Numerators["things"] = 10;
  thing->GenerateID();
  EXPECT_EQ(thing->ID(), 11);
  EXPECT_EQ(things->EntityByID(11), thing);
  EXPECT_EQ(things->EntityByID(-1), nullptr);
  EXPECT_EQ(LogLines().last(), "> Generated new ID for entity: " + thing->ToString());
  EXPECT_EQ(AssertionText([&] { thing->GenerateID(); }), "Generation of new ID for already existed entity");
  EXPECT_EQ(AssertionText([&] { things->GenerateEntityID(NullEntity()); }),
            "Generation of new ID for already existed entity");
  EXPECT_EQ(FStorage->Numerators["things"], 11);
  // An environment-specific entity takes the workstation's environment.
  TEntity* setting = New("Settings", "s");
  setting->GenerateID();
  EXPECT_EQ(setting->EnvironmentID(), FDomain->EnvironmentID());
  EXPECT_FALSE(setting->IsRemote());
}

TEST_F(Collections, DefaultEntitiesLoadedKeepStoredValuesAndOthersAreCreated) {
  TMemoryStorage::TRow& row = FStorage->Row("gauges", 5);
  row.Values.insert("code", "stored code");
  row.Values.insert("title", "stored title");
  TCollection* gauges = Coll("Gauges");
  gauges->LoadAll(FStorage);
  TTestHolder holder;
  TEntity* loaded = gauges->CreateDefaultEntity(&holder, 5, true, "!Code;Title", {"C5", "Declared"});
  EXPECT_EQ(loaded->ID(), 5);
  EXPECT_FALSE(loaded->IsNew());
  EXPECT_EQ(loaded->GetFieldValue("Code"), Variant("C5"));
  EXPECT_EQ(loaded->GetFieldValue("Title"), Variant("stored title"));
  EXPECT_TRUE(holder.Created.empty());

  TEntity* created = gauges->CreateDefaultEntity(&holder, 8, true, "Code;Title", {"C8", "Declared"});
  EXPECT_EQ(created->ID(), 8);
  EXPECT_TRUE(created->IsNew());
  EXPECT_TRUE(created->IsService());
  EXPECT_EQ(created->GetFieldValue("Title"), Variant("Declared"));
  EXPECT_EQ(holder.Created, std::vector<TEntity*>({created}));
  EXPECT_EQ(gauges->MaxID(), 8);
  EXPECT_EQ(gauges->Count(), 2);

  // One environment-specific record per workstation.
  TEntity* setting = Coll("Settings")->CreateDefaultEntity(&holder, 1, false, "Name", {"mine"});
  EXPECT_LT(setting->ID(), 0);
  EXPECT_EQ(Coll("Settings")->CreateDefaultEntity(&holder, 1, false, "Name", {"again"}), setting);
  EXPECT_EQ(Coll("Settings")->Count(), 1);
  EXPECT_EQ(setting->GetFieldValue("Name"), Variant("mine"));
}

TEST_F(Collections, RemovalFreesOnlyEntitiesMarkedDeleted) {
  TCollection* things = Coll("Things");
  TEntity* thing = Stored("Things", 4, "x");
  things->RemoveEntity(thing);
  EXPECT_EQ(things->Count(), 1);
  things->RemoveEntity(NullEntity());
  TTestView view;
  things->AddViewListener(&view);
  things->AddViewListener(&view);
  thing->Delete(nullptr);
  EXPECT_EQ(view.Count(dckEntityRemoved), 1);
  things->RemoveEntity(thing);
  EXPECT_EQ(things->Count(), 0);
  EXPECT_EQ(things->EntityByID(4), nullptr);
  EXPECT_EQ(LogLines().last(), "Real deletion of entity");
  things->RemoveViewListener(&view);
}

TEST_F(Collections, ListenersHearCreationChangeAndDeletion) {
  TCollection* things = Coll("Things");
  TTestView view;
  things->AddViewListener(&view);
  TEntity* thing = New("Things");
  ASSERT_EQ(view.Count(dckEntityAdded), 1);
  EXPECT_EQ(view.Messages[0].Sender, things);
  EXPECT_EQ(view.Messages[0].Parameter, thing);
  thing->_SetFieldValue(nullptr, "Name", "x");
  EXPECT_EQ(view.Count(dckEntityChanged), 1);
  std::unique_ptr<TJSONObject> json = TJSONObject::LoadFromText(R"({"Qty":4})");
  things->FillEntityFromJSON(thing, json.get(), false);
  EXPECT_EQ(thing->GetFieldValue("Qty"), Variant(4));
  EXPECT_GE(view.Count(dckEntityChanged), 2);
  things->SetViewState(vsReadOnly);
  things->SetViewState(vsReadOnly);
  EXPECT_EQ(view.Count(dckViewStateChanged), 1);
  things->RemoveViewListener(&view);
}

TEST_F(Collections, ALoadThatFailsPartWayIsNeverMarkedLoaded) {
  for (int id = 1; id <= 3; ++id) FStorage->Row("things", id).Values.insert("name", QString::number(id));
  TCollection* things = Coll("Things");
  FStorage->FailAfterRows = 2;
  EXPECT_THROW(things->LoadAll(FStorage), Exception);
  EXPECT_FALSE(things->Loaded());
  EXPECT_EQ(things->Count(), 0);
  EXPECT_EQ(things->EntityByID(1), nullptr);
  EXPECT_EQ(FStorage->Deactivations, 1);

  // When the structure had to be repaired, the rows are read again in full.
  FStorage->StructureInOrder = false;
  things->LoadAll(FStorage);
  EXPECT_TRUE(things->Loaded());
  EXPECT_EQ(FStorage->Rebuilds, 1);
  EXPECT_EQ(things->Count(), 3);
  EXPECT_EQ(things->EntityByID(3)->GetFieldValue("Name"), Variant("3"));
  // Rows already held are skipped.
  things->LoadAll(FStorage);
  EXPECT_EQ(things->Count(), 3);
}

TEST_F(Collections, TheCatalogueLoadsItsOwnRowIntoItselfAndNotIntoItsList) {
  TCollection* root = FDomain->RootCollection();
  FStorage->Row("sys_definitions", 2).Values.insert("caption", "Каталог");
  FStorage->Row("sys_definitions", 110).Values.insert("caption", "Вещи (сохранено)");
  const int before = root->Count();
  root->LoadAll(FStorage);
  EXPECT_EQ(root->Count(), before);  // row 110 is the collection already made
  EXPECT_EQ(root->EntityByID(2), root);
  EXPECT_EQ(root->GetFieldValue("Caption"), Variant("Каталог"));
  for (int i = 0; i < root->Count(); ++i) EXPECT_NE(root->GetEntity(i), root);
  EXPECT_EQ(root->EntityByID(110), Coll("Things"));
  EXPECT_EQ(FDomain->CollectionByID(110), Coll("Things"));
  EXPECT_EQ(Coll("Things")->GetFieldValue("StorageName"), Variant("things"));
  EXPECT_EQ(FDomain->CollectionByName("partners"), nullptr);  // a mixin holds no records
}

TEST_F(Collections, ExportAndReceive) {
  Stored("Things", 3, "three");
  New("Things", "unsaved");
  TJSONArray array;
  Coll("Things")->ExportAll(&array);
  ASSERT_EQ(array.Size(), 1);
  EXPECT_TRUE(array.Get(0)->ToString().startsWith(R"({"id":3,"Name":"three")"));
  std::unique_ptr<TJSONObject> json = TJSONObject::LoadFromText(R"({"Name":"received"})");
  EXPECT_EQ(AssertionText([&] { Coll("Things")->CreateEntityFromJSON(3, json.get()); }),
            "This object is already created");
  TEntity* received = Coll("Things")->CreateEntityFromJSON(12, json.get());
  EXPECT_FALSE(received->IsNew());
  EXPECT_EQ(received->GetFieldValue("Name"), Variant("received"));
}

TEST_F(Collections, DocumentsDrawTheirCodeWithTheDefinitionPrefix) {
  EXPECT_EQ(New("Reports")->GetFieldValue("DocCode"), Variant("R-1"));
  EXPECT_EQ(New("Reports")->GetFieldValue("DocCode"), Variant("R-2"));
  EXPECT_EQ(New("Things")->GetFieldValue("Name"), Variant(""));
}

TEST_F(Collections, LookupsByValueAndByQuery) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* a = Stored("Employees", 1, "Anna");
  Stored("Employees", 2, "Anna");
  a->_SetFieldEntity(nullptr, "Fund", fund);
  TCollection* employees = Coll("Employees");
  EXPECT_EQ(employees->EntityByNameAndGrouping("Name", "Anna"), a);
  EXPECT_EQ(employees->EntityByNameAndGrouping("Name", "Anna", 1, "Fund"), a);
  EXPECT_EQ(employees->EntityByNameAndGrouping("Name", "anna"), NullEntity());
  EXPECT_EQ(employees->EntityByNameAndGrouping("Nope", "Anna"), NullEntity());
  EXPECT_EQ(employees->First(), a);
  EXPECT_EQ(employees->IndexOfField("Fund"), 1);

  TUserSession session(FDomain.get(), nullptr);
  const std::vector<TEntity*> found = employees->Find(&session, R"(Name=:N)", {QStringLiteral("Anna")});
  EXPECT_EQ(found.size(), 2u);
  EXPECT_EQ(employees->FindOne(&session, R"(Name="Bob")"), nullptr);
}

TEST_F(Collections, SearchIndexesFollowTheirFields) {
  TCollection* things = Coll("Things");
  TEntity* a = Stored("Things", 1, "a");
  TSearchIndex* index = things->AddSearchIndex("Name");
  TEntity* b = Stored("Things", 2, "b");
  things->AddToSearchIndexes(b, "Name");
  EXPECT_EQ(index->GetText(), "Index: Name\r\n  \"a\": 1\r\n  \"b\": 1\r\n");
  b->_SetFieldValue(nullptr, "Name", "a");
  EXPECT_EQ(index->GetText(), "Index: Name\r\n  \"a\": 2\r\n");
  EXPECT_EQ(index->FindBucket(a)->List(), std::vector<TEntity*>({a, b}));
  EXPECT_EQ(things->ShowSearchIndexInfo(), "Collection: Things [2]\r\n" + index->GetText() + "\r\n");
  b->SetDeletedFlag(true);
  things->RemoveEntity(b);
  EXPECT_EQ(index->GetText(), "Index: Name\r\n  \"a\": 1\r\n");

  // An index over a reference finds the entities that refer to an entity.
  TEntity* c = Stored("Things", 3, "c");
  TSearchIndex* byRef = things->AddSearchIndex("Ref");
  things->AddSearchIndex("Ref;Qty");
  c->_SetFieldEntity(nullptr, "Ref", a);
  EXPECT_EQ(things->FindIndexBucket("Ref", a)->List(), std::vector<TEntity*>({c}));
  EXPECT_EQ(byRef->FindBucketByKey("0")->List(), std::vector<TEntity*>({a}));
  EXPECT_EQ(AssertionText([&] { things->AddSearchIndex(" ; "); }), "Assertion failure");
}
