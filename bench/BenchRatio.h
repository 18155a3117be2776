#pragma once

// Runs the registered benchmarks with the console output plus, at the end, the
// ratio of each of our runs to its baseline measured in the same process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct TRatioPair {
  std::string Ours;
  std::string Baseline;
  std::string Label;  // printed before the ratio
};

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter(std::vector<TRatioPair> APairs, std::function<void()> AHeader)
      : FPairs(std::move(APairs)), FHeader(std::move(AHeader)) {}

  void ReportRuns(const std::vector<Run>& ARuns) override {
    ConsoleReporter::ReportRuns(ARuns);
    for (const Run& run : ARuns)
      if (!run.error_occurred) {
        const std::string name = run.benchmark_name();
        FTimes[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
      }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n");
    if (FHeader) FHeader();
    for (const TRatioPair& pair : FPairs) {
      const auto ours = FTimes.find(pair.Ours);
      const auto baseline = FTimes.find(pair.Baseline);
      if (ours != FTimes.end() && baseline != FTimes.end())
        std::printf("%-40s = %.2f\n", pair.Label.c_str(), ours->second / baseline->second);
    }
  }

 private:
  std::vector<TRatioPair> FPairs;
  std::function<void()> FHeader;
  std::map<std::string, double> FTimes;
};

// The whole main of a ratio benchmark: APrepare builds the shared data before
// timing starts.
inline int RunRatioBenchmarks(int argc, char** argv, std::vector<TRatioPair> APairs, std::function<void()> AHeader,
                              const std::function<void()>& APrepare = nullptr) {
  benchmark::Initialize(&argc, argv);
  if (APrepare) APrepare();
  TRatioReporter reporter(std::move(APairs), std::move(AHeader));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
