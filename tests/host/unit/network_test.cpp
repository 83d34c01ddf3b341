// Task networks: the critical-path passes on hand-worked networks, every
// link type with lags, cycles named in order, and random networks against
// an independent model of the passes (the constraints relaxed until nothing
// moves, in no particular order); then whole runs, whose CSV is checked
// iteration by iteration against the links, and the located mistakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/velmsim/plan/network.h"
#include "host/velmsim/render/render.h"
#include "tests/host/unit/support.h"

namespace {

using velmsim::Link;
using velmsim::LinkType;
using velmsim::Network;

Network make(const std::vector<std::vector<Link>>& after) {
  std::vector<std::size_t> cycle;
  auto n = Network::make(after, cycle);
  EXPECT_TRUE(n.has_value());
  return n.value_or(*Network::make({}, cycle));
}

// A textbook network: A(3); B(4), C(2) after A; D(5) after B; E(1) after C;
// F(2) after D and E. Critical path A-B-D-F, 14 days; C and E have 6 days of
// float.
TEST(Network, TextbookFinishAndCriticalPath) {
  const Network n = make({{}, {{0}}, {{0}}, {{1}}, {{2}}, {{3}, {4}}});
  const double d[] = {3, 4, 2, 5, 1, 2};
  Network::Times t;
  n.pass(d, nullptr, t);
  EXPECT_EQ(t.project_finish, 14);
  EXPECT_EQ(t.start, (std::vector<double>{0, 3, 3, 7, 5, 12}));
  EXPECT_EQ(t.total_float, (std::vector<double>{0, 0, 6, 0, 6, 0}));
  EXPECT_EQ(t.critical, (std::vector<std::uint8_t>{1, 1, 0, 1, 0, 1}));
  // C absent: duration 0, never critical, and E still waits for A.
  const double without_c[] = {3, 4, 0, 5, 1, 2};
  const std::uint8_t exists[] = {1, 1, 0, 1, 1, 1};
  n.pass(without_c, exists, t);
  EXPECT_EQ(t.start[4], 3);
  EXPECT_EQ(t.critical[2], 0);
}

// Every link type with lags, worked by hand: T1(10); T2(4) SS+5 after T1;
// T3(3) FF+4 after T1; T4(5) SF+2 after T2; T5(2) FS-3 after T1.
TEST(Network, EveryLinkTypeWithLags) {
  const Network n = make({{},
                          {{0, LinkType::SS, 5}},
                          {{0, LinkType::FF, 4}},
                          {{1, LinkType::SF, 2}},
                          {{0, LinkType::FS, -3}}});
  const double d[] = {10, 4, 3, 5, 2};
  Network::Times t;
  n.pass(d, nullptr, t);
  EXPECT_EQ(t.start, (std::vector<double>{0, 5, 11, 2, 7}));
  EXPECT_EQ(t.finish, (std::vector<double>{10, 9, 14, 7, 9}));
  EXPECT_EQ(t.project_finish, 14);
  EXPECT_EQ(t.total_float, (std::vector<double>{0, 5, 0, 7, 5}));
}

TEST(Network, CyclesAreNamedInOrder) {
  std::vector<std::size_t> cycle;
  // 0 <- 2 <- 1 <- 0 (each task after the one before it in the cycle), and
  // a task 3 outside it; a task after itself.
  EXPECT_FALSE(Network::make({{{2}}, {{0}}, {{1}}, {}}, cycle));
  ASSERT_EQ(cycle.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    // cycle[i] is a predecessor of cycle[i + 1] (the last of the first).
    const std::size_t next = cycle[(i + 1) % 3];
    const std::vector<std::vector<Link>> after = {{{2}}, {{0}}, {{1}}, {}};
    EXPECT_TRUE(std::any_of(after[next].begin(), after[next].end(),
                            [&](const Link& l) { return l.task == cycle[i]; }));
  }
  EXPECT_FALSE(Network::make({{}, {{1}}}, cycle));
  EXPECT_EQ(cycle, (std::vector<std::size_t>{1}));
}

// Random networks (links only to earlier tasks in a shuffled numbering, so
// acyclic) against the constraints relaxed to a fixed point.
TEST(Network, RandomNetworksMatchRelaxedConstraints) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t count = 1 + rng() % 30;
    std::vector<std::size_t> rank(count);
    for (std::size_t i = 0; i < count; ++i) rank[i] = i;
    std::shuffle(rank.begin(), rank.end(), rng);
    std::vector<std::vector<Link>> after(count);
    std::vector<double> d(count);
    std::vector<std::uint8_t> exists(count);
    for (std::size_t t = 0; t < count; ++t) {
      d[t] = static_cast<double>(rng() % 20);
      exists[t] = rng() % 5 != 0;
      if (!exists[t]) d[t] = 0;
      for (std::size_t p = 0; p < count; ++p)
        if (rank[p] < rank[t] && rng() % 4 == 0)
          after[t].push_back({p, static_cast<LinkType>(rng() % 4),
                              static_cast<double>(static_cast<int>(rng() % 11) - 3)});
    }
    Network::Times t;
    make(after).pass(d.data(), exists.data(), t);

