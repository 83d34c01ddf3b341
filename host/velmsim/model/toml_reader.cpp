#include "host/velmsim/model/toml_reader.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>

#include <muParser.h>

#include "host/velmsim/model/functions.h"

namespace velmsim::reader {

Position pos(const toml::source_region& s) {
  return {static_cast<int>(s.begin.line), static_cast<int>(s.begin.column)};
}

std::vector<std::pair<const toml::key*, const toml::node*>> in_file_order(const toml::table& t) {
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  for (auto&& [key, node] : t) entries.emplace_back(&key, &node);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const auto& x = a.first->source().begin;
    const auto& y = b.first->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  return entries;
}

bool is_identifier(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string shown_name(const std::string& name) {
  return name.size() <= 40 ? name : name.substr(0, 40) + "...";
}

std::optional<Position> too_deep_key(const std::string& text) {
  int line = 1, column = 1;
  std::size_t i = 0;
  auto advance = [&] {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    ++i;
  };
  auto starts = [&](const char* s) { return text.compare(i, std::strlen(s), s) == 0; };
  // A chain is a key (bare, or a quoted string) and the keys joined to it by
  // dots; numbers such as 1.5 look like short chains, which is harmless.
  int parts = 0;
  bool after_dot = false;
  Position chain_start;
  auto key = [&](Position at) {
    parts = after_dot ? parts + 1 : 1;
    if (parts == 1) chain_start = at;
    after_dot = false;
    return parts > kMaxKeyParts;
  };
  while (i < text.size()) {
    const char c = text[i];
    const Position at{line, column};
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') advance();
    } else if (c == '"' || c == '\'') {
      const bool multi = starts(c == '"' ? "\"\"\"" : "'''");
      const std::string close = multi ? std::string(3, c) : std::string(1, c);
      for (std::size_t k = 0; k < close.size(); ++k) advance();
      while (i < text.size() && !starts(close.c_str()) && (multi || text[i] != '\n')) {
        if (c == '"' && text[i] == '\\' && i + 1 < text.size()) advance();
        advance();
      }
      for (std::size_t k = 0; k < close.size() && i < text.size(); ++k) advance();
      if (key(at)) return chain_start;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') {
      while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                                 text[i] == '_' || text[i] == '-'))
        advance();
      if (key(at)) return chain_start;
    } else if (c == '.') {
      after_dot = parts > 0;
      advance();
    } else {
      if (c != ' ' && c != '\t') parts = 0, after_dot = false;
      advance();
    }
  }
  return std::nullopt;
}

}  // namespace velmsim::reader

namespace velmsim {

const std::vector<std::string>& builtin_names() {
  static const std::vector<std::string> names = [] {
    mu::Parser p;
    define_functions(p);
    std::vector<std::string> list;
    for (const auto& [name, f] : p.GetFunDef()) list.push_back(name);
    for (const auto& [name, v] : p.GetConst()) list.push_back(name);
    return list;
  }();
  return names;
}

bool is_formula_name(const std::string& s) {
  return s.size() <= kMaxNameLength && reader::is_identifier(s);
}

}  // namespace velmsim

