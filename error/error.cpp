// The error stack, message parameters and the policy that decides when an
// error is printed and when the process stops.
#include "error/error.h"

#include <algorithm>
#include <cstring>

#include "core/edition.h"
#include "core/text.h"
#include "error/checks.h"

namespace velm {
namespace {

constinit VELM_PER_THREAD ErrorContext g_context{};

// Stores name truncated or blank-padded to the 32 characters of a slot.
void set_name(char (&slot)[kNameLength], std::string_view name) {
  const std::size_t n = std::min<std::size_t>(name.size(), kNameLength);
  std::memcpy(slot, name.data(), n);
  std::memset(slot + n, ' ', kNameLength - n);
}

bool same_name(const char (&slot)[kNameLength], std::string_view name) {
  char padded[kNameLength];
  set_name(padded, name);
  return std::memcmp(slot, padded, kNameLength) == 0;
}

void store_text(char letter, int k, std::string_view text) {
  E1INPL(letter, k, static_cast<int>(text.size()), text.data());
}

}  // namespace

ErrorContext& error_context() { return g_context; }

void E1INIT() {
  ErrorContext& ctx = g_context;
  if (ctx.initialised != 0) return;
  ctx.level = 1;
  ctx.max_level = kMaxLevel;
  set_name(ctx.name[1], "USER");
  ctx.type[1] = 0;
  ctx.code[1] = 0;
  for (int level = 2; level <= kMaxLevel + 1; ++level) {
    ctx.type[level] = -1;
    ctx.code[level] = -1;
  }
  ctx.message_length = 0;
  ctx.params_end = 1;
  ctx.warning_pending = 0;
  ctx.fatal_pending = 0;
  constexpr std::int32_t print[8] = {0, 0, 0, 1, 1, 1, 1, 1};
  constexpr std::int32_t stop[8] = {0, 0, 0, 0, 1, 1, 0, 1};
  for (int t = 1; t <= 7; ++t) {
    ctx.print_flag[t] = print[t];
    ctx.stop_flag[t] = stop[t];
    ctx.trace_flag[t] = 1;
  }
  ctx.initialised = 1;
}

void E1PSH(std::string_view name) {
  E1INIT();
  ErrorContext& ctx = g_context;
  if (ctx.level < ctx.max_level) {
    ++ctx.level;
    set_name(ctx.name[ctx.level], name);
    ctx.type[ctx.level] = 0;
    ctx.code[ctx.level] = 0;
    return;
  }
  E1STI(1, ctx.max_level);
  E1MES(kTerminal, 1, "Error condition in E1PSH.  Push would cause stack level to exceed %(I1). ");
  stop_process();
}

void E1POP(std::string_view name) {
  ErrorContext& ctx = g_context;
  if (ctx.level < 2) {
    E1PSH("E1POP ");
    E1STL(1, name);
    E1MES(kTerminal, 1, "Error condition in E1POP.  Cannot pop from %(L1) because stack is empty.");
    stop_process();
  }
  const int level = ctx.level;
  if (!same_name(ctx.name[level], name)) {
    E1STL(1, name);
    E1STL(2, std::string_view(ctx.name[level], kNameLength));
    E1MES(kTerminal, 2, "Error condition in E1POP.  %(L1) does not match the name %(L2) in the stack.");
    stop_process();
  }

  const int type = ctx.type[level];
  if (type >= 2 && type <= 7) {
    // Everything but a NOTE is passed up to the caller's level.
    ctx.type[level - 1] = type;
    ctx.code[level - 1] = ctx.code[level];
  }
  if (type >= 1 && type <= 4) {
    if (level == 2) {
      if (ctx.print_flag[type] == 1) E1PRT();
      if (ctx.stop_flag[type] == 1) stop_process();
    }
  } else if (type >= 5 && type <= 7) {
    if (ctx.print_flag[type] == 1) E1PRT();
    if (type == kTerminal) {
      if (ctx.stop_flag[kTerminal] == 1) stop_process();
    } else if (level == 2 && N1RGB() != 0) {
      stop_process();
    }
  }
  if (level < ctx.max_level) {
    ctx.type[level + 1] = -1;
    ctx.code[level + 1] = -1;
  }
  --ctx.level;
}

void E1MES(int iertyp, int iercod, std::string_view msg) {
  E1INIT();
  ErrorContext& ctx = g_context;
  const int level = ctx.level;
  if (iertyp != -1) ctx.type[level] = iertyp;
  if (iercod >= 0) ctx.code[level] = iercod;
  if (iertyp == 0 || iercod == 0) {
    ctx.message_length = 0;
  } else {
    if (!(msg.empty() || msg == " ")) compose_message(ctx, msg);
    const int type = ctx.type[level];
    if (type == kWarningNow) ctx.warning_pending = 1;
    if (type == kFatalNow) ctx.fatal_pending = 1;
    if (type > 4 && type <= 7 && ctx.print_flag[type] == 1) E1PRT();
  }
  ctx.params_end = 1;
}

void E1STI(int k, std::int32_t ivalue) {
  E1INIT();
  char text[12];
  const int length = int_to_decimal(ivalue, text);
  if (k >= 1 && k <= 9) E1INPL('I', k, length, text);
}

void E1STR(int k, float rvalue) {
  E1INIT();
  char text[16];
  const int length = format_real(rvalue, text);
  if (k >= 1 && k <= 9) E1INPL('R', k, length, text);
}

void E1STL(int k, std::string_view text) {
  E1INIT();
  text = text.substr(0, std::min<std::size_t>(text.size(), 255));
  if (k < -9 || k > 9 || k == 0) return;
  if (k > 0) {
    const std::size_t last = text.find_last_not_of(' ');
    if (last == std::string_view::npos) {
      text = text.substr(0, std::min<std::size_t>(text.size(), 1));
    } else {
      text = text.substr(0, last + 1);
    }
  }
  store_text('L', k < 0 ? -k : k, text);
}

void E1INPL(char letter, int k, int length, const char* text) {
  ErrorContext& ctx = g_context;
  const int slot = k < 0 ? -k : k;
  int end = ctx.params_end;
  if (slot < 1 || slot > 9 || end + length + 8 > kParamCapacity) return;
  // Positions are counted from 1; position p is params[p - 1].
  int position = end == 1 ? 1 : end + 1;
  auto put = [&](char c) { ctx.params[position++ - 1] = c; };
  put('*');
  put(letter);
  put(static_cast<char>('0' + slot));
  put('*');
  if (length >= 100) put(static_cast<char>('0' + length / 100));
  if (length >= 10) put(static_cast<char>('0' + length / 10 % 10));
  put(static_cast<char>('0' + length % 10));
  put('%');
  for (int i = 0; i < length; ++i) put(text[i]);
  ctx.params_end = position - 1;
}

namespace {

// Reads the type (what = 0) or code (what = 1) at the current level plus i; a
// query argument other than 0 or 1 is a terminal misuse of the facility.
int query_level(int i, bool code, std::string_view misuse) {
  E1INIT();
  ErrorContext& ctx = g_context;
  if (i == 0 || i == 1) return code ? ctx.code[ctx.level + i] : ctx.type[ctx.level + i];
  ctx.type[ctx.level] = kTerminal;
  ctx.code[ctx.level] = 1;
  std::memcpy(ctx.message, misuse.data(), misuse.size());
  ctx.message_length = static_cast<std::int32_t>(misuse.size());
  E1PRT();
  stop_process();
}

}  // namespace

int N1RTY(int i) {
  return query_level(i, false, ".  The argument passed to N1RTY must be 0 or 1.");
}

int N1RCD(int i) {
  return query_level(i, true, ".  The argument passed to N1RCD must be 0 or 1.");
}

int N1RGB() {
  ErrorContext& ctx = g_context;
  int result = 0;
  if (ctx.fatal_pending != 0) {
    result = ctx.stop_flag[kFatalNow];
  } else if (ctx.warning_pending != 0) {
    result = ctx.stop_flag[kWarningNow];
  }
  ctx.fatal_pending = 0;
  ctx.warning_pending = 0;
  return result;
}

}  // namespace velm
