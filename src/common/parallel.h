// Threads of one call: a range split and a list of independent tasks, run
// on std::thread and joined before the call returns. Nothing here decides
// what a result is: each range or task writes its own slots, and callers
// reduce in a fixed order, so the results do not depend on the thread count.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// The thread count to use for `requested` (0: the machine's cores, at least
// 1).
inline unsigned thread_count(unsigned requested) {
  if (requested) return requested;
  return std::max(1U, std::thread::hardware_concurrency());
}

// Range `part` of `parts` equal contiguous ranges of [0, n): [first, last).
inline void split_range(std::size_t n, std::size_t part, std::size_t parts, std::size_t& first,
                        std::size_t& last) {
  first = n / parts * part + std::min(part, n % parts);
  last = first + n / parts + (part < n % parts ? 1 : 0);
}

// Runs body(t) for t in [0, count) on `threads` threads (the calling thread
// is one of them); each t runs once, in no stated order. When a thread
// cannot be started, the threads already running take its share.
template <class Body>
void run_parallel(unsigned threads, std::size_t count, const Body& body) {
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t t = next++; t < count; t = next++) body(t);
  };
  std::vector<std::thread> pool;
  const std::size_t extra = std::min<std::size_t>(threads, count) - (count ? 1 : 0);
  for (std::size_t i = 0; i < extra; ++i) try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  worker();
  for (std::thread& t : pool) t.join();
}

// The number of ranges parallel_parts splits [0, n) into on `threads`
// threads: one per thread, at least one, at most n.
inline std::size_t range_parts(unsigned threads, std::size_t n) {
  return std::max<std::size_t>(1, std::min<std::size_t>(threads, n));
}

// Splits [0, n) into range_parts(threads, n) contiguous ranges and runs
// body(part, first, last) on each, so that each part can fill its own slot
// of the results and the caller join them in part order.
template <class Body>
void parallel_parts(unsigned threads, std::size_t n, const Body& body) {
  const std::size_t parts = range_parts(threads, n);
  run_parallel(threads, parts, [&](std::size_t part) {
    std::size_t first, last;
    split_range(n, part, parts, first, last);
    body(part, first, last);
  });
}

// Splits [0, n) into one contiguous range per thread and runs
// body(first, last) on each.
template <class Body>
void parallel_ranges(unsigned threads, std::size_t n, const Body& body) {
  parallel_parts(threads, n,
                 [&](std::size_t, std::size_t first, std::size_t last) { body(first, last); });
}

// Whether found(first, last) holds for some range of [0, n), the ranges
// those of parallel_parts (a range may stop at its first find).
template <class Found>
bool any_range(unsigned threads, std::size_t n, const Found& found) {
  std::vector<char> hit(range_parts(threads, n), 0);
  parallel_parts(threads, n, [&](std::size_t part, std::size_t first, std::size_t last) {
    hit[part] = found(first, last) ? 1 : 0;
  });
  return std::find(hit.begin(), hit.end(), 1) != hit.end();
}

// Independent tasks, each returning 0 or a code (no_memory when it throws
// std::bad_alloc). Returns the code of the first task in list order that
// failed, 0 when none did.
inline int run_tasks(unsigned threads, const std::vector<std::function<int()>>& tasks) {
  std::vector<int> codes(tasks.size(), 0);
  run_parallel(threads, tasks.size(), [&](std::size_t t) {
    try {
      codes[t] = tasks[t]();
    } catch (const std::bad_alloc&) {
      codes[t] = no_memory;
    }
  });
  for (int code : codes)
    if (code) return code;
  return 0;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
