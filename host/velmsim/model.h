// A velmsim model: uncertain inputs, output formulas and run settings, read
// from a TOML file and checked so that no parameter the library would refuse
// ever reaches it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/correlation.h"
#include "host/velmsim/diagnostics.h"

namespace velmsim {

enum class Dist { uniform, normal, lognormal, triangular, beta, geometric, normal_pair, risk, yesno };

const char* dist_name(Dist d);

// One export call and its single-precision arguments, in the export's order:
// uniform (min, max), normal and lognormal (mean, sd), triangular (low, mode,
// high), beta (p, q) then min + (max - min) * x, geometric (p), yesno (p),
// normal_pair (mean1, sd1, mean2, sd2, rho).
struct Draw {
  Dist dist = Dist::uniform;
  std::array<float, 5> arg{};
  double lo = 0.0, hi = 1.0;  // the interval a beta variate is mapped onto
  bool scaled = false;        // beta with min or max given
};

struct Input {
  std::string name;
  Position at;       // the key
  Position dist_at;  // the dist value
  Draw draw;
  std::array<std::string, 2> names;  // normal_pair: the two variables
  // risk: probability in draw.arg[0]; the impact drawn or constant
  bool impact_drawn = false;
  Draw impact;
  float impact_value = 0.0f;
  bool uses_triangular() const {
    return draw.dist == Dist::triangular ||
           (draw.dist == Dist::risk && impact_drawn && impact.dist == Dist::triangular);
  }
};

// A simulated variable: an input, or one variable of a pair.
struct Column {
  std::string name;
  std::size_t input = 0;
  int part = 0;  // 0, or 1 for the second variable of a pair
};

struct Output {
  std::string name;
  std::string formula;
  Position at;          // the key
  Position formula_at;  // the first character of the formula
  // The output's own base, target and currency label, else the model's.
  std::optional<double> base, target;
  std::string currency;
};

// Target Spearman rank correlations between columns, induced by reordering
// each block's draws. Pairs the model leaves out are 0.
struct RankCorrelation {
  std::vector<std::size_t> columns;  // the correlated columns, in draw order
  SquareMatrix target;               // over `columns`: the matrix the run uses
  SquareMatrix given;                // as written, before a repair
  bool repaired = false;
  double largest_change = 0;  // largest |target - given| entry after a repair
  Position at;                // the [correlation] table
  bool empty() const { return columns.size() < 2; }
};

struct RunSettings {
  int iterations = 10000;
  std::int32_t seed = 12345;  // 0: a seed from the clock
  double tolerance = 0.01;
  std::vector<double> percentiles = {10, 50, 80, 90};
  int block = 500;
  int classes = 12;
  // The columns named in `shares` (in the order written), whose part in each
  // output's contingency the reports give besides the risks'.
  std::vector<std::size_t> shares;
};

struct Model {
  std::string path;
  std::string text;
  std::string name;
  std::optional<double> base, target;
  std::string currency;
  std::vector<Input> inputs;   // in the order of the file
  std::vector<Column> columns;  // in draw order
  std::vector<Output> outputs;  // in the order of the file
  RankCorrelation correlation;
  RunSettings run;
  std::vector<std::string> unchecked_names;  // declared by inputs that have errors
};

// Reads and checks the model in `path`. Problems are added to `diagnostics`;
// the model is usable only when it has none. A correlation matrix that is not
// positive semi-definite is an error, or with `repair` replaced by the
// nearest correlation matrix with a warning.
Model read_model(const std::string& path, Diagnostics& diagnostics, bool repair = false);

// The columns' names, which every formula may use (besides base, when the
// output has one, and the outputs before it).
std::vector<std::string> formula_names(const Model& model);

}  // namespace velmsim
