// Blocks of iterations drawn and evaluated, in one thread or several.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/velmsim/engine/exports.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// An iteration whose output is not a finite number.
struct Failure {
  int iteration = -1, output = -1;
  std::vector<float> row;  // that iteration's column values
  std::string why;         // why, when a function of the formula says (irr); else ""
};

// Draws and evaluates blocks of iterations into `samples`. With more than one
// thread, the threads are started once and kept for every block, each with
// its own stream of the threaded edition and its own formula evaluator; each
// iteration draws from its own substream. With one_stream, the calling
// thread's stream goes on from block to block. In a correlated model, the
// whole block is drawn first, its correlated variables reordered, and then
// the network scheduled and the outputs evaluated, all by one thread: with
// more, each takes one of the blocks that follow, drawn ahead of the calls
// that ask for them.
class BlockDrawer {
 public:
  BlockDrawer(const Plan& plan, const SamplingExports& sampling);
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
  void draw_range(Lane& lane, int begin, int end, Samples& s, Failure& failure, std::uint32_t* keys);
  void evaluate_range(Lane& lane, int begin, int end, Samples& s, Failure& failure);
  bool outputs(Lane& lane, const float* row, int i, Samples& s, Failure& failure);
  void schedule(Lane& lane, std::size_t slot, int i, Samples& s);
  void correlated_block(Lane& lane, int begin, int end, Samples& samples, Failure& failure);
  const Plan& plan_;
  const Model& model_;
  const SamplingExports& sampling_;
  std::vector<std::unique_ptr<Lane>> lanes_;  // one per thread
  std::unique_ptr<Pool> pool_;
  std::vector<std::uint64_t> key_steps_;  // each correlated column's, 16807^(32768 + j)
  std::vector<int> risk_slot_;            // each correlated column's risk, or -1
  std::deque<Ahead> ahead_;
};

}  // namespace velmsim
