// velmsim: a Monte-Carlo host built on velmprob. It loads the library at run
// time by path, finds the exports by their undecorated names and calls them one
// variate at a time, as a simulation application does.
//
// The embedded model is the cost of a small building project whose inputs use
// every sampler of the statistics edition. Iterations run in blocks until the
// convergence error of the cost falls below the tolerance or the iteration
// limit is reached; the report shows the fifteen statistics, percentiles, a
// histogram, the rank correlation of each input with the cost (a tornado
// chart) and the convergence trace.
#include <algorithm>
#include <barrier>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include "export/velmprob.h"

namespace {

[[noreturn]] void fail(const std::string& text) {
  std::fprintf(stderr, "velmsim: %s\n", text.c_str());
  std::exit(2);
}

// A loaded edition and the exports this host uses from it.
class Library {
 public:
  explicit Library(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) fail("cannot load the library " + path + ": " + dlerror());
  }
  template <typename F>
  F get(const char* name) const {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) fail("the library " + path_ + " lacks the export " + name);
    return reinterpret_cast<F>(symbol);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
};

#define VELM_EXPORT_FIELD(field, name) decltype(&::name) field = library.get<decltype(&::name)>(#name)

// The samplers, from either edition.
struct Samplers {
  explicit Samplers(const Library& lib) : library(lib) {}
  const Library& library;
  VELM_EXPORT_FIELD(set_seed, VELMSETSEED);
  VELM_EXPORT_FIELD(get_seed, VELMGETSEED);
  VELM_EXPORT_FIELD(uniform, VELMUNIFORM);
  VELM_EXPORT_FIELD(normal, VELMNORMAL);
  VELM_EXPORT_FIELD(lognormal, VELMLOGNORMAL);
  VELM_EXPORT_FIELD(triang, VELMTRIANG);
  VELM_EXPORT_FIELD(beta, VELMBETA);
  VELM_EXPORT_FIELD(geometric, VELMGEOMETRIC);
};

// The statistics functions of the statistics edition.
struct Statistics {
  explicit Statistics(const Library& lib) : library(lib) {}
  const Library& library;
  VELM_EXPORT_FIELD(sort, VELMSORT);
  VELM_EXPORT_FIELD(qtil, VELMQTIL);
  VELM_EXPORT_FIELD(hist, VELMHIST);
  VELM_EXPORT_FIELD(stat, VELMSTAT);
  VELM_EXPORT_FIELD(spear, VELMSPEAR);
  VELM_EXPORT_FIELD(cnverr, VELMCNVERR);
};

// ---- The model -------------------------------------------------------------

constexpr int kInputs = 6;
const char* const kInputNames[kInputs] = {"Labour hours",     "Hourly rate",      "Materials",
                                          "Overrun fraction", "Permits and fees", "Change orders"};
constexpr float kCostPerChangeOrder = 1500.0f;

// Draws one iteration's inputs, in a fixed order, and returns the cost.
float draw_iteration(const Samplers& s, float* inputs) {
  const float hours_low = 800, hours_mode = 1000, hours_high = 1500;
  const float rate_mean = 85, rate_sd = 10;
  const float materials_mean = 40000, materials_sd = 8000;
  const float overrun_p = 2, overrun_q = 8;
  const float permits_low = 2000, permits_high = 6000;
  const float change_p = 0.3f;
  inputs[0] = s.triang(&hours_low, &hours_mode, &hours_high);
  inputs[1] = s.normal(&rate_mean, &rate_sd);
  inputs[2] = s.lognormal(&materials_mean, &materials_sd);
  inputs[3] = s.beta(&overrun_p, &overrun_q);
  inputs[4] = s.uniform(&permits_low, &permits_high);
  inputs[5] = static_cast<float>(s.geometric(&change_p));
  return inputs[0] * inputs[1] + inputs[2] * (1.0f + inputs[3]) + inputs[4] +
         kCostPerChangeOrder * (inputs[5] - 1.0f);
}

// ---- Options -----------------------------------------------------------------

struct Options {
  std::string library = VELM_DEFAULT_LIBRARY;
  std::string threaded_library = VELM_THREADED_LIBRARY;
  long seed = 20261208;
  long iterations = 20000;
  long block = 500;
  long threads = 0;  // 0: sample with the statistics edition in this thread
  long classes = 12;
  double tolerance = 0.01;
  std::string csv;
};

