// Collections of 1 000 000 records, each against a baseline on the same
// data in the same run: creating the records (against plain structs in a
// std::unordered_map) and finding them by identifier (against
// std::unordered_map lookups of the same identifiers). Prints ours/baseline
// time ratios after the runs.
#include "BenchDesk.h"
#include "BenchRatio.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"

namespace {

constexpr int cRecordCount = 1000000;
constexpr int cLookups = 1000000;

class TBenchScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("CollectionBench"); }
  void DoCreateDefinitions() override {
    AddDefinition(2, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TDefinition* items = AddDefinition(10, "Items", "", "Items", "", 0, clkLibrary);
    items->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    items->AddSimpleFieldDef("Kind", "kind", "Kind", 0, Variant::Null(), Variant::Null(), fkInteger);
    items->AddSimpleFieldDef("Total", "total", "Total", 0.0, Variant::Null(), Variant::Null(), fkFloat);
  }
};

// What a record holds, written plainly.
struct TPlainRecord {
  int ID;
  QString Name;
  int Kind;
  double Total;
};

struct TBench : TBenchDesk<TBenchScript> {
  TCollection* Items = nullptr;
  std::unordered_map<int32_t, TEntity*> ByID;  // the baseline map over the same records
  std::vector<int32_t> Probes;                 // random stored IDs, some beyond the last

  TBench() : TBenchDesk("CollectionBench") {
    Items = Domain->CollectionByName("Items");
    // Stored IDs with gaps, as a numerator leaves them after deletions.
    for (int i = 1; i <= cRecordCount; ++i) {
      TEntity* entity = Items->InternalCreateEntity(i * 3, false);
      entity->FieldInternalSetValue("Name", QStringLiteral("Item %1").arg(i));
      entity->FieldInternalSetValue("Kind", i % 5);
      ByID.emplace(entity->ID(), entity);
    }
    std::mt19937 random(20240229);
    std::uniform_int_distribution<int32_t> id(1, cRecordCount * 3 + 1000);
    for (int i = 0; i < cLookups; ++i) Probes.push_back(id(random));
  }
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

void BM_CreateEntities(benchmark::State& AState) {
  TBench& bench = Bench();
  for (auto _ : AState) {
    AState.PauseTiming();
    auto collection = std::make_unique<TCollection>(bench.Domain.get(), bench.Domain->RootCollection()->Definition());
    collection->SetCollectionAttributes(TEntity::EntityClass(), bench.Items->ContentDefinition());
    AState.ResumeTiming();
    // Field names as the desk passes them: ready-made strings, not C strings
    // converted per record.
    const QString kind = QStringLiteral("Kind");
    for (int i = 1; i <= cRecordCount; ++i) {
      TEntity* entity = collection->CreateNewEntity(nullptr, -1, nullptr);
      entity->FieldInternalSetValue(kind, i % 5);
    }
    benchmark::DoNotOptimize(collection->Count());
    AState.PauseTiming();
    collection.reset();
    AState.ResumeTiming();
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cRecordCount);
}

void BM_CreateBaseline(benchmark::State& AState) {
  for (auto _ : AState) {
    std::unordered_map<int32_t, std::unique_ptr<TPlainRecord>> records;
    for (int i = 1; i <= cRecordCount; ++i) {
      auto record = std::make_unique<TPlainRecord>(TPlainRecord{-i, QString(), i % 5, 0.0});
      records.emplace(record->ID, std::move(record));
    }
    benchmark::DoNotOptimize(records.size());
    AState.PauseTiming();
    records.clear();
    AState.ResumeTiming();
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cRecordCount);
}

void BM_FindByID(benchmark::State& AState) {
  TBench& bench = Bench();
  size_t found = 0;
  for (auto _ : AState) {
    found = 0;
    for (int32_t id : bench.Probes)
      if (bench.Items->EntityByID(id)) ++found;
    benchmark::DoNotOptimize(found);
  }
  AState.counters["found"] = static_cast<double>(found);
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cLookups);
}

void BM_FindBaseline(benchmark::State& AState) {
  TBench& bench = Bench();
  size_t found = 0;
  for (auto _ : AState) {
    found = 0;
    for (int32_t id : bench.Probes)
      if (bench.ByID.find(id) != bench.ByID.end()) ++found;
    benchmark::DoNotOptimize(found);
  }
  AState.counters["found"] = static_cast<double>(found);
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cLookups);
}

BENCHMARK(BM_CreateEntities)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_CreateBaseline)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FindByID)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  return RunRatioBenchmarks(
      argc, argv,
      {{"BM_CreateEntities", "BM_CreateBaseline", "CreateNewEntity / unordered_map insert"},
       {"BM_FindByID", "BM_FindBaseline", "EntityByID / unordered_map find"}},
      [] { std::printf("%d records, %d lookups by ID\n", cRecordCount, cLookups); }, [] { (void)Bench(); });
}
