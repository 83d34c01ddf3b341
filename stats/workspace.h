// Work arrays of the statistics routines and exports: obtained at entry,
// released before return. Obtaining one never throws; a request that cannot
// be met gives an empty pointer, which the caller reports as a TERMINAL error.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

namespace velm {

// Refuses one coming work-array request, as if storage had run out, after
// letting `granted` requests through (lets tests reach the out-of-storage
// paths); a negative value cancels. Nothing is refused in normal operation.
void refuse_work_request(int granted);
bool take_refusal();

// An array of `count` elements of T (at least one, so that a count that is
// not positive still yields a valid address); empty when storage is short.
template <typename T>
std::unique_ptr<T[]> obtain_work(std::int64_t count) {
  if (take_refusal()) return nullptr;
  if (count < 1) count = 1;
  return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<std::size_t>(count)]);
}

// Reports a work array that could not be obtained, in the words of the
// quantile routine: TERMINAL error, code 2, naming the count the requirement
// is based on. The caller pops its name afterwards, which stops the process.
void report_no_storage(const char* count_name, std::int32_t count);

// The same report made by an export that could not obtain its work array: its
// own name on the stack, the report, and the pop, at which the process ends.
void stop_without_storage(const char* routine, const char* count_name, std::int32_t count);

}  // namespace velm
