#include "host/velmsim/engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <thread>

#include "host/velmsim/formula.h"

namespace velmsim {

SamplingExports::SamplingExports(const velm_host::Library& l)
    : set_seed(l.get<decltype(set_seed)>("VELMSETSEED")),
      get_seed(l.get<decltype(get_seed)>("VELMGETSEED")),
      uniform(l.get<decltype(uniform)>("VELMUNIFORM")),
      normal(l.get<decltype(normal)>("VELMNORMAL")),
      lognormal(l.get<decltype(lognormal)>("VELMLOGNORMAL")),
      triang(l.get<decltype(triang)>("VELMTRIANG")),
      beta(l.get<decltype(beta)>("VELMBETA")),
      geometric(l.get<decltype(geometric)>("VELMGEOMETRIC")),
      crnormal(l.find<decltype(crnormal)>("VELMCRNORMAL")),
      yesno(l.find<decltype(yesno)>("VELMYESNO")) {}

StatisticsExports::StatisticsExports(const velm_host::Library& l)
    : sort(l.get<decltype(sort)>("VELMSORT")),
      qtil(l.get<decltype(qtil)>("VELMQTIL")),
      hist(l.get<decltype(hist)>("VELMHIST")),
      stat(l.get<decltype(stat)>("VELMSTAT")),
      spear(l.get<decltype(spear)>("VELMSPEAR")),
      cnverr(l.get<decltype(cnverr)>("VELMCNVERR")) {}

namespace {

constexpr std::uint64_t kModulus = 2147483647;  // 2^31 - 1: products of residues fit in 62 bits

// a * b mod 2^31 - 1 for residues a and b, without a division: 2^31 is 1
// modulo 2^31 - 1, so the product's high bits fold onto its low bits.
std::uint64_t times(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t p = a * b;
  const std::uint64_t r = (p & kModulus) + (p >> 31);
  return r >= kModulus ? r - kModulus : r;
}

// base^e mod 2^31 - 1, by squaring and multiplying.
std::uint64_t power(std::uint64_t base, std::uint64_t e) {
  std::uint64_t r = 1;
  base %= kModulus;
  for (; e > 0; e >>= 1) {
    if (e & 1) r = r * base % kModulus;
    base = base * base % kModulus;
  }
  return r;
}

}  // namespace

std::int32_t substream_seed(std::int32_t seed, std::int64_t i) {
  static const std::uint64_t stride = power(16807, static_cast<std::uint64_t>(kSubstreamLength));
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(seed) *
                                   power(stride, static_cast<std::uint64_t>(i)) % kModulus);
}

std::int32_t key_seed(std::int32_t seed, std::int64_t i) {
  static const std::uint64_t half = power(16807, static_cast<std::uint64_t>(kKeyOffset));
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(substream_seed(seed, i)) * half %
                                   kModulus);
}

namespace {

float draw_one(const SamplingExports& x, const Draw& d) {
  switch (d.dist) {
    case Dist::uniform: return x.uniform(&d.arg[0], &d.arg[1]);
    case Dist::normal: return x.normal(&d.arg[0], &d.arg[1]);
    case Dist::lognormal: return x.lognormal(&d.arg[0], &d.arg[1]);
    case Dist::triangular: return x.triang(&d.arg[0], &d.arg[1], &d.arg[2]);
    case Dist::beta: {
      const float v = x.beta(&d.arg[0], &d.arg[1]);
      // Mapped onto [min, max] in double and rounded once.
      return d.scaled ? static_cast<float>(d.lo + (d.hi - d.lo) * static_cast<double>(v)) : v;
    }
    case Dist::geometric: return static_cast<float>(x.geometric(&d.arg[0]));
    case Dist::yesno: return static_cast<float>(x.yesno(&d.arg[0]));
    default: return 0.0f;
  }
}

}  // namespace

void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact) {
  for (const Input& in : model.inputs) {
    const Draw& d = in.draw;
    if (d.dist == Dist::normal_pair) {
      x.crnormal(&d.arg[0], &d.arg[1], &d.arg[2], &d.arg[3], &d.arg[4], row, row + 1);
      row += 2;
    } else if (d.dist == Dist::risk) {
      // The impact is drawn whether or not the event occurs, so that every
      // iteration takes its uniforms the same way.
      const bool yes = x.yesno(&d.arg[0]) != 0;
      const float size = in.impact_drawn ? draw_one(x, in.impact) : in.impact_value;
      *row++ = yes ? size : 0.0f;
      *occurred++ = yes ? 1 : 0;
      *impact++ = size;
    } else {
      *row++ = draw_one(x, d);
    }
  }
}

bool constant(const std::vector<float>& x, int n) {
  for (int i = 1; i < n; ++i)
    if (x[static_cast<std::size_t>(i)] != x[0]) return false;
  return true;
}

