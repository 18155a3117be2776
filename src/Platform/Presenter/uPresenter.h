#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "src/Platform/uRegistry.h"

class TPlatformContext;

// A user interface kind (windowed, web, a test driver).
class TPresenter {
 public:
  virtual ~TPresenter() = default;
  // Returns when this user interface has ended.
  virtual void Run(const QString& AParameter) = 0;
  virtual void Stop() {}
};

using TPresenterFactory = std::function<std::unique_ptr<TPresenter>()>;

// Presenter kinds are registered by the program before the platform runs.
void RegisterPresenterKind(const QString& AName, TPresenterFactory AFactory);
void ClearPresenterKinds();

class TPresenters : public TRegistry<TPresenter> {
 public:
  explicit TPresenters(TPlatformContext* APlatform) : FPlatform(APlatform) {}
  // One presenter per registered kind, in registration order: "Web" is
  // appended, every other kind goes to the front.
  void Init();
  TPresenter* GetByName(const QString& AName) const { return ObjectByName(AName); }

 private:
  TPlatformContext* FPlatform;
};
