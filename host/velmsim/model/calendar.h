// The working-day calendar of a schedule: dates as days since 1970-01-01,
// working days by weekday less holidays.
#pragma once

#include <string>

#include "host/velmsim/model/model.h"

namespace velmsim {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int day_number(int year, unsigned month, unsigned day);
// The date of a day number as YYYY-MM-DD.
std::string date_text(int day);

// The weekday of a day number, Monday 0 to Sunday 6.
int weekday(int day);

bool is_working_day(const Schedule& s, int day);

// The working days from the schedule's start through `day`, both included
// (0 when `day` comes before the first working day).
int working_days_through(const Schedule& s, int day);

// The date on which a span of `days` working days from the start ends: the
// date of working day ceil(days) (counted from 1), or the start for 0.
int date_after(const Schedule& s, double days);

}  // namespace velmsim
