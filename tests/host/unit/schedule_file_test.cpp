// Schedules saved by scheduling programs: working time to the minute, the
// project XML reader's located mistakes and its encodings, and a model that
// runs a schedule file with uncertainty, overrides and risks laid over it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/model/import_network.h"
#include "host/velmsim/plan/imported_plan.h"
#include "host/velmsim/render/render.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

const std::string kSmall = std::string(VELM_SCHEDULES_DIR) + "/handmade_small.xml";

double at(int y, unsigned m, unsigned d, int h, int min = 0) {
  return instant(day_number(y, m, d), h * 60 + min);
}

// Monday to Friday, 08:00-12:00 and 13:00-17:00, Friday 2027-03-05 off.
WorkTime office() {
  WorkTime w;
  for (std::size_t d = 0; d < 5; ++d) w.week[d] = {{480, 720}, {780, 1020}};
  w.days[day_number(2027, 3, 5)] = {};
  return w;
}

TEST(WorkTime, StartsAndFinishesOnTheWorkingIntervals) {
  const WorkTime w = office();
  const double monday = at(2027, 3, 1, 8);
  // Four hours: lunch at the boundary; a finish stays at 12:00, a start
  // moves to 13:00.
  EXPECT_EQ(w.after(monday, 240, true), at(2027, 3, 1, 12));
  EXPECT_EQ(w.after(monday, 240, false), at(2027, 3, 1, 13));
  // Four days and an hour: over the holiday and the weekend.
  EXPECT_EQ(w.after(monday, 4 * 480 + 60, false), at(2027, 3, 8, 9));
  EXPECT_EQ(w.after(monday, 4 * 480, true), at(2027, 3, 4, 17));
  EXPECT_EQ(w.between(monday, at(2027, 3, 8, 9)), 4 * 480 + 60);
  EXPECT_EQ(w.between(at(2027, 3, 8, 9), monday), -(4 * 480 + 60));
  EXPECT_EQ(w.before(at(2027, 3, 8, 9), 120, true), at(2027, 3, 4, 16));
  EXPECT_EQ(instant_text(at(2027, 3, 8, 9, 30)), "2027-03-08T09:30");
}

// The plan of a small file by hand: Design 20 h from Monday 08:00 ends
// Wednesday 12:00; Build 44 h from 13:00 ends, over the Friday holiday and
// the weekend, Thursday 11 March 17:00; Done follows the summary (all of
// its tasks) a day later, a milestone at Friday 12 March 17:00.
TEST(ScheduleFile, PlanOfAHandWorkedFile) {
  Diagnostics diag;
  const auto f = read_schedule_file(kSmall, diag);
  ASSERT_TRUE(f && !diag.has_errors()) << diag.render("", "");
  const ImportedNetwork n = network_of(*f, f->file, diag);
  ASSERT_EQ(n.network.tasks.size(), 3u);  // the summary is not a task
  const auto network = imported_network(*f, n, diag);
  ASSERT_TRUE(network.has_value());
  EXPECT_EQ(schedule_plan_csv(*f, planned_dates(*f, n, *network)),
            "id,name,start,finish\n"
            "2,Design,2027-03-01T08:00,2027-03-03T12:00\n"
            "3,Build,2027-03-03T13:00,2027-03-11T17:00\n"
            "4,Done,2027-03-12T17:00,2027-03-12T17:00\n");
  EXPECT_EQ(n.network.schedule.holidays, std::vector<int>{day_number(2027, 3, 5)});
}

