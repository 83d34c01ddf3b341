#include "host/velmsim/engine/block_drawer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "host/velmsim/engine/reorder.h"
#include "host/velmsim/engine/substreams.h"
#include "host/velmsim/plan/formula.h"

namespace velmsim {

namespace {

// A barrier for the calling thread and the workers. A share of a block takes
// tens of microseconds, about what it costs to wake a sleeping thread, so a
// thread that arrives early first spins (yielding its core) for up to a
// millisecond, and only then sleeps.
class Barrier {
 public:
  explicit Barrier(int count) : count_(count) {}

  void arrive_and_wait() {
    const unsigned generation = generation_.load(std::memory_order_acquire);
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == count_) {
      arrived_.store(0, std::memory_order_relaxed);
      generation_.fetch_add(1, std::memory_order_release);
      generation_.notify_all();
      return;
    }
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    while (generation_.load(std::memory_order_acquire) == generation) {
      if (std::chrono::steady_clock::now() > give_up) {
        generation_.wait(generation, std::memory_order_acquire);
        continue;
      }
      std::this_thread::yield();
    }
  }

 private:
  const int count_;
  std::atomic<int> arrived_{0};
  std::atomic<unsigned> generation_{0};
};

// The task figures that the formulas use, from an iteration's schedule,
// rounded to single precision as the samples hold them.
void task_figures(const FormulaProgram& f, const NetworkScratch& w, float* to) {
  for (std::size_t i = 0; i < f.task_values.size(); ++i) {
    const FormulaProgram::TaskValue& v = f.task_values[i];
    const double x = v.field == TaskField::duration ? w.d[v.task]
                     : v.field == TaskField::start  ? w.times.start[v.task]
                                                    : w.times.finish[v.task];
    to[i] = static_cast<float>(x);
  }
}

}  // namespace

// Iterations drawn row by row before they are stored column by column. A
// row's values go to as many columns, each on a page of its own in a wide
// model: stored one iteration at a time, nearly every store would miss the
// address translation cache. A tile of rows is stored column by column, a
// cache line per column.
constexpr std::size_t kTileRows = 16;

// One thread's own evaluator and, in a correlated model, its reordering of
// a block and the block's shuffle keys.
struct BlockDrawer::Lane {
  Lane(const FormulaProgram& formulas, std::size_t columns, std::size_t risks, int truncated,
       const TaskNetwork& network)
      : evaluator(formulas), tile(kTileRows * columns + 1), out(formulas.outputs.size() + 1),
        impact(risks + 1), tasks(formulas.task_values.size() + 1), occurred(risks + 1),
        redraws(static_cast<std::size_t>(truncated) + 1),
        draws(kTileRows, NetworkDraws(network)), schedules(kTileRows) {}
  Evaluator evaluator;
  // Iterations' values, written by this thread alone: kTileRows rows of
  // every column; an iteration's outputs, risks and task figures.
  LineVector<float> tile, out, impact, tasks;
  LineVector<std::uint8_t> occurred;
  LineVector<std::uint32_t> redraws;  // each truncated draw's, in an iteration
  std::optional<RankReorder> reorder;
  RankReorder::Order order;
  std::vector<std::uint32_t> keys;  // [correlated column][iteration of the block]
  std::vector<float> values;        // a risk's impacts before the reordering
  std::vector<std::uint8_t> flags;  // and its occurrences
  // The task network's draws and schedules of a tile's iterations.
  std::vector<NetworkDraws> draws;
  std::vector<NetworkScratch> schedules;
};

// Iteration i's outputs from its columns `row`: the task network's finish
// and cost (scheduled first) when the model has tasks, then the formulas,
// which see the task figures in lane.tasks.
bool BlockDrawer::outputs(Lane& lane, const float* row, int i, Samples& s, Failure& failure) {
  const auto u = static_cast<std::size_t>(i);
  for (std::size_t k = 0; k < model_.outputs.size() && model_.outputs[k].network; ++k)
    lane.out[k] = s.outputs[k][u];
  const int bad = lane.evaluator.evaluate(row, lane.tasks.data(), lane.out.data());
  for (std::size_t k = 0; k < s.outputs.size(); ++k) s.outputs[k][u] = lane.out[k];
  if (bad < 0) return true;
  failure = {i, bad, std::vector<float>(row, row + model_.columns.size()), lane.evaluator.why()};
  return false;
}

