#include "stamps.h"

namespace kivrel
{

// The proleptic Gregorian calendar in whole days, valid for every year a time stamp can hold.
long DayNumber(int year, int month, int day)
{
    const long y = year - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yearOfEra = y - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void DayName(long dayNumber, char name[11])
{
    const long z = dayNumber + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long dayOfEra = z - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long mp = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) year = 0; // no time stamp holds such a year
    const long parts[] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10,
                          -1,          month / 10,      month % 10,     -1,
                          day / 10,    day % 10};
    for (int i = 0; i < 10; i++)
        name[i] = parts[i] < 0 ? '-' : static_cast<char>('0' + parts[i]);
    name[10] = '\0';
}

double EpochSeconds(int year, int month, int day, int hour, int minute, int second, int millisecond,
                    int offsetMinutes)
{
    const double days = static_cast<double>(DayNumber(year, month, day));
    return days * 86400.0 + hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0 -
           offsetMinutes * 60.0;
}

// `count` decimal digits at `text` as a number; -1 when one is not a digit.
static int Digits(const char *text, int count)
{
    int value = 0;
    for (int i = 0; i < count; i++) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

static int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 ? leap : 0);
}

int ParseTimeStamp(const char *text, int length, double *seconds)
{
    // 2026-12-08T14:30:12.345+01:00
    static const char shape[] = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
    if (length != static_cast<int>(sizeof shape - 1)) return -1;
    for (int i = 0; i < length; i++) {
        const char want = shape[i];
        if (want == 'd' || (want == '+' && text[i] == '-')) continue;
        if (text[i] != want) return -1;
    }
    const int year = Digits(text, 4), month = Digits(text + 5, 2), day = Digits(text + 8, 2);
    const int hour = Digits(text + 11, 2), minute = Digits(text + 14, 2);
    const int second = Digits(text + 17, 2), milli = Digits(text + 20, 3);
    const int offsetHours = Digits(text + 24, 2), offsetMinutes = Digits(text + 27, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59 || milli < 0 || offsetHours < 0 ||
        offsetHours > 18 || offsetMinutes < 0 || offsetMinutes > 59)
        return -1;
    if (day > DaysInMonth(year, month)) return -1;
    const int offset = (offsetHours * 60 + offsetMinutes) * (text[23] == '-' ? -1 : 1);
    *seconds = EpochSeconds(year, month, day, hour, minute, second, milli, offset);
    return 0;
}

int ParseUnsigned(const char *text, int length, unsigned max, unsigned *value)
{
    if (length < 1 || length > 9) return -1;
    const int v = Digits(text, length);
    if (v < 0 || static_cast<unsigned>(v) > max) return -1;
    *value = static_cast<unsigned>(v);
    return 0;
}

} // namespace kivrel
