#include "host/velmsim/engine/samples.h"

namespace velmsim {

void allocate(const Model& model, int limit, Samples& s) {
  const auto n = static_cast<std::size_t>(limit);
  s.columns.assign(model.columns.size(), std::vector<float>(n));
  s.outputs.assign(model.outputs.size(), std::vector<float>(n));
  s.risks.clear();
  for (std::size_t k = 0; k < model.inputs.size(); ++k)
    if (model.inputs[k].kind == InputKind::risk) s.risks.push_back(k);
  s.occurred.assign(s.risks.size(), std::vector<std::uint8_t>(n));
  s.impacts.assign(s.risks.size(), std::vector<float>(n));
}

void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact) {
  for (const Input& in : model.inputs) {
    switch (in.kind) {
      case InputKind::plain: *row++ = x.draw(in.draw); break;
      case InputKind::pair: {
        const Pair& p = in.pair;
        x.crnormal(&p.mean[0], &p.sd[0], &p.mean[1], &p.sd[1], &p.rho, row, row + 1);
        row += 2;
        break;
      }
      case InputKind::risk: {
        const Risk& r = in.risk;
        const bool yes = x.yesno(&r.p) != 0;
        const float size = r.impact ? x.draw(*r.impact) : r.impact_value;
        *row++ = yes ? size : 0.0f;
        *occurred++ = yes ? 1 : 0;
        *impact++ = size;
        break;
      }
    }
  }
}

}  // namespace velmsim
