#pragma once

#include <QString>

#include "src/Platform/uIniFile.h"

// Abstract settings store: string values by section and key.
class TSettings {
 public:
  virtual ~TSettings() = default;

  QString GetValue(const QString& ASection, const QString& AKey, const QString& ADefault = QString()) const {
    return DoGetValue(ASection, AKey, ADefault);
  }
  void SetValue(const QString& ASection, const QString& AKey, const QString& AValue) {
    DoSetValue(ASection, AKey, AValue);
  }
  bool SectionExists(const QString& ASection) const { return DoSectionExists(ASection); }
  bool KeyExists(const QString& ASection, const QString& AKey) const { return DoKeyExists(ASection, AKey); }

  // Booleans are stored "1"/"0"; "true"/"false" in any case are read too,
  // anything unreadable is false.
  bool GetBool(const QString& ASection, const QString& AKey, bool ADefault) const;
  void SetBool(const QString& ASection, const QString& AKey, bool AValue) {
    SetValue(ASection, AKey, AValue ? QStringLiteral("1") : QStringLiteral("0"));
  }

  // Reads a key of a section that must exist: when the section is missing its
  // key is first written with the default, so a first start leaves the file
  // filled in.
  QString GetValueEnsuringSection(const QString& ASection, const QString& AKey, const QString& ADefault);

 protected:
  virtual QString DoGetValue(const QString& ASection, const QString& AKey, const QString& ADefault) const = 0;
  virtual void DoSetValue(const QString& ASection, const QString& AKey, const QString& AValue) = 0;
  virtual bool DoSectionExists(const QString& ASection) const = 0;
  virtual bool DoKeyExists(const QString& ASection, const QString& AKey) const = 0;
};

// Settings on an INI file; nothing is read or created at construction.
class TIniSettings : public TSettings {
 public:
  explicit TIniSettings(const QString& AFileName) : FIniFile(AFileName) {}
  const QString& FileName() const { return FIniFile.FileName(); }

 protected:
  QString DoGetValue(const QString& ASection, const QString& AKey, const QString& ADefault) const override;
  void DoSetValue(const QString& ASection, const QString& AKey, const QString& AValue) override;
  bool DoSectionExists(const QString& ASection) const override;
  bool DoKeyExists(const QString& ASection, const QString& AKey) const override;

 private:
  TIniFile FIniFile;
};

// "1", any non-zero integer, "true" (any case) are true; "0", "false" are
// false; ADefault for an empty text. Unreadable text is false.
bool SettingsTextToBool(const QString& AText, bool ADefault);
