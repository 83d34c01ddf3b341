#include "host/velmsim/engine/exports.h"

#include <algorithm>

namespace velmsim {

namespace {

const char* edition_name(unsigned edition) {
  return edition == kStatsEdition ? "statistics" : "threaded sampling";
}

// The export `name` of `library`: required when `edition` is among those
// that have it, else null when the library lacks it.
template <typename F>
F bind(const velm_host::Library& library, const char* name, unsigned has, unsigned edition) {
  const F f = library.find<F>(name);
  if (f == nullptr && (has & edition))
    throw velm_host::LoadError("the library " + library.path() + " lacks the export " + name +
                               ", which the " + edition_name(edition) + " edition has");
  return f;
}

}  // namespace

SamplingExports::SamplingExports(const velm_host::Library& l, unsigned edition)
    : set_seed(bind<decltype(set_seed)>(l, "VELMSETSEED", kBothEditions, edition)),
      get_seed(bind<decltype(get_seed)>(l, "VELMGETSEED", kBothEditions, edition)) {
  for (const Distribution& d : distributions())
    samplers[static_cast<std::size_t>(d.id)] = {
        d.export_name ? bind<AnyExport>(l, d.export_name, d.editions, edition) : nullptr, d.call};
  const Kind& pair = kind(InputKind::pair);
  const Kind& risk = kind(InputKind::risk);
  crnormal = bind<decltype(crnormal)>(l, pair.export_name, pair.editions, edition);
  yesno = bind<decltype(yesno)>(l, risk.export_name, risk.editions, edition);
}

StatisticsExports::StatisticsExports(const velm_host::Library& l)
    : sort(l.get<decltype(sort)>("VELMSORT")),
      qtil(l.get<decltype(qtil)>("VELMQTIL")),
      hist(l.get<decltype(hist)>("VELMHIST")),
      stat(l.get<decltype(stat)>("VELMSTAT")),
      spear(l.get<decltype(spear)>("VELMSPEAR")),
      cnverr(l.get<decltype(cnverr)>("VELMCNVERR")) {}

Editions::Editions(const std::string& stats_path, const std::string& threaded_path, Sampler sampler,
                   int statistics_copies)
    : stats_(stats_path) {
  if (sampler == Sampler::threaded) threaded_ = std::make_unique<velm_host::Library>(threaded_path);
  statistics_.push_back(std::make_unique<StatisticsExports>(stats_));
  const int copies = std::clamp(statistics_copies, 1, kMaxStatisticsCopies);
  while (static_cast<int>(statistics_.size()) < copies) {
    try {
      copies_.push_back(std::make_unique<velm_host::Library>(stats_path, velm_host::Namespace::own));
    } catch (const velm_host::LoadError&) {
      break;  // no namespace left: the copies so far do the work
    }
    statistics_.push_back(std::make_unique<StatisticsExports>(*copies_.back()));
  }
  sampling_ = threaded_ ? std::make_unique<SamplingExports>(*threaded_, kThreadedEdition)
                        : std::make_unique<SamplingExports>(stats_, kStatsEdition);
}

std::vector<const StatisticsExports*> Editions::statistics_copies() const {
  std::vector<const StatisticsExports*> copies;
  for (const auto& s : statistics_) copies.push_back(s.get());
  return copies;
}

const std::string& Editions::sampling_path() const {
  return threaded_ ? threaded_->path() : stats_.path();
}

}  // namespace velmsim
