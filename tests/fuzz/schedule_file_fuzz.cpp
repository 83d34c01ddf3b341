// libFuzzer target of the schedule importer: the input bytes are a schedule
// file of either format (the first byte chooses which reader takes the
// rest), read, made into a network and planned to the minute, as velmsim
// convert does. It must give diagnostics, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/velmsim/model/import_network.h"
#include "host/velmsim/model/schedule_file.h"
#include "host/velmsim/plan/imported_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  velmsim::Diagnostics diag;
  const velmsim::ScheduleFile f = data[0] % 2 == 0 ? velmsim::read_project_xml("s.xml", bytes, diag)
                                                   : velmsim::read_xer_schedule("s.xer", bytes, diag);
  if (!diag.has_errors()) {
    const velmsim::ImportedNetwork n = velmsim::network_of(f, f.file, diag);
    if (const auto network = velmsim::imported_network(f, n, diag))
      velmsim::planned_dates(f, n, *network);
  }
  const std::string shown = diag.render("m.toml", "");
  return shown.size() > 1u << 30 ? 1 : 0;
}
