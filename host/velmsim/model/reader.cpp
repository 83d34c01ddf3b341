// The model file: read whole, parsed by toml++, and its sections read in the
// order their meaning needs ([inputs] before the sections that name them).
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim {

std::vector<Dist> Input::distributions() const {
  if (kind == InputKind::plain) return {draw.dist};
  if (kind == InputKind::risk && risk.impact) return {risk.impact->dist};
  return {};
}

std::vector<std::string> Model::column_names() const {
  std::vector<std::string> names;
  names.reserve(columns.size());
  for (const Column& c : columns) names.push_back(c.name);
  return names;
}

Model read_model(const std::string& path, Diagnostics& diag) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Model m;
    m.path = path;
    diag.error({}, "cannot read the model file");
    return m;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return read_model_text(path, text.str(), diag);
}

Model read_model_text(const std::string& path, std::string text, Diagnostics& diag) {
  using namespace reader;
  Model m;
  m.path = path;
  m.text = std::move(text);
  m.name = std::filesystem::path(path).stem().string();
  if (const auto deep = too_deep_key(m.text)) {
    diag.error(*deep, "this key has more than " + std::to_string(kMaxKeyParts) +
                          " dotted parts; a model's keys have at most " +
                          std::to_string(kMaxKeyParts));
    return m;
  }
  toml::table root;
  try {
    root = toml::parse(m.text, path);
  } catch (const toml::parse_error& e) {
    diag.error(pos(e.source()), std::string(e.description()));
    return m;
  }
  Reader r(diag);
  r.unknown_keys(root, {"model", "inputs", "outputs", "correlation", "run"},
                 "at the top of the model");
  auto section = [&](const char* name) -> const toml::table* {
    const toml::node* n = root.get(name);
    if (n == nullptr) return nullptr;
    if (!n->is_table()) {
      diag.error(pos(n->source()), std::string("'") + name + "' must be a table: [" + name + "]");
      return nullptr;
    }
    return n->as_table();
  };

  if (const toml::table* t = section("model")) read_model_section(*t, r, m);
  NameClaims names;
  const toml::table* inputs = section("inputs");
  if (inputs == nullptr || inputs->empty())
    diag.error({1, 1}, "the model has no inputs: add an [inputs] table with at least one input");
  else
    read_inputs(*inputs, r, names, m);
  const toml::table* outputs = section("outputs");
  if (outputs == nullptr || outputs->empty())
    diag.error({1, 1}, "the model has no outputs: add an [outputs] table with at least one "
                       "formula, such as total = \"a + b\"");
  else
    read_outputs(*outputs, r, names, m);
  if (const toml::table* t = section("run")) read_run(*t, r, m);
  if (const toml::table* t = section("correlation")) read_correlation(*t, r, m);
  return m;
}

}  // namespace velmsim
