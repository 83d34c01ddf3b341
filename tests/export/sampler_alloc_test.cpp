// The sampling path allocates nothing: every sampler export is called in a
// loop while the allocation functions count their calls.
//
// This test executable replaces the global operator new (all forms) and, on
// glibc without a sanitizer, interposes malloc, calloc and realloc, forwarding
// to the next definitions. Under AddressSanitizer and ThreadSanitizer the
// sanitizer owns malloc and operator new (and calls them while it starts, before
// anything of this program is set up), so nothing is replaced there: the
// sanitizer allocator's own malloc hooks count instead.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/edition.h"
#include "export/velmprob.h"

// The replacement delete operators hand memory from the replacement new
// operators back to free(), which is where it came from; GCC's inlining check
// cannot see that pairing.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELM_TEST_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELM_TEST_SANITIZER 1
#endif
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void* volatile g_sink = nullptr;  // keeps the test's own probe allocations from being elided
inline void count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if defined(VELM_TEST_SANITIZER)

extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, std::size_t), void (*free_hook)(const volatile void*));

namespace {
void on_malloc(const volatile void*, std::size_t) { count(); }
void on_free(const volatile void*) {}
const int g_hooks_installed = __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
}  // namespace

#else

void* operator new(std::size_t size) {
  count();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  count();
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t align) {
  count();
  const std::size_t a = static_cast<std::size_t>(align);
#if defined(_WIN32)
  // The Windows C runtime has no aligned_alloc; its aligned blocks are freed
  // with _aligned_free.
  if (void* p = _aligned_malloc(size ? size : 1, a)) return p;
#else
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
#endif
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return ::operator new(size, align); }
namespace {
void free_aligned(void* p) {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}
}  // namespace

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free_aligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free_aligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { free_aligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { free_aligned(p); }

#if defined(__GLIBC__)
// glibc's own entry points, which the interposed functions forward to.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
  count();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
  count();
  return __libc_realloc(p, size);
}
}
#endif

#endif

namespace {

void call_every_sampler() {
  const float zero = 0.0f, one = 1.0f, two = 2.0f, half = 0.5f, p = 0.3f, small = 0.3f, big = 3.0f;
  [[maybe_unused]] const float rho = 0.25f;
  VELMNORMAL(&zero, &one);
  VELMLOGNORMAL(&two, &half);
  VELMGEOMETRIC(&p);
  VELMTRIANG(&zero, &half, &two);
  VELMBETA(&small, &small);     // Johnk
  VELMBETA(&one, &big);         // inversion
  VELMBETA(&big, &small);       // switching
  VELMBETA(&two, &big);         // BB
  VELMUNIFORM(&zero, &one);
#if VELM_THREADED
  float a, b;
  VELMCRNORMAL(&zero, &one, &one, &two, &rho, &a, &b);
  VELMYESNO(&p);
#endif
}

TEST(SamplerAllocation, SamplingPathAllocatesNothing) {
  const std::int32_t seed = 2718;
  VELMSETSEED(&seed);
  call_every_sampler();  // first calls: per-thread state comes into being
  // The counters themselves must see an allocation.
  g_counting = true;
  void* probe = std::malloc(16);
  g_sink = probe;
  int* probe2 = new int(1);
  g_sink = probe2;
  g_counting = false;
  std::free(probe);
  delete probe2;
#if defined(__GLIBC__) || defined(VELM_TEST_SANITIZER)
  ASSERT_GE(g_allocations.load(), 2);
#else
  // Elsewhere (the Windows C runtime) malloc cannot be interposed: only the
  // operator new forms are counted.
  ASSERT_GE(g_allocations.load(), 1);
#endif

  g_allocations = 0;
  g_counting = true;
  for (int i = 0; i < 20000; ++i) call_every_sampler();
  g_counting = false;
  EXPECT_EQ(g_allocations.load(), 0);
}

}  // namespace
