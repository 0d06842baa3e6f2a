#include "ftp/list_datetime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30 is day 0 of TDateTime.
const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    out = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                              kEpochOffset);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    const int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    out = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return true;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) { return date >= 0 ? date + time : date - time; }

TListDateTimeParts DecodeDateTime(TDateTime value) {
    TListDateTimeParts p;
    if (!std::isfinite(value) || std::fabs(value) > 3e6) return p;
    double whole = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {  // rounding up to the next day
        ms -= kMsPerDay;
        whole += value >= 0 ? 1 : -1;
    }
    CivilFromDays(static_cast<int64_t>(whole) + kEpochOffset, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}

std::string FormatListDate(TDateTime value) {
    if (value == 0) return {};
    const TListDateTimeParts p = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return buf;
}

std::string FormatListDateTime(TDateTime value) {
    if (value == 0) return {};
    const TListDateTimeParts p = DecodeDateTime(value);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    return buf;
}

TListDate CurrentLocalDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return TListDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}
