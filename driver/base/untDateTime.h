#pragma once
// Conversions between automation dates (TDateTime: days since 30 December 1899, the time of day as the
// fraction) and calendar parts, and the short text forms of dates and times.
//
// Calendar: proleptic Gregorian, years 1 to 9999. A negative value counts its day towards the past and its
// fraction forwards (-1.25 is 29.12.1899 06:00), as automation dates do.
//
// Splitting a value rounds it to the nearest second first, so that the floating error of a computed date
// does not lose a second (0.5 + 3/86400 is 12:00:03), and a time that rounds up to midnight moves the date
// to the next day. Date and time parts of one value therefore always agree.
//
// Text forms are "dd.MM.yyyy" and "HH:mm:ss", the short formats of the Russian locale in which the driver is
// used; they do not yet follow a locale named by LC_TIME.

#include <string>

#include "driver/base/untTypes.h"

// Builds the date `year`-`month`-`day` (time 00:00). False, and `date` untouched, when the parts do not
// form a valid date (31.02, 29.02 of a common year, month 0 or 13, a year outside 1..9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& date);

// Builds the time of day `hour`:`minute`:`second` as a fraction of a day. False, and `time` untouched, when a
// part is out of range (hour 0..23, minute and second 0..59).
bool TryEncodeTime(int hour, int minute, int second, TDateTime& time);

// Splits `value` into its calendar date. False, with all three parts 0, when the value cannot be split:
// NaN, an infinity, or a date outside the years 1..9999.
bool DecodeDate(TDateTime value, int& year, int& month, int& day);

// Splits the time of day of `value`, rounded to the nearest second. False, with all three parts 0, when the
// value cannot be split (as DecodeDate).
bool DecodeTime(TDateTime value, int& hour, int& minute, int& second);

// "dd.MM.yyyy" for the date of `value`; an empty text when the value cannot be split.
std::string DateToStr(TDateTime value);

// "HH:mm:ss" for the time of day of `value`; an empty text when the value cannot be split.
std::string TimeToStr(TDateTime value);

// Parses "d.M.yyyy" (one or two digits for day and month; a year of one or two digits is in 2000..2099,
// one of three or four digits is taken as written), blanks around allowed. False, and `date` untouched,
// when the text has another shape or names no valid date.
bool TryStrToDate(const std::string& text, TDateTime& date);

// Parses "H:mm" or "H:mm:ss" (one or two digits each), blanks around allowed. False, and `time` untouched,
// when the text has another shape or names no valid time.
bool TryStrToTime(const std::string& text, TDateTime& time);
