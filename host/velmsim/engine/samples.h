// The samples of a run, and the draw of one iteration: every input once in
// file order, one export call each.
#pragma once

#include <cstdint>
#include <vector>

#include "host/velmsim/engine/exports.h"
#include "host/velmsim/model/model.h"

namespace velmsim {

struct Samples {
  int n = 0;                                // iterations drawn
  std::vector<std::vector<float>> columns;  // [column][iteration]
  std::vector<std::vector<float>> outputs;  // [output][iteration]
  std::vector<std::size_t> risks;           // input index of each risk
  std::vector<std::vector<std::uint8_t>> occurred;  // [risk][iteration]
  std::vector<std::vector<float>> impacts;          // [risk][iteration]
};

// Sizes the sample arrays for `limit` iterations of the model.
void allocate(const Model& model, int limit, Samples& samples);

// Draws one iteration's inputs in file order into `row` (one value per
// column); a risk's occurrence and impact go to occurred/impact (one slot per
// risk input). A risk's impact is drawn whether or not the event occurs, so
// that every iteration takes its uniforms the same way.
void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact);

}  // namespace velmsim
