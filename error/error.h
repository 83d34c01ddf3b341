// Error facility: a stack of routine names, an error type and code per level,
// message parameters, and one composed message per context.
//
// A reporting routine brackets its work with E1PSH/E1POP. On error it stores
// the values its message names (E1STI, E1STR, E1STL) and records type, code
// and template with E1MES. The type decides printing and stopping:
//   1 NOTE, 2 ALERT, 3 WARNING, 4 FATAL   deferred to the user-level pop;
//   5 TERMINAL                            printed at once, stops at its pop;
//   6 WARNING, 7 FATAL                    printed at once (immediate kinds).
// Level 1 is the library's caller ("USER"); level 2 is the export's routine.
#pragma once

#include <cstdint>
#include <string_view>

namespace velm {

enum ErrorType : int {
  kNoError = 0,  // E1MES with type 0 clears the error of the current level
  kNote = 1,
  kAlert = 2,
  kWarning = 3,
  kFatal = 4,
  kTerminal = 5,
  kWarningNow = 6,
  kFatalNow = 7,
};

inline constexpr int kMaxLevel = 50;
inline constexpr int kNameLength = 32;
inline constexpr int kParamCapacity = 300;
inline constexpr int kMessageCapacity = 1024;

// The error facility's record: one per process (statistics edition) or per
// thread (threaded edition). Arrays are indexed from 1 as the levels and types
// are; element 0 is unused.
struct ErrorContext {
  std::int32_t level = 0;
  std::int32_t max_level = 0;
  std::int32_t message_length = 0;
  std::int32_t type[kMaxLevel + 2] = {};
  std::int32_t code[kMaxLevel + 2] = {};
  char name[kMaxLevel + 2][kNameLength] = {};
  std::int32_t print_flag[8] = {};
  std::int32_t stop_flag[8] = {};
  std::int32_t trace_flag[8] = {};
  std::int32_t warning_pending = 0;
  std::int32_t fatal_pending = 0;
  char params[kParamCapacity] = {};
  std::int32_t params_end = 0;  // position of the last character in use; 1 = empty
  char message[kMessageCapacity] = {};
  std::int32_t initialised = 0;
};

// The calling thread's context (statistics edition: the one context).
ErrorContext& error_context();

void E1INIT();
void E1PSH(std::string_view name);
void E1POP(std::string_view name);
void E1MES(int iertyp, int iercod, std::string_view msg);
void E1STI(int k, std::int32_t ivalue);
void E1STR(int k, float rvalue);
void E1STL(int k, std::string_view text);
void E1INPL(char letter, int k, int length, const char* text);
int N1RTY(int i);
int N1RCD(int i);
int N1RGB();

// Printing (message composition and layout).
void E1PRT();
void E1LOCK(int i);

// Composes template msg with the stored parameters into the context's message
// buffer (the composition step of E1MES).
void compose_message(ErrorContext& ctx, std::string_view msg);

// Ends the process after a stop of the error facility: flushes what is pending
// on standard output and exits with status 1. Safe while other threads are
// inside the library: it holds the output lock to the end.
[[noreturn]] void stop_process();

// Writes one output record (a line) to the given unit. Callers hold the output
// lock around a whole message.
void write_record(int unit, std::string_view text);

// Formats a real as the message parameters show it: 14 wide, 6 digits after
// the point, exponent form with one digit before the point, leading blanks
// removed (for example "1.000000E+00").
int format_real(float value, char* out);  // returns length, at most 14

}  // namespace velm