namespace velmsim::reader {

std::optional<double> Reader::number(const toml::node& node, const std::string& what) {
  if (!node.is_number() && !node.is_string()) {
    diag_.error(pos(node.source()), what + " must be a number");
    return std::nullopt;
  }
  const std::optional<double> value = node.is_string() ? expression(node, what) : node.value<double>();
  if (!value) return std::nullopt;
  const double x = *value;
  if (!std::isfinite(x)) {
    diag_.error(pos(node.source()), what + " must be a finite number, not " + parameter_text(x));
    return std::nullopt;
  }
  return x;
}

std::optional<double> Reader::amount(const toml::node& node, const std::string& what) {
  const auto x = number(node, what);
  if (!x) return std::nullopt;
  if (std::fabs(*x) > FLT_MAX) {
    diag_.error(pos(node.source()), what + " = " + parameter_text(*x) +
                                        " is beyond single precision (at most about 3.4e38)");
    return std::nullopt;
  }
  return x;
}

std::optional<float> Reader::single(const toml::node& node, const std::string& what) {
  const auto x = amount(node, what);
  if (!x) return std::nullopt;
  return static_cast<float>(*x);
}

std::optional<std::int64_t> Reader::integer(const toml::node& node, const std::string& what,
                                            std::int64_t lo, std::int64_t hi, const std::string& why) {
  if (!node.is_integer()) {
    diag_.error(pos(node.source()), what + " must be a whole number");
    return std::nullopt;
  }
  const std::int64_t n = node.as_integer()->get();
  if (n < lo || n > hi) {
    diag_.error(pos(node.source()), what + " = " + std::to_string(n) + " " + why);
    return std::nullopt;
  }
  return n;
}

std::optional<std::string> Reader::string(const toml::node& node, const std::string& what) {
  if (!node.is_string()) {
    diag_.error(pos(node.source()), what + " must be a text in quotes");
    return std::nullopt;
  }
  return node.as_string()->get();
}

std::optional<std::string> Reader::caption(const toml::node& node, const std::string& what) {
  auto text = string(node, what);
  if (!text) return std::nullopt;
  // Characters are counted as UTF-8 sequences (toml++ has checked the
  // encoding): every byte but a continuation byte starts one. C0 controls
  // and DEL are single bytes; C1 controls (U+0080 to U+009F) are C2 80 to
  // C2 9F.
  std::size_t characters = 0;
  bool control = false;
  for (std::size_t i = 0; i < text->size(); ++i) {
    const auto c = static_cast<unsigned char>((*text)[i]);
    if ((c & 0xC0) != 0x80) ++characters;
    if (c < 0x20 || c == 0x7F ||
        (c == 0xC2 && i + 1 < text->size() && static_cast<unsigned char>((*text)[i + 1]) < 0xA0))
      control = true;
  }
  if (characters > kMaxCaptionLength) {
    diag_.error(pos(node.source()), what + " has " + std::to_string(characters) +
                                        " characters; at most " +
                                        std::to_string(kMaxCaptionLength));
    return std::nullopt;
  }
  if (control) {
    diag_.error(pos(node.source()), what + " holds a control character (a line break, a tab "
                                           "or the like): it must be one line of plain text");
    return std::nullopt;
  }
  return text;
}

void Reader::unknown_keys(const toml::table& t, const std::vector<std::string>& allowed,
                          const std::string& where) {
  for (auto&& [key, node] : in_file_order(t)) {
    const std::string k(key->str());
    if (std::find(allowed.begin(), allowed.end(), k) == allowed.end())
      diag_.error(pos(key->source()), "unknown key '" + k + "' " + where + did_you_mean(k, allowed));
  }
}

bool NameClaims::claim(const std::string& name, Position at, Diagnostics& diag) {
  if (name.size() > kMaxNameLength) {
    diag.error(at, "the name '" + shown_name(name) + "' has " + std::to_string(name.size()) +
                       " characters; a name in the formulas has at most " +
                       std::to_string(kMaxNameLength));
    return false;
  }
  const auto& builtin = builtin_names();
  if (name == "base" || std::find(builtin.begin(), builtin.end(), name) != builtin.end()) {
    diag.error(at, "the name '" + name + "' is taken by the formulas (a built-in function, "
                   "constant or 'base'); choose another");
    return false;
  }
  if (!is_identifier(name)) {
    diag.error(at, "'" + name + "' cannot be a variable name: use letters, digits and _, "
                   "starting with a letter");
    return false;
  }
  const auto [it, fresh] = taken_.emplace(name, at);
  if (!fresh)
    diag.error(at, "the name '" + name + "' is used twice; it is first used on line " +
                       std::to_string(it->second.line));
  return fresh;
}

}  // namespace velmsim::reader
