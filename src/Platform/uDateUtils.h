#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

#include "src/Platform/uVariant.h"

// Calendar arithmetic on TDateTime (days since 1899-12-30, proleptic Gregorian).
// Time parts are rounded to the millisecond as Delphi does; for negative values
// the fraction is the time of day counted forward from the date's midnight.

constexpr double cMSecsPerDay = 86400000.0;

bool IsLeapYear(int AYear);
int DaysInAMonth(int AYear, int AMonth);

// EConvertError on an invalid date or time.
TDateTime EncodeDate(int AYear, int AMonth, int ADay);
TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond);
TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond, int AMilliSecond);
bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AValue);
bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMilliSecond, TDateTime& AValue);

void DecodeDate(TDateTime AValue, int& AYear, int& AMonth, int& ADay);
void DecodeTime(TDateTime AValue, int& AHour, int& AMinute, int& ASecond, int& AMilliSecond);
void DecodeDateTime(TDateTime AValue, int& AYear, int& AMonth, int& ADay, int& AHour, int& AMinute, int& ASecond,
                    int& AMilliSecond);

TDateTime DateOf(TDateTime AValue);  // midnight of the day
TDateTime TimeOf(TDateTime AValue);  // the time of day alone
int YearOf(TDateTime AValue);
int MonthOf(TDateTime AValue);
int DayOf(TDateTime AValue);

// Moves by whole months; a day past the target month's end becomes its last day.
// The time of day is kept.
TDateTime IncMonth(TDateTime AValue, int AMonths = 1);
TDateTime IncDay(TDateTime AValue, int ADays = 1);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime AValue);

// The local clock.
TDateTime Now();
TDateTime Date();

// QDateTime bridges, in local time unless the QDateTime says otherwise.
QDateTime DateTimeToQDateTime(TDateTime AValue, Qt::TimeSpec ASpec = Qt::LocalTime);
TDateTime QDateTimeToDateTime(const QDateTime& AValue);

// ISO 8601: "yyyy-mm-dd", optionally "T" (or a blank) and "hh:nn[:ss[.zzz]]",
// optionally "Z" or an offset "+hh[:mm]" / "-hhmm". A text with an offset is
// shifted to UTC; one without is taken as UTC. AReturnUTC false converts the
// result to local time. EConvertError on anything else.
TDateTime ISO8601ToDate(const QString& AText, bool AReturnUTC = true);
bool TryISO8601ToDate(const QString& AText, TDateTime& AValue, bool AReturnUTC = true);
// "yyyy-mm-ddThh:nn:ss.zzzZ" for a UTC value; a local value gets the local offset.
QString DateToISO8601(TDateTime AValue, bool AInputIsUTC = true);