void usage() {
  std::printf(
      "usage: velmsim [options]\n"
      "Runs the embedded project-cost model until it converges and prints its report.\n"
      "  --library PATH           statistics edition to load (default: this build's)\n"
      "  --threaded-library PATH  threaded sampling edition for --threads\n"
      "  --threads N              sample with N threads of the threaded edition\n"
      "  --seed N                 base seed, 1..2147483646, or 0 for a clock seed\n"
      "                           (default 20261208)\n"
      "  --iterations N           iteration limit, at most 32767 (default 20000)\n"
      "  --block N                iterations between convergence checks (default 500)\n"
      "  --tolerance X            stop when the convergence error is below X (default 0.01)\n"
      "  --classes N              histogram classes between the 1st and 99th percentile\n"
      "                           (default 12)\n"
      "  --csv FILE               write every iteration's inputs and cost to FILE\n");
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) fail(arg + " needs a value (try --help)");
      return argv[++i];
    };
    auto whole = [&](long lo, long hi) {
      const std::string text = value();
      char* end = nullptr;
      const long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < lo || n > hi)
        fail(arg + " wants a whole number from " + std::to_string(lo) + " to " +
             std::to_string(hi) + ", not '" + text + "'");
      return n;
    };
    if (arg == "--library") {
      o.library = value();
    } else if (arg == "--threaded-library") {
      o.threaded_library = value();
    } else if (arg == "--threads") {
      o.threads = whole(1, 64);
    } else if (arg == "--seed") {
      o.seed = whole(0, 2147483646);
    } else if (arg == "--iterations") {
      o.iterations = whole(2, 32767);
    } else if (arg == "--block") {
      o.block = whole(1, 32767);
    } else if (arg == "--classes") {
      o.classes = whole(1, 200);
    } else if (arg == "--tolerance") {
      const std::string text = value();
      char* end = nullptr;
      o.tolerance = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(o.tolerance > 0))
        fail("--tolerance wants a positive number, not '" + text + "'");
    } else if (arg == "--csv") {
      o.csv = value();
    } else if (arg == "--help" || arg == "-h") {
      usage();
      std::exit(0);
    } else {
      fail("unknown option " + arg + " (try --help)");
    }
  }
  return o;
}

// ---- Sampling ----------------------------------------------------------------

// The simulated inputs (column per input) and costs, iteration by iteration.
struct Run {
  std::vector<float> inputs[kInputs];
  std::vector<float> cost;
  void resize(std::size_t n) {
    for (auto& column : inputs) column.resize(n);
    cost.resize(n);
  }
  void draw(const Samplers& s, std::size_t i) {
    float row[kInputs];
    cost[i] = draw_iteration(s, row);
    for (int k = 0; k < kInputs; ++k) inputs[k][i] = row[k];
  }
};

// The seed of stream t of a threaded run: the base seed moved along by t
// steps of a large stride, kept in 1..2147483646.
std::int32_t thread_seed(std::int32_t base, long t) {
  const std::int64_t span = 2147483646;
  return static_cast<std::int32_t>(1 + (base - 1 + t * 104729LL) % span);
}

// Threads that each own one stream of the threaded edition for the whole run.
// Iteration i of every block is drawn by thread i mod T, so a run with the
// same seed and thread count repeats exactly.
class ThreadPool {
 public:
  ThreadPool(const Samplers& samplers, long count, std::int32_t base_seed, Run& run)
      : sync_(count + 1) {
    for (long t = 0; t < count; ++t) {
      workers_.emplace_back([this, &samplers, t, count, base_seed, &run] {
        const std::int32_t seed = thread_seed(base_seed, t);
        samplers.set_seed(&seed);
        for (;;) {
          sync_.arrive_and_wait();
          if (stop_) return;
          for (std::size_t i = begin_ + static_cast<std::size_t>(t); i < end_;
               i += static_cast<std::size_t>(count))
            run.draw(samplers, i);
          sync_.arrive_and_wait();
        }
      });
    }
  }
  void draw(std::size_t begin, std::size_t end) {
    begin_ = begin;
    end_ = end;
    sync_.arrive_and_wait();
    sync_.arrive_and_wait();
  }
  ~ThreadPool() {
    stop_ = true;
    sync_.arrive_and_wait();
    for (auto& worker : workers_) worker.join();
  }

 private:
  std::barrier<> sync_;
  std::vector<std::thread> workers_;
  std::size_t begin_ = 0, end_ = 0;
  bool stop_ = false;
};

// ---- Report ------------------------------------------------------------------

