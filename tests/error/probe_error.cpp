// Probe scenarios of the error facility and the machine constants: calls that
// print messages and end the process.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/edition.h"
#include "error/checks.h"
#include "error/error.h"
#include "support/probe.h"

using namespace velm;

// AMACH(N) from inside a user-level routine: the error is two levels down.
VELM_PROBE(amach_inside) {
  E1PSH("USERFN");
  AMACH(std::stoi(args.at(0)));
}

// AMACH(N) called directly by the library's caller.
VELM_PROBE(amach_direct) { AMACH(std::stoi(args.at(0))); }

VELM_PROBE(imach) { IMACH(std::stoi(args.at(0))); }

VELM_PROBE(umach) {
  int unit = 0;
  UMACH(std::stoi(args.at(0)), unit);
}

// Pushes N names above USER; the push past level 50 stops the process.
VELM_PROBE(push_deep) {
  const int n = std::stoi(args.at(0));
  for (int i = 0; i < n; ++i) E1PSH("DEEP");
  std::printf("level %d\n", error_context().level);
}

VELM_PROBE(pop_empty) { E1POP("NOBODY"); }

VELM_PROBE(pop_wrong_name) {
  E1PSH("ALPHA ");
  E1POP("BETA");
}

VELM_PROBE(query_code) { N1RCD(std::stoi(args.at(0))); }
VELM_PROBE(query_type) { N1RTY(std::stoi(args.at(0))); }

VELM_PROBE(isanan_length) {
  const float x[1] = {0.0f};
  ISANAN(-1, x, 1);
}

VELM_PROBE(isanan_increment) {
  const float x[1] = {0.0f};
  ISANAN(1, x, -2);
}

// A failed range check prints at once; the caller's pop ends the process.
VELM_PROBE(argrng_fails) {
  E1PSH("CHECK ");
  int nerr = 1;
  ARGRNG(0, "NR", 1, -1, nerr);
  ARGRNG(7, "K", 1, 5, nerr);
  std::printf("nerr %d\n", nerr);
  E1POP("CHECK ");
  std::printf("not reached\n");
}

// A name starting with '*' skips the lower-bound check of N but still
// advances the code; LD = 0 fails its check as code 2.
VELM_PROBE(argdim_star) {
  E1PSH("CHECK ");
  int nerr = 1;
  ARGDIM(1, 0, "*NOBS", 0, "LDX", nerr);
  std::printf("nerr %d\n", nerr);
  int nerr2 = 1;
  ARGDIM(1, 5, "NOBS", 3, "LDX", nerr2);
  std::printf("nerr %d\n", nerr2);
  E1POP("CHECK ");
}

// A message recorded with type T and code C, `depth` levels below the user
// level routine, then popped level by level. Prints "returned" if the process
// goes on.
VELM_PROBE(record) {
  const int type = std::stoi(args.at(0));
  const int code = std::stoi(args.at(1));
  const int depth = std::stoi(args.at(2));
  const std::string text = args.at(3);
  E1PSH("OUTER ");
  for (int i = 0; i < depth; ++i) E1PSH("iNNER" + std::to_string(i));
  E1STI(1, 42);
  E1STR(1, 2.5f);
  E1STL(1, "ALPHA   ");
  E1MES(type, code, text);
  for (int i = depth - 1; i >= 0; --i) E1POP("iNNER" + std::to_string(i));
  E1POP("OUTER ");
  std::printf("returned type %d code %d\n", N1RTY(1), N1RCD(1));
}

// A stored type outside 1..7 prints as UNKNOWN when the message is printed.
VELM_PROBE(unknown_type) {
  E1PSH("ODDITY");
  E1MES(9, 3, "A type of its own.");
  E1PRT();
  std::printf("after\n");
}

#if VELM_THREADED
// Several threads print multi-record warnings at once while one of them ends
// the process with a terminal error: whole messages only, never mixed lines.
VELM_PROBE(threads_print) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([t] {
      const std::string name = "THREAD" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        E1PSH(name);
        E1STI(1, t);
        E1MES(kWarningNow, 1,
              "Thread %(I1) reports a warning long enough to need two continuation records "
              "after its header record, each one written by thread %(I1) alone.");
        E1POP(name);
        if (t == 0 && i == 150) AMACH(0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}
#endif
