#pragma once

#include <functional>
#include <vector>

class TConfiguration;
class TDomain;

// A planned job: returns the delay in seconds until its next run; 0 means the
// planned period, a negative value ends the job for that domain.
using TSchedulerHandler = std::function<int(TDomain*)>;

struct TPlannedTaskDef {
  int Period = 0;  // seconds
  TSchedulerHandler Handler;
};

// The planned jobs of one configuration, as its script declared them.
// Waiting lists per domain and the timer come with the running scheduler.
class TScheduler {
 public:
  // ATimerInterval in seconds: how often due jobs are looked for.
  TScheduler(TConfiguration* AConfiguration, int ATimerInterval)
      : FConfiguration(AConfiguration), FTimerInterval(ATimerInterval) {}
  TScheduler(const TScheduler&) = delete;
  TScheduler& operator=(const TScheduler&) = delete;

  // Appends a definition; nothing is scheduled by this.
  void AddPlannedTask(int APeriod, TSchedulerHandler AHandler) {
    FPlannedTaskDefs.push_back({APeriod, std::move(AHandler)});
  }

  TConfiguration* Configuration() const { return FConfiguration; }
  int TimerInterval() const { return FTimerInterval; }
  int PlannedTaskCount() const { return static_cast<int>(FPlannedTaskDefs.size()); }
  const TPlannedTaskDef& PlannedTask(int AIndex) const { return FPlannedTaskDefs[static_cast<size_t>(AIndex)]; }

 private:
  TConfiguration* FConfiguration;  // not owned
  int FTimerInterval;
  std::vector<TPlannedTaskDef> FPlannedTaskDefs;
};
