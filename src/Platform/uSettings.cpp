#include "src/Platform/uSettings.h"

bool SettingsTextToBool(const QString& AText, bool ADefault) {
  const QString text = AText.trimmed();
  if (text.isEmpty()) return ADefault;
  if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const qlonglong number = text.toLongLong(&ok);
  return ok && number != 0;
}

bool TSettings::GetBool(const QString& ASection, const QString& AKey, bool ADefault) const {
  if (!KeyExists(ASection, AKey)) return ADefault;
  return SettingsTextToBool(GetValue(ASection, AKey), false);
}

QString TSettings::GetValueEnsuringSection(const QString& ASection, const QString& AKey, const QString& ADefault) {
  if (!SectionExists(ASection)) SetValue(ASection, AKey, ADefault);
  return GetValue(ASection, AKey, ADefault);
}

QString TIniSettings::DoGetValue(const QString& ASection, const QString& AKey, const QString& ADefault) const {
  return FIniFile.ReadString(ASection, AKey, ADefault);
}

void TIniSettings::DoSetValue(const QString& ASection, const QString& AKey, const QString& AValue) {
  FIniFile.WriteString(ASection, AKey, AValue);
}

bool TIniSettings::DoSectionExists(const QString& ASection) const {
  return FIniFile.SectionExists(ASection);
}

bool TIniSettings::DoKeyExists(const QString& ASection, const QString& AKey) const {
  return FIniFile.ValueExists(ASection, AKey);
}