void allocate(const Model& model, int limit, Samples& s) {
  const auto n = static_cast<std::size_t>(limit);
  s.columns.assign(model.columns.size(), std::vector<float>(n));
  s.outputs.assign(model.outputs.size(), std::vector<float>(n));
  s.risks.clear();
  for (std::size_t k = 0; k < model.inputs.size(); ++k)
    if (model.inputs[k].draw.dist == Dist::risk) s.risks.push_back(k);
  s.occurred.assign(s.risks.size(), std::vector<std::uint8_t>(n));
  s.impacts.assign(s.risks.size(), std::vector<float>(n));
}

namespace {

// Evaluates iteration i's outputs from its column values `row` into the
// samples; on an output that is not finite, records the iteration in
// `failure` and returns false.
bool evaluate(Formulas& f, const float* row, std::size_t columns, int i, Samples& s,
              std::vector<float>& out, Failure& failure) {
  const int bad = f.evaluate(row, out.data());
  const auto u = static_cast<std::size_t>(i);
  for (std::size_t k = 0; k < s.outputs.size(); ++k) s.outputs[k][u] = out[k];
  if (bad < 0) return true;
  failure = {i, bad, std::vector<float>(row, row + columns)};
  return false;
}

// Draws iterations [begin, end) in the calling thread and evaluates their
// outputs unless `keys` is given: a correlated model's are evaluated after
// the reordering, and its shuffle keys are written instead, column j's key of
// iteration i at keys[j (end - begin) + i - begin]: the substream's seed times
// key_steps[j].
void draw_range(const Model& model, const SamplingExports& sampling, bool one_stream,
                std::int32_t seed, Formulas& f, int begin, int end, Samples& s, Failure& failure,
                const std::vector<std::uint64_t>& key_steps, std::uint32_t* keys) {
  const std::size_t nc = model.columns.size(), nr = s.risks.size();
  const auto n = static_cast<std::size_t>(end - begin);
  std::vector<float> row(nc + 1), out(s.outputs.size() + 1), impact(nr + 1);
  std::vector<std::uint8_t> occurred(nr + 1);
  // Seeds of consecutive substreams differ by the factor 16807^65536: one
  // modular product per iteration after the first.
  const std::uint64_t stride = static_cast<std::uint64_t>(substream_seed(1, 1));
  std::uint64_t next = static_cast<std::uint64_t>(substream_seed(seed, begin));
  for (int i = begin; i < end; ++i) {
    const auto substream = static_cast<std::int32_t>(next);
    if (keys)
      for (std::size_t j = 0; j < key_steps.size(); ++j)
        keys[j * n + static_cast<std::size_t>(i - begin)] =
            static_cast<std::uint32_t>(times(next, key_steps[j]));
    next = times(next, stride);
    if (!one_stream) sampling.set_seed(&substream);
    draw_iteration(sampling, model, row.data(), occurred.data(), impact.data());
    const auto u = static_cast<std::size_t>(i);
    for (std::size_t c = 0; c < nc; ++c) s.columns[c][u] = row[c];
    for (std::size_t r = 0; r < nr; ++r) {
      s.occurred[r][u] = occurred[r];
      s.impacts[r][u] = impact[r];
    }
    if (!keys && !evaluate(f, row.data(), nc, i, s, out, failure)) return;
  }
}

// Evaluates the outputs of iterations [begin, end) from their drawn columns.
void evaluate_range(const Model& model, Formulas& f, int begin, int end, Samples& s,
                    Failure& failure) {
  const std::size_t nc = model.columns.size();
  std::vector<float> row(nc + 1), out(s.outputs.size() + 1);
  for (int i = begin; i < end; ++i) {
    for (std::size_t c = 0; c < nc; ++c) row[c] = s.columns[c][static_cast<std::size_t>(i)];
    if (!evaluate(f, row.data(), nc, i, s, out, failure)) return;
  }
}

}  // namespace

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

}  // namespace

// One thread's own evaluator and, in a correlated model, its reordering of
// a block and the block's shuffle keys.
struct BlockDrawer::Lane {
  explicit Lane(const Model& model) : formulas(model) {}
  Formulas formulas;
  std::optional<RankReorder> reorder;
  RankReorder::Order order;
  std::vector<std::uint32_t> keys;  // [correlated column][iteration of the block]
  std::vector<float> values;        // a risk's impacts before the reordering
  std::vector<std::uint8_t> flags;  // and its occurrences
};

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
  draw_range(model_, sampling_, one_stream_, seed_, lanes_[k]->formulas, from, to, *p.samples,
             p.failures[k], key_steps_, nullptr);
}

