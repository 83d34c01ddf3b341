// [constants]: named numbers, each a number or an expression of the
// constants above it, and the expressions of constants that any number of
// the model may be written as.
#include <algorithm>
#include <cctype>

#include <muParser.h>

#include "host/velmsim/model/functions.h"
#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

// The message for muParser's error `e` in `text`, the expression of `what`;
// "" for a name that has been reported where it is declared.
std::string expression_message(const mu::Parser::exception_type& e, const std::string& text,
                               std::size_t where, const std::string& what, const Model* m,
                               const std::map<std::string, int>& below, bool shown) {
  if (e.GetCode() != mu::ecUNASSIGNABLE_TOKEN && e.GetCode() != mu::ecUNEXPECTED_VAR) {
    return "in " + what + ": " + parser_message(e.GetMsg());
  }
  std::string name;
  for (char c : text.substr(where)) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) break;
    name += c;
  }
  if (name.empty()) name = e.GetToken();
  if (const auto later = below.find(name); later != below.end())
    return "'" + name + "' in " + what + " is a constant written below it (line " +
           std::to_string(later->second) + "): a constant may use only the constants written "
           "above it";
  std::vector<std::string> known = builtin_names();
  if (m != nullptr) {
    if (std::count(m->unchecked_names.begin(), m->unchecked_names.end(), name) != 0) return "";
    // A suggestion costs a comparison with every constant; past the errors
    // that are shown, none is looked for.
    if (shown)
      for (const Constant& c : m->constants) known.push_back(c.name);
    else
      known.clear();
  }
  const std::string guess = did_you_mean(name, known);
  return "unknown name '" + shown_name(name) + "' in " + what +
         (guess.empty() ? "; a number written as text may use only numbers, the constants of "
                          "[constants] and the formulas' functions"
                        : guess);
}

}  // namespace

struct Reader::Parser {
  mu::Parser parser;
  std::size_t constants = 0;  // the model's constants it has
};

std::optional<double> Reader::expression(const toml::node& node, const std::string& what) {
  const std::string text = node.as_string()->get();
  // The expression's first character follows the opening quote.
  Position at = pos(node.source());
  at.column += 1;
  if (parser_ == nullptr) {
    parser_ = std::make_shared<Parser>();
    define_functions(parser_->parser);
  }
  mu::Parser& p = parser_->parser;
  try {
    if (model_ != nullptr)
      for (; parser_->constants < model_->constants.size(); ++parser_->constants) {
        const Constant& c = model_->constants[parser_->constants];
        p.DefineConst(c.name, c.value);
      }
    p.SetExpr(text);
    function_failure() = FunctionFailure::none;
    const double x = p.Eval();
    if (std::isnan(x) && function_failure() != FunctionFailure::none) {
      diag_.error(at, "in " + what + ": " + failure_text(function_failure()));
      return std::nullopt;
    }
    return x;
  } catch (const mu::Parser::exception_type& e) {
    const int where = std::clamp(e.GetPos(), 0, static_cast<int>(text.size()));
    const std::string message =
        expression_message(e, text, static_cast<std::size_t>(where), what, model_, below,
                           diag_.error_count() < Diagnostics::kMaxErrors);
    at.column += where;
    if (!message.empty()) diag_.error(at, message);
    return std::nullopt;
  }
}

void read_constants(const toml::table& t, Reader& r, NameClaims& names, Model& m) {
  Diagnostics& diag = r.diagnostics();
  r.use_constants(m);
  const auto entries = in_file_order(t);
  for (const auto& [key, node] : entries) r.below.emplace(key->str(), pos(key->source()).line);
  for (const auto& [key, node] : entries) {
    Constant c;
    c.name = std::string(key->str());
    c.at = pos(key->source());
    r.below.erase(c.name);
    const std::string what = "the constant '" + shown_name(c.name) + "'";
    std::optional<double> value;
    if (node->is_number() || node->is_string())
      value = r.number(*node, what);
    else
      diag.error(pos(node->source()), what + " must be a number, or an expression of the "
                                              "constants above it in quotes, such as \"1 - tax\"");
    if (!value) {
      m.unchecked_names.push_back(c.name);
      continue;
    }
    c.value = *value;
    if (node->is_string()) c.expression = node->as_string()->get();
    if (names.claim(c.name, c.at, diag)) m.constants.push_back(std::move(c));
  }
  r.below.clear();
}

}  // namespace velmsim::reader