    std::vector<double> es(count, 0.0);
    for (bool moved = true; moved;) {
      moved = false;
      for (std::size_t j = 0; j < count; ++j)
        for (const Link& l : after[j]) {
          const double from = l.type == LinkType::FS || l.type == LinkType::FF
                                  ? es[l.task] + d[l.task]
                                  : es[l.task];
          const double need = from + l.lag - (l.type == LinkType::FF || l.type == LinkType::SF ? d[j] : 0);
          if (need > es[j]) {
            es[j] = need;
            moved = true;
          }
        }
    }
    double end = 0;
    for (std::size_t j = 0; j < count; ++j) end = std::max(end, es[j] + d[j]);
    std::vector<double> lf(count, end);
    for (bool moved = true; moved;) {
      moved = false;
      for (std::size_t j = 0; j < count; ++j)
        for (const Link& l : after[j]) {
          const std::size_t i = l.task;
          const double to = l.type == LinkType::FS || l.type == LinkType::SS ? lf[j] - d[j] : lf[j];
          const double allow = to - l.lag + (l.type == LinkType::SS || l.type == LinkType::SF ? d[i] : 0);
          if (allow < lf[i]) {
            lf[i] = allow;
            moved = true;
          }
        }
    }
    ASSERT_EQ(t.project_finish, end) << trial;
    for (std::size_t j = 0; j < count; ++j) {
      ASSERT_EQ(t.start[j], es[j]) << trial << ", task " << j;
      ASSERT_EQ(t.total_float[j], lf[j] - es[j] - d[j]) << trial << ", task " << j;
      ASSERT_EQ(t.critical[j], exists[j] && lf[j] - es[j] - d[j] <= 1e-6) << trial;
    }
  }
}

}  // namespace

namespace {

using namespace velmsim_unit;

// Every link type with lags, a task that may not exist, a delay and a factor
// risk, a task drawn from a normal that can go below 0.
const std::string kNetwork = R"(
[schedule]
start = 2027-03-01
holidays = [2027-03-03]
target = 2027-03-31
budget = 2e5
[tasks]
a = { duration = { dist = "triangular", low = 2, mode = 4, high = 9 }, cost = { per_day = 1000 } }
b = { duration = { dist = "normal", mean = 1, sd = 2 }, after = [{ task = "a", type = "SS", lag = 1 }] }
c = { duration = 3, after = [{ task = "a", type = "FF", lag = 2 }], p = 0.6 }
d = { duration = { dist = "uniform", min = 1, max = 6 }, after = [{ task = "b", type = "SF", lag = 4 }, "c"] }
e = { duration = 2, after = [{ task = "a", type = "FS", lag = -1 }, "d"], cost = { fixed = 5e4 } }
[risks]
late = { p = 0.3, tasks = ["a", "d"], delay = { dist = "uniform", min = 1, max = 3 }, cost = 2e4 }
slow = { p = 0.2, tasks = ["e"], factor = 1.5 }
[run]
iterations = 3000
tolerance = 1e-9
)";

// The CSV of a run read back: one row of numbers per iteration, by header.
struct Csv {
  std::vector<std::string> names;
  std::vector<std::vector<double>> rows;
  double at(std::size_t row, const std::string& name) const {
    const auto it = std::find(names.begin(), names.end(), name);
    EXPECT_NE(it, names.end()) << name;
    return rows[row][static_cast<std::size_t>(it - names.begin())];
  }
};

Csv read_csv(const std::string& text) {
  Csv c;
  std::istringstream in(text);
  std::string line, cell;
  std::getline(in, line);
  std::istringstream header(line);
  while (std::getline(header, cell, ',')) c.names.push_back(cell);
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::vector<double> values;
    while (std::getline(row, cell, ',')) values.push_back(std::stod(cell));
    c.rows.push_back(values);
  }
  return c;
}

