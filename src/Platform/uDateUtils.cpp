#include "src/Platform/uDateUtils.h"

#include <QTimeZone>
#include <cmath>
#include <cstdlib>

#include "src/Platform/uException.h"

namespace {

constexpr int64_t cMSecsPerDayInt = 86400000;
// Days from 1970-01-01 back to 1899-12-30.
constexpr int64_t cUnixEpochSerial = 25569;

// Howard Hinnant's days <-> civil date, days counted from 1970-01-01.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& AYear, int& AMonth, int& ADay) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  AYear = static_cast<int>(y + (m <= 2));
  AMonth = static_cast<int>(m);
  ADay = static_cast<int>(d);
}

// The value as whole days and milliseconds of the day, Delphi's way: the total
// is rounded to the millisecond, the day truncated toward zero and the time of
// day taken from the magnitude.
void SplitValue(TDateTime AValue, int64_t& ADays, int64_t& AMSecs) {
  const double total = std::nearbyint(AValue.Value * cMSecsPerDay);
  // Clamp far outside the calendar so that the conversion stays defined.
  const double limit = 4.0e18;
  const int64_t ms = static_cast<int64_t>(std::isfinite(total) ? std::fmax(-limit, std::fmin(limit, total)) : 0.0);
  ADays = ms / cMSecsPerDayInt;
  AMSecs = std::llabs(ms) % cMSecsPerDayInt;
}

TDateTime Combine(TDateTime ADate, TDateTime ATime) {
  return TDateTime(ADate.Value >= 0 ? ADate.Value + ATime.Value : ADate.Value - ATime.Value);
}

}  // namespace

bool IsLeapYear(int AYear) {
  return AYear % 4 == 0 && (AYear % 100 != 0 || AYear % 400 == 0);
}

int DaysInAMonth(int AYear, int AMonth) {
  static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (AMonth < 1 || AMonth > 12) return 0;
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : days[AMonth - 1];
}

bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AValue) {
  if (AYear < 1 || AYear > 9999 || AMonth < 1 || AMonth > 12 || ADay < 1 || ADay > DaysInAMonth(AYear, AMonth))
    return false;
  AValue = TDateTime(static_cast<double>(DaysFromCivil(AYear, AMonth, ADay) + cUnixEpochSerial));
  return true;
}

bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond, TDateTime& AValue) {
  if (AHour < 0 || AHour > 23 || AMinute < 0 || AMinute > 59 || ASecond < 0 || ASecond > 59 || AMilliSecond < 0 ||
      AMilliSecond > 999)
    return false;
  const int64_t ms = ((AHour * 60 + AMinute) * 60 + ASecond) * 1000LL + AMilliSecond;
  AValue = TDateTime(static_cast<double>(ms) / cMSecsPerDay);
  return true;
}

TDateTime EncodeDate(int AYear, int AMonth, int ADay) {
  TDateTime result;
  if (!TryEncodeDate(AYear, AMonth, ADay, result))
    throw EConvertError(QStringLiteral("Invalid argument to date encode"));
  return result;
}

TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond) {
  TDateTime result;
  if (!TryEncodeTime(AHour, AMinute, ASecond, AMilliSecond, result))
    throw EConvertError(QStringLiteral("Invalid argument to time encode"));
  return result;
}

TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond, int AMilliSecond) {
  return Combine(EncodeDate(AYear, AMonth, ADay), EncodeTime(AHour, AMinute, ASecond, AMilliSecond));
}

void DecodeDate(TDateTime AValue, int& AYear, int& AMonth, int& ADay) {
  int64_t days = 0, ms = 0;
  SplitValue(AValue, days, ms);
  CivilFromDays(days - cUnixEpochSerial, AYear, AMonth, ADay);
}

void DecodeTime(TDateTime AValue, int& AHour, int& AMinute, int& ASecond, int& AMilliSecond) {
  int64_t days = 0, ms = 0;
  SplitValue(AValue, days, ms);
  AMilliSecond = static_cast<int>(ms % 1000);
  ASecond = static_cast<int>(ms / 1000 % 60);
  AMinute = static_cast<int>(ms / 60000 % 60);
  AHour = static_cast<int>(ms / 3600000);
}

