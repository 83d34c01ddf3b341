// Work arrays of the statistics routines and exports, the refusal switch that
// lets tests reach the out-of-storage paths, and the out-of-storage report.
#include "stats/workspace.h"

#include <string>

#include "error/error.h"

namespace velm {
namespace {
int grant_before_refusal = -1;  // statistics edition: one thread
}  // namespace

void refuse_work_request(int granted) { grant_before_refusal = granted; }

bool take_refusal() {
  if (grant_before_refusal < 0) return false;
  return grant_before_refusal-- == 0;
}

void report_no_storage(const char* count_name, std::int32_t count) {
  E1STI(1, count);
  std::string text = "The required storage cannot be allocated.  The workspace requirement is based on ";
  text += count_name;
  text += " = %(I1)";
  E1MES(kTerminal, 2, text);
}

void stop_without_storage(const char* routine, const char* count_name, std::int32_t count) {
  E1PSH(routine);
  report_no_storage(count_name, count);
  E1POP(routine);
}

}  // namespace velm
