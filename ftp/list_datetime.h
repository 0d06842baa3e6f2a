#pragma once
// Date-time values of listing items: days since 30 December 1899, the fraction being the
// time of day (0 means unknown). Plain C++, no locale.

#include <string>

using TDateTime = double;

struct TListDate {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};

struct TListDateTimeParts {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// Both return false for a date or time outside the calendar (years 1 to 9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out);
// A date plus a time of day; for dates before 1899-12-30 the time still counts forward.
TDateTime CombineDateTime(TDateTime date, TDateTime time);

// Splits a value back into calendar fields, to the millisecond.
TListDateTimeParts DecodeDateTime(TDateTime value);

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS"; empty for 0 (unknown).
std::string FormatListDate(TDateTime value);
std::string FormatListDateTime(TDateTime value);

// Today's local date from the system clock.
TListDate CurrentLocalDate();
