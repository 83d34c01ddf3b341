// The samples of a run as a table of named columns, one value per
// iteration: every input column, each task's duration, start, finish and
// whether it was critical (and existed, when it may not), each network
// risk's occurrence and drawn impacts, then every output. The CSV report and
// the C API's columns are this table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/velmsim/engine/samples.h"
#include "host/velmsim/model/model.h"

namespace velmsim {

struct SampleColumn {
  std::string name;
  const float* values = nullptr;       // or
  const std::uint8_t* flags = nullptr;  // 0 or 1
  float at(std::size_t i) const { return values ? values[i] : static_cast<float>(flags[i]); }
};

std::vector<SampleColumn> sample_table(const Model& model, const Samples& samples);

}  // namespace velmsim
