// What velmsim knows about each distribution, in one table: its name and
// keys, the conditions on them, the export that draws it and how that export
// is called, how many uniforms one draw takes, and which editions have it.
// The reader, the engine, the comparison of two models and the check of the
// sampling edition all read this table, so that a distribution whose export
// exists is added as one row. The kinds of input that are not one
// distribution (a correlated pair, a risk event) have a table of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"

namespace velmsim {

enum class Dist {
  uniform, normal, lognormal, triangular, beta, geometric, yesno, pert, constant,
  discrete, cumulative, data
};

// The table a value is looked up in at a uniform u: a discrete
// distribution's values x with their cumulative probabilities F; the points
// (x, F) of a piecewise-linear cumulative distribution; or, with F empty,
// the observations that a bootstrap draws from.
struct DrawTable {
  std::vector<double> x, F;
  bool operator==(const DrawTable&) const = default;
};

// One variate: the export's single-precision arguments in the export's
// order, and, when `scaled`, its value x mapped onto [lo, hi] as
// lo + (hi - lo) x, evaluated in double and rounded once to single precision.
struct Draw {
  Dist dist = Dist::uniform;
  std::array<float, 3> arg{};
  bool scaled = false;
  double lo = 0.0, hi = 1.0;
  std::shared_ptr<const DrawTable> table;  // a distribution given by a table
  // A truncated draw is redrawn until its value lies in [truncate[0],
  // truncate[1]], which holds the share `kept` of the distribution; its
  // redraws are counted in the run's slot `redraw_slot`.
  std::optional<std::array<double, 2>> truncate;
  double kept = 1.0;
  int redraw_slot = -1;
  // The parameters the reader solved for (a triangular's low and high from
  // its percentiles, a PERT's shapes), as the reports show them; or "".
  std::string solved;
  std::map<std::string, Position> at;  // where each key's value is written
  // The same variate: positions and report texts aside.
  bool operator==(const Draw& o) const {
    return dist == o.dist && arg == o.arg && scaled == o.scaled && lo == o.lo && hi == o.hi &&
           (table == o.table || (table && o.table && *table == *o.table)) &&
           truncate == o.truncate;
  }
};

// How an export is called: every argument by address, the result by value.
enum class Call {
  two_reals,    // float f(const float*, const float*)
  three_reals,  // float f(const float*, const float*, const float*)
  count,        // int32_t f(const float*), taken as a float
  none,         // no export: the value itself, drawing nothing
  inverse,      // the uniform export on (0, 1), its value looked up in the draw's table
};

// How many uniforms one draw takes, as far as the pairing of two models'
// draws needs to know it.
enum class Uniforms {
  fixed,               // a number that does not depend on the parameters
  by_parameters,       // a number that depends on the parameters
  one_unless_certain,  // one, and none when p is 0 or 1
};

// The editions that have an export.
enum Edition : unsigned { kStatsEdition = 1, kThreadedEdition = 2, kBothEditions = 3 };

// A distribution's parameters as read: numbers in single precision, lists
// of numbers (in double) and texts, by key.
struct Parameters {
  std::map<std::string, float> value;
  std::map<std::string, std::vector<double>> list;
  std::map<std::string, std::string> text;
  bool has(const std::string& key) const { return value.count(key) > 0; }
  float operator[](const std::string& key) const {
    const auto it = value.find(key);
    return it == value.end() ? 0.0f : it->second;
  }
};

// Refuses the value of `key` with a message, located at that value; or, with
// `warning`, warns about it.
using Refuse = std::function<void(const std::string& key, const std::string& message)>;
using Warn = Refuse;

using Make = void (*)(const Parameters& p, const std::string& who, const Refuse& refuse, Draw& d);

// Another set of keys that gives a distribution: its percentiles, from
// which the reader solves for the parameters the export takes.
struct Form {
  std::vector<std::string> keys, optional;
  Make make;
};

struct Distribution {
  Dist id;
  const char* name;
  std::vector<std::string> keys;      // required
  std::vector<std::string> optional;  // may be left out
  // Checks the parameters, refusing each value that breaks a condition, and
  // fills the draw; `who` names the input in messages ("input 'labour'").
  void (*make)(const Parameters& p, const std::string& who, const Refuse& refuse, Draw& d);
  // What the sampler of `edition` would refuse (and stop the process) or
  // silently mangle in a draw the conditions accept; null when nothing.
  void (*edition_check)(const Draw& d, unsigned edition, const std::string& who,
                        const Refuse& refuse, const Warn& warn);
  const char* export_name;  // null for a value that is not drawn
  Call call;
  Uniforms uniforms;
  double mean_uniforms;  // uniforms one draw takes on average (measured from the stream)
  unsigned editions;
  bool impact;               // may be the impact of a risk
  const char* stats_caveat;  // how the statistics edition's sampler differs, or null
  // The value a plan takes for a draw: the mode of a triangular, the mean of
  // the others (a task's planned duration).
  double (*planned)(const Draw& d);
  // The keys that give it by percentiles instead, or null.
  const Form* percentiles;
  // The cumulative distribution function of a continuous distribution (which
  // may be truncated); null for the others.
  double (*cdf)(const Draw& d, double x);
};

// Every distribution, in the order of Dist.
const std::vector<Distribution>& distributions();
inline const Distribution& distribution(Dist d) { return distributions()[static_cast<std::size_t>(d)]; }
inline constexpr std::size_t kDistributionCount = 12;

// The distribution called `name`, or null.
const Distribution* find_distribution(const std::string& name);

// True when two draws take the same number of uniforms in every iteration,
// whatever the uniforms.
bool same_uniforms(const Draw& a, const Draw& b);

// The uniforms a draw takes on average, redraws of a truncated one included.
double mean_uniforms(const Draw& d);

// The value of a table's distribution at the uniform u in (0, 1): a discrete
// distribution's first value whose cumulative probability exceeds u, the
// piecewise-linear inverse of a cumulative distribution, or the bootstrap's
// observation at index floor(u n); in double, rounded once.
float table_value(const DrawTable& t, Dist dist, float u);

// The most redraws of one truncated value. A range holds at least 1 % of
// the distribution, so that more than this many happen with a chance below
// 10^-400; should they, the value is taken at the nearer end of the range.
inline constexpr std::uint32_t kMaxRedraws = 100000;

// The kinds of input besides one plain variate, each named by its own `dist`.
enum class InputKind { plain, pair, risk };

struct Kind {
  InputKind kind;
  const char* name;
  const char* export_name;  // null for a value that is not drawn  // the export it needs besides its distributions'
  unsigned editions;
  double mean_uniforms;  // uniforms it takes on average besides its distributions'
};

// normal_pair and risk.
const std::vector<Kind>& kinds();
const Kind& kind(InputKind k);

// Every name `dist` may take: the distributions, then the kinds.
std::vector<std::string> dist_names();

// A parameter in a message: seven significant digits, as single precision
// holds them (1.2, not 1.20000005).
std::string parameter_text(double x);

// A number written with the fewest significant digits (at least six) that
// read back as the same double: 99.99999 rather than 100, 50.00001 and
// 50.00002 told apart.
std::string exact_text(double x);

}  // namespace velmsim