// Files saved by a scheduling program: the plan gives every task the start
// and finish the program stored, to the minute, through every link type,
// day and week lags, a negative lag, summaries, a milestone and
// start-no-earlier-than constraints. One task of the legacy sample is
// dated by its resources' calendars, which velmsim does not model.
TEST(ScheduleFile, PlansReproduceTheProgramsDates) {
  const std::vector<std::string> files = {
      "mpxj_mspdirelations.xml", "mpxj_legacy_sample.xml",
      "mpxj_task-links-project2003-mspdi.xml", "mpxj_task-links-project2007-mspdi.xml",
      "mpxj_task-links-project2010-mspdi.xml", "mpxj_task-links-project2019-mspdi.xml"};
  for (const std::string& name : files) {
    Diagnostics diag;
    const auto f = read_schedule_file(std::string(VELM_SCHEDULES_DIR) + "/" + name, diag);
    ASSERT_TRUE(f && !diag.has_errors()) << name << diag.render("", "");
    const ImportedNetwork n = network_of(*f, f->file, diag);
    const auto network = imported_network(*f, n, diag);
    ASSERT_TRUE(network.has_value()) << name;
    int same = 0;
    for (const PlannedTask& p : planned_dates(*f, n, *network)) {
      const FileTask& t = f->tasks[p.task];
      if (name == "mpxj_legacy_sample.xml" && t.uid == "2") continue;
      EXPECT_EQ(instant_text(p.start), instant_text(*t.start)) << name << " task " << t.uid;
      EXPECT_EQ(instant_text(p.finish), instant_text(*t.finish)) << name << " task " << t.uid;
      ++same;
    }
    EXPECT_EQ(same, name == "mpxj_mspdirelations.xml" ? 5 : name == "mpxj_legacy_sample.xml" ? 15 : 16);
  }
  // Recurring exceptions are read from the days the file writes out: every
  // third day from 2000-02-01, four times.
  Diagnostics diag;
  const auto f = read_schedule_file(
      std::string(VELM_SCHEDULES_DIR) + "/mpxj_calendar-recurring-exceptions-project2016-mspdi.xml", diag);
  ASSERT_TRUE(f && !diag.has_errors());
  for (unsigned day = 1; day <= 11; ++day)
    EXPECT_EQ(f->calendar.minutes(day_number(2000, 2, day)) == 0,
              day == 1 || day == 4 || day == 5 || day == 6 || day == 7 || day == 10)
        << day;  // the 5th and 6th are a weekend
  // Table exports of the program: read whole, their progress noted.
  for (const char* name : {"aspose_encoding1251.xer", "aspose_MultiprojectWithExternal.xer",
                           "mpxj_percent-complete-8.4.xer"}) {
    Diagnostics d;
    const auto x = read_schedule_file(std::string(VELM_SCHEDULES_DIR) + "/" + name, d);
    ASSERT_TRUE(x && !d.has_errors()) << name << d.render("", "");
    EXPECT_FALSE(x->tasks.empty()) << name;
  }
  // A table export's task in progress: its remaining 66 hours planned from
  // the data date end where the program dated them, on a calendar of its
  // own (stored early start 2023-10-06 08:00, early finish 2023-10-18 10:00).
  {
    Diagnostics d;
    const auto x = read_schedule_file(
        std::string(VELM_SCHEDULES_DIR) + "/aspose_MultiprojectWithExternal.xer", d, "windows-1251");
    const ImportedNetwork n = network_of(*x, x->file, d);
    const auto network = imported_network(*x, n, d);
    ASSERT_TRUE(network.has_value());
    const auto plan = planned_dates(*x, n, *network);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(instant_text(plan[0].start), instant_text(*x->tasks[0].start));
    EXPECT_EQ(instant_text(plan[0].finish), "2023-10-18T10:00");
    EXPECT_EQ(instant_text(*x->tasks[0].finish), "2023-10-18T10:00");
  }
  // A code page the file does not name, given: Cyrillic names.
  const auto cyrillic = read_schedule_file(std::string(VELM_SCHEDULES_DIR) + "/aspose_encoding1251.xer",
                                           diag, "windows-1251");
  ASSERT_TRUE(cyrillic.has_value());
  EXPECT_EQ(cyrillic->tasks[0].name, "\xD0\x97\xD0\xB0\xD0\xB4\xD0\xB0\xD1\x87\xD0\xB0 1");  // Задача 1
}

// UTF-16 with its byte-order mark reads as UTF-8, and names keep their
// letters.
TEST(ScheduleFile, Utf16Files) {
  std::string text = replaced(slurp(kSmall), "<Name>Design</Name>", "<Name>Caf\xC3\xA9</Name>");
  text = replaced(text, "encoding=\"UTF-8\"", "encoding=\"UTF-16\"");
  std::string bytes = "\xFF\xFE";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\xC3') {  // é, U+00E9
      bytes += "\xE9";
      bytes += '\0';
      ++i;
      continue;
    }
    bytes += text[i];
    bytes += '\0';
  }
  Diagnostics diag;
  const ScheduleFile f = read_project_xml("u.xml", bytes, diag);
  EXPECT_FALSE(diag.has_errors()) << diag.render("", "");
  ASSERT_EQ(f.tasks.size(), 4u);
  EXPECT_EQ(f.tasks[1].name, "Caf\xC3\xA9");
}

// Lags in percent of the predecessor's duration, and elapsed ones (planned
// in working time, and noted where they are written).
TEST(ScheduleFile, LagFormats) {
  const std::string small = slurp(kSmall);
  const std::string percent = replaced(small, "<Type>1</Type></PredecessorLink></Task>\n<Task><UID>4",
                                       "<Type>1</Type><LinkLag>50</LinkLag><LagFormat>19</LagFormat>"
                                       "</PredecessorLink></Task>\n<Task><UID>4");
  Diagnostics diag;
  const ScheduleFile f = read_project_xml("p.xml", percent, diag);
  ASSERT_EQ(f.links.size(), 2u);
  EXPECT_EQ(f.links[0].lag, 600);  // half of Design's 20 hours
  const ScheduleFile e = read_project_xml(
      "e.xml", replaced(small, "<LagFormat>7</LagFormat>", "<LagFormat>8</LagFormat>"), diag);
  EXPECT_TRUE(e.links[1].elapsed);
  network_of(e, e.file, diag);
  EXPECT_NE(diag.render("", "").find("e.xml:25:211: warning: task 4 ('Done'): an elapsed lag is "
                                     "planned in working time"),
            std::string::npos);
}