BlockDrawer::BlockDrawer(const Model& model, const SamplingExports& sampling, int threads,
                         bool one_stream, std::int32_t seed)
    : model_(model), sampling_(sampling), one_stream_(one_stream), seed_(seed) {
  threads = one_stream ? 1 : std::max(1, threads);
  for (int t = 0; t < threads; ++t) lanes_.push_back(std::make_unique<Lane>(model));
  if (!model.correlation.empty()) {
    const RankReorder reorder(model.correlation.target);
    for (auto& lane : lanes_) lane->reorder = reorder;
    // The keys that shuffle column j's scores are the generator's states
    // 32768 + j steps into each iteration's substream, computed exactly (what
    // VELMGETSEED would read there): the same whatever the threads, and
    // different from one another over the whole period.
    std::uint64_t step = static_cast<std::uint64_t>(key_seed(1, 0));
    for (std::size_t c : model.correlation.columns) {
      key_steps_.push_back(step);
      step = times(step, 16807);
      const std::size_t input = model.columns[c].input;
      int slot = -1;
      for (std::size_t r = 0, risk = 0; r < model.inputs.size(); ++r) {
        if (model.inputs[r].draw.dist != Dist::risk) continue;
        if (r == input) slot = static_cast<int>(risk);
        ++risk;
      }
      risk_slot_.push_back(slot);
    }
  }
  if (one_stream) sampling.set_seed(&seed);
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
// prepared; each correlated column's values handed out in the ranks of its
// transformed scores, a risk's occurrence and impact going with its value;
// then its outputs evaluated.
void BlockDrawer::correlated_block(Lane& lane, int begin, int end, Samples& s, Failure& failure) {
  const auto b = static_cast<std::size_t>(begin), n = static_cast<std::size_t>(end - begin);
  const std::vector<std::size_t>& columns = model_.correlation.columns;
  lane.keys.resize(n * columns.size());
  draw_range(model_, sampling_, one_stream_, seed_, lane.formulas, begin, end, s, failure,
             key_steps_, lane.keys.data());
  std::vector<const std::uint32_t*> keys;
  for (std::size_t j = 0; j < columns.size(); ++j) keys.push_back(lane.keys.data() + j * n);
  lane.reorder->prepare(n, keys);
  const RankReorder::Order& order = lane.order;
  auto permute = [&](auto& x, auto& drawn) {
    drawn.assign(x.begin() + static_cast<long>(b), x.begin() + static_cast<long>(b + n));
    for (std::size_t r = 0; r < n; ++r) x[b + order.target[r]] = drawn[order.source[r]];
  };
  for (std::size_t j = 0; j < columns.size(); ++j) {
    float* x = s.columns[columns[j]].data() + b;
    lane.reorder->order(j, x, lane.order);
    for (std::size_t r = 0; r < n; ++r) x[order.target[r]] = order.sorted[r];
    if (risk_slot_[j] < 0) continue;
    permute(s.occurred[static_cast<std::size_t>(risk_slot_[j])], lane.flags);
    permute(s.impacts[static_cast<std::size_t>(risk_slot_[j])], lane.values);
  }
  evaluate_range(model_, lane.formulas, begin, end, s, failure);
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
  const auto limit = static_cast<int>(s.columns[model_.correlation.columns[0]].size());
  p.blocks.assign(1, {begin, end});
  for (int from = end; static_cast<int>(p.blocks.size()) < p.threads && from < limit;
       from = p.blocks.back().second)
    p.blocks.emplace_back(from, std::min(from + (end - begin), limit));
  run_phase(Phase::blocks, s);
  for (std::size_t t = 1; t < p.blocks.size(); ++t)
    ahead_.push_back({&s, p.blocks[t].first, p.blocks[t].second, std::move(p.failures[t])});
  return p.failures[0];
}

RunResult run_model(const Model& model, const SamplingExports& sampling,
                    const StatisticsExports& statistics, const RunOptions& o,
                    const std::function<void(const Checkpoint&)>& progress) {
  RunResult result;
  Samples& s = result.samples;
  allocate(model, o.limit, s);
  BlockDrawer drawer(model, sampling, o.threads, o.one_stream, o.seed);

  int n = 0;
  while (n < o.limit) {
    const int m = std::min(o.block, o.limit - n);
    const Failure failure = drawer.draw(n, n + m, s);
    if (failure.iteration >= 0) {
      result.bad_iteration = failure.iteration;
      result.bad_output = failure.output;
      result.bad_row = failure.row;
    }
    if (result.bad_iteration >= 0) return result;
    n += m;
    s.n = n;

    Checkpoint c;
    c.n = n;
    bool all_below = true;
    const auto n16 = static_cast<std::int16_t>(n), m16 = static_cast<std::int16_t>(m);
    for (std::size_t k = 0; k < model.outputs.size(); ++k) {
      const std::vector<float>& y = s.outputs[k];
      const bool flat = constant(y, n);
      float error = std::numeric_limits<float>::quiet_NaN();
      if (n >= 2 * o.block) error = flat ? 0.0f : statistics.cnverr(&m16, &n16, y.data());
      if (!(error < o.tolerance)) all_below = false;
      float mean = y[0];
      if (!flat) {
        float stat[15] = {};
        const std::int16_t one = 1;
        statistics.stat(&n16, &one, y.data(), &n16, stat);
        mean = stat[0];
      }
      const float p = 0.8f;
      const std::int16_t count = 1;
      float p80 = 0.0f;
      statistics.qtil(&n16, y.data(), &count, &p, &p80);
      c.error.push_back(error);
      c.mean.push_back(mean);
      c.p80.push_back(p80);
    }
    result.trace.push_back(c);
    if (progress) progress(c);
    if (all_below) {
      result.converged = true;
      break;
    }
  }
  return result;
}

}  // namespace velmsim
