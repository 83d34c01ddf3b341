// Working time to the minute, as scheduling programs keep it: each weekday's
// working intervals, and days with intervals of their own (a holiday has
// none). Instants are minutes since 1970-01-01T00:00 in the file's local
// time; spans of work are working minutes.
#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velmsim {

class WorkTime {
 public:
  using Shifts = std::vector<std::pair<int, int>>;  // [from, to) minutes of the day, ascending

  std::array<Shifts, 7> week;  // Monday first
  std::map<int, Shifts> days;  // by day number: a day's own working time

  // The working intervals of a day.
  const Shifts& shifts(int day) const;
  // Working minutes in a day.
  int minutes(int day) const;
  // Whether any weekday has working time (else no span of work ends).
  bool works() const;

  // The working minutes in [from, to); negative when to < from.
  double between(double from, double to) const;

  // The instant at which `work` working minutes after `from` have been done
  // (work >= 0). An instant at the end of a working interval is also the
  // start of the next one: `late` gives the end (a finish: 17:00), else the
  // start of the next working time (a start: 08:00 the next working day).
  double after(double from, double work, bool late) const;

  // The instant `work` working minutes before `from` (work >= 0); at a
  // boundary, `late` gives the end of the earlier interval.
  double before(double from, double work, bool late) const;

  // Days searched for working time before giving up: a calendar whose
  // exceptions remove every working day for this long has none.
  static constexpr int kSearchDays = 366 * 50;
  // Days walked at most by one question: schedules span years, not
  // centuries; beyond this the answer is taken as working all day.
  static constexpr int kWalkDays = 366 * 300;
};

// Minutes since 1970-01-01T00:00 of a date and time of day.
double instant(int day, int minute_of_day);

// "2027-03-01T08:00" for an instant (rounded to the minute).
std::string instant_text(double minutes);

}  // namespace velmsim
