#include "src/Platform/uFormat.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"

// ---------------------------------------------------------------------------
// Settings

TFormatSettings::TFormatSettings() {
  ShortMonthNames = {QStringLiteral("янв"), QStringLiteral("фев"), QStringLiteral("мар"), QStringLiteral("апр"),
                     QStringLiteral("май"), QStringLiteral("июн"), QStringLiteral("июл"), QStringLiteral("авг"),
                     QStringLiteral("сен"), QStringLiteral("окт"), QStringLiteral("ноя"), QStringLiteral("дек")};
  LongMonthNames = {QStringLiteral("Январь"),  QStringLiteral("Февраль"), QStringLiteral("Март"),
                    QStringLiteral("Апрель"),  QStringLiteral("Май"),     QStringLiteral("Июнь"),
                    QStringLiteral("Июль"),    QStringLiteral("Август"),  QStringLiteral("Сентябрь"),
                    QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"),  QStringLiteral("Декабрь")};
  ShortDayNames = {QStringLiteral("Вс"), QStringLiteral("Пн"), QStringLiteral("Вт"), QStringLiteral("Ср"),
                   QStringLiteral("Чт"), QStringLiteral("Пт"), QStringLiteral("Сб")};
  LongDayNames = {QStringLiteral("воскресенье"), QStringLiteral("понедельник"), QStringLiteral("вторник"),
                  QStringLiteral("среда"),       QStringLiteral("четверг"),     QStringLiteral("пятница"),
                  QStringLiteral("суббота")};
}

TFormatSettings TFormatSettings::Russian() {
  return TFormatSettings();
}

TFormatSettings TFormatSettings::Invariant() {
  TFormatSettings result;
  result.DecimalSeparator = u'.';
  result.ThousandSeparator = u',';
  result.DateSeparator = u'/';
  result.TimeSeparator = u':';
  result.ShortDateFormat = QStringLiteral("mm/dd/yyyy");
  result.LongDateFormat = QStringLiteral("dddd, dd mmmm yyyy");
  result.ShortTimeFormat = QStringLiteral("hh:nn");
  result.LongTimeFormat = QStringLiteral("hh:nn:ss");
  result.DateOrder = doMDY;
  result.ShortMonthNames = {QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
                            QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
                            QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
  result.LongMonthNames = {QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
                           QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
                           QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
                           QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
  result.ShortDayNames = {QStringLiteral("Sun"), QStringLiteral("Mon"), QStringLiteral("Tue"), QStringLiteral("Wed"),
                          QStringLiteral("Thu"), QStringLiteral("Fri"), QStringLiteral("Sat")};
  result.LongDayNames = {QStringLiteral("Sunday"),    QStringLiteral("Monday"),   QStringLiteral("Tuesday"),
                         QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
                         QStringLiteral("Saturday")};
  return result;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

// ---------------------------------------------------------------------------
// Decimal digits

namespace {

// |value| = 0.Digits x 10^Point: the decimal point sits after Point digits
// (Point may be negative or beyond the digits). Empty digits mean zero.
struct TDecimal {
  std::string Digits;
  int Point = 0;
  bool Negative = false;

  bool IsZero() const { return Digits.find_first_not_of('0') == std::string::npos; }

  void Trim() {
    const auto first = Digits.find_first_not_of('0');
    if (first == std::string::npos) {
      Digits.clear();
      Point = 0;
      return;
    }
    Digits.erase(0, first);
    Point -= static_cast<int>(first);
    Digits.erase(Digits.find_last_not_of('0') + 1);
  }

  // Keeps AKeep leading digits, rounding half away from zero on the decimal text.
  void RoundToDigits(int AKeep) {
    if (AKeep >= static_cast<int>(Digits.size())) return;
    if (AKeep < 0) {
      Digits.clear();
      return;
    }
    const bool up = Digits[static_cast<size_t>(AKeep)] >= '5';
    Digits.resize(static_cast<size_t>(AKeep));
    if (up) {
      int i = AKeep - 1;
      for (; i >= 0; --i) {
        if (Digits[static_cast<size_t>(i)] == '9') {
          Digits[static_cast<size_t>(i)] = '0';
        } else {
          ++Digits[static_cast<size_t>(i)];
          break;
        }
      }
      if (i < 0) {
        Digits.insert(Digits.begin(), '1');
        ++Point;
      }
    }
    Trim();
  }

  void RoundToDecimals(int ADecimals) { RoundToDigits(Point + ADecimals); }

  // Digit at decimal position APos (0 = first integer digit of Point digits).
  char DigitAt(int APos) const {
    return APos >= 0 && APos < static_cast<int>(Digits.size()) ? Digits[static_cast<size_t>(APos)] : '0';
  }
  std::string IntegerDigits() const {
    std::string result;
    for (int i = 0; i < Point; ++i) result += DigitAt(i);
    return result;
  }
  std::string FractionDigits(int ACount) const {
    std::string result;
    for (int i = 0; i < ACount; ++i) result += DigitAt(Point + i);
    return result;
  }
};

// The double rounded to ASignificant digits (1..17), correctly rounded.
TDecimal DecimalOf(double AValue, int ASignificant) {
  TDecimal result;
  result.Negative = std::signbit(AValue);
  const double magnitude = std::fabs(AValue);
  if (magnitude == 0) return result;
  char buffer[64];
  const auto conv =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, ASignificant - 1);
  const std::string text(buffer, conv.ptr);
  const auto e = text.find('e');
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') result.Digits += text[i];
  result.Point = std::stoi(text.substr(e + 1)) + 1;
  result.Trim();
  return result;
}

TDecimal DecimalOf(Currency AValue) {
  TDecimal result;
  const int64_t scaled = AValue.Scaled();
  result.Negative = scaled < 0;
  // Unsigned so that the most negative amount has a magnitude too.
  const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  result.Digits = std::to_string(magnitude);
  result.Point = static_cast<int>(result.Digits.size()) - 4;
  result.Trim();
  return result;
}

QString NonFinite(double AValue) {
  if (std::isnan(AValue)) return QStringLiteral("NAN");
  return AValue < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// The general format of a decimal already rounded to its significant digits.
QString GeneralText(TDecimal ADecimal, QChar ASeparator, int APrecision) {
  ADecimal.Trim();
  if (ADecimal.Digits.empty()) return QStringLiteral("0");
  QString result;
  if (ADecimal.Negative) result += u'-';
  const int exponent = ADecimal.Point - 1;
  const int count = static_cast<int>(ADecimal.Digits.size());
  if (exponent < -5 || exponent >= APrecision) {
    result += QLatin1Char(ADecimal.Digits[0]);
    if (count > 1) {
      result += ASeparator;
      result += QString::fromLatin1(ADecimal.Digits.data() + 1, count - 1);
    }
    result += u'E';
    result += QString::number(exponent);
    return result;
  }
  if (ADecimal.Point <= 0) {
    result += u'0';
    result += ASeparator;
    result += QString(-ADecimal.Point, u'0');
    result += QString::fromLatin1(ADecimal.Digits.data(), count);
    return result;
  }
  result += QString::fromStdString(ADecimal.IntegerDigits());
  if (count > ADecimal.Point) {
    result += ASeparator;
    result += QString::fromLatin1(ADecimal.Digits.data() + ADecimal.Point, count - ADecimal.Point);
  }
  return result;
}

}  // namespace

QString FloatToStr(double AValue) {
  return FloatToStr(AValue, FormatSettings());
}

QString FloatToStr(double AValue, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue)) return NonFinite(AValue);
  return GeneralText(DecimalOf(AValue, 15), ASettings.DecimalSeparator, 15);
}

QString CurrToStr(Currency AValue) {
  return CurrToStr(AValue, FormatSettings());
}

QString CurrToStr(Currency AValue, const TFormatSettings& ASettings) {
  // 19 digits cover every amount, so the general form never switches to an exponent here.
  return GeneralText(DecimalOf(AValue), ASettings.DecimalSeparator, 19);
}

// ---------------------------------------------------------------------------
// FormatFloat

namespace {

struct TNumberSection {
  enum TKind { Literal, IntDigit, Point, FracDigit, Exponent };
  struct TToken {
    TKind Kind;
    QString Text;             // Literal
    QChar Placeholder;        // '0' or '#'
    bool AlwaysSign = false;  // Exponent: "E+" writes "+" too
    QChar Letter;             // Exponent: "E" or "e"
    int ExponentDigits = 0;
  };
  std::vector<TToken> Tokens;
  int IntCount = 0;  // placeholders before the point
  int MinInt = 0;    // from the first "0" before the point
  int FracMax = 0;   // placeholders after the point
  int FracMin = 0;   // up to the last "0" after the point
  bool Grouping = false;
  bool Scientific = false;
};

std::vector<QString> SplitSections(const QString& AFormat) {
  std::vector<QString> result(1);
  QChar quote;
  for (QChar ch : AFormat) {
    if (!quote.isNull()) {
      if (ch == quote) quote = QChar();
    } else if (ch == u'\'' || ch == u'"') {
      quote = ch;
    } else if (ch == u';') {
      if (result.size() < 3) {
        result.emplace_back();
        continue;
      }
    }
    result.back() += ch;
  }
  return result;
}

TNumberSection ParseSection(const QString& ASection) {
  TNumberSection result;
  bool afterPoint = false;
  bool seenIntZero = false;
  auto addLiteral = [&](QChar ch) {
    if (!result.Tokens.empty() && result.Tokens.back().Kind == TNumberSection::Literal)
      result.Tokens.back().Text += ch;
    else
      result.Tokens.push_back({TNumberSection::Literal, QString(ch), QChar(), false, QChar(), 0});
  };
  for (qsizetype i = 0; i < ASection.size(); ++i) {
    const QChar ch = ASection[i];
    if (ch == u'\'' || ch == u'"') {
      const qsizetype end = ASection.indexOf(ch, i + 1);
      const qsizetype stop = end < 0 ? ASection.size() : end;
      for (qsizetype j = i + 1; j < stop; ++j) addLiteral(ASection[j]);
      i = stop;
    } else if (ch == u'0' || ch == u'#') {
      if (afterPoint) {
        ++result.FracMax;
        if (ch == u'0') result.FracMin = result.FracMax;
        result.Tokens.push_back({TNumberSection::FracDigit, QString(), ch, false, QChar(), 0});
      } else {
        ++result.IntCount;
        if (ch == u'0') seenIntZero = true;
        if (seenIntZero) ++result.MinInt;
        result.Tokens.push_back({TNumberSection::IntDigit, QString(), ch, false, QChar(), 0});
      }
    } else if (ch == u'.' && !afterPoint && !result.Scientific) {
      afterPoint = true;
      result.Tokens.push_back({TNumberSection::Point, QString(), QChar(), false, QChar(), 0});
    } else if (ch == u',' && !result.Scientific) {
      if (!afterPoint) result.Grouping = true;
    } else if ((ch == u'E' || ch == u'e') && !result.Scientific && i + 1 < ASection.size() &&
               (ASection[i + 1] == u'+' || ASection[i + 1] == u'-')) {
      TNumberSection::TToken token{TNumberSection::Exponent, QString(), QChar(), ASection[i + 1] == u'+', ch, 0};
      i += 2;
      while (i < ASection.size() && ASection[i] == u'0' && token.ExponentDigits < 4) {
        ++token.ExponentDigits;
        ++i;
      }
      --i;
      result.Scientific = true;
      result.Tokens.push_back(token);
    } else {
      addLiteral(ch);
    }
  }
  return result;
}

// AValue is already rounded for the section; the sign is written by the caller.
QString RenderSection(const TNumberSection& ASection, TDecimal AValue, const TFormatSettings& ASettings) {
  std::string integer;
  std::string fraction;
  int exponent = 0;
  if (ASection.Scientific) {
    const int intDigits = std::max(1, ASection.IntCount);
    if (!AValue.Digits.empty()) {
      exponent = AValue.Point - intDigits;
      AValue.Point = intDigits;
    }
    integer = AValue.IntegerDigits();
  } else {
    integer = AValue.IntegerDigits();
  }
  fraction = AValue.FractionDigits(ASection.FracMax);
  while (static_cast<int>(fraction.size()) > ASection.FracMin && !fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  // No leading zeros, then as many as the "0" placeholders ask for.
  const auto firstNonZero = integer.find_first_not_of('0');
  integer.erase(0, firstNonZero == std::string::npos ? integer.size() : firstNonZero);
  if (static_cast<int>(integer.size()) < ASection.MinInt)
    integer.insert(0, static_cast<size_t>(ASection.MinInt - static_cast<int>(integer.size())), '0');

  QString result;
  const int length = static_cast<int>(integer.size());
  auto emitDigit = [&](int APos) {
    result += QLatin1Char(integer[static_cast<size_t>(APos)]);
    const int rest = length - 1 - APos;
    if (ASection.Grouping && rest > 0 && rest % 3 == 0) result += ASettings.ThousandSeparator;
  };
  int intIndex = 0;
  int fracIndex = 0;
  bool integerWritten = false;
  for (const auto& token : ASection.Tokens) {
    switch (token.Kind) {
      case TNumberSection::Literal:
        result += token.Text;
        break;
      case TNumberSection::IntDigit: {
        if (intIndex == 0)
          for (int pos = 0; pos < length - ASection.IntCount; ++pos) emitDigit(pos);
        const int pos = length - ASection.IntCount + intIndex;
        if (pos >= 0) emitDigit(pos);
        ++intIndex;
        integerWritten = true;
        break;
      }
      case TNumberSection::Point:
        if (!integerWritten) {
          for (int pos = 0; pos < length; ++pos) emitDigit(pos);
          integerWritten = true;
        }
        if (!fraction.empty()) result += ASettings.DecimalSeparator;
        break;
      case TNumberSection::FracDigit:
        if (fracIndex < static_cast<int>(fraction.size()))
          result += QLatin1Char(fraction[static_cast<size_t>(fracIndex)]);
        ++fracIndex;
        break;
      case TNumberSection::Exponent: {
        result += token.Letter;
        if (exponent < 0)
          result += u'-';
        else if (token.AlwaysSign)
          result += u'+';
        result += QStringLiteral("%1").arg(std::abs(exponent), token.ExponentDigits, 10, QChar(u'0'));
        break;
      }
    }
  }
  return result;
}

void RoundForSection(const TNumberSection& ASection, TDecimal& AValue) {
  if (ASection.Scientific)
    AValue.RoundToDigits(std::max(1, ASection.IntCount) + ASection.FracMax);
  else
    AValue.RoundToDecimals(ASection.FracMax);
}

QString FormatDecimal(const QString& AFormat, const TDecimal& AValue, const TFormatSettings& ASettings) {
  const std::vector<QString> sections = SplitSections(AFormat);
  const TNumberSection first = ParseSection(sections[0]);
  TDecimal rounded = AValue;
  RoundForSection(first, rounded);
  rounded.Trim();
  const bool zero = rounded.Digits.empty();
  if (zero && sections.size() > 2 && !sections[2].isEmpty()) {
    const TNumberSection section = ParseSection(sections[2]);
    return RenderSection(section, TDecimal(), ASettings);
  }
  if (!zero && AValue.Negative && sections.size() > 1 && !sections[1].isEmpty()) {
    const TNumberSection section = ParseSection(sections[1]);
    TDecimal value = AValue;
    RoundForSection(section, value);
    return RenderSection(section, value, ASettings);
  }
  QString result = RenderSection(first, rounded, ASettings);
  // A value that rounds to zero loses its sign.
  if (!zero && AValue.Negative) result.prepend(u'-');
  return result;
}

}  // namespace

QString FormatFloat(const QString& AFormat, double AValue) {
  return FormatFloat(AFormat, AValue, FormatSettings());
}

QString FormatFloat(const QString& AFormat, double AValue, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue)) return NonFinite(AValue);
  if (AFormat.isEmpty()) return FloatToStr(AValue, ASettings);
  return FormatDecimal(AFormat, DecimalOf(AValue, 15), ASettings);
}

QString FormatCurr(const QString& AFormat, Currency AValue) {
  return FormatCurr(AFormat, AValue, FormatSettings());
}

QString FormatCurr(const QString& AFormat, Currency AValue, const TFormatSettings& ASettings) {
  if (AFormat.isEmpty()) return CurrToStr(AValue, ASettings);
  return FormatDecimal(AFormat, DecimalOf(AValue), ASettings);
}

// ---------------------------------------------------------------------------
// Text to numbers and Booleans

namespace {

[[noreturn]] void InvalidText(const char* AFormat, const QString& AText) {
  throw EConvertError(QString::fromLatin1(AFormat).arg(AText));
}

bool IsBlank(QChar ACh) {
  return ACh.unicode() <= u' ';
}

bool ParseInteger(const QString& AText, int64_t AMin, int64_t AMax, uint64_t AHexWrap, int64_t& AValue) {
  qsizetype i = 0;
  const qsizetype n = AText.size();
  while (i < n && AText[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (AText[i] == u'-' || AText[i] == u'+')) negative = AText[i++] == u'-';
  int base = 10;
  if (i < n && AText[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < n && (AText[i] == u'x' || AText[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && AText[i] == u'0' && (AText[i + 1] == u'x' || AText[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const char16_t c = AText[i].unicode();
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return false;
    if (magnitude > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
      return false;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (base == 16) {
    // Hexadecimal spans the unsigned range and wraps, as Delphi's Val does.
    if (magnitude > AHexWrap) return false;
    const uint64_t bits = negative ? 0 - magnitude : magnitude;
    AValue = AHexWrap == std::numeric_limits<uint32_t>::max() ? static_cast<int32_t>(static_cast<uint32_t>(bits))
                                                              : static_cast<int64_t>(bits);
    return true;
  }
  if (negative) {
    if (magnitude > 0 - static_cast<uint64_t>(AMin)) return false;
    AValue = static_cast<int64_t>(0 - magnitude);
    return true;
  }
  if (magnitude > static_cast<uint64_t>(AMax)) return false;
  AValue = static_cast<int64_t>(magnitude);
  return true;
}

}  // namespace

bool TryStrToInt64(const QString& AText, int64_t& AValue) {
  return ParseInteger(AText, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                      std::numeric_limits<uint64_t>::max(), AValue);
}

bool TryStrToInt(const QString& AText, int32_t& AValue) {
  int64_t value = 0;
  if (!ParseInteger(AText, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    std::numeric_limits<uint32_t>::max(), value))
    return false;
  AValue = static_cast<int32_t>(value);
  return true;
}

int32_t StrToInt(const QString& AText) {
  int32_t result = 0;
  if (!TryStrToInt(AText, result)) InvalidText("'%1' is not a valid integer value", AText);
  return result;
}

int64_t StrToInt64(const QString& AText) {
  int64_t result = 0;
  if (!TryStrToInt64(AText, result)) InvalidText("'%1' is not a valid integer value", AText);
  return result;
}

int32_t StrToIntDef(const QString& AText, int32_t ADefault) {
  int32_t result = 0;
  return TryStrToInt(AText, result) ? result : ADefault;
}

int64_t StrToInt64Def(const QString& AText, int64_t ADefault) {
  int64_t result = 0;
  return TryStrToInt64(AText, result) ? result : ADefault;
}

bool TryStrToFloat(const QString& AText, double& AValue) {
  return TryStrToFloat(AText, AValue, FormatSettings());
}

bool TryStrToFloat(const QString& AText, double& AValue, const TFormatSettings& ASettings) {
  qsizetype i = 0;
  qsizetype n = AText.size();
  while (i < n && IsBlank(AText[i])) ++i;
  while (n > i && IsBlank(AText[n - 1])) --n;
  std::string ascii;
  ascii.reserve(static_cast<size_t>(n - i));
  if (i < n && (AText[i] == u'+' || AText[i] == u'-')) {
    if (AText[i] == u'-') ascii += '-';
    ++i;
  }
  int digits = 0;
  auto takeDigits = [&]() {
    int count = 0;
    while (i < n && AText[i] >= u'0' && AText[i] <= u'9') {
      ascii += static_cast<char>(AText[i].unicode());
      ++i;
      ++count;
    }
    return count;
  };
  digits += takeDigits();
  if (i < n && AText[i] == ASettings.DecimalSeparator) {
    ascii += '.';
    ++i;
    digits += takeDigits();
  }
  if (digits == 0) return false;
  bool negativeExponent = false;
  if (i < n && (AText[i] == u'e' || AText[i] == u'E')) {
    ascii += 'e';
    ++i;
    if (i < n && (AText[i] == u'+' || AText[i] == u'-')) {
      negativeExponent = AText[i] == u'-';
      ascii += static_cast<char>(AText[i].unicode());
      ++i;
    }
    if (takeDigits() == 0) return false;
  }
  if (i != n) return false;
  double value = 0;
  const auto conv = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (conv.ec == std::errc::result_out_of_range) {
    // Too small a magnitude reads as zero; too large is not a double.
    if (!negativeExponent) return false;
    value = 0;
  } else if (conv.ec != std::errc() || conv.ptr != ascii.data() + ascii.size()) {
    return false;
  }
  AValue = value;
  return true;
}

double StrToFloat(const QString& AText) {
  return StrToFloat(AText, FormatSettings());
}

double StrToFloat(const QString& AText, const TFormatSettings& ASettings) {
  double result = 0;
  if (!TryStrToFloat(AText, result, ASettings)) InvalidText("'%1' is not a valid floating point value", AText);
  return result;
}

double StrToFloatDef(const QString& AText, double ADefault) {
  double result = 0;
  return TryStrToFloat(AText, result) ? result : ADefault;
}

Currency StrToCurr(const QString& AText) {
  return Currency::FromDouble(StrToFloat(AText));
}

bool TryStrToBool(const QString& AText, bool& AValue) {
  if (AText.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
    AValue = true;
    return true;
  }
  if (AText.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
    AValue = false;
    return true;
  }
  double number = 0;
  if (!TryStrToFloat(AText, number)) return false;
  AValue = number != 0;
  return true;
}

bool StrToBool(const QString& AText) {
  bool result = false;
  if (!TryStrToBool(AText, result)) InvalidText("'%1' is not a valid boolean value", AText);
  return result;
}

bool StrToBoolDef(const QString& AText, bool ADefault) {
  bool result = false;
  return TryStrToBool(AText, result) ? result : ADefault;
}

QString BoolToStr(bool AValue, bool AUseBoolStrs) {
  if (AUseBoolStrs) return AValue ? QStringLiteral("True") : QStringLiteral("False");
  return AValue ? QStringLiteral("-1") : QStringLiteral("0");
}

// ---------------------------------------------------------------------------
// FormatDateTime

namespace {

QString Padded(int AValue, int AWidth) {
  return QStringLiteral("%1").arg(AValue, AWidth, 10, QChar(u'0'));
}

bool StartsWithAt(const QString& AText, qsizetype APos, QLatin1String AWhat) {
  return AText.mid(APos, AWhat.size()).compare(AWhat, Qt::CaseInsensitive) == 0;
}

bool HasAmPm(const QString& AFormat) {
  QChar quote;
  for (qsizetype i = 0; i < AFormat.size(); ++i) {
    const QChar ch = AFormat[i];
    if (!quote.isNull()) {
      if (ch == quote) quote = QChar();
    } else if (ch == u'\'' || ch == u'"') {
      quote = ch;
    } else if (StartsWithAt(AFormat, i, QLatin1String("am/pm")) || StartsWithAt(AFormat, i, QLatin1String("a/p")) ||
               StartsWithAt(AFormat, i, QLatin1String("ampm"))) {
      return true;
    }
  }
  return false;
}

struct TDateParts {
  int Year, Month, Day, Hour, Minute, Second, MSec, WeekDay;
  bool HasTime;
};

void AppendFormatted(QString& AResult, const QString& AFormat, const TDateParts& AParts,
                     const TFormatSettings& ASettings, int ADepth) {
  if (ADepth > 2) return;
  const bool twelveHour = HasAmPm(AFormat);
  QChar lastToken;
  const qsizetype n = AFormat.size();
  qsizetype i = 0;
  auto count = [&](QChar AUpper) {
    qsizetype j = i;
    while (j < n && AFormat[j].toUpper() == AUpper) ++j;
    const int result = static_cast<int>(j - i);
    i = j;
    return result;
  };
  while (i < n) {
    const QChar ch = AFormat[i];
    const QChar up = ch.toUpper();
    if (ch == u'\'' || ch == u'"') {
      const qsizetype end = AFormat.indexOf(ch, i + 1);
      const qsizetype stop = end < 0 ? n : end;
      AResult += AFormat.mid(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    if (up == u'Y') {
      const int c = count(up);
      AResult += c <= 2 ? Padded(AParts.Year % 100, 2) : Padded(AParts.Year, 4);
    } else if (up == u'M') {
      const int c = count(up);
      if (lastToken == u'H' && c <= 2) {
        AResult += c == 1 ? QString::number(AParts.Minute) : Padded(AParts.Minute, 2);
      } else if (c == 1) {
        AResult += QString::number(AParts.Month);
      } else if (c == 2) {
        AResult += Padded(AParts.Month, 2);
      } else if (c == 3) {
        AResult += ASettings.ShortMonthNames[static_cast<size_t>(AParts.Month - 1)];
      } else {
        AResult += ASettings.LongMonthNames[static_cast<size_t>(AParts.Month - 1)];
      }
    } else if (up == u'D') {
      const int c = count(up);
      switch (c) {
        case 1:
          AResult += QString::number(AParts.Day);
          break;
        case 2:
          AResult += Padded(AParts.Day, 2);
          break;
        case 3:
          AResult += ASettings.ShortDayNames[static_cast<size_t>(AParts.WeekDay - 1)];
          break;
        case 4:
          AResult += ASettings.LongDayNames[static_cast<size_t>(AParts.WeekDay - 1)];
          break;
        case 5:
          AppendFormatted(AResult, ASettings.ShortDateFormat, AParts, ASettings, ADepth + 1);
          break;
        default:
          AppendFormatted(AResult, ASettings.LongDateFormat, AParts, ASettings, ADepth + 1);
          break;
      }
    } else if (up == u'H') {
      const int c = count(up);
      int hour = AParts.Hour;
      if (twelveHour) {
        hour %= 12;
        if (hour == 0) hour = 12;
      }
      AResult += c == 1 ? QString::number(hour) : Padded(hour, 2);
    } else if (up == u'N') {
      const int c = count(up);
      AResult += c == 1 ? QString::number(AParts.Minute) : Padded(AParts.Minute, 2);
    } else if (up == u'S') {
      const int c = count(up);
      AResult += c == 1 ? QString::number(AParts.Second) : Padded(AParts.Second, 2);
    } else if (up == u'Z') {
      const int c = count(up);
      AResult += c < 3 ? QString::number(AParts.MSec) : Padded(AParts.MSec, 3);
    } else if (up == u'T') {
      const int c = count(up);
      AppendFormatted(AResult, c == 1 ? ASettings.ShortTimeFormat : ASettings.LongTimeFormat, AParts, ASettings,
                      ADepth + 1);
    } else if (up == u'C') {
      count(up);
      AppendFormatted(AResult, ASettings.ShortDateFormat, AParts, ASettings, ADepth + 1);
      if (AParts.HasTime) {
        AResult += u' ';
        AppendFormatted(AResult, ASettings.LongTimeFormat, AParts, ASettings, ADepth + 1);
      }
    } else if (up == u'A' && StartsWithAt(AFormat, i, QLatin1String("am/pm"))) {
      const bool pm = AParts.Hour >= 12;
      const bool lower = AFormat[i].isLower();
      QString text = pm ? QStringLiteral("PM") : QStringLiteral("AM");
      AResult += lower ? text.toLower() : text;
      i += 5;
    } else if (up == u'A' && StartsWithAt(AFormat, i, QLatin1String("a/p"))) {
      const bool pm = AParts.Hour >= 12;
      const bool lower = AFormat[i].isLower();
      QString text = pm ? QStringLiteral("P") : QStringLiteral("A");
      AResult += lower ? text.toLower() : text;
      i += 3;
    } else if (up == u'A' && StartsWithAt(AFormat, i, QLatin1String("ampm"))) {
      AResult += AParts.Hour >= 12 ? QStringLiteral("PM") : QStringLiteral("AM");
      i += 4;
    } else if (ch == u'/') {
      AResult += ASettings.DateSeparator;
      ++i;
    } else if (ch == u':') {
      AResult += ASettings.TimeSeparator;
      ++i;
    } else {
      AResult += ch;
      ++i;
      continue;
    }
    if (up.isLetter()) lastToken = up;
  }
}

}  // namespace

QString FormatDateTime(const QString& AFormat, TDateTime AValue) {
  return FormatDateTime(AFormat, AValue, FormatSettings());
}

QString FormatDateTime(const QString& AFormat, TDateTime AValue, const TFormatSettings& ASettings) {
  TDateParts parts{};
  DecodeDateTime(AValue, parts.Year, parts.Month, parts.Day, parts.Hour, parts.Minute, parts.Second, parts.MSec);
  parts.WeekDay = DayOfWeek(AValue);
  parts.HasTime = parts.Hour != 0 || parts.Minute != 0 || parts.Second != 0 || parts.MSec != 0;
  QString result;
  AppendFormatted(result, AFormat.isEmpty() ? QStringLiteral("c") : AFormat, parts, ASettings, 0);
  return result;
}

QString DateToStr(TDateTime AValue) {
  return FormatDateTime(FormatSettings().ShortDateFormat, AValue);
}

QString TimeToStr(TDateTime AValue) {
  return FormatDateTime(FormatSettings().LongTimeFormat, AValue);
}

QString DateTimeToStr(TDateTime AValue) {
  return FormatDateTime(QStringLiteral("c"), AValue);
}

// ---------------------------------------------------------------------------
// Text to dates

namespace {

class TDateScanner {
 public:
  TDateScanner(const QString& AText, const TFormatSettings& ASettings) : FText(AText), FSettings(ASettings) {}

  bool ScanDate(TDateTime& ADate) {
    const qsizetype start = FPos;
    int numbers[3] = {0, 0, 0};
    int lengths[3] = {0, 0, 0};
    int count = 0;
    SkipBlanks();
    while (count < 3) {
      if (!ScanNumber(numbers[count], lengths[count])) break;
      ++count;
      SkipBlanks();
      if (count < 3 && !ScanChar(FSettings.DateSeparator)) break;
      SkipBlanks();
    }
    if (count < 2) {
      FPos = start;
      return false;
    }
    int year, month, day;
    const int currentYear = YearOf(Now());
    int yearLength = 4;
    if (count == 2) {
      year = currentYear;
      if (FSettings.DateOrder == doDMY) {
        day = numbers[0];
        month = numbers[1];
      } else {
        month = numbers[0];
        day = numbers[1];
      }
    } else {
      switch (FSettings.DateOrder) {
        case doMDY:
          month = numbers[0], day = numbers[1], year = numbers[2], yearLength = lengths[2];
          break;
        case doDMY:
          day = numbers[0], month = numbers[1], year = numbers[2], yearLength = lengths[2];
          break;
        default:
          year = numbers[0], month = numbers[1], day = numbers[2], yearLength = lengths[0];
          break;
      }
    }
    if (year <= 99 && yearLength <= 2) {
      const int window = FSettings.TwoDigitYearCenturyWindow;
      if (window > 0) {
        const int threshold = currentYear - window;
        year += threshold / 100 * 100;
        if (year < threshold) year += 100;
      } else {
        year += currentYear / 100 * 100;
      }
    }
    if (!TryEncodeDate(year, month, day, ADate)) {
      FPos = start;
      return false;
    }
    return true;
  }

  bool ScanTime(TDateTime& ATime) {
    const qsizetype start = FPos;
    int hour = 0, minute = 0, second = 0, msec = 0, length = 0;
    SkipBlanks();
    if (!ScanNumber(hour, length)) return Fail(start);
    bool separated = false;
    if (ScanChar(FSettings.TimeSeparator)) {
      separated = true;
      if (!ScanNumber(minute, length)) return Fail(start);
      if (ScanChar(FSettings.TimeSeparator)) {
        if (!ScanNumber(second, length)) return Fail(start);
        if (ScanChar(FSettings.DecimalSeparator) || ScanChar(u'.')) {
          int digits = 0;
          if (!ScanNumber(msec, digits)) return Fail(start);
          for (; digits < 3; ++digits) msec *= 10;
          for (; digits > 3; --digits) msec /= 10;
        }
      }
    }
    SkipBlanks();
    int ampm = 0;
    if (StartsWithAt(FText, FPos, QLatin1String("AM"))) {
      ampm = 1;
      FPos += 2;
    } else if (StartsWithAt(FText, FPos, QLatin1String("PM"))) {
      ampm = 2;
      FPos += 2;
    }
    if (!separated && ampm == 0) return Fail(start);
    if (ampm != 0) {
      if (hour < 1 || hour > 12) return Fail(start);
      if (hour == 12) hour = 0;
      if (ampm == 2) hour += 12;
    }
    if (!TryEncodeTime(hour, minute, second, msec, ATime)) return Fail(start);
    return true;
  }

  void SkipBlanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos])) ++FPos;
  }
  bool AtEnd() const { return FPos >= FText.size(); }

 private:
  bool Fail(qsizetype AStart) {
    FPos = AStart;
    return false;
  }
  bool ScanChar(QChar ACh) {
    if (FPos < FText.size() && FText[FPos] == ACh) {
      ++FPos;
      return true;
    }
    return false;
  }
  bool ScanNumber(int& AValue, int& ALength) {
    AValue = 0;
    ALength = 0;
    while (FPos < FText.size() && FText[FPos] >= u'0' && FText[FPos] <= u'9') {
      if (ALength < 9) AValue = AValue * 10 + (FText[FPos].unicode() - u'0');
      ++ALength;
      ++FPos;
    }
    return ALength > 0;
  }

  const QString& FText;
  const TFormatSettings& FSettings;
  qsizetype FPos = 0;
};

}  // namespace

bool TryStrToDateTime(const QString& AText, TDateTime& AValue) {
  return TryStrToDateTime(AText, AValue, FormatSettings());
}

bool TryStrToDateTime(const QString& AText, TDateTime& AValue, const TFormatSettings& ASettings) {
  TDateScanner scanner(AText, ASettings);
  TDateTime date;
  TDateTime time;
  const bool hasDate = scanner.ScanDate(date);
  scanner.SkipBlanks();
  const bool hasTime = !scanner.AtEnd() && scanner.ScanTime(time);
  scanner.SkipBlanks();
  if (!scanner.AtEnd() || (!hasDate && !hasTime)) return false;
  AValue = TDateTime(date.Value >= 0 ? date.Value + time.Value : date.Value - time.Value);
  return true;
}

TDateTime StrToDateTime(const QString& AText) {
  return StrToDateTime(AText, FormatSettings());
}

TDateTime StrToDateTime(const QString& AText, const TFormatSettings& ASettings) {
  TDateTime result;
  if (!TryStrToDateTime(AText, result, ASettings)) InvalidText("'%1' is not a valid date and time", AText);
  return result;
}

TDateTime StrToDate(const QString& AText) {
  TDateScanner scanner(AText, FormatSettings());
  TDateTime result;
  const bool ok = scanner.ScanDate(result);
  scanner.SkipBlanks();
  if (!ok || !scanner.AtEnd()) InvalidText("'%1' is not a valid date", AText);
  return result;
}
