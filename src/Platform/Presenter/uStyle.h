#pragma once

#include <QString>

#include "src/Platform/uRegistry.h"

class TPlatformContext;

// A visual style: a name and its style sheet file in the styles folder.
class TStyle {
 public:
  TStyle(const QString& AName, const QString& AStyleSheet) : FName(AName), FStyleSheet(AStyleSheet) {}
  const QString& Name() const { return FName; }
  const QString& StyleSheet() const { return FStyleSheet; }

 private:
  QString FName;
  QString FStyleSheet;
};

class TStyles : public TRegistry<TStyle> {
 public:
  explicit TStyles(TPlatformContext* APlatform) : FPlatform(APlatform) {}
  TStyle* AddStyle(const QString& AName, const QString& AStyleSheet);
  TStyle* GetByName(const QString& AName) const { return ObjectByName(AName); }
  // Loading style sheets and icon sets comes with the windowed styles.
  void Init() {}

 private:
  TPlatformContext* FPlatform;
};