void DecodeDateTime(TDateTime AValue, int& AYear, int& AMonth, int& ADay, int& AHour, int& AMinute, int& ASecond,
                    int& AMilliSecond) {
  DecodeDate(AValue, AYear, AMonth, ADay);
  DecodeTime(AValue, AHour, AMinute, ASecond, AMilliSecond);
}

TDateTime DateOf(TDateTime AValue) {
  int64_t days = 0, ms = 0;
  SplitValue(AValue, days, ms);
  return TDateTime(static_cast<double>(days));
}

TDateTime TimeOf(TDateTime AValue) {
  int64_t days = 0, ms = 0;
  SplitValue(AValue, days, ms);
  return TDateTime(static_cast<double>(ms) / cMSecsPerDay);
}

int YearOf(TDateTime AValue) {
  int y, m, d;
  DecodeDate(AValue, y, m, d);
  return y;
}

int MonthOf(TDateTime AValue) {
  int y, m, d;
  DecodeDate(AValue, y, m, d);
  return m;
}

int DayOf(TDateTime AValue) {
  int y, m, d;
  DecodeDate(AValue, y, m, d);
  return d;
}

TDateTime IncMonth(TDateTime AValue, int AMonths) {
  int year, month, day;
  DecodeDate(AValue, year, month, day);
  const int64_t index = static_cast<int64_t>(year) * 12 + (month - 1) + AMonths;
  year = static_cast<int>(index >= 0 ? index / 12 : (index - 11) / 12);
  month = static_cast<int>(index - static_cast<int64_t>(year) * 12) + 1;
  day = std::min(day, DaysInAMonth(year, month));
  return Combine(EncodeDate(year, month, day), TimeOf(AValue));
}

TDateTime IncDay(TDateTime AValue, int ADays) {
  return TDateTime(AValue.Value + ADays);
}

int DayOfWeek(TDateTime AValue) {
  int64_t days = 0, ms = 0;
  SplitValue(AValue, days, ms);
  // 1899-12-30 was a Saturday.
  const int64_t shifted = (days + 6) % 7;
  return static_cast<int>(shifted < 0 ? shifted + 7 : shifted) + 1;
}

TDateTime QDateTimeToDateTime(const QDateTime& AValue) {
  const QDate date = AValue.date();
  const QTime time = AValue.time();
  return EncodeDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec());
}

QDateTime DateTimeToQDateTime(TDateTime AValue, Qt::TimeSpec ASpec) {
  int y, m, d, h, n, s, z;
  DecodeDateTime(AValue, y, m, d, h, n, s, z);
  return QDateTime(QDate(y, m, d), QTime(h, n, s, z), ASpec);
}

