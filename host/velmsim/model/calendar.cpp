#include "host/velmsim/model/calendar.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace velmsim {

int day_number(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  return static_cast<int>(
      sys_days(std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day))
          .time_since_epoch()
          .count());
}

std::string date_text(int day) {
  using namespace std::chrono;
  const year_month_day d{sys_days(days(day))};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(d.year()),
                static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
  return text;
}

int weekday(int day) {
  // 1970-01-01 was a Thursday: Monday first, it is weekday 3.
  return ((day % 7) + 7 + 3) % 7;
}

bool is_working_day(const Schedule& s, int day) {
  return s.workdays[static_cast<std::size_t>(weekday(day))] &&
         !std::binary_search(s.holidays.begin(), s.holidays.end(), day);
}

int working_days_through(const Schedule& s, int day) {
  int count = 0;
  for (int d = s.start.value_or(day); d <= day; ++d) count += is_working_day(s, d) ? 1 : 0;
  return count;
}

int date_after(const Schedule& s, double days) {
  const int start = s.start.value_or(0);
  const auto wanted = static_cast<long>(std::ceil(days));
  int d = start;
  for (long seen = 0; seen < wanted; ++d) {
    if (!is_working_day(s, d)) continue;
    if (++seen == wanted) return d;
  }
  return d;
}

}  // namespace velmsim