// Each iteration's starts and finishes follow from its durations and the
// links (each constraint met, each start held by one, or at 0); the finish
// output is the latest finish; a task that did not exist has duration 0 and
// is not critical; criticality and the plan's finish in the report agree
// with the CSV and a hand-worked pass.
TEST(NetworkRun, ScheduleFollowsTheDurationsAndTheLinks) {
  const auto r = run_text(kNetwork);
  ASSERT_TRUE(r->report.network.has_value());
  const Csv csv = read_csv(csv_rows(r->model, r->samples()));
  ASSERT_EQ(csv.rows.size(), 3000u);
  const std::vector<std::string> tasks = {"a", "b", "c", "d", "e"};
  std::map<std::string, double> critical;
  for (std::size_t i = 0; i < csv.rows.size(); ++i) {
    auto S = [&](const std::string& t) { return csv.at(i, t + ".start"); };
    auto F = [&](const std::string& t) { return csv.at(i, t + ".finish"); };
    auto D = [&](const std::string& t) { return csv.at(i, t + ".duration"); };
    // Single precision in the file: times agree to a few ulps of 100.
    const double eps = 1e-4;
    for (const std::string& t : tasks) {
      EXPECT_NEAR(F(t), S(t) + D(t), eps);
      EXPECT_GE(D(t), 0.0);
      critical[t] += csv.at(i, t + ".critical");
    }
    if (csv.at(i, "c.exists") == 0) {
      EXPECT_EQ(D("c"), 0.0);
      EXPECT_EQ(csv.at(i, "c.critical"), 0.0);
    }
    const double sb = std::max(0.0, S("a") + 1);
    const double sc = std::max(0.0, F("a") + 2 - D("c"));
    const double sd = std::max({0.0, S("b") + 4 - D("d"), F("c")});
    const double se = std::max({0.0, F("a") - 1, F("d")});
    EXPECT_NEAR(S("a"), 0.0, eps);
    EXPECT_NEAR(S("b"), sb, eps) << i;
    EXPECT_NEAR(S("c"), sc, eps) << i;
    EXPECT_NEAR(S("d"), sd, eps) << i;
    EXPECT_NEAR(S("e"), se, eps) << i;
    double last = 0;
    for (const std::string& t : tasks) last = std::max(last, F(t));
    EXPECT_NEAR(csv.at(i, "finish"), last, eps);
    // e runs last and is always critical; so is a unless c... every path
    // ends in e.
    EXPECT_EQ(csv.at(i, "e.critical"), 1.0);
    if (HasFailure()) return;
  }
  for (const TaskLine& line : r->report.network->tasks)
    EXPECT_DOUBLE_EQ(line.criticality, critical[line.name] / 3000) << line.name;
  // The plan: a 4 (mode), b 1, c 3, d 3.5, e 2: b 1-2, c 3-6 (FF+2),
  // d max(2+4-3.5, 6) = 6-9.5, e 9.5-11.5.
  EXPECT_DOUBLE_EQ(r->report.network->plan_finish, 11.5);
  // The text lists the most critical tasks, as many as asked.
  Report two = r->report;
  two.listed_tasks = 2;
  const std::string text = text_report(two);
  EXPECT_NE(text.find("the 2 most critical of 5 (--tasks all lists every one)"), std::string::npos);
  EXPECT_EQ(text.find("\n  " + two.network->tasks[2].name + " "), std::string::npos);
  // A task's name may hold what a CSV field must quote.
  const auto odd = run_text("[tasks]\n\"Fit-out, \\\"phase 1\\\"\" = { duration = 2 }\n");
  const std::string odd_csv = csv_rows(odd->model, odd->samples());
  EXPECT_EQ(odd_csv.substr(0, odd_csv.find('\n')),
            "iteration,\"Fit-out, \"\"phase 1\"\".duration\",\"Fit-out, \"\"phase 1\"\".start\","
            "\"Fit-out, \"\"phase 1\"\".finish\",\"Fit-out, \"\"phase 1\"\".critical\",finish");
}

// kNetwork with an input, a formula over the tasks' figures and rank
// correlation between tasks' durations and with the input.
const std::string kCorrelated = kNetwork + R"(
[inputs]
x = { dist = "uniform", min = 0, max = 1 }
[outputs]
lead = "e.start - a.finish + d.duration * x"
[correlation]
a.d = 0.7
b.x = -0.5
)";

