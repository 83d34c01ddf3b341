// The samples of a run, and the draw of one iteration: every input once in
// file order, one export call each.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "host/velmsim/engine/exports.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/network.h"

namespace velmsim {

// A task network's iterations: what was drawn and the schedule it gave.
// [task][iteration] and [risk][iteration].
struct NetworkSamples {
  std::vector<std::vector<float>> drawn;       // each task's duration as drawn
  std::vector<std::vector<std::uint8_t>> exists;
  std::vector<std::vector<float>> duration;    // as used: at least 0, after risks, 0 when absent
  std::vector<std::vector<float>> start, finish;  // working days from the start
  std::vector<std::vector<std::uint8_t>> critical, clamped;  // clamped: drawn below 0
  std::vector<std::vector<std::uint8_t>> occurred;
  // Each risk's impacts as drawn every iteration (whether or not it
  // occurred); empty for an impact the risk does not have.
  std::vector<std::vector<float>> delay, factor, cost;
};

struct Samples {
  int n = 0;                                // iterations drawn
  std::vector<std::vector<float>> columns;  // [column][iteration]
  std::vector<std::vector<float>> outputs;  // [output][iteration]
  std::vector<std::size_t> risks;           // input index of each risk
  std::vector<std::vector<std::uint8_t>> occurred;  // [risk][iteration]
  std::vector<std::vector<float>> impacts;          // [risk][iteration]
  std::vector<std::vector<std::uint32_t>> redraws;  // [truncated draw][iteration]
  NetworkSamples network;
};

// Sizes the sample arrays for `limit` iterations of the model.
void allocate(const Model& model, int limit, Samples& samples);

// Draws one iteration's inputs in file order into `row` (one value per
// column); a risk's occurrence and impact go to occurred/impact (one slot per
// risk input), a truncated draw's redraws to redraws[its slot]. A risk's
// impact is drawn whether or not the event occurs, so that every iteration
// takes its uniforms the same way.
void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact, std::uint32_t* redraws);

// One iteration's task-network draws: [task] and [risk] (an impact the risk
// does not have stays 0).
struct NetworkDraws {
  std::vector<float> drawn;
  std::vector<std::uint8_t> exists, occurred;
  std::vector<float> delay, factor, cost;
  explicit NetworkDraws(const TaskNetwork& net = {});
};

// Draws an iteration of the model's task network, after its inputs: for each
// task in file order whether it exists (when it has a p) and its duration,
// then for each risk whether it occurs and its impacts (drawn whether or not
// it occurs, so that every iteration takes its uniforms the same way).
void draw_network(const SamplingExports& x, const Model& model, NetworkDraws& d,
                  std::uint32_t* redraws);

// Iterations [first, first + rows) of the draws as the samples hold them,
// into d[0, rows). Read a run of iterations at a time, task by task, so that
// reading stays on few pages.
void gather_network(const NetworkSamples& s, std::size_t first, std::size_t rows,
                    std::vector<NetworkDraws>& d);

// The schedule of one iteration from its draws, with risk `without` (when
// given) not applied: the durations as used in w.d (at least 0, after the
// risks, 0 for a task that does not exist), the passes' times in w.times;
// returns the finish and the cost, in double.
struct NetworkScratch {
  std::vector<double> d;
  Network::Times times;
};
std::pair<double, double> schedule_of(const Model& model, const Network& network,
                                      const NetworkDraws& draws, NetworkScratch& w,
                                      std::optional<std::size_t> without = std::nullopt);

// Stores iterations [first, first + rows) into the samples: their draws d[r],
// and then the schedules w[r] made from the draws the samples hold (which
// rank correlation may have reordered in between), task by task (a row at a
// time would put nearly every store on a page of its own).
void store_draws(const Model& model, const std::vector<NetworkDraws>& d, std::size_t first,
                 std::size_t rows, NetworkSamples& s);
void store_schedules(const Model& model, const std::vector<NetworkScratch>& w, std::size_t first,
                     std::size_t rows, NetworkSamples& s);

}  // namespace velmsim
