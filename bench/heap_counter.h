#pragma once
// Counts heap use of the whole program by standing in for malloc and friends, so a benchmark can
// report the peak that one operation adds. Include in exactly one source file of a benchmark.
#include <malloc.h>

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);
extern "C" void* __libc_memalign(size_t, size_t);

namespace heapcount {
inline std::atomic<long long> current{0};
inline std::atomic<long long> peak{0};

inline void Added(void* p) {
  if (p == nullptr) return;
  const long long now = current += static_cast<long long>(malloc_usable_size(p));
  long long seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
}
inline void Removed(void* p) {
  if (p != nullptr) current -= static_cast<long long>(malloc_usable_size(p));
}
// Starts a measurement: the peak becomes what is in use now.
inline long long Reset() {
  peak = current.load();
  return current.load();
}
}  // namespace heapcount

extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  heapcount::Added(p);
  return p;
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  heapcount::Added(p);
  return p;
}
void* realloc(void* old, size_t n) {
  heapcount::Removed(old);
  void* p = __libc_realloc(old, n);
  heapcount::Added(p != nullptr ? p : (n != 0 ? old : nullptr));
  return p;
}
void free(void* p) {
  heapcount::Removed(p);
  __libc_free(p);
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  heapcount::Added(p);
  return p;
}
int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  if (p == nullptr) return 12;  // ENOMEM
  heapcount::Added(p);
  *out = p;
  return 0;
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
}