TEST(ScheduleFile, MistakesAreLocated) {
  const std::string small = slurp(kSmall);
  struct Case {
    std::string text, message;
  };
  const std::vector<Case> cases = {
      {replaced(small, "</Tasks>", "</Task>"), "s.xml:26:3: error: not well-formed XML: Start-end tags mismatch"},
      {replaced(small, "<PredecessorUID>2</PredecessorUID>", "<PredecessorUID>9</PredecessorUID>"),
       "s.xml:24:191: error: task 3 ('Build') follows task UID 9, which the file does not hold"},
      {replaced(small, "<Duration>PT20H0M0S</Duration>", "<Duration>twenty</Duration>"),
       "s.xml:23:162: error: <Duration> must be a duration such as PT40H0M0S, not 'twenty'"},
      {replaced(small, "<Type>1</Type></PredecessorLink></Task>\n<Task><UID>4",
                "<Type>7</Type></PredecessorLink></Task>\n<Task><UID>4"),
       "s.xml:24:242: error: unknown link type '7': 0 (FF), 1 (FS), 2 (SF) or 3 (SS)"},
      {"<Schedule/>", "s.xml:1:1: error: not a project XML file: its root element is not <Project>"},
  };
  for (const Case& c : cases) {
    Diagnostics diag;
    read_project_xml("s.xml", c.text, diag);
    const std::string got = diag.render("", "");
    EXPECT_EQ(got.substr(0, got.find('\n')), c.message);
  }
}

// A table export's mistakes, located by table and row, all reported.
TEST(ScheduleFile, TableExportMistakesAreLocated) {
  std::string x = slurp(std::string(VELM_SCHEDULES_DIR) + "/handmade_small.xer");
  x = replaced(x, "PR_FS\t8", "PR_XX\t8");
  x = replaced(x, "\t44\t44\t", "\tlong\t44\t");
  x = replaced(x, "%R\t1\t2\t1\t1\t1\tPR_FS", "%R\t1\t9\t1\t1\t1\tPR_FS");
  Diagnostics diag;
  read_xer_schedule("s.xer", x, diag);
  EXPECT_EQ(diag.render("", ""),
            "s.xer: table TASK, row 2: error: target_drtn_hr_cnt must be a number of hours, not 'long'\n"
            "s.xer: table TASKPRED, row 1: error: a link between task_id 1 and task_id 9, which the "
            "file does not both hold\n"
            "s.xer: table TASKPRED, row 2: error: unknown link type 'PR_XX': PR_FS, PR_SS, PR_FF or PR_SF\n");
  // A cycle, named in order from the task written first.
  std::string cyclic = replaced(slurp(std::string(VELM_SCHEDULES_DIR) + "/handmade_small.xer"),
                                "%R\t1\t2\t1\t1\t1\tPR_FS", "%R\t1\t1\t3\t1\t1\tPR_FS");
  cyclic = replaced(cyclic, "%E", "%R\t3\t2\t1\t1\t1\tPR_SS\t0\r\n%E");
  Diagnostics d;
  const ScheduleFile f = read_xer_schedule("c.xer", cyclic, d);
  const ImportedNetwork n = network_of(f, f.file, d);
  EXPECT_FALSE(imported_network(f, n, d).has_value());
  EXPECT_EQ(d.render("", ""), "c.xer: table TASK, row 1: error: the tasks' links make a cycle: "
                              "'A1000 Design' -> 'A1010 Build \"A\"' -> 'A1020 Done' -> 'A1000 "
                              "Design' (each comes after the one before it)\n");
}