// Schedules iteration i from its network draws in lane.draws[slot]: its
// finish and cost to the samples, its task figures to lane.tasks.
void BlockDrawer::schedule(Lane& lane, std::size_t slot, int i, Samples& s) {
  const auto u = static_cast<std::size_t>(i);
  NetworkScratch& w = lane.schedules[slot];
  const auto [finish, cost] = schedule_of(model_, *plan_.network, lane.draws[slot], w);
  s.outputs[0][u] = static_cast<float>(finish);
  if (model_.network.costed()) s.outputs[1][u] = static_cast<float>(cost);
  task_figures(plan_.formulas, w, lane.tasks.data());
}

// Draws iterations [begin, end) in the calling thread and evaluates their
// outputs unless `keys` is given: a correlated model's are evaluated after
// the reordering, and its shuffle keys are written instead, column j's key of
// iteration i at keys[j (end - begin) + i - begin]: the substream's seed times
// key_steps[j].
void BlockDrawer::draw_range(Lane& lane, int begin, int end, Samples& s, Failure& failure,
                             std::uint32_t* keys) {
  const std::size_t nc = model_.columns.size(), nr = s.risks.size();
  const auto n = static_cast<std::size_t>(end - begin);
  // Rows [first, first + rows) of the tile to their columns.
  auto store = [&](int first, std::size_t rows) {
    for (std::size_t c = 0; c < nc; ++c) {
      float* to = s.columns[c].data() + first;
      for (std::size_t r = 0; r < rows; ++r) to[r] = lane.tile[r * nc + c];
    }
    if (!plan_.network) return;
    store_draws(model_, lane.draws, static_cast<std::size_t>(first), rows, s.network);
    if (!keys)
      store_schedules(model_, lane.schedules, static_cast<std::size_t>(first), rows, s.network);
  };
  // Seeds of consecutive substreams differ by the factor 16807^65536: one
  // modular product per iteration after the first.
  const std::uint64_t stride = static_cast<std::uint64_t>(substream_seed(1, 1));
  std::uint64_t next = static_cast<std::uint64_t>(substream_seed(plan_.seed, begin));
  for (int i = begin; i < end; ++i) {
    const std::size_t in_tile = static_cast<std::size_t>(i - begin) % kTileRows;
    float* row = lane.tile.data() + in_tile * nc;
    const auto substream = static_cast<std::int32_t>(next);
    if (keys)
      for (std::size_t j = 0; j < key_steps_.size(); ++j)
        keys[j * n + static_cast<std::size_t>(i - begin)] =
            static_cast<std::uint32_t>(times_mod(next, key_steps_[j]));
    next = times_mod(next, stride);
    if (!plan_.one_stream) sampling_.set_seed(&substream);
    draw_iteration(sampling_, model_, row, lane.occurred.data(), lane.impact.data(),
                   lane.redraws.data());
    const auto u = static_cast<std::size_t>(i);
    if (plan_.network) {
      // In a correlated model, the schedule waits for the reordering, which
      // may move tasks' durations.
      draw_network(sampling_, model_, lane.draws[in_tile], lane.redraws.data());
      if (!keys) schedule(lane, in_tile, i, s);
    }
    for (std::size_t r = 0; r < nr; ++r) {
      s.occurred[r][u] = lane.occurred[r];
      s.impacts[r][u] = lane.impact[r];
    }
    for (std::size_t k = 0; k < s.redraws.size(); ++k) s.redraws[k][u] = lane.redraws[k];
    const bool ok = keys || outputs(lane, row, i, s, failure);
    if (!ok || in_tile + 1 == kTileRows || i + 1 == end)
      store(i - static_cast<int>(in_tile), in_tile + 1);
    if (!ok) return;
  }
}