// Formulas see each iteration's task figures as the CSV gives them; the
// correlation reorders the tasks' drawn durations before they are
// scheduled, so the schedule still follows the links, and a duration drawn
// below 0 is counted where it ended up.
TEST(NetworkRun, FormulasAndCorrelationNameTasks) {
  const auto r = run_text(kCorrelated);
  const Csv csv = read_csv(csv_rows(r->model, r->samples()));
  const NetworkSamples& s = r->samples().network;
  for (std::size_t i = 0; i < csv.rows.size(); ++i) {
    const double eps = 1e-4;
    EXPECT_NEAR(csv.at(i, "lead"), csv.at(i, "e.start") - csv.at(i, "a.finish") +
                                       csv.at(i, "d.duration") * csv.at(i, "x"), eps) << i;
    EXPECT_NEAR(csv.at(i, "d.start"),
                std::max({0.0, csv.at(i, "b.start") + 4 - csv.at(i, "d.duration"),
                          csv.at(i, "c.finish")}), eps) << i;
    // b, correlated with x, is hit by no risk: scheduled as reordered.
    EXPECT_NEAR(csv.at(i, "b.duration"), std::max(0.0f, s.drawn[1][i]), eps) << i;
    if (HasFailure()) return;
  }
  const CorrelationSummary& c = *r->report.correlation;
  EXPECT_EQ(c.names, (std::vector<std::string>{"x", "a", "b", "d"}));
  EXPECT_TRUE(c.tasks);
  EXPECT_NEAR(c.achieved[1 * 4 + 3], 0.7, 0.03);
  EXPECT_NEAR(c.achieved[0 * 4 + 2], -0.5, 0.03);
  const auto b = std::find_if(r->report.network->tasks.begin(), r->report.network->tasks.end(),
                              [](const TaskLine& t) { return t.name == "b"; });
  EXPECT_EQ(b->clamped, std::count_if(s.drawn[1].begin(), s.drawn[1].begin() + 3000,
                                      [](float d) { return d < 0; }));
  EXPECT_GT(b->clamped, 0);
  auto first = [](const std::string& m) { return m.substr(0, m.find('\n')); };
  EXPECT_EQ(first(messages(replaced(kCorrelated, "a.finish", "a.finsh"))),
            "m.toml:23:19: error: unknown name 'a.finsh' in the formula of 'lead'; did you mean "
            "'a.finish'?");
  EXPECT_EQ(first(messages(replaced(kCorrelated, "a.d = 0.7", "c.d = 0.7"))),
            "m.toml:25:1: error: task 'c' has a fixed duration, which cannot be correlated; give "
            "it a distribution");
  EXPECT_NE(messages(replaced(kCorrelated, "x = {", "a = {"))
                .find("m.toml:25:1: error: 'a' names both an input and a task; rename one of them "
                      "to correlate it\n"),
            std::string::npos);
}

// The same report for 1, 2 and 3 threads, with and without correlation.
TEST(NetworkRun, ThreadCountChangesNothing) {
  for (const std::string& model : {kNetwork, kCorrelated}) {
    std::string one;
    for (int threads : {1, 2, 3}) {
      Overrides o;
      o.threads = threads;
      auto r = run_text(model, o);
      r->report.threads = 1;
      const std::string all = json_report(r->report) + text_report(r->report) +
                              csv_rows(r->model, r->samples());
      if (threads == 1)
        one = all;
      else
        EXPECT_EQ(all, one) << threads << " threads";
    }
  }
}

