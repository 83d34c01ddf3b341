#include "host/velmsim/model/work_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "host/velmsim/model/calendar.h"

namespace velmsim {

namespace {
constexpr int kDay = 24 * 60;

int day_of(double t) { return static_cast<int>(std::floor(t / kDay)); }
}  // namespace

double instant(int day, int minute_of_day) {
  return static_cast<double>(day) * kDay + minute_of_day;
}

std::string instant_text(double minutes) {
  const auto m = static_cast<long long>(std::llround(minutes));
  const auto day = static_cast<int>(m >= 0 ? m / kDay : -((-m + kDay - 1) / kDay));
  const auto of_day = static_cast<int>(m - static_cast<long long>(day) * kDay);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", of_day / 60, of_day % 60);
  return date_text(day) + "T" + text;
}

const WorkTime::Shifts& WorkTime::shifts(int day) const {
  const auto it = days.find(day);
  return it != days.end() ? it->second : week[static_cast<std::size_t>(weekday(day))];
}

int WorkTime::minutes(int day) const {
  int total = 0;
  for (const auto& [a, b] : shifts(day)) total += b - a;
  return total;
}

bool WorkTime::works() const {
  for (const Shifts& s : week)
    for (const auto& [a, b] : s)
      if (b > a) return true;
  return false;
}

double WorkTime::between(double from, double to) const {
  if (to < from) return -between(to, from);
  double total = 0;
  const int last = std::min(day_of(to), day_of(from) + kWalkDays);
  for (int day = day_of(from); day <= last; ++day) {
    const double base = instant(day, 0);
    for (const auto& [a, b] : shifts(day)) {
      const double lo = std::max(from, base + a), hi = std::min(to, base + b);
      if (hi > lo) total += hi - lo;
    }
  }
  return total;
}

double WorkTime::after(double from, double work, bool late) const {
  const int first = day_of(from);
  for (int day = first, idle = 0; idle < kSearchDays && day - first < kWalkDays; ++day) {
    const double base = instant(day, 0);
    bool worked = false;
    for (const auto& [a, b] : shifts(day)) {
      const double lo = std::max(from, base + a), hi = base + b;
      if (hi <= lo) continue;
      worked = true;
      // Landing on this interval's end: a finish stays, a start moves on.
      if (work < hi - lo || (late && work == hi - lo)) return lo + work;
      work -= hi - lo;
    }
    idle = worked ? 0 : idle + 1;
  }
  return from + work;  // no working time: unreachable for a calendar that works()
}

double WorkTime::before(double from, double work, bool late) const {
  const int first = day_of(from);
  for (int day = first, idle = 0; idle < kSearchDays && first - day < kWalkDays; --day) {
    const double base = instant(day, 0);
    const Shifts& s = shifts(day);
    bool worked = false;
    for (auto it = s.rbegin(); it != s.rend(); ++it) {
      const double hi = std::min(from, base + it->second), lo = base + it->first;
      if (hi <= lo) continue;
      worked = true;
      if (work < hi - lo || (!late && work == hi - lo)) return hi - work;
      work -= hi - lo;
    }
    idle = worked ? 0 : idle + 1;
  }
  return from - work;
}

}  // namespace velmsim
