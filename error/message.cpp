// Message composition from templates, the fixed record layout of printed
// messages and tracebacks, the output lock and the stop of the process.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/edition.h"
#include "core/output_lock.h"
#include "core/text.h"
#include "error/checks.h"
#include "error/error.h"

#if defined(VELM_COVERAGE_BUILD)
extern "C" void __gcov_dump();
#endif

namespace velm {
namespace {

bool is_letter_of(char c, std::string_view set) {
  const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return set.find(upper) != std::string_view::npos;
}

char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Finds the stored parameter whose key is kind letter and slot digit (letters
// compared without regard to case); the first entry with that key wins.
bool find_parameter(const ErrorContext& ctx, char letter, char digit, std::string_view& value) {
  const char* list = ctx.params;
  const int end = ctx.params_end == 1 ? 0 : ctx.params_end;  // characters in use
  int pos = 0;
  while (pos + 4 <= end) {
    // An entry: '*', letter, digit, '*', decimal length, '%', text.
    int length = 0;
    int cursor = pos + 4;
    while (cursor < end && list[cursor] != '%') length = length * 10 + (list[cursor++] - '0');
    const int text_start = cursor + 1;
    if (to_upper(list[pos + 1]) == to_upper(letter) && list[pos + 2] == digit) {
      value = std::string_view(list + text_start,
                               static_cast<std::size_t>(std::clamp(end - text_start, 0, length)));
      return true;
    }
    pos = text_start + length;
  }
  return false;
}

// Type words, 8 characters each.
std::string_view type_word(int type) {
  static constexpr std::string_view words[] = {"NOTE    ", "ALERT   ", "WARNING ", "FATAL   ",
                                               "TERMINAL", "WARNING ", "FATAL   "};
  return (type >= 1 && type <= 7) ? words[type - 1] : std::string_view("UNKNOWN ");
}

// A routine name as printed: a lower-case first letter followed by an
// upper-case second letter is shown in upper case.
void shown_name(const char (&name)[kNameLength], char (&out)[kNameLength]) {
  std::memcpy(out, name, kNameLength);
  if (out[0] >= 'a' && out[0] <= 'z' && out[1] >= 'A' && out[1] <= 'Z') out[0] = to_upper(out[0]);
}

// A record under construction; records are at most 80 characters here.
class Record {
 public:
  Record& add(std::string_view text) {
    const std::size_t n = std::min(text.size(), sizeof buffer_ - length_);
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
    return *this;
  }
  Record& blanks(int n) {
    while (n-- > 0) add(" ");
    return *this;
  }
  Record& right(std::int32_t value, int width) {
    char field[16];
    int_to_text(value, field, width);
    return add(std::string_view(field, static_cast<std::size_t>(width)));
  }
  std::string_view text() const { return std::string_view(buffer_, length_); }

 private:
  char buffer_[160];
  std::size_t length_ = 0;
};

void write_traceback(const ErrorContext& ctx, int unit) {
  write_record(unit, "     Here is a traceback of subprogram calls in reverse order:");
  write_record(unit, "     Routine name                    Error type  Error code");
  write_record(unit, "     ------------                    ----------  ----------");
  for (int level = ctx.level; level >= 1; --level) {
    char name[kNameLength];
    shown_name(ctx.name[level], name);
    Record line;
    line.blanks(5).add(std::string_view(name, kNameLength)).right(ctx.type[level], 6).blanks(6);
    line.right(ctx.code[level], 6);
    if (level > 2) line.blanks(4).add("(Called internally)");
    write_record(unit, line.text());
  }
}

}  // namespace

void compose_message(ErrorContext& ctx, std::string_view msg) {
  static constexpr std::string_view kKinds = "ACDIKLRSZ";
  msg = msg.substr(0, std::min<std::size_t>(msg.size(), kMessageCapacity));
  char* out = ctx.message;
  std::size_t length = 0;
  auto put = [&](std::string_view text) {
    const std::size_t n = std::min(text.size(), kMessageCapacity - length);
    std::memcpy(out + length, text.data(), n);
    length += n;
  };
  put(".  ");
  std::size_t i = 0;
  while (msg.size() - i >= 5) {
    const bool token = msg[i] == '%' && msg[i + 1] == '(' && is_letter_of(msg[i + 2], kKinds) &&
                       msg[i + 3] >= '1' && msg[i + 3] <= '9' && msg[i + 4] == ')';
    std::string_view value;
    if (token && find_parameter(ctx, msg[i + 2], msg[i + 3], value)) {
      put(value);
      i += 5;
      if (length == kMessageCapacity) {
        ctx.message_length = static_cast<std::int32_t>(length);
        return;
      }
    } else {
      put(msg.substr(i, 1));
      ++i;
    }
  }
  put(msg.substr(i));
  ctx.message_length = static_cast<std::int32_t>(length);
}

void E1LOCK(int i) {
  if constexpr (kThreadedEdition) {
    if (i == 1) output_mutex().lock();
    if (i == 0) output_mutex().unlock();
  }
}

void write_record(int /*unit*/, std::string_view text) {
  // Every unit of the unit table is the process's standard output.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

[[noreturn]] void stop_process() {
  // Hold the output lock to the end so that no other thread's message is cut
  // off halfway; flush what the process has pending; exit with status 1 so
  // that a shell or batch runner sees the failure. Static destructors and
  // exit handlers are not run: other threads may still be inside the library.
  E1LOCK(1);
  std::fflush(nullptr);
#if defined(VELM_COVERAGE_BUILD)
  // Coverage builds only: the counters are written by an exit handler, which
  // this stop skips; write them now.
  __gcov_dump();
#endif
  std::_Exit(1);
}

int format_real(float value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "NaN", 3);
    return 3;
  }
  if (std::isinf(value)) {
    const std::string_view text = value > 0 ? "Infinity" : "-Infinity";
    std::memcpy(out, text.data(), text.size());
    return static_cast<int>(text.size());
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, 6);
  int length = static_cast<int>(result.ptr - buffer);
  for (int i = 0; i < length; ++i) {
    if (buffer[i] == 'e') buffer[i] = 'E';
  }
  std::memcpy(out, buffer, static_cast<std::size_t>(length));
  return length;
}

void E1PRT() {
  E1LOCK(1);
  ErrorContext& ctx = error_context();
  if (ctx.message_length > 0) {
    int unit = 0;
    UMACH(3, unit);
    const int level = ctx.level;
    const int type = ctx.type[level];
    const std::string_view msg(ctx.message, static_cast<std::size_t>(ctx.message_length));
    const std::size_t n = msg.size();

    // Header: " C from NAME", and ".  " unless the message starts with it.
    char name[kNameLength];
    shown_name(ctx.name[level], name);
    const std::string_view full_name(name, kNameLength);
    char code[12];
    Record header;
    header.add(" ").add(std::string_view(code, static_cast<std::size_t>(int_to_decimal(ctx.code[level], code))));
    header.add(" from ").add(full_name.substr(0, full_name.find(' ')));
    if (!msg.starts_with(".  ")) header.add(".  ");
    const std::size_t c = 59 - header.text().size();

    // First position p (from 1) in [from, to - 1] where the "%/" marker starts.
    auto find_marker = [&](std::size_t from, std::size_t to) -> std::size_t {
      for (std::size_t p = from; p + 1 <= to; ++p) {
        if (msg[p - 1] == '%' && msg[p] == '/') return p;
      }
      return 0;
    };

    // The first part; brk is the last character it consumed (from 1).
    std::string_view first;
    std::size_t brk;
    bool at_marker = false;
    const std::size_t marker = find_marker(1, n);
    if (marker != 0 && marker < c) {
      first = msg.substr(0, marker - 1);
      brk = marker + 1;
      at_marker = true;
    } else if (n <= c) {
      first = msg;
      brk = n;
    } else {
      std::size_t p = c;
      while (p >= 2 && msg[p - 1] != ' ') --p;
      if (p >= 2) {
        first = msg.substr(0, p - 1);
        brk = p;
      } else {
        first = msg.substr(0, c);
        brk = c;
      }
    }
    write_record(unit, "");
    Record head;
    head.add(" *** ").add(type_word(type)).add(" ERROR").add(header.text()).add(first);
    write_record(unit, head.text());

    while (brk < n) {
      std::size_t start = brk + 1;
      if (!at_marker && msg[start - 1] == ' ') ++start;
      if (start > n) break;
      const std::size_t window_end = std::min(brk + 64, n);
      std::string_view line;
      if (const std::size_t q = find_marker(start, window_end); q != 0) {
        line = msg.substr(start - 1, q - start);
        brk = q + 1;
        at_marker = true;
      } else if (n <= brk + 64) {
        line = msg.substr(start - 1);
        brk = n;
      } else {
        std::size_t b = window_end;
        while (b > start && msg[b - 1] != ' ') --b;
        if (b > start) {
          line = msg.substr(start - 1, b - start + 1);
          brk = b;
        } else {
          line = msg.substr(start - 1, window_end - start + 1);
          brk = window_end;
        }
        at_marker = false;
      }
      Record continuation;
      continuation.add(" *** ").blanks(9).add(line);
      write_record(unit, continuation.text());
    }

    ctx.message_length = 0;
    ctx.params_end = 1;
    const bool traceback = type < 1 || type > 7 || ctx.trace_flag[type] == 1;
    if (traceback && level > 2) write_traceback(ctx, unit);
  }
  E1LOCK(0);
}

}  // namespace velm
