// Sampling plan and run: every iteration draws every input once in file
// order with one export call each, from its own substream of the generator,
// so that the samples do not depend on how iterations are spread over threads.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "host/loader.h"
#include "host/velmsim/model.h"

namespace velmsim {

// The sampler exports of one edition. The statistics edition lacks the
// correlated pair and yes/no samplers (null here).
struct SamplingExports {
  explicit SamplingExports(const velm_host::Library& library);
  decltype(&VELMSETSEED) set_seed;
  decltype(&VELMGETSEED) get_seed;
  decltype(&VELMUNIFORM) uniform;
  decltype(&VELMNORMAL) normal;
  decltype(&VELMLOGNORMAL) lognormal;
  decltype(&VELMTRIANG) triang;
  decltype(&VELMBETA) beta;
  decltype(&VELMGEOMETRIC) geometric;
  decltype(&VELMCRNORMAL) crnormal;
  decltype(&VELMYESNO) yesno;
};

// The statistics exports of the statistics edition.
struct StatisticsExports {
  explicit StatisticsExports(const velm_host::Library& library);
  decltype(&VELMSORT) sort;
  decltype(&VELMQTIL) qtil;
  decltype(&VELMHIST) hist;
  decltype(&VELMSTAT) stat;
  decltype(&VELMSPEAR) spear;
  decltype(&VELMCNVERR) cnverr;
};

// Uniforms an iteration may take before its substream runs into the next.
constexpr std::int64_t kSubstreamLength = 65536;

// The rank scores of a correlated model are shuffled by the generator's
// states in the second half of each iteration's substream, so the
// iteration's own draws may take at most this many uniforms.
constexpr std::int64_t kKeyOffset = 32768;

// The seed of iteration i's substream: seed * 16807^(65536 i) mod (2^31 - 1),
// the state the generator (x -> 16807 x mod 2^31 - 1) reaches from `seed`
// after 65536 i uniforms. Exact in 64-bit integers.
std::int32_t substream_seed(std::int32_t seed, std::int64_t i);

// The first state of iteration i's keys: seed * 16807^(65536 i + 32768)
// mod (2^31 - 1). The key of its j-th correlated column is the state j steps
// on, that times 16807^j.
std::int32_t key_seed(std::int32_t seed, std::int64_t i);

// Draws one iteration's inputs in file order into `row` (one value per
// column); a risk's occurrence and impact go to occurred/impact (one slot per
// risk input).
void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact);

struct Samples {
  int n = 0;
  std::vector<std::vector<float>> columns;  // [column][iteration]
  std::vector<std::vector<float>> outputs;  // [output][iteration]
  std::vector<std::size_t> risks;           // input index of each risk
  std::vector<std::vector<std::uint8_t>> occurred;  // [risk][iteration]
  std::vector<std::vector<float>> impacts;          // [risk][iteration]
};

// Sizes the sample arrays for `limit` iterations of the model.
void allocate(const Model& model, int limit, Samples& samples);

class Formulas;

// An iteration whose output is not a finite number.
struct Failure {
  int iteration = -1, output = -1;
  std::vector<float> row;  // that iteration's column values
};

// Draws and evaluates blocks of iterations into `samples`. With more than one
// thread, the threads are started once and kept for every block, each with
// its own stream of the threaded edition and its own formula evaluator; each
// iteration draws from its own substream. With one_stream, the calling
// thread's stream goes on from block to block. In a correlated model, the
// whole block is drawn first, its correlated columns reordered, and then the
// outputs evaluated, all by one thread: with more, each takes one of the
// blocks that follow, drawn ahead of the calls that ask for them.
class BlockDrawer {
 public:
  BlockDrawer(const Model& model, const SamplingExports& sampling, int threads, bool one_stream,
              std::int32_t seed);
  ~BlockDrawer();
  BlockDrawer(const BlockDrawer&) = delete;
  BlockDrawer& operator=(const BlockDrawer&) = delete;

  // Iterations [begin, end). Returns the earliest iteration with an output
  // that is not finite, if any; iterations after it may be left undrawn.
  Failure draw(int begin, int end, Samples& samples);

 private:
  struct Lane;
  struct Pool;
  enum class Phase { draw, blocks };
  // A block drawn ahead, and its result.
  struct Ahead {
    const Samples* samples;
    int begin, end;
    Failure failure;
  };
  void run_share(int t);
  void run_phase(Phase phase, Samples& samples);
  void correlated_block(Lane& lane, int begin, int end, Samples& samples, Failure& failure);
  const Model& model_;
  const SamplingExports& sampling_;
  bool one_stream_;
  std::int32_t seed_;
  std::vector<std::unique_ptr<Lane>> lanes_;  // one per thread
  std::unique_ptr<Pool> pool_;
  std::vector<std::uint64_t> key_steps_;  // each correlated column's, 16807^(32768 + j)
  std::vector<int> risk_slot_;            // each correlated column's risk, or -1
  std::deque<Ahead> ahead_;
};

// The state after a block: every output's convergence error (NaN before
// there are two blocks), mean and 80th percentile.
struct Checkpoint {
  int n = 0;
  std::vector<float> error, mean, p80;
};

struct RunOptions {
  int limit = 10000;
  int block = 500;
  int threads = 1;
  bool one_stream = false;
  std::int32_t seed = 12345;
  double tolerance = 0.01;
};

struct RunResult {
  Samples samples;
  std::vector<Checkpoint> trace;
  bool converged = false;
  int bad_iteration = -1;  // the first iteration with an output that is not finite
  int bad_output = -1;
  std::vector<float> bad_row;  // that iteration's column values
};

RunResult run_model(const Model& model, const SamplingExports& sampling,
                    const StatisticsExports& statistics, const RunOptions& options,
                    const std::function<void(const Checkpoint&)>& progress);

// True when every value of x is the same (the library's summaries warn about
// such data, so the host handles it itself).
bool constant(const std::vector<float>& x, int n);

}  // namespace velmsim
