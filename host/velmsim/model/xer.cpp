// The XER table reader: the bytes decoded to UTF-8 by the C library's
// converter, then read line by line with one table open at a time.
//
// The input is untrusted. Nothing is read past a line's end, the reader keeps
// no copy of the lines, and names quoted in messages are cut short, so that
// memory stays within a small multiple of the file's size: every value,
// field and problem kept comes from at least one byte of its own, except the
// empty values that fill out short rows, which are allowed as many as the
// file has bytes.
#include "host/velmsim/model/xer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unordered_set>
#include <utility>

#include <iconv.h>

namespace velmsim::xer {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// A converter of the C library, closed when it goes out of scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts what it can of [*in, *in + *in_left) into [*out, *out + *out_left),
  // moving the pointers on; false where it stopped short (errno tells why).
  bool convert(char** in, std::size_t* in_left, char** out, std::size_t* out_left) {
    return iconv(cd_, in, in_left, out, out_left) != static_cast<std::size_t>(-1);
  }

 private:
  iconv_t cd_;
};

// Whether `s` is well-formed UTF-8 (no overlong forms, surrogates or code
// points past U+10FFFF, no sequence cut off at the end): the library's UTF-8
// decoder refuses all of these, so the text is converted through a small
// buffer that is thrown away.
bool is_utf8(std::string_view s) {
  Converter c("UTF-32LE", "UTF-8");
  if (!c.ok()) return false;
  char* in = const_cast<char*>(s.data());
  std::size_t in_left = s.size();
  char buffer[4096];
  while (in_left > 0) {
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    if (!c.convert(&in, &in_left, &out, &out_left) && errno != E2BIG) return false;
  }
  return true;
}

// `s` in UTF-8 from windows-1252. The code page gives every byte one
// character of at most three bytes in UTF-8 except five it leaves undefined,
// which the converter refuses; each of those becomes U+FFFD, also three
// bytes, so the output never needs more than three bytes a byte. Nothing when
// the library has no such converter.
std::optional<std::string> from_windows_1252(std::string_view s) {
  Converter c("UTF-8", "WINDOWS-1252");
  if (!c.ok()) return std::nullopt;
  std::string text(s.size() * 3, '\0');
  char* in = const_cast<char*>(s.data());
  std::size_t in_left = s.size();
  char* out = text.data();
  std::size_t out_left = text.size();
  while (in_left > 0 && out_left >= kReplacement.size()) {
    if (c.convert(&in, &in_left, &out, &out_left)) continue;
    for (const char b : kReplacement) *out++ = b;
    out_left -= kReplacement.size();
    ++in;
    --in_left;
  }
  text.resize(text.size() - out_left);
  return text;
}

// The next tab-separated field of `line` from `pos`, which moves past it and
// its tab (to npos after the last field).
std::string_view next_field(std::string_view line, std::size_t& pos) {
  const std::size_t tab = line.find('\t', pos);
  const std::string_view f = line.substr(pos, tab == std::string_view::npos ? tab : tab - pos);
  pos = tab == std::string_view::npos ? tab : tab + 1;
  return f;
}

// A value as the file holds it: a value in double quotes, with each quote in
// it doubled, is unwrapped; any other text (a lone quote inside) is raw.
std::string unquote(std::string_view v) {
  if (v.size() < 2 || v.front() != '"' || v.back() != '"') return std::string(v);
  std::string out;
  for (std::size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] == '"') {
      if (i + 2 >= v.size() || v[i + 1] != '"') return std::string(v);
      ++i;
    }
    out += v[i];
  }
  return out;
}

// A name from the file as a message shows it: at most 40 bytes, cut before
// a UTF-8 continuation byte, so that a long name repeated in a message for
// every row costs no more than the rows.
std::string shown(std::string_view name) {
  constexpr std::size_t kMax = 40;
  if (name.size() <= kMax) return std::string(name);
  std::size_t n = kMax;
  while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  return std::string(name.substr(0, n)) + "...";
}

bool blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

class Reader {
 public:
  Reader(File& file, std::vector<Problem>& problems, std::size_t padding)
      : file_(file), problems_(problems), padding_left_(padding) {}