// Schedules and evaluates iterations [begin, end) from the draws the samples
// hold, a tile of iterations at a time.
void BlockDrawer::evaluate_range(Lane& lane, int begin, int end, Samples& s, Failure& failure) {
  const std::size_t nc = model_.columns.size();
  float* row = lane.tile.data();
  for (int first = begin; first < end; first += static_cast<int>(kTileRows)) {
    const auto rows = std::min(kTileRows, static_cast<std::size_t>(end - first));
    const auto f = static_cast<std::size_t>(first);
    if (plan_.network) gather_network(s.network, f, rows, lane.draws);
    std::size_t r = 0;
    bool ok = true;
    for (; r < rows && ok; ++r) {
      const int i = first + static_cast<int>(r);
      if (plan_.network) schedule(lane, r, i, s);
      for (std::size_t c = 0; c < nc; ++c) row[c] = s.columns[c][f + r];
      ok = outputs(lane, row, i, s, failure);
    }
    if (plan_.network) store_schedules(model_, lane.schedules, f, r, s.network);
    if (!ok) return;
  }
}

// Worker threads kept for a whole run: each phase, every worker does its
// share between two barrier phases.
struct BlockDrawer::Pool {
  explicit Pool(int count) : sync(count), failures(static_cast<std::size_t>(count)) {}
  Barrier sync;  // the calling thread and the workers
  std::vector<std::thread> workers;
  std::vector<Failure> failures;  // each thread's
  Phase phase = Phase::draw;
  int begin = 0, end = 0, threads = 1;       // the iterations shared out, in Phase::draw
  std::vector<std::pair<int, int>> blocks;  // one per thread, in Phase::blocks
  Samples* samples = nullptr;
  bool stop = false;
};

// Share t of the current phase: a contiguous range of an uncorrelated
// block's iterations, or the whole of the t-th correlated block.
void BlockDrawer::run_share(int t) {
  Pool& p = *pool_;
  const auto k = static_cast<std::size_t>(t);
  p.failures[k] = Failure{};
  if (p.phase == Phase::blocks) {
    if (k < p.blocks.size())
      correlated_block(*lanes_[k], p.blocks[k].first, p.blocks[k].second, *p.samples, p.failures[k]);
    return;
  }
  const long m = p.end - p.begin;
  const int from = p.begin + static_cast<int>(m * t / p.threads);
  const int to = p.begin + static_cast<int>(m * (t + 1) / p.threads);
  draw_range(*lanes_[k], from, to, *p.samples, p.failures[k], nullptr);
}

BlockDrawer::BlockDrawer(const Plan& plan, const SamplingExports& sampling)
    : plan_(plan), model_(*plan.model), sampling_(sampling) {
  const int threads = plan.one_stream ? 1 : std::max(1, plan.threads);
  std::size_t risks = 0;
  for (const Input& in : model_.inputs) risks += in.kind == InputKind::risk ? 1 : 0;
  for (int t = 0; t < threads; ++t)
    lanes_.push_back(
        std::make_unique<Lane>(plan.formulas, model_.columns.size(), risks, model_.redraw_slots, model_.network));
  if (!plan.correlation.empty()) {
    const RankReorder reorder(plan.correlation.target);
    for (auto& lane : lanes_) lane->reorder = reorder;
    // The keys that shuffle column j's scores are the generator's states
    // 32768 + j steps into each iteration's substream, computed exactly (what
    // VELMGETSEED would read there): the same whatever the threads, and
    // different from one another over the whole period.
    std::uint64_t step = static_cast<std::uint64_t>(key_seed(1, 0));
    for (std::size_t v : plan.correlation.variables) {
      key_steps_.push_back(step);
      step = times_mod(step, 16807);
      int slot = -1;
      if (model_.variable_task(v)) {
        risk_slot_.push_back(slot);
        continue;
      }
      const std::size_t input = model_.columns[v].input;
      for (std::size_t r = 0, risk = 0; r < model_.inputs.size(); ++r) {
        if (model_.inputs[r].kind != InputKind::risk) continue;
        if (r == input) slot = static_cast<int>(risk);
        ++risk;
      }
      risk_slot_.push_back(slot);
    }
  }
  if (plan.one_stream) sampling.set_seed(&plan.seed);
  pool_ = std::make_unique<Pool>(threads);
  pool_->threads = threads;
  // The calling thread does share 0 itself, so that N threads keep N cores
  // busy and none waits at the barrier in the meantime.
  for (int t = 1; t < threads; ++t) {
    pool_->workers.emplace_back([this, t] {
      Pool& p = *pool_;
      for (;;) {
        p.sync.arrive_and_wait();
        if (p.stop) return;
        run_share(t);
        p.sync.arrive_and_wait();
      }
    });
  }
}

