#include "host/velmsim/formula.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include <muParser.h>

namespace velmsim {

std::vector<std::string> builtin_names() {
  mu::Parser p;
  std::vector<std::string> names;
  for (const auto& [name, f] : p.GetFunDef()) names.push_back(name);
  for (const auto& [name, v] : p.GetConst()) names.push_back(name);
  return names;
}

void check_formulas(const Model& model, Diagnostics& diag) {
  std::vector<std::string> names = formula_names(model);
  names.insert(names.end(), model.unchecked_names.begin(), model.unchecked_names.end());
  std::vector<double> values(names.size() + model.outputs.size(), 1.0);
  for (const Output& out : model.outputs) {
    mu::Parser p;
    for (std::size_t i = 0; i < names.size(); ++i) p.DefineVar(names[i], &values[i]);
    double base = 1.0;
    if (out.base) p.DefineVar("base", &base);
    const std::size_t earlier = static_cast<std::size_t>(&out - model.outputs.data());
    for (std::size_t k = 0; k < earlier; ++k)
      p.DefineVar(model.outputs[k].name, &values[names.size() + k]);
    try {
      p.SetExpr(out.formula);
      p.Eval();
    } catch (const mu::Parser::exception_type& e) {
      Position at = out.formula_at;
      // muParser's position may point one past the end of the formula.
      const int where = std::clamp(e.GetPos(), 0, static_cast<int>(out.formula.size()));
      at.column += where;
      const std::string token = e.GetToken();
      std::string message;
      if (e.GetCode() == mu::ecUNASSIGNABLE_TOKEN || e.GetCode() == mu::ecUNEXPECTED_VAR) {
        // muParser reads an unknown name as far as the next operator.
        std::string name;
        for (char c : out.formula.substr(std::min<std::size_t>(static_cast<std::size_t>(where),
                                                               out.formula.size()))) {
          if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) break;
          name += c;
        }
        if (name.empty()) name = token;
        std::vector<std::string> known = names;
        for (std::size_t k = 0; k < earlier; ++k) known.push_back(model.outputs[k].name);
        if (out.base) known.push_back("base");
        for (const std::string& b : builtin_names()) known.push_back(b);
        const auto pair = std::find_if(model.inputs.begin(), model.inputs.end(), [&](const Input& in) {
          return in.draw.dist == Dist::normal_pair && in.name == name;
        });
        if (pair != model.inputs.end())
          message = "'" + name + "' in the formula of '" + out.name + "' is a normal_pair, not a "
                    "variable: use its variables '" + pair->names[0] + "' and '" + pair->names[1] + "'";
        else
          message = "unknown name '" + name + "' in the formula of '" + out.name + "'" +
                    did_you_mean(name, known);
      } else {
        // The message without muParser's own "at position N": the location
        // in the file says where.
        std::string text = e.GetMsg();
        const auto cut = text.find(" at position ");
        if (cut != std::string::npos) text.erase(cut);
        while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
        message = "in the formula of '" + out.name + "': " + text;
      }
      diag.error(at, message);
    }
  }
}

Formulas::Formulas(const Model& model) {
  const std::vector<std::string> names = formula_names(model);
  variables_.assign(model.columns.size(), 0.0);
  outputs_.assign(model.outputs.size(), 0.0);
  bases_.assign(model.outputs.size(), 0.0);
  for (const Output& out : model.outputs) {
    auto p = std::make_unique<mu::Parser>();
    for (std::size_t i = 0; i < model.columns.size(); ++i) p->DefineVar(names[i], &variables_[i]);
    if (out.base) {
      bases_[parsers_.size()] = *out.base;
      p->DefineVar("base", &bases_[parsers_.size()]);
    }
    for (std::size_t k = 0; k < parsers_.size(); ++k) p->DefineVar(model.outputs[k].name, &outputs_[k]);
    p->SetExpr(out.formula);
    parsers_.push_back(std::move(p));
  }
}

Formulas::~Formulas() = default;

int Formulas::evaluate(const float* row, float* out) {
  for (std::size_t i = 0; i < variables_.size(); ++i) variables_[i] = row[i];
  int bad = -1;
  for (std::size_t k = 0; k < parsers_.size(); ++k) {
    const double y = parsers_[k]->Eval();
    if (std::isfinite(y) && std::fabs(y) <= std::numeric_limits<float>::max()) {
      out[k] = static_cast<float>(y);
    } else {
      out[k] = std::isnan(y) ? std::numeric_limits<float>::quiet_NaN()
                             : std::copysign(std::numeric_limits<float>::infinity(), y);
      if (bad < 0) bad = static_cast<int>(k);
    }
    outputs_[k] = out[k];  // later outputs see this output's single-precision value
  }
  return bad;
}

}  // namespace velmsim
