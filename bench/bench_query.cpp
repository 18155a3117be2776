// Queries and list sorting over many records, each against a hand-written
// baseline on the same records in the same run: a Select over 1 000 000
// records against a direct loop over their field values, and sorting an
// entity list of 100 000 by name against std::sort with collator keys.
// Compiling a negated nesting twice as deep is measured against the half
// depth. Prints ours/baseline time ratios after the runs.
#include "BenchDesk.h"
#include "BenchRatio.h"

#include <QCollator>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uPaths.h"

namespace {

constexpr int cRecordCount = 1000000;
constexpr int cListCount = 100000;
const char* const cWhere = "&(Kind=2,Total>4.5)";

class TBenchScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("QueryBench"); }
  void DoCreateDefinitions() override {
    AddDefinition(1, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TDefinition* items = AddDefinition(10, "Items", "", "Items", "", 0, clkLibrary);
    items->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    items->AddSimpleFieldDef("Kind", "kind", "Kind", 0, Variant::Null(), Variant::Null(), fkInteger);
    items->AddSimpleFieldDef("Total", "total", "Total", 0.0, Variant::Null(), Variant::Null(), fkFloat);
  }
};

// Russian-looking names in a shuffled order, so that sorting has work to do.
QString NameOf(std::mt19937& ARandom) {
  static const char16_t* const cSyllables[] = {u"ка", u"ли", u"но", u"ро", u"ва", u"Ми", u"ша",
                                               u"То", u"де", u"Зу", u"be", u"Ka", u"st"};
  QString name;
  const int length = 2 + static_cast<int>(ARandom() % 4);
  for (int i = 0; i < length; ++i) name += QString::fromUtf16(cSyllables[ARandom() % 13]);
  return name + QString::number(ARandom() % 1000);
}

// The locale is set before the desk: collation reads it.
struct TRussianLocale {
  TRussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
};

struct TBenchDomain : TRussianLocale, TBenchDesk<TBenchScript> {
  std::unique_ptr<TUserSession> Session;
  TCollection* Items = nullptr;
  std::vector<TEntity*> Shuffled;  // cListCount records in a fixed random order

  TBenchDomain() : TBenchDesk("QueryBench") {
    Session = std::make_unique<TUserSession>(Domain.get(), nullptr);
    Items = Domain->CollectionByName("Items");
    std::mt19937 random(20240229);
    for (int i = 1; i <= cRecordCount; ++i) {
      TEntity* entity = Items->InternalCreateEntity(i, false);
      entity->FieldInternalSetValue("Name", NameOf(random));
      entity->FieldInternalSetValue("Kind", i % 5);
      entity->FieldInternalSetValue("Total", (i % 1000) / 100.0);
      entity->ProcessFields();
    }
    for (int i = 0; i < cListCount; ++i) Shuffled.push_back(Items->GetEntity(i));
    std::shuffle(Shuffled.begin(), Shuffled.end(), random);
  }
};

TBenchDomain& Bench() {
  static TBenchDomain bench;
  return bench;
}

void BM_SelectQuery(benchmark::State& AState) {
  TBenchDomain& bench = Bench();
  TQueryObject query("Items", cWhere, QString());
  TQueryBindings bindings(query);
  bindings.SetParameters(bench.Session.get(), nullptr);
  size_t found = 0;
  for (auto _ : AState) {
    const std::vector<TEntity*> results = query.Select(bench.Session.get(), bindings);
    found = results.size();
    benchmark::DoNotOptimize(results.data());
  }
  AState.counters["found"] = static_cast<double>(found);
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cRecordCount);
}

// The same test written by hand against the field values.
void BM_SelectBaseline(benchmark::State& AState) {
  TBenchDomain& bench = Bench();
  const int kindIndex = bench.Items->IndexOfField("Kind");
  const int totalIndex = bench.Items->IndexOfField("Total");
  size_t found = 0;
  for (auto _ : AState) {
    std::vector<TEntity*> results;
    for (int i = 0; i < bench.Items->Count(); ++i) {
      TEntity* entity = bench.Items->GetEntity(i);
      if (VarAsInteger(entity->GetField(kindIndex)->Value()) == 2 &&
          VarAsFloat(entity->GetField(totalIndex)->Value()) > 4.5)
        results.push_back(entity);
    }
    found = results.size();
    benchmark::DoNotOptimize(results.data());
  }
  AState.counters["found"] = static_cast<double>(found);
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cRecordCount);
}

void BM_SortListByName(benchmark::State& AState) {
  TBenchDomain& bench = Bench();
  TEntityList list(bench.Domain.get(), bench.Session.get());
  for (auto _ : AState) {
    AState.PauseTiming();
    list.Clear();
    for (TEntity* entity : bench.Shuffled) list.InternalAdd(entity);
    AState.ResumeTiming();
    list.Sort(estSortByName);
    benchmark::DoNotOptimize(list.GetEntity(0));
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cListCount);
}

void BM_SortBaseline(benchmark::State& AState) {
  TBenchDomain& bench = Bench();
  for (auto _ : AState) {
    AState.PauseTiming();
    std::vector<TEntity*> entities = bench.Shuffled;
    AState.ResumeTiming();
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QCollatorSortKey, TEntity*>> keyed;
    keyed.reserve(entities.size());
    for (TEntity* entity : entities) keyed.emplace_back(collator.sortKey(entity->DisplayName()), entity);
    std::sort(keyed.begin(), keyed.end(), [](const auto& A, const auto& B) { return A.first.compare(B.first) < 0; });
    for (size_t i = 0; i < keyed.size(); ++i) entities[i] = keyed[i].second;
    benchmark::DoNotOptimize(entities.data());
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * cListCount);
}

// Compiling a negated group nested cDepth and 2 * cDepth deep, a negation at
// every level: the push-down is one walk, so twice the depth costs about
// twice the time (a push-down per level would cost four times).
constexpr int cDepth = TQueryObject::cMaxDepth / 2;

QString NegatedNesting(int ADepth) {
  return QStringLiteral("!&(").repeated(ADepth) + QStringLiteral("A=1") + QString(QLatin1Char(')')).repeated(ADepth);
}

void CompileNegated(benchmark::State& AState, int ADepth) {
  const QString where = NegatedNesting(ADepth);
  for (auto _ : AState) {
    TQueryObject query(QString(), where, QString());
    benchmark::DoNotOptimize(query.RootCriteria());
  }
  AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * ADepth);
}

void BM_CompileNegatedDeep(benchmark::State& AState) {
  CompileNegated(AState, 2 * cDepth);
}

void BM_CompileNegatedHalf(benchmark::State& AState) {
  CompileNegated(AState, cDepth);
}

BENCHMARK(BM_SelectQuery)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_SelectBaseline)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_SortListByName)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_SortBaseline)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_CompileNegatedDeep)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_CompileNegatedHalf)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  return RunRatioBenchmarks(
      argc, argv,
      {{"BM_SelectQuery", "BM_SelectBaseline", "Select / hand-written loop"},
       {"BM_SortListByName", "BM_SortBaseline", "sort list by name / std::sort with keys"},
       {"BM_CompileNegatedDeep", "BM_CompileNegatedHalf", "compile negated depth 2N / N (linear ~2)"}},
      [] {
        std::printf("%d records, query %s; list of %d sorted by name; negated nesting N = %d\n", cRecordCount, cWhere,
                    cListCount, cDepth);
      },
      [] { (void)Bench(); });
}