BlockDrawer::~BlockDrawer() {
  if (pool_->workers.empty()) return;
  pool_->stop = true;
  pool_->sync.arrive_and_wait();
  for (auto& w : pool_->workers) w.join();
}

void BlockDrawer::run_phase(Phase phase, Samples& s) {
  Pool& p = *pool_;
  p.phase = phase;
  p.samples = &s;
  if (!p.workers.empty()) p.sync.arrive_and_wait();  // start
  run_share(0);
  if (!p.workers.empty()) p.sync.arrive_and_wait();  // every share done
}

// A correlated block in the calling thread: drawn, with its keys; its scores
// prepared; each correlated variable's values handed out in the ranks of its
// transformed scores, a risk's occurrence and impact going with its value;
// then its schedules made and its outputs evaluated.
void BlockDrawer::correlated_block(Lane& lane, int begin, int end, Samples& s, Failure& failure) {
  const auto b = static_cast<std::size_t>(begin), n = static_cast<std::size_t>(end - begin);
  const std::vector<std::size_t>& variables = plan_.correlation.variables;
  lane.keys.resize(n * variables.size());
  draw_range(lane, begin, end, s, failure, lane.keys.data());
  std::vector<const std::uint32_t*> keys;
  for (std::size_t j = 0; j < variables.size(); ++j) keys.push_back(lane.keys.data() + j * n);
  lane.reorder->prepare(n, keys);
  const RankReorder::Order& order = lane.order;
  auto permute = [&](auto& x, auto& drawn) {
    drawn.assign(x.begin() + static_cast<long>(b), x.begin() + static_cast<long>(b + n));
    for (std::size_t r = 0; r < n; ++r) x[b + order.target[r]] = drawn[order.source[r]];
  };
  for (std::size_t j = 0; j < variables.size(); ++j) {
    const auto task = model_.variable_task(variables[j]);
    float* x = (task ? s.network.drawn[*task] : s.columns[variables[j]]).data() + b;
    lane.reorder->order(j, x, lane.order);
    for (std::size_t r = 0; r < n; ++r) x[order.target[r]] = order.sorted[r];
    if (risk_slot_[j] < 0) continue;
    permute(s.occurred[static_cast<std::size_t>(risk_slot_[j])], lane.flags);
    permute(s.impacts[static_cast<std::size_t>(risk_slot_[j])], lane.values);
  }
  evaluate_range(lane, begin, end, s, failure);
}

// An uncorrelated block is shared out among the threads by iterations. A
// correlated block is done whole by one thread (it is reordered as a whole),
// so the threads take consecutive blocks: the one asked for and those that
// follow it, of the same length and within the samples, whose results wait
// for the calls that ask for them. Each iteration draws from its own
// substream and each block's keys are its own, so the results are the same
// whatever the threads.
Failure BlockDrawer::draw(int begin, int end, Samples& s) {
  Pool& p = *pool_;
  if (key_steps_.empty()) {
    p.begin = begin;
    p.end = end;
    run_phase(Phase::draw, s);
    Failure first;  // the earliest failure, whatever the thread count
    for (const Failure& f : p.failures)
      if (f.iteration >= 0 && (first.iteration < 0 || f.iteration < first.iteration)) first = f;
    return first;
  }
  if (!ahead_.empty()) {
    Ahead next = std::move(ahead_.front());
    ahead_.pop_front();
    if (next.samples == &s && next.begin == begin && next.end == end) return next.failure;
    ahead_.clear();
  }
  const auto limit = static_cast<int>(s.outputs[0].size());
  p.blocks.assign(1, {begin, end});
  for (int from = end; static_cast<int>(p.blocks.size()) < p.threads && from < limit;
       from = p.blocks.back().second)
    p.blocks.emplace_back(from, std::min(from + (end - begin), limit));
  run_phase(Phase::blocks, s);
  for (std::size_t t = 1; t < p.blocks.size(); ++t)
    ahead_.push_back({&s, p.blocks[t].first, p.blocks[t].second, std::move(p.failures[t])});
  return p.failures[0];
}

}  // namespace velmsim
