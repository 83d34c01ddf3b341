#include "stats/workspace.h"

#include <string>

#include "error/error.h"

namespace velm {
namespace {
int refusals = 0;  // statistics edition: one thread
}  // namespace

void refuse_work_requests(int count) { refusals = count; }

bool take_refusal() {
  if (refusals <= 0) return false;
  --refusals;
  return true;
}

void report_no_storage(const char* count_name, std::int32_t count) {
  E1STI(1, count);
  std::string text = "The required storage cannot be allocated.  The workspace requirement is based on ";
  text += count_name;
  text += " = %(I1)";
  E1MES(5, 2, text);
}

}  // namespace velm