TDateTime Now() {
  return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date() {
  return DateOf(Now());
}

namespace {

class TIsoScanner {
 public:
  explicit TIsoScanner(const QString& AText) : FText(AText) {}
  bool AtEnd() const { return FPos >= FText.size(); }
  QChar Peek() const { return AtEnd() ? QChar() : FText[FPos]; }
  bool Take(QChar ACh) {
    if (Peek() != ACh) return false;
    ++FPos;
    return true;
  }
  // Exactly ACount decimal digits.
  bool Digits(int ACount, int& AValue) {
    AValue = 0;
    for (int i = 0; i < ACount; ++i) {
      const QChar ch = Peek();
      if (ch < u'0' || ch > u'9') return false;
      AValue = AValue * 10 + (ch.unicode() - u'0');
      ++FPos;
    }
    return true;
  }
  bool IsDigit() const {
    const QChar ch = Peek();
    return ch >= u'0' && ch <= u'9';
  }

 private:
  const QString& FText;
  qsizetype FPos = 0;
};

}  // namespace

bool TryISO8601ToDate(const QString& AText, TDateTime& AValue, bool AReturnUTC) {
  const QString text = AText.trimmed();
  TIsoScanner scan(text);
  int year, month, day;
  if (!scan.Digits(4, year)) return false;
  const bool extended = scan.Take(u'-');
  if (!scan.Digits(2, month)) return false;
  if (extended && !scan.Take(u'-')) return false;
  if (!scan.Digits(2, day)) return false;
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date)) return false;
  int hour = 0, minute = 0, second = 0, msec = 0, offset = 0;
  if (!scan.AtEnd()) {
    if (!scan.Take(u'T') && !scan.Take(u't') && !scan.Take(u' ')) return false;
    if (!scan.Digits(2, hour)) return false;
    const bool colon = scan.Take(u':');
    if (!scan.Digits(2, minute)) return false;
    if (scan.Take(u':') || (!colon && scan.IsDigit())) {
      if (!scan.Digits(2, second)) return false;
      if (scan.Take(u'.') || scan.Take(u',')) {
        if (!scan.IsDigit()) return false;
        int digits = 0;
        while (scan.IsDigit()) {
          int digit;
          scan.Digits(1, digit);
          if (digits < 3) msec = msec * 10 + digit;
          ++digits;
        }
        for (; digits < 3; ++digits) msec *= 10;
      }
    }
    if (scan.Take(u'Z') || scan.Take(u'z')) {
    } else if (scan.Peek() == u'+' || scan.Peek() == u'-') {
      const int sign = scan.Take(u'-') ? -1 : (scan.Take(u'+'), 1);
      int offsetHours = 0, offsetMinutes = 0;
      if (!scan.Digits(2, offsetHours)) return false;
      if (!scan.AtEnd()) {
        scan.Take(u':');
        if (!scan.Digits(2, offsetMinutes)) return false;
      }
      if (offsetHours > 23 || offsetMinutes > 59) return false;
      offset = sign * (offsetHours * 60 + offsetMinutes);
    }
    if (!scan.AtEnd()) return false;
  }
  TDateTime time;
  if (!TryEncodeTime(hour, minute, second, msec, time)) return false;
  // Shift to UTC on a linear millisecond count so that crossing midnight (and
  // dates before 1899, whose fraction counts forward) comes out right.
  const int64_t linear = static_cast<int64_t>(date.Value) * cMSecsPerDayInt +
                         ((hour * 60 + minute) * 60 + second) * 1000LL + msec - offset * 60000LL;
  int64_t days = linear / cMSecsPerDayInt;
  int64_t ms = linear % cMSecsPerDayInt;
  if (ms < 0) {
    ms += cMSecsPerDayInt;
    --days;
  }
  TDateTime result = Combine(TDateTime(static_cast<double>(days)), TDateTime(static_cast<double>(ms) / cMSecsPerDay));
  if (!AReturnUTC) result = QDateTimeToDateTime(DateTimeToQDateTime(result, Qt::UTC).toLocalTime());
  AValue = result;
  return true;
}

TDateTime ISO8601ToDate(const QString& AText, bool AReturnUTC) {
  TDateTime result;
  if (!TryISO8601ToDate(AText, result, AReturnUTC))
    throw EConvertError(QStringLiteral("'%1' is not a valid ISO 8601 date").arg(AText));
  return result;
}

QString DateToISO8601(TDateTime AValue, bool AInputIsUTC) {
  int y, m, d, h, n, s, z;
  DecodeDateTime(AValue, y, m, d, h, n, s, z);
  QString result = QStringLiteral("%1-%2-%3T%4:%5:%6.%7")
                       .arg(y, 4, 10, QChar(u'0'))
                       .arg(m, 2, 10, QChar(u'0'))
                       .arg(d, 2, 10, QChar(u'0'))
                       .arg(h, 2, 10, QChar(u'0'))
                       .arg(n, 2, 10, QChar(u'0'))
                       .arg(s, 2, 10, QChar(u'0'))
                       .arg(z, 3, 10, QChar(u'0'));
  if (AInputIsUTC) return result + u'Z';
  const int offset = DateTimeToQDateTime(AValue).offsetFromUtc() / 60;
  const int magnitude = std::abs(offset);
  return result + (offset < 0 ? u'-' : u'+') +
         QStringLiteral("%1:%2").arg(magnitude / 60, 2, 10, QChar(u'0')).arg(magnitude % 60, 2, 10, QChar(u'0'));
}
