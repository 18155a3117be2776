#pragma once

#include <QString>

// Translation store of one "translations" folder. Until dictionaries are
// loaded every lookup answers its default.
class TLocalizator {
 public:
  TLocalizator(const QString& ALangDir, const QString& AIniFileName) : FLangDir(ALangDir), FIniFileName(AIniFileName) {}
  virtual ~TLocalizator() = default;
  const QString& LangDir() const { return FLangDir; }
  const QString& IniFileName() const { return FIniFileName; }
  virtual QString Translate(const QString& ALanguage, const QString& AKey, const QString& ADefault) const {
    (void)ALanguage;
    (void)AKey;
    return ADefault;
  }

 private:
  QString FLangDir;
  QString FIniFileName;
};

// Answers lookups in one language of a localizator.
class TTranslator {
 public:
  TTranslator(TLocalizator* ALocalizator, const QString& ALanguage)
      : FLocalizator(ALocalizator), FLanguage(ALanguage) {}
  const QString& Language() const { return FLanguage; }
  void SetLanguage(const QString& ALanguage) { FLanguage = ALanguage; }
  QString Translate(const QString& AKey, const QString& ADefault) const {
    return FLocalizator ? FLocalizator->Translate(FLanguage, AKey, ADefault) : ADefault;
  }

 private:
  TLocalizator* FLocalizator;  // not owned
  QString FLanguage;
};