const char* const kStatLabels[15] = {"Mean",      "Variance",  "Std. Dev.", "Skewness",
                                     "Kurtosis",  "Minimum",   "Maximum",   "Range",
                                     "Coef. Var.", "Count",    "Lower CLM", "Upper CLM",
                                     "Lower CLV", "Upper CLV", "Sum Wts"};

std::string bar(double fraction, int width, char c = '#') {
  const int n = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * width));
  return std::string(static_cast<std::size_t>(n), c);
}

void report_statistics(const Statistics& st, const std::vector<float>& cost, float* stat) {
  const auto n = static_cast<std::int16_t>(cost.size());
  const std::int16_t one = 1;
  stat[14] = 0.0f;  // the sum of weights is not computed without weights
  st.stat(&n, &one, cost.data(), &n, stat);
  std::printf("\nStatistics of the project cost\n");
  for (int r = 0; r < 14; ++r)
    std::printf("  %-12s %16.6g\n", kStatLabels[r], static_cast<double>(stat[r]));
}

void report_percentiles(const Statistics& st, const std::vector<float>& cost, float& p01,
                        float& p99) {
  const float proportions[] = {0.01f, 0.05f, 0.10f, 0.25f, 0.50f, 0.75f, 0.90f, 0.95f, 0.99f};
  constexpr std::int16_t count = 9;
  float q[count];
  const auto n = static_cast<std::int16_t>(cost.size());
  st.qtil(&n, cost.data(), &count, proportions, q);
  std::printf("\nPercentiles of the project cost\n");
  for (int i = 0; i < count; ++i)
    std::printf("  %3.0f%%  %16.6g\n", 100.0 * proportions[i], static_cast<double>(q[i]));
  p01 = q[0];
  p99 = q[count - 1];
}

void report_histogram(const Statistics& st, const std::vector<float>& cost, float low, float high,
                      long classes) {
  const auto n = static_cast<std::int16_t>(cost.size());
  const auto k = static_cast<std::int16_t>(classes + 2);
  std::vector<float> marks(static_cast<std::size_t>(k)), tally(static_cast<std::size_t>(k));
  st.hist(&n, cost.data(), &low, &high, &k, marks.data(), tally.data());
  const float largest = *std::max_element(tally.begin(), tally.end());
  const double width = (static_cast<double>(high) - low) / static_cast<double>(classes);
  std::printf("\nHistogram of the project cost (%ld classes between the 1st and 99th percentile)\n",
              classes);
  for (int i = 0; i < k; ++i) {
    char range[64];
    if (i == 0) {
      std::snprintf(range, sizeof range, "%11s %-14.6g", "up to", static_cast<double>(low));
    } else if (i == k - 1) {
      std::snprintf(range, sizeof range, "%11s %-14.6g", "above", static_cast<double>(high));
    } else {
      const double from = low + (i - 1) * width;
      std::snprintf(range, sizeof range, "%11.6g to %-11.6g", from, from + width);
    }
    std::printf("  %s %6.0f %s\n", range, static_cast<double>(tally[static_cast<std::size_t>(i)]),
                bar(largest > 0 ? tally[static_cast<std::size_t>(i)] / largest : 0.0, 40).c_str());
  }
}

