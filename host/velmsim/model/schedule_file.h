// A schedule as a scheduling program saved it (a project XML file or a
// table export): its tasks, their links and its calendar, in the program's
// own terms (working minutes, instants to the minute), with where each came
// from in the file. Its network and plan are made from this.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/model/work_time.h"

namespace velmsim {

// The kinds of date constraint a task may carry; the plan honours the first
// two, and the others are noted as simplifications.
enum class Constraint { none, start_no_earlier, must_start_on, other };

struct FileTask {
  std::string uid;   // the program's unique identifier (a task code)
  std::string id;    // the row number the program shows, when it has one
  std::string name, wbs;
  int outline_level = 1;
  bool summary = false, milestone = false;
  double work = 0;  // duration in working minutes (what remains of it)
  // As the file stores them: the dates its program computed.
  std::optional<double> start, finish;
  Constraint constraint = Constraint::none;
  std::optional<double> constraint_date;
  std::string constraint_text;  // the file's own kind, for the notes
  double percent_complete = 0;
  bool progressed = false;       // has an actual start
  bool manual = false;           // scheduled by hand: its program keeps its dates
  bool levelled = false;         // delayed by resource levelling
  bool own_calendar = false;     // a calendar other than the project's
  bool elapsed = false;          // an elapsed duration
  Position at;                   // its line in the file (a table row: `where`)
  std::string where;
};

struct FileLink {
  std::size_t from = 0, to = 0;  // indices into tasks: predecessor, successor
  LinkType type = LinkType::FS;
  double lag = 0;                // working minutes
  bool elapsed = false;          // a lag in elapsed time
  Position at;
  std::string where;
};

struct ScheduleFile {
  int file = 0;                // its number among the files of the diagnostics
  std::string program;         // the program and version that saved it, when told
  double start = 0;            // the instant unprogressed work may start
  double minutes_per_day = 480;
  WorkTime calendar;           // the project's
  std::vector<FileTask> tasks;  // in file order
  std::vector<FileLink> links;
};

// `bytes` in `code_page` (an iconv name) as UTF-8, by the C library's
// converter; nothing when they are not text of that code page.
std::optional<std::string> utf8_from(const std::string& code_page, const std::string& bytes);

// Reads a project XML file (the interchange format of desktop schedulers,
// saved as UTF-8 or UTF-16 with a byte-order mark) from its bytes. The file
// is added to `diag` as `path`, and its problems located in it.
ScheduleFile read_project_xml(const std::string& path, const std::string& bytes, Diagnostics& diag);

// Reads an XER export (tab-separated tables) from its bytes, added to `diag`
// as `path`; its problems are located by table and row.
ScheduleFile read_xer_schedule(const std::string& path, const std::string& bytes, Diagnostics& diag);

// Reads the schedule file at `path`, of either format (told by its first
// bytes), and checks it: a link to a missing task, a duration or lag that is
// not finite, a cycle. Nothing when it could not be read.
// An XER file's text is taken in `code_page` when given (an iconv name such
// as "windows-1251"), else as its reader decides.
std::optional<ScheduleFile> read_schedule_file(const std::string& path, Diagnostics& diag,
                                               const std::string& code_page = "");

}  // namespace velmsim