  // Reads `text`, in UTF-8, line by line; stops after %E.
  void run(std::string_view text) {
    std::size_t pos = 0;
    bool ended = false;
    for (std::size_t number = 1; pos < text.size(); ++number) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.ends_with('\r')) line.remove_suffix(1);
      line_ = static_cast<int>(std::min<std::size_t>(number, INT_MAX));
      if (blank(line)) continue;
      if (ended) {
        problem("a line after %E");
        return;
      }
      ended = record(line, number == 1);
      if (stopped_) return;
    }
    if (!ended) problem("the file ends without %E");
  }

 private:
  // Reads one non-blank line; true at %E.
  bool record(std::string_view line, bool first) {
    std::size_t pos = 0;
    const std::string_view kind = next_field(line, pos);
    const std::string_view rest = pos == std::string_view::npos ? "" : line.substr(pos);
    if (kind == "%R") {
      row(rest);
    } else if (kind == "%F") {
      fields(rest, pos != std::string_view::npos);
    } else if (kind == "%T") {
      table(rest.substr(0, rest.find('\t')));
    } else if (kind == "%E") {
      return true;
    } else if (kind == "ERMHDR") {
      if (first)
        file_.header = std::string(rest);
      else
        problem("ERMHDR not on the first line");
    } else if (kind.starts_with('%')) {
      problem("unknown record '" + shown(kind) + "'");
    } else {
      problem("a line that is not a record");
    }
    return false;
  }

  void table(std::string_view name) {
    if (name.empty())
      problem("a %T line without a table name");
    else if (const Table* earlier = file_.table(name))
      problem("a second table " + shown(name) + " (the first on line " +
              std::to_string(earlier->line) + ")");
    file_.tables.push_back({std::string(name), line_, {}, {}});
  }

  void fields(std::string_view rest, bool any) {
    if (file_.tables.empty()) return problem("a %F line before any %T");
    Table& t = file_.tables.back();
    if (!t.fields.empty()) return problem("a second %F line for table " + shown(t.name));
    if (!any) return problem("a %F line without field names");
    std::unordered_set<std::string_view> seen;
    for (std::size_t pos = 0; pos != std::string_view::npos;) {
      const std::string_view f = next_field(rest, pos);
      if (f.empty())
        problem("table " + shown(t.name) + " has a field without a name");
      else if (!seen.insert(f).second)
        problem("table " + shown(t.name) + " has two fields named " + shown(f));
      t.fields.emplace_back(f);
    }
  }

  void row(std::string_view rest) {
    if (file_.tables.empty()) return problem("a row before any table's field names");
    Table& t = file_.tables.back();
    if (t.fields.empty()) return problem("a %R line before %F");
    Row r{line_, {}};
    std::size_t given = 0;
    for (std::size_t pos = 0; pos != std::string_view::npos; ++given) {
      const std::string_view v = next_field(rest, pos);
      if (given < t.fields.size()) r.values.push_back(unquote(v));
    }
    if (given > t.fields.size())
      problem("row has " + std::to_string(given) + " values but table " + shown(t.name) +
              " has " + std::to_string(t.fields.size()) + " fields");
    const std::size_t missing = t.fields.size() - r.values.size();
    if (missing > padding_left_) {
      stopped_ = true;
      return problem("too many missing values in the rows of table " + shown(t.name) +
                     "; the rest of the file is not read");
    }
    padding_left_ -= missing;
    r.values.resize(t.fields.size());
    t.rows.push_back(std::move(r));
  }

  void problem(std::string message) { problems_.push_back({line_, std::move(message)}); }

  File& file_;
  std::vector<Problem>& problems_;
  std::size_t padding_left_;  // empty values short rows may still be given
  int line_ = 1;
  bool stopped_ = false;
};

}  // namespace

std::optional<std::size_t> Table::field(std::string_view name) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i] == name) return i;
  return std::nullopt;
}

std::string_view Table::value(const Row& row, std::string_view name) const {
  const auto i = field(name);
  if (!i || *i >= row.values.size()) return {};
  return row.values[*i];
}

const Table* File::table(std::string_view name) const {
  for (const Table& t : tables)
    if (t.name == name) return &t;
  return nullptr;
}

File read(std::string_view bytes, std::vector<Problem>& problems) {
  File file;
  if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
  std::string decoded;
  if (!is_utf8(bytes)) {
    auto text = from_windows_1252(bytes);
    if (!text) {
      problems.push_back({1, "the file is not UTF-8 and cannot be decoded from windows-1252"});
      return file;
    }
    decoded = std::move(*text);
    bytes = decoded;
    file.windows_1252 = true;
  }
  Reader(file, problems, bytes.size()).run(bytes);
  return file;
}

}  // namespace velmsim::xer
