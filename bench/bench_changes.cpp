// Applying one change holder of 1 000 and of 10 000 changed records (three
// fields each) to an in-memory storage, each against setting the same
// fields without a holder in the same run. Prints ours/baseline ratios and
// how the 10 000 case grows over the 1 000 case (linear: about 10).
#include "BenchDesk.h"
#include "BenchRatio.h"

#include <QHash>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"

namespace {

class TBenchScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("ChangesBench"); }
  void DoCreateDefinitions() override {
    const Variant null = Variant::Null();
    AddDefinition(2, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", null, null, 100, fkString);
    AddDefinition(20, "SysLogActionKinds", "", "Kinds", "", 33, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", "", 1, 50, fkString);
    TDefinition* log = AddDefinition(21, "SysLog", "", "Log", "", 161, clkLibrary);
    log->AddSimpleFieldDef("UserName", "user_name", "User", null, null, 50, fkString);
    log->AddSimpleFieldDef("Description", "description", "Description", null, null, -1, fkString);
    TDefinition* actions = AddDefinition(22, "SysLogActions", "", "Actions", "", 161, clkLibrary);
    actions->AddEntityFieldDef("SysLog", "sys_log", "Log", "", "SysLog");
    actions->AddSimpleFieldDef("CollectionName", "collection", "Collection", null, null, 50, fkString);
    actions->AddSimpleFieldDef("EntityID", "entity_id", "ID", null, null, null, fkInteger);
    actions->AddEntityFieldDef("ActionKind", "action_kind", "Kind", "", "SysLogActionKinds");
    actions->AddSimpleFieldDef("Description", "description", "Description", null, null, -1, fkString);
    actions->AddSimpleFieldDef("JSON", "json", "JSON", null, null, -1, fkString);
    TDefinition* items = AddDefinition(10, "Items", "", "Items", "", 0, clkLibrary);
    items->AddSimpleFieldDef("Name", "name", "Name", null, null, 100, fkString);
    items->AddSimpleFieldDef("Kind", "kind", "Kind", 0, null, null, fkInteger);
    items->AddSimpleFieldDef("Total", "total", "Total", 0.0, null, null, fkFloat);
  }
};

// Rows of the active table, by ID.
class TBenchStorage : public TStorage {
 public:
  Variant ReadValue(const QString&, TFieldKind) override { return Variant::Null(); }
  void WriteValue(const QString& ATag, TFieldKind, const Variant& AValue, bool) override {
    if (FRow) FRow->insert(ATag, AValue);
  }
  std::unique_ptr<TStream> ReadStream(const QString&) override { return nullptr; }
  void WriteStream(const QString&, const TStream*) override {}
  void Activate(const QString& ATag) override { FTable = &FTables[ATag]; }
  void Deactivate() override { FTable = nullptr; }
  void ReadGroup(const QString&, const TStorageFunc&) override {}
  void WriteItem(int AID, int, TEntitySaveAction AAction, const TStorageFunc& AWriteFunc) override {
    if (AAction == esaDelete) {
      FTable->remove(AID);
      return;
    }
    FRow = &(*FTable)[AID];
    if (AWriteFunc) AWriteFunc(this);
    FRow = nullptr;
  }
  int CreateIDs(const QString& ATag, int ACount) override { return FNumerators[ATag] += ACount; }
  int CreateCodes(const QString& ATag, int ACount) override { return FNumerators[ATag + "#"] += ACount; }
  TDateTime GetTime() override { return TDateTime(45000.0); }
  bool SyncGroupDef(const QString&, const std::function<void()>&) override { return true; }
  void SyncItemDef(const QString&, TFieldKind, int) override {}

 private:
  QHash<QString, QHash<int, QHash<QString, Variant>>> FTables;
  QHash<int, QHash<QString, Variant>>* FTable = nullptr;
  QHash<QString, Variant>* FRow = nullptr;
  QHash<QString, int> FNumerators;
};

struct TBench : TBenchDesk<TBenchScript> {
  std::unique_ptr<TUserSession> Session;
  std::vector<TEntity*> Items;  // stored records, the first 1 000 or all 10 000 are changed
  int Round = 0;

  TBench() : TBenchDesk("ChangesBench") {
    Domain->SetStorage(std::make_unique<TBenchStorage>());
    Domain->Logger()->DisableLogging();
    Session = std::make_unique<TUserSession>(Domain.get(), nullptr);
    TCollection* items = Domain->CollectionByName("Items");
    for (int i = 1; i <= 10000; ++i) {
      TEntity* entity = items->InternalCreateEntity(i, false);
      entity->SubscribeFields();
      entity->ProcessFields();
      Items.push_back(entity);
    }
  }
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

void SetFields(TChangeHolder* AHolder, TEntity* AEntity, int ARound) {
  AEntity->_SetFieldValue(AHolder, QStringLiteral("Name"), QStringLiteral("Item %1").arg(ARound));
  AEntity->_SetFieldValue(AHolder, QStringLiteral("Kind"), ARound);
  AEntity->_SetFieldValue(AHolder, QStringLiteral("Total"), ARound * 0.5);
}

void BM_Apply(benchmark::State& AState) {
  TBench& bench = Bench();
  const auto count = static_cast<size_t>(AState.range(0));
  for (auto _ : AState) {
    const int round = ++bench.Round;
    const bool done = bench.Session->AtomicModification([&](TChangeHolder* AHolder) {
      for (size_t i = 0; i < count; ++i) SetFields(AHolder, bench.Items[i], round);
      return true;
    });
    if (!done) AState.SkipWithError("the modification failed");
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * static_cast<int64_t>(count));
}

void BM_Baseline(benchmark::State& AState) {
  TBench& bench = Bench();
  const auto count = static_cast<size_t>(AState.range(0));
  for (auto _ : AState) {
    const int round = ++bench.Round;
    for (size_t i = 0; i < count; ++i) SetFields(nullptr, bench.Items[i], round);
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * static_cast<int64_t>(count));
}

void BM_Apply1000(benchmark::State& AState) {
  BM_Apply(AState);
}
void BM_Apply10000(benchmark::State& AState) {
  BM_Apply(AState);
}
void BM_Baseline1000(benchmark::State& AState) {
  BM_Baseline(AState);
}
void BM_Baseline10000(benchmark::State& AState) {
  BM_Baseline(AState);
}

BENCHMARK(BM_Apply1000)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Baseline1000)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Apply10000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Baseline10000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  return RunRatioBenchmarks(
      argc, argv,
      {{"BM_Apply1000", "BM_Baseline1000", "apply 1 000 / set without holder"},
       {"BM_Apply10000", "BM_Baseline10000", "apply 10 000 / set without holder"},
       {"BM_Apply10000", "BM_Apply1000", "apply 10 000 / apply 1 000 (max 12)"}},
      [] { std::printf("one holder of N records, 3 fields each, logged\n"); }, [] { (void)Bench(); });
}
