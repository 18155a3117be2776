#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "src/Platform/uVariant.h"

// Text forms of numbers, dates and Booleans with Delphi's format codes. Every
// function reads one process-wide settings record (FormatSettings()) unless a
// record is passed; nothing here depends on the machine's locale.

enum TDateOrder { doMDY, doDMY, doYMD };

struct TFormatSettings {
  QChar DecimalSeparator = u',';
  QChar ThousandSeparator = QChar(0x00A0);
  QChar DateSeparator = u'.';  // written for "/" in date formats
  QChar TimeSeparator = u':';  // written for ":" in time formats
  QString ShortDateFormat = QStringLiteral("dd.mm.yyyy");
  QString LongDateFormat = QStringLiteral("d mmmm yyyy");
  QString ShortTimeFormat = QStringLiteral("hh:nn");
  QString LongTimeFormat = QStringLiteral("hh:nn:ss");
  TDateOrder DateOrder = doDMY;  // how StrToDateTime reads three numbers
  int TwoDigitYearCenturyWindow = 50;
  std::array<QString, 12> ShortMonthNames;
  std::array<QString, 12> LongMonthNames;
  std::array<QString, 7> ShortDayNames;  // Sunday first
  std::array<QString, 7> LongDayNames;

  TFormatSettings();
  // The workstation defaults of this system: Russian separators and names.
  static TFormatSettings Russian();
  // "." and ",", "/" and "mm/dd/yyyy", English names: for texts other programs read.
  static TFormatSettings Invariant();
};

// The process-wide record. Set it at start-up (and in tests) before other
// threads read it; it has no lock.
TFormatSettings& FormatSettings();

// Numbers. FloatToStr is the general format: up to 15 significant digits, no
// trailing zeros, fixed notation unless the exponent is below -5 or above 14
// ("1E-6", "1E20"); NaN and infinities give "NAN", "INF", "-INF".
QString FloatToStr(double AValue);
QString FloatToStr(double AValue, const TFormatSettings& ASettings);
// The amount with at most four decimals and no grouping ("1234.5").
QString CurrToStr(Currency AValue);
QString CurrToStr(Currency AValue, const TFormatSettings& ASettings);
// Format codes "0", "#", ".", ",", "E+", "E-", quoted literals, and up to three
// sections "positive;negative;zero" (an empty section falls back to the first).
QString FormatFloat(const QString& AFormat, double AValue);
QString FormatFloat(const QString& AFormat, double AValue, const TFormatSettings& ASettings);
// As FormatFloat, rounding the exact scaled amount.
QString FormatCurr(const QString& AFormat, Currency AValue);
QString FormatCurr(const QString& AFormat, Currency AValue, const TFormatSettings& ASettings);

// Leading blanks, a sign, decimal digits or hexadecimal after "$" or "0x";
// anything else, or a value out of range, raises EConvertError.
int32_t StrToInt(const QString& AText);
int64_t StrToInt64(const QString& AText);
int32_t StrToIntDef(const QString& AText, int32_t ADefault);
int64_t StrToInt64Def(const QString& AText, int64_t ADefault);
bool TryStrToInt(const QString& AText, int32_t& AValue);
bool TryStrToInt64(const QString& AText, int64_t& AValue);
// Blanks around, a sign, digits with the decimal separator, an exponent; no
// grouping. EConvertError otherwise.
double StrToFloat(const QString& AText);
double StrToFloat(const QString& AText, const TFormatSettings& ASettings);
double StrToFloatDef(const QString& AText, double ADefault);
bool TryStrToFloat(const QString& AText, double& AValue);
bool TryStrToFloat(const QString& AText, double& AValue, const TFormatSettings& ASettings);
Currency StrToCurr(const QString& AText);
// "True" and "False" in any letter case, else a number (non-zero is true).
bool StrToBool(const QString& AText);
bool StrToBoolDef(const QString& AText, bool ADefault);
bool TryStrToBool(const QString& AText, bool& AValue);
// "True"/"False" with AUseBoolStrs, else "-1"/"0" as Delphi writes them.
QString BoolToStr(bool AValue, bool AUseBoolStrs = false);

// Dates. Codes (any letter case): d dd ddd dddd ddddd dddddd, m mm mmm mmmm
// (minutes right after an hour), yy yyyy, h hh, n nn, s ss, z zzz, t tt, c,
// am/pm a/p ampm, "/" and ":" for the separators, quoted literals.
QString FormatDateTime(const QString& AFormat, TDateTime AValue);
QString FormatDateTime(const QString& AFormat, TDateTime AValue, const TFormatSettings& ASettings);
QString DateToStr(TDateTime AValue);
QString TimeToStr(TDateTime AValue);
// The date, and the long time unless the value is exactly midnight.
QString DateTimeToStr(TDateTime AValue);
// Numbers separated by the date separator in the settings' date order (two
// numbers: day and month of this year), then optionally a time "h:n[:s[.z]]"
// with AM/PM. EConvertError on anything else.
TDateTime StrToDateTime(const QString& AText);
TDateTime StrToDateTime(const QString& AText, const TFormatSettings& ASettings);
TDateTime StrToDate(const QString& AText);
bool TryStrToDateTime(const QString& AText, TDateTime& AValue);
bool TryStrToDateTime(const QString& AText, TDateTime& AValue, const TFormatSettings& ASettings);