// A model over the file: the uncertainty spreads every planned duration, a
// task chosen by name its own PERT of fractions, one chosen by UID its own
// distribution, those under a WBS code their cost; a risk hits a task
// chosen by name.
TEST(ScheduleFile, ModelsRunAScheduleFile) {
  const std::string model = "[model]\nname = \"Small\"\n[schedule]\nfile = \"" + kSmall +
                            "\"\nuncertainty = { dist = \"triangular\", low = -0.1, mode = 0, high = 0.25 }\n"
                            "[tasks]\n\"3\" = { duration = { dist = \"uniform\", min = 4, max = 9 } }\n"
                            "\"Design\" = { uncertainty = { dist = \"pert\", min = -0.2, mode = 0, max = 0.4, lambda = 2 } }\n"
                            "\"wbs:1\" = { cost = { per_day = 1000 } }\n"
                            "[risks]\nrain = { p = 0.3, tasks = [\"Design\"], delay = 1 }\n"
                            "[run]\niterations = 500\n";
  const auto r = run_text(model);
  const TaskNetwork& net = r->model.network;
  ASSERT_EQ(net.tasks.size(), 3u);
  const Draw& design = *net.tasks[0].duration.draw;  // 2.5 days: 2, 2.5, 3.5, lambda 2
  EXPECT_EQ(design.dist, Dist::pert);
  EXPECT_EQ(design.lo, 2);
  EXPECT_EQ(design.hi, 3.5);
  EXPECT_EQ(design.arg[2], 2.5f);
  EXPECT_FLOAT_EQ(design.arg[0], 1 + 2 * 0.5f / 1.5f);
  EXPECT_EQ(net.tasks[1].duration.draw->dist, Dist::uniform);
  EXPECT_FALSE(net.tasks[2].duration.draw);  // a milestone keeps 0
  EXPECT_EQ(net.tasks[0].cost_per_day, 1000);
  EXPECT_EQ(net.tasks[2].cost_per_day, 0);
  EXPECT_EQ(net.risks[0].tasks, std::vector<std::size_t>{0});
  EXPECT_DOUBLE_EQ(r->report.network->plan_finish, 9);  // 2.5 + 5.5 + 1 (lag)
  // Mistakes over the file: a UID it does not hold, a WBS with no task.
  // An error earlier in the model does not hide those after the file.
  const std::string two = messages(replaced(replaced(model, "\"3\" =", "\"33\" ="),
                                            "name = \"Small\"", "name = 5"));
  EXPECT_NE(two.find("unknown task '33' in [tasks]"), std::string::npos) << two;
  EXPECT_NE(two.find("'name' must be a text in quotes"), std::string::npos);
  EXPECT_NE(messages(replaced(model, "wbs:1", "wbs:7")).find("no task of the schedule has a WBS "
                                                            "code under '7' in [tasks]"),
            std::string::npos);
  EXPECT_NE(messages(replaced(model, "[schedule]\n", "[schedule]\nstart = 2027-01-01\n"))
                .find("'start' comes from the schedule file"),
            std::string::npos);
}

// velmsim convert --to toml writes a model whose plan and runs are the
// file's.
TEST(ScheduleFile, ConvertedModelKeepsThePlan) {
  Diagnostics diag;
  const auto f = read_schedule_file(kSmall, diag);
  const ImportedNetwork n = network_of(*f, f->file, diag);
  const std::string toml = schedule_model_toml(*f, n, "small");
  const std::string risk = "[risks]\nr = { p = 0.5, tasks = [\"TASK\"], delay = { dist = "
                           "\"uniform\", min = 1, max = 4 } }\n[run]\niterations = 300\n";
  const auto converted = run_text(toml + replaced(risk, "TASK", "3 Build"));
  ASSERT_TRUE(converted->report.network.has_value()) << toml;
  EXPECT_DOUBLE_EQ(converted->report.network->plan_finish, 9);
  EXPECT_EQ(converted->model.network.schedule.holidays, n.network.schedule.holidays);
  // The same report as the file run with the same risk, but for the model's
  // own name and digest.
  auto direct = run_text("[model]\nname = \"small\"\n[schedule]\nfile = \"" + kSmall + "\"\n" +
                         replaced(risk, "TASK", "3"));
  direct->report.model_sha256 = converted->report.model_sha256;
  direct->report.network->file.clear();
  EXPECT_EQ(text_report(direct->report), text_report(converted->report));
  // Constraints become not_before: a file whose tasks start no earlier than
  // their dates plans alike converted.
  const std::string dated = std::string(VELM_SCHEDULES_DIR) + "/mpxj_task-links-project2010-mspdi.xml";
  const auto g = read_schedule_file(dated, diag);
  const std::string constrained = schedule_model_toml(*g, network_of(*g, g->file, diag), "links");
  EXPECT_NE(constrained.find("not_before = 1.0"), std::string::npos);
  const auto from_file = run_text("[schedule]\nfile = \"" + dated + "\"\n[run]\niterations = 20\n");
  const auto from_toml = run_text(constrained + "[run]\niterations = 20\n");
  EXPECT_EQ(from_toml->report.network->plan_finish, from_file->report.network->plan_finish);
  EXPECT_EQ(from_toml->report.network->plan_finish, 12);  // task 10 ends 2014-11-03, working day 12
}

}  // namespace