// Ranking by elimination reschedules the run's own draws without the risk:
// the same as a run of the model whose risk does nothing (a delay of 0 takes
// the same draws as a delay of 5). A risk's p cannot be set to 0 instead:
// VELMYESNO takes no uniform for a certain outcome, so every later draw
// would move.
TEST(NetworkRun, EliminationIsARunWithoutTheRisk) {
  const std::string with = kNetwork;
  const std::string without = replaced(kNetwork, "factor = 1.5", "factor = 1");
  const auto a = run_text(with), b = run_text(without);
  const NetworkSummary& n = *a->report.network;
  const auto slow = std::find_if(n.risks.begin(), n.risks.end(),
                                 [](const RiskElimination& e) { return e.name == "slow"; });
  ASSERT_NE(slow, n.risks.end());
  EXPECT_EQ(slow->p80_finish, b->report.network->p80_finish);
  EXPECT_EQ(slow->p80_cost, b->report.network->p80_cost);
  EXPECT_EQ(*slow->below_target, *b->report.network->below_target);
  EXPECT_DOUBLE_EQ(slow->finish_fall, static_cast<double>(n.p80_finish) - b->report.network->p80_finish);
  // Joint confidence and its frontier from the CSV's finishes and costs.
  const std::vector<float>& finish = a->samples().outputs[0];
  const std::vector<float>& cost = a->samples().outputs[1];
  int both = 0;
  for (int i = 0; i < 3000; ++i) both += finish[static_cast<std::size_t>(i)] <= 22 && cost[static_cast<std::size_t>(i)] <= 2e5;
  ASSERT_TRUE(n.joint && n.joint->jcl);
  EXPECT_DOUBLE_EQ(*n.joint->jcl, both / 3000.0);
  for (const auto& [date, budget] : n.joint->frontier) {
    if (std::isnan(budget)) continue;
    int met = 0, met_below = 0;
    for (std::size_t i = 0; i < 3000; ++i) {
      met += finish[i] <= date && cost[i] <= budget;
      met_below += finish[i] <= date && cost[i] < budget;
    }
    EXPECT_GE(met, 0.7 * 3000) << date;
    EXPECT_LT(met_below, 0.7 * 3000) << date;  // the smallest such budget
  }
}

TEST(NetworkRun, MistakesAreLocated) {
  const std::string head = "[tasks]\n";
  struct Case {
    std::string model, message;
  };
  const std::vector<Case> cases = {
      {head + "a = { duration = 1, after = [\"c\"] }\nb = { duration = 1, after = [\"a\"] }\n"
              "c = { duration = 1, after = [\"b\"] }\n",
       "m.toml:2:1: error: the tasks' links make a cycle: 'a' -> 'b' -> 'c' -> 'a' (each comes "
       "after the one before it)\n"},
      {head + "a = { duration = 1, after = [\"x\"] }\n", "m.toml:2:30: error: unknown task 'x' in 'after' of task 'a'\n"},
      {head + "a = { duration = 1, after = [{ task = \"a\", type = \"XX\" }] }\n",
       "m.toml:2:51: error: 'type' of a link of task 'a' must be \"FS\", \"SS\", \"FF\" or \"SF\", not \"XX\"\n"},
      {head + "a = { duration = 1, after = [\"a\"] }\n", "m.toml:2:30: error: task 'a' cannot come after itself\n"},
      {head + "a = { duration = 1 }\nb = { duration = 1, after = [{ task = \"a\", lag = nan }] }\n",
       "m.toml:3:50: error: 'lag' of a link of task 'b' must be a finite number, not nan\n"},
      {head + "a = { duration = inf }\n", "m.toml:2:18: error: the duration of task 'a' must be a finite number, not inf\n"},
      {head + "a = { duration = 1, p = 0 }\n",
       "m.toml:2:25: error: 'p' of task 'a' (the chance that the task exists) must lie in (0, 1], not 0\n"},
      {head + "a = { duration = 1 }\n[risks]\nr = { p = 0.5, tasks = [\"a\"], factor = -1 }\n",
       "m.toml:4:40: error: 'factor' of risk 'r' must be greater than 0, not -1\n"},
      {head + "a = { duration = 1 }\n[risks]\nr = { p = 0.5, tasks = [\"b\"], delay = 1 }\n",
       "m.toml:4:25: error: unknown task 'b' in 'tasks' of risk 'r'\n"},
      {head + "a = { duration = 1 }\n[risks]\nr = { p = 0.5, tasks = [\"a\", \"a\"], delay = 1 }\n",
       "m.toml:4:30: error: risk 'r' names task 'a' twice\n"},
      {"[schedule]\nholidays = [\"Easter\"]\n" + head + "a = { duration = 1 }\n",
       "m.toml:2:13: error: each holiday must be a date such as 2027-03-01\n"},
      {"[schedule]\nworkdays = []\n" + head + "a = { duration = 1 }\n",
       "m.toml:2:12: error: 'workdays' must be a list of weekdays such as [\"Mon\", \"Tue\", \"Wed\", "
       "\"Thu\", \"Fri\"]\n"},
  };
  for (const Case& c : cases) {
    const std::string got = messages(c.model);
    EXPECT_EQ(got.substr(0, got.find('\n') + 1), c.message) << c.model;
  }
}

}  // namespace
