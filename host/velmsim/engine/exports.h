// The exports velmsim calls, found by name in the editions it loads: the
// sampling exports of the edition that samples (each distribution's by the
// distribution table) and the statistics exports of the statistics edition.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/loader/library.h"
#include "host/velmsim/model/distributions.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

struct SamplingExports {
  // Binds the sampling exports of `library`, which must have every export
  // that `edition` (kStatsEdition or kThreadedEdition) has; a LoadError
  // names the first it lacks.
  SamplingExports(const velm_host::Library& library, unsigned edition);

  decltype(&VELMSETSEED) set_seed;
  decltype(&VELMGETSEED) get_seed;
  decltype(&VELMCRNORMAL) crnormal = nullptr;  // a normal_pair; null in the statistics edition
  decltype(&VELMYESNO) yesno = nullptr;        // a risk's occurrence; likewise

  // Each distribution's export and how it is called; a null export where
  // the edition lacks it.
  using AnyExport = void (*)();
  struct Sampler {
    AnyExport export_ = nullptr;
    Call call = Call::two_reals;
  };
  std::array<Sampler, kDistributionCount> samplers;

  // One variate of `d`: its export's value, mapped onto [lo, hi] when the
  // draw is scaled, looked up in its table when it has one. A truncated
  // draw is redrawn until the value lies in its range, and its redraws are
  // written to redraws[d.redraw_slot].
  float draw(const Draw& d, std::uint32_t* redraws) const {
    if (!d.truncate) return once(d);
    const auto [lo, hi] = *d.truncate;
    float v = once(d);
    std::uint32_t k = 0;
    for (; !(v >= lo && v <= hi) && k < kMaxRedraws; ++k) v = once(d);
    redraws[d.redraw_slot] = k;
    return static_cast<float>(std::clamp(static_cast<double>(v), lo, hi));
  }

 private:
  float once(const Draw& d) const {
    const Sampler& s = samplers[static_cast<std::size_t>(d.dist)];
    float v = 0.0f;
    switch (s.call) {
      case Call::two_reals: v = reinterpret_cast<decltype(&VELMUNIFORM)>(s.export_)(&d.arg[0], &d.arg[1]); break;
      case Call::three_reals:
        v = reinterpret_cast<decltype(&VELMTRIANG)>(s.export_)(&d.arg[0], &d.arg[1], &d.arg[2]);
        break;
      case Call::count: v = static_cast<float>(reinterpret_cast<decltype(&VELMGEOMETRIC)>(s.export_)(&d.arg[0])); break;
      case Call::none: v = d.arg[0]; break;
      case Call::inverse: {
        static constexpr float zero = 0.0f, one = 1.0f;
        const float u = reinterpret_cast<decltype(&VELMUNIFORM)>(s.export_)(&zero, &one);
        return table_value(*d.table, d.dist, u);
      }
    }
    return d.scaled ? static_cast<float>(d.lo + (d.hi - d.lo) * static_cast<double>(v)) : v;
  }
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

// The most copies of the statistics edition a run loads: the first, and one
// in each namespace glibc's loader can give besides it.
inline constexpr int kMaxStatisticsCopies = 16;

// The editions a run loads: the statistics edition always, the threaded
// edition unless the statistics edition samples. Either fails with a
// LoadError.
//
// The statistics edition keeps static state and may be called from one
// thread at a time. To summarise in several threads, a run asks for more
// copies of it (up to kMaxStatisticsCopies): each further copy is loaded in
// a namespace of its own, and may be called in a thread of its own. When the
// system gives no more namespaces, the copies loaded so far are used.
class Editions {
 public:
  Editions(const std::string& stats_path, const std::string& threaded_path, Sampler sampler,
           int statistics_copies = 1);

  const SamplingExports& sampling() const { return *sampling_; }
  const StatisticsExports& statistics() const { return *statistics_.front(); }
  // Every copy of the statistics edition loaded, the first first.
  std::vector<const StatisticsExports*> statistics_copies() const;
  const std::string& sampling_path() const;
  const std::string& statistics_path() const { return stats_.path(); }
  // "threaded sampling" or "statistics"
  const char* sampling_edition() const { return threaded_ ? "threaded sampling" : "statistics"; }

 private:
  velm_host::Library stats_;
  std::unique_ptr<velm_host::Library> threaded_;
  std::unique_ptr<SamplingExports> sampling_;
  std::vector<std::unique_ptr<velm_host::Library>> copies_;
  std::vector<std::unique_ptr<StatisticsExports>> statistics_;
};

}  // namespace velmsim
