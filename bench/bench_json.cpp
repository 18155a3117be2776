// Our JSON model against QJsonDocument on the same texts: parse and compact
// write of a ~10 MB document, and parse of one small record. Prints ours/Qt
// time ratios after the runs.
#include "BenchRatio.h"

#include <QJsonDocument>
#include <QString>
#include <cstdio>
#include <map>
#include <string>

#include "src/Platform/uJSON.h"

namespace {

// A change-log-like document: entries with actions carrying entity fields,
// Russian texts, numbers of every form, duplicate-free names that repeat.
std::unique_ptr<TJSONObject> MakeDocument(qsizetype ATargetBytes) {
  auto root = std::make_unique<TJSONObject>();
  root->StoreInteger("last_log_id", 0);
  auto updates = std::make_unique<TJSONArray>();
  qsizetype size = 0;
  for (int i = 0; size < ATargetBytes; ++i) {
    auto entry = std::make_unique<TJSONObject>();
    entry->StoreInteger("log_id", i);
    entry->StoreString("user_name", QStringLiteral("Иванов И.И."));
    entry->StoreString("log_time", QStringLiteral("09.03.26 10:%1:00").arg(i % 60, 2, 10, QChar(u'0')));
    auto actions = std::make_unique<TJSONArray>();
    for (int j = 0; j < 3; ++j) {
      auto action = std::make_unique<TJSONObject>();
      action->StoreInteger("change_id", i * 3 + j);
      action->StoreInteger("action_kind", j + 1);
      action->StoreString("collection", QStringLiteral("BankReports"));
      action->StoreInteger("entity_id", 100000 + i);
      auto fields = std::make_unique<TJSONObject>();
      fields->StoreString("OutgoingNumber", QStringLiteral("%1/Р-%2").arg(i).arg(j));
      fields->StoreString("Name", QStringLiteral("Фонд \"Альфа\" №%1 — отчёт за период").arg(i));
      fields->StoreString("SourceFile", QStringLiteral("C:/Отчёты/Фонд %1/report.xtdd").arg(i));
      fields->StoreFloat("Amount", 12345.67 + i);
      fields->StoreFloat("ReportDate", 46090.5 + i / 1000.0);
      fields->StoreInteger("State", i % 7);
      fields->StoreBoolean("IsSent", i % 2 == 0);
      fields->StoreColor("Color", 0xFF00FFFF);
      action->AddPair("fields", std::move(fields));
      actions->AddElement(std::move(action));
    }
    entry->AddPair("actions", std::move(actions));
    size += entry->ToJSONBytes().size() + 1;
    updates->AddElement(std::move(entry));
  }
  root->AddPair("updates", std::move(updates));
  return root;
}

const QByteArray& Text() {
  static const QByteArray text = MakeDocument(10 * 1024 * 1024)->ToJSONBytes();
  return text;
}

// The same document with non-ASCII characters as raw UTF-8, as other programs write it.
const QByteArray& Utf8Text() {
  static const QByteArray text = TJSONObject::ParseJSONValue(Text())->ToRawString().toUtf8();
  return text;
}

// One record's fields, the size that the change log parses one action at a time.
const QByteArray& SmallText() {
  static const QByteArray text = [] {
    auto document = TJSONObject::ParseJSONValue(Text());
    auto* updates = static_cast<TJSONObject*>(document.get())->ExtractArray("updates");
    auto* action = static_cast<TJSONObject*>(updates->Get(0))->ExtractArray("actions")->Get(0);
    return static_cast<TJSONObject*>(action)->ExtractObject("fields")->ToJSONBytes();
  }();
  return text;
}

void SetBytes(benchmark::State& AState, qsizetype ABytes) {
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations()) * ABytes);
}

void ParseOurs(benchmark::State& AState, const QByteArray& AText) {
  for (auto _ : AState) {
    auto value = TJSONObject::ParseJSONValue(AText);
    if (!value) AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value.get());
  }
  SetBytes(AState, AText.size());
}

void ParseQt(benchmark::State& AState, const QByteArray& AText) {
  for (auto _ : AState) {
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(AText, &error);
    if (error.error != QJsonParseError::NoError) AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(document);
  }
  SetBytes(AState, AText.size());
}

void BM_ParseOurs(benchmark::State& AState) {
  ParseOurs(AState, Text());
}
void BM_ParseQt(benchmark::State& AState) {
  ParseQt(AState, Text());
}
void BM_ParseUtf8Ours(benchmark::State& AState) {
  ParseOurs(AState, Utf8Text());
}
void BM_ParseUtf8Qt(benchmark::State& AState) {
  ParseQt(AState, Utf8Text());
}

void BM_ParseSmallOurs(benchmark::State& AState) {
  ParseOurs(AState, SmallText());
}
void BM_ParseSmallQt(benchmark::State& AState) {
  ParseQt(AState, SmallText());
}

void BM_WriteOurs(benchmark::State& AState) {
  const auto value = TJSONObject::ParseJSONValue(Text());
  for (auto _ : AState) {
    QByteArray bytes = value->ToJSONBytes();
    benchmark::DoNotOptimize(bytes.data());
  }
  SetBytes(AState, Text().size());
}

void BM_WriteQt(benchmark::State& AState) {
  const QJsonDocument document = QJsonDocument::fromJson(Text());
  for (auto _ : AState) {
    QByteArray bytes = document.toJson(QJsonDocument::Compact);
    benchmark::DoNotOptimize(bytes.data());
  }
  SetBytes(AState, Text().size());
}

BENCHMARK(BM_ParseOurs)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseQt)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseUtf8Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseUtf8Qt)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseSmallOurs)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_ParseSmallQt)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WriteQt)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  return RunRatioBenchmarks(
      argc, argv,
      {{"BM_ParseOurs", "BM_ParseQt", "parse ours / QJsonDocument"},
       {"BM_ParseUtf8Ours", "BM_ParseUtf8Qt", "parse UTF-8 ours / QJsonDocument"},
       {"BM_ParseSmallOurs", "BM_ParseSmallQt", "parse small ours / QJsonDocument"},
       {"BM_WriteOurs", "BM_WriteQt", "write ours / QJsonDocument"}},
      [] {
        std::printf("Text: %.1f MB (ASCII, escaped); %.1f MB (raw UTF-8); small: %d bytes\n", Text().size() / 1048576.0,
                    Utf8Text().size() / 1048576.0, static_cast<int>(SmallText().size()));
      },
      [] {
        (void)Text();
        (void)Utf8Text();
        (void)SmallText();
      });
}