void report_tornado(const Statistics& st, const Run& run) {
  const auto n = static_cast<std::int16_t>(run.cost.size());
  float rho[kInputs];
  for (int k = 0; k < kInputs; ++k) rho[k] = st.spear(&n, run.inputs[k].data(), run.cost.data());
  // VELMSORT orders by absolute value with the permutation; the chart shows
  // the strongest first.
  const std::int16_t count = kInputs;
  float sorted[kInputs];
  std::int16_t perm[kInputs];
  st.sort(&count, rho, sorted, perm);
  std::printf("\nRank correlation of each input with the cost (Spearman)\n");
  for (int i = kInputs - 1; i >= 0; --i) {
    const double r = sorted[i];
    const std::string left = r < 0 ? bar(-r, 20, '=') : "";
    const std::string right = r > 0 ? bar(r, 20, '=') : "";
    std::printf("  %-18s %+7.3f %20s|%-20s\n", kInputNames[perm[i] - 1], r, left.c_str(),
                right.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  const Library stats_library(o.library);
  const Statistics statistics(stats_library);
  const Samplers stats_samplers(stats_library);

  // The base seed: installed as given, or read back after a clock seed.
  std::int32_t base = static_cast<std::int32_t>(o.seed);
  stats_samplers.set_seed(&base);
  if (o.seed == 0) base = stats_samplers.get_seed();

  std::FILE* csv = nullptr;
  if (!o.csv.empty()) {
    csv = std::fopen(o.csv.c_str(), "w");
    if (csv == nullptr) fail("cannot write " + o.csv + ": " + std::strerror(errno));
  }

  Run run;
  std::vector<std::pair<long, float>> trace;
  const std::unique_ptr<Library> threaded_library =
      o.threads > 0 ? std::make_unique<Library>(o.threaded_library) : nullptr;
  const std::unique_ptr<Samplers> threaded_samplers =
      threaded_library ? std::make_unique<Samplers>(*threaded_library) : nullptr;
  std::unique_ptr<ThreadPool> pool =
      threaded_samplers ? std::make_unique<ThreadPool>(*threaded_samplers, o.threads, base, run)
                        : nullptr;

  const bool progress = isatty(fileno(stderr)) != 0;
  long n = 0;
  bool converged = false;
  float error = NAN;
  while (n < o.iterations && !converged) {
    const long block = std::min(o.block, o.iterations - n);
    run.resize(static_cast<std::size_t>(n + block));
    if (pool) {
      pool->draw(static_cast<std::size_t>(n), static_cast<std::size_t>(n + block));
    } else {
      for (long i = n; i < n + block; ++i) run.draw(stats_samplers, static_cast<std::size_t>(i));
    }
    n += block;
    if (n >= 2 * block) {
      const auto m16 = static_cast<std::int16_t>(block);
      const auto n16 = static_cast<std::int16_t>(n);
      error = statistics.cnverr(&m16, &n16, run.cost.data());
      trace.emplace_back(n, error);
      converged = error < o.tolerance;
    }
    if (progress)
      std::fprintf(stderr, "\rvelmsim: %ld iterations, convergence error %.4g   ", n,
                   static_cast<double>(error));
  }
  pool.reset();
  if (progress) std::fprintf(stderr, "\r%60s\r", "");

  if (csv != nullptr) {
    std::fprintf(csv, "iteration");
    for (const char* name : kInputNames) std::fprintf(csv, ",%s", name);
    std::fprintf(csv, ",Cost\n");
    for (long i = 0; i < n; ++i) {
      std::fprintf(csv, "%ld", i + 1);
      for (const auto& column : run.inputs)
        std::fprintf(csv, ",%.9g", static_cast<double>(column[static_cast<std::size_t>(i)]));
      std::fprintf(csv, ",%.9g\n", static_cast<double>(run.cost[static_cast<std::size_t>(i)]));
    }
    std::fclose(csv);
  }

  std::printf("velmsim: project cost model with %d inputs\n", kInputs);
  std::printf("library: %s\n", stats_library.path().c_str());
  if (o.threads > 0) {
    std::printf("sampling: %ld thread%s of %s, seeds derived from base seed %d%s\n", o.threads,
                o.threads == 1 ? "" : "s", o.threaded_library.c_str(), static_cast<int>(base),
                o.seed == 0 ? " (from the clock)" : "");
  } else {
    std::printf("sampling: one stream, seed %d%s\n", static_cast<int>(base),
                o.seed == 0 ? " (from the clock)" : "");
  }
  if (converged) {
    std::printf("converged after %ld iterations: convergence error %.4g < tolerance %g\n", n,
                static_cast<double>(error), o.tolerance);
  } else {
    std::printf("stopped at the limit of %ld iterations: convergence error %.4g, tolerance %g\n",
                n, static_cast<double>(error), o.tolerance);
  }

  float stat[15];
  report_statistics(statistics, run.cost, stat);
  float p01 = 0, p99 = 0;
  report_percentiles(statistics, run.cost, p01, p99);
  if (p99 > p01) report_histogram(statistics, run.cost, p01, p99, o.classes);
  report_tornado(statistics, run);

  std::printf("\nConvergence: largest change over the last block of the mean, the standard\n"
              "deviation and the 10, 25, 75 and 90 %% points, in standard deviations\n");
  for (const auto& [count, value] : trace)
    std::printf("  %6ld  %10.4g %s\n", count, static_cast<double>(value),
                bar(o.tolerance > 0 ? value / (10 * o.tolerance) : 0, 40, '*').c_str());
  if (!o.csv.empty()) std::printf("\nIterations written to %s\n", o.csv.c_str());
  return 0;
}
