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
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"

namespace velmsim {

enum class Dist { uniform, normal, lognormal, triangular, beta, geometric, yesno, pert, constant };

// One variate: the export's single-precision arguments in the export's
// order, and, when `scaled`, its value x mapped onto [lo, hi] as
// lo + (hi - lo) x, evaluated in double and rounded once to single precision.
struct Draw {
  Dist dist = Dist::uniform;
  std::array<float, 3> arg{};
  bool scaled = false;
  double lo = 0.0, hi = 1.0;
  std::map<std::string, Position> at;  // where each key's value is written
  // The same variate: positions aside.
  bool operator==(const Draw& o) const {
    return dist == o.dist && arg == o.arg && scaled == o.scaled && lo == o.lo && hi == o.hi;
  }
};

// How an export is called: every argument by address, the result by value.
enum class Call {
  two_reals,    // float f(const float*, const float*)
  three_reals,  // float f(const float*, const float*, const float*)
  count,        // int32_t f(const float*), taken as a float
  none,         // no export: the value itself, drawing nothing
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

// A distribution's parameters as read, in single precision, by key.
struct Parameters {
  std::map<std::string, float> value;
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
};

// Every distribution, in the order of Dist.
const std::vector<Distribution>& distributions();
inline const Distribution& distribution(Dist d) { return distributions()[static_cast<std::size_t>(d)]; }
inline constexpr std::size_t kDistributionCount = 9;

// The distribution called `name`, or null.
const Distribution* find_distribution(const std::string& name);

// True when two draws take the same number of uniforms in every iteration,
// whatever the uniforms.
bool same_uniforms(const Draw& a, const Draw& b);

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
