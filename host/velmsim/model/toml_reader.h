// The pieces the model reader's sections share: typed values read from
// toml++ nodes with located errors, tables in the order of the file, and the
// names of the model.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <toml++/toml.h>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/model.h"

namespace mu {
class Parser;
}

namespace velmsim::reader {

Position pos(const toml::source_region& s);

// The entries of a table in the order they are written in the file: toml++
// keeps keys sorted by name, the model's meaning depends on file order.
std::vector<std::pair<const toml::key*, const toml::node*>> in_file_order(const toml::table& t);

// Letters, digits and _, starting with a letter or _.
bool is_identifier(const std::string& s);

// A name as a message shows it: cut after 40 characters.
std::string shown_name(const std::string& name);

// The deepest key the reader takes: a table header or key of more dotted
// parts is refused before the text is parsed (the parser's tables nest as
// deep as the key, and their handling recurses).
inline constexpr int kMaxKeyParts = 32;

// The start of the first key in `text` with more than kMaxKeyParts dotted
// parts, if any, found by a scan that skips strings and comments.
std::optional<Position> too_deep_key(const std::string& text);

struct DataSource;

class Reader {
 public:
  explicit Reader(Diagnostics& d, std::string model_path = {})
      : model_path(std::move(model_path)), diag_(d) {}

  // A finite number (integer or float), or an expression of the model's
  // constants written as text ("unit_cost * 1.1"); nothing after an error.
  // Every number of the model is read here.
  std::optional<double> number(const toml::node& node, const std::string& what);
  // The value of the expression `node` holds as text (see number); an error
  // at its column when it cannot be evaluated.
  std::optional<double> expression(const toml::node& node, const std::string& what);
  // The constants expressions may use: the model's, and its names with
  // errors, which are not reported again when an expression uses them.
  // While [constants] is read, `below` holds the lines of the constants
  // written after the one being read, which it may not use, by name.
  void use_constants(const Model& m) { model_ = &m; }
  std::map<std::string, int> below;
  // A number that the library receives in single precision.
  std::optional<float> single(const toml::node& node, const std::string& what);
  // A number compared with single-precision values (a base, a target): kept
  // in double, within the single-precision range.
  std::optional<double> amount(const toml::node& node, const std::string& what);
  // A whole number in [lo, hi]; `why` follows the value when it is outside.
  std::optional<std::int64_t> integer(const toml::node& node, const std::string& what,
                                      std::int64_t lo, std::int64_t hi, const std::string& why);
  std::optional<std::string> string(const toml::node& node, const std::string& what);
  // A label or unit: text of one line, at most kMaxCaptionLength characters,
  // without control characters (which would break the reports' lines).
  std::optional<std::string> caption(const toml::node& node, const std::string& what);
  // Reports the keys of `t` outside `allowed`, with a likely intended key.
  void unknown_keys(const toml::table& t, const std::vector<std::string>& allowed,
                    const std::string& where);

  Diagnostics& diagnostics() { return diag_; }
  // A reader that reports into `d`, with the same constants.
  Reader with(Diagnostics& d) const {
    Reader r(d);
    r.model_ = model_;
    r.parser_ = parser_;
    return r;
  }

  // The model file, against whose folder the files it names are found.
  std::string model_path;
  // The data files read so far, by path: each is read once, however many
  // inputs draw from it.
  std::map<std::string, std::shared_ptr<DataSource>> data_sources;

 private:
  Diagnostics& diag_;
  const Model* model_ = nullptr;
  // One parser for every expression, given each constant once as it is
  // read: a parser made for each expression would make a model of many
  // constants and parameters quadratic.
  struct Parser;
  std::shared_ptr<Parser> parser_;
};

// Every name a formula uses must be unique and an identifier that the
// formulas do not own; a clash is reported at `at`, and then claim is false.
class NameClaims {
 public:
  bool claim(const std::string& name, Position at, Diagnostics& diag);

 private:
  std::map<std::string, Position> taken_;
};

// The sections, each reading its table into the model. [correlation] and
// [run] shares come after [inputs], whose columns they name.
void read_model_section(const toml::table& t, Reader& r, Model& m);
// [constants], read first: every later number may use them.
void read_constants(const toml::table& t, Reader& r, NameClaims& names, Model& m);
void read_inputs(const toml::table& t, Reader& r, NameClaims& names, Model& m);
void read_outputs(const toml::table& t, Reader& r, NameClaims& names, Model& m);
void read_run(const toml::table& t, Reader& r, Model& m);
// The keys an input or output table may add for the reports.
inline const std::vector<std::string> kCaptionKeys = {"label", "unit"};
void read_correlation(const toml::table& t, Reader& r, Model& m);
// [schedule], [tasks] and [risks] of a task network; then its outputs, finish
// and (when anything has a cost) cost, ahead of the file's.
void read_schedule(const toml::table& t, Reader& r, Model& m);
void read_tasks(const toml::table& t, Reader& r, Model& m);
void read_task_risks(const toml::table& t, Reader& r, Model& m);
void add_network_outputs(Reader& r, NameClaims& names, Model& m);

// The observations of a `data` distribution: the numbers in the column
// `column` (a header's name, or a position from 1) of the CSV file `file`,
// found against the model's folder. Errors in the file are located in it by
// line; `where` holds the positions of the keys in the model.
std::optional<std::vector<double>> read_data_column(Reader& r, const std::string& file,
                                                    const std::string& column,
                                                    const std::string& who,
                                                    const std::map<std::string, Position>& where);

// A number, or a table { dist = ..., ... } of a distribution that may be a
// risk's impact; `who` names it in messages.
std::optional<Amount> read_amount(Reader& r, const toml::node& node, const std::string& who);

// A uniform, triangular, PERT or normal distribution of fractions of a planned
// duration (low = -0.1: 10 % shorter), as the distribution of the duration
// itself; problems are reported only with `report`.
std::optional<Draw> read_relative_draw(Reader& r, const toml::table& t, const std::string& who,
                                       Position at, double planned, bool report);

// A schedule read from a scheduling program's file ([schedule] file): its
// tasks and calendar become the model's network, each task's duration its
// planned one or drawn from `uncertainty`. [tasks] then overrides tasks
// chosen by name, UID, ID or WBS prefix ("wbs:2.3").
void import_schedule(const toml::table& schedule, Reader& r, Model& m);
void read_task_overrides(const toml::table& t, Reader& r, Model& m);
// The tasks a name chooses: one by name, or in an imported schedule by UID,
// ID, name or WBS prefix; an error at `at` when none.
std::vector<std::size_t> chosen_tasks(Reader& r, const Model& m, const std::string& name,
                                      Position at, const std::string& where);

}  // namespace velmsim::reader
