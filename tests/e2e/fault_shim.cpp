// Fault injection for the fault sweep (fault_sweep_test.cpp), preloaded into mervik with
// LD_PRELOAD: fails a chosen memory allocation, or every one from it on, or a chosen fwrite, so
// that the run's failure paths can be walked one allocation at a time. Set by the environment:
//
//   MERVIK_FAULT_THREAD  the thread whose allocations count: 0 the main thread, 1 the first
//                        thread started (mervik's drawing thread), 2 the second (the compressor)
//   MERVIK_FAULT_CALLER  "hpdf": count only the allocations that libharu itself makes
//   MERVIK_FAULT_AT      the counted allocation that fails, from 1
//   MERVIK_FAULT_MODE    "once" (the default), or "on": every counted one from then on fails
//   MERVIK_FAULT_WRITE   the fwrite call, from 1, that fails as on a full disk
//   MERVIK_FAULT_REPORT  a file that gets, at exit, one line of counts (see report())
//
// Nothing here may allocate through malloc: the real allocator is glibc's own __libc_malloc.

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

constexpr int threadsMax = 3;

struct Config {
  int thread = 0;
  bool hpdfOnly = false;
  unsigned long at = 0;  // 0: no allocation fails
  bool from = false;
  unsigned long write = 0;
  const char* report = nullptr;
};

Config config;
std::atomic<int> configured{0};  // 0 not yet, 1 being read, 2 read
std::atomic<unsigned long> allocations[threadsMax];
std::atomic<unsigned long> hpdfAllocations[threadsMax];
std::atomic<unsigned long> saveAt{0};  // main-thread allocations before the save's fopen
std::atomic<unsigned long> writes{0};
std::atomic<unsigned long> failed{0};
std::atomic<int> threadsStarted{0};
// Initial-exec: a dynamic TLS block would be allocated through malloc itself.
__thread int threadIndex __attribute__((tls_model("initial-exec"))) = 0;

// libharu's executable segments, found once it is loaded.
struct Range {
  uintptr_t from, to;
};
Range hpdfText[4];
std::atomic<int> hpdfRanges{-1};  // -1: not looked for yet (or not loaded then)

unsigned long number(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::strtoul(v, nullptr, 10) : 0;
}

const Config& settings() {
  if (configured.load(std::memory_order_acquire) == 2) return config;
  int expected = 0;
  if (configured.compare_exchange_strong(expected, 1)) {
    config.thread = static_cast<int>(number("MERVIK_FAULT_THREAD"));
    const char* caller = std::getenv("MERVIK_FAULT_CALLER");
    config.hpdfOnly = caller && std::strcmp(caller, "hpdf") == 0;
    config.at = number("MERVIK_FAULT_AT");
    const char* mode = std::getenv("MERVIK_FAULT_MODE");
    config.from = mode && std::strcmp(mode, "on") == 0;
    config.write = number("MERVIK_FAULT_WRITE");
    config.report = std::getenv("MERVIK_FAULT_REPORT");
    configured.store(2, std::memory_order_release);
  }
  while (configured.load(std::memory_order_acquire) != 2) {
  }
  return config;
}

int findHpdf(dl_phdr_info* info, size_t, void*) {
  if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libhpdf")) return 0;
  int n = 0;
  for (int i = 0; i < info->dlpi_phnum && n < 4; ++i) {
    const ElfW(Phdr)& h = info->dlpi_phdr[i];
    if (h.p_type == PT_LOAD && (h.p_flags & PF_X)) {
      hpdfText[n++] = {info->dlpi_addr + h.p_vaddr, info->dlpi_addr + h.p_vaddr + h.p_memsz};
    }
  }
  hpdfRanges.store(n);
  return 1;
}

bool fromHpdf(const void* caller) {
  if (hpdfRanges.load() < 0) dl_iterate_phdr(findHpdf, nullptr);
  const auto at = reinterpret_cast<uintptr_t>(caller);
  for (int i = 0; i < hpdfRanges.load(); ++i) {
    if (at >= hpdfText[i].from && at < hpdfText[i].to) return true;
  }
  return false;
}

// Counts the allocation and tells whether it is to fail.
bool fails(const void* caller) {
  const Config& c = settings();
  const int t = threadIndex < threadsMax ? threadIndex : threadsMax - 1;
  const unsigned long n = allocations[t].fetch_add(1) + 1;
  const bool hpdf = (c.hpdfOnly || c.report) && fromHpdf(caller);
  const unsigned long h = hpdf ? hpdfAllocations[t].fetch_add(1) + 1 : 0;
  if (c.at == 0 || t != c.thread || (c.hpdfOnly && !hpdf)) return false;
  const unsigned long counted = c.hpdfOnly ? h : n;
  const bool fail = c.from ? counted >= c.at : counted == c.at;
  if (fail) {
    failed.fetch_add(1);
    errno = ENOMEM;
  }
  return fail;
}

// At exit: "<main> <drawing> <compressor> allocations, the same made by libharu, the main
// thread's allocations before the save, fwrite calls, allocations failed".
__attribute__((destructor)) void report() {
  const Config& c = settings();
  if (!c.report) return;
  char line[256];
  const int n = std::snprintf(line, sizeof line, "%lu %lu %lu %lu %lu %lu %lu %lu %lu\n",
                              allocations[0].load(), allocations[1].load(), allocations[2].load(),
                              hpdfAllocations[0].load(), hpdfAllocations[1].load(),
                              hpdfAllocations[2].load(), saveAt.load(), writes.load(),
                              failed.load());
  const int fd = ::open(c.report, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (::write(fd, line, static_cast<size_t>(n)) != n) std::perror("fault report");
  ::close(fd);
}

struct Start {
  void* (*routine)(void*);
  void* arg;
  int index;
};

void* startThread(void* p) {
  const Start start = *static_cast<Start*>(p);
  __libc_free(p);
  threadIndex = start.index;
  return start.routine(start.arg);
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  return fails(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
  return fails(__builtin_return_address(0)) ? nullptr : __libc_calloc(n, size);
}

void* realloc(void* p, size_t size) {
  if (p && size == 0) return __libc_realloc(p, 0);  // a release, which cannot fail
  return fails(__builtin_return_address(0)) ? nullptr : __libc_realloc(p, size);
}

void free(void* p) { __libc_free(p); }

void* memalign(size_t alignment, size_t size) {
  return fails(__builtin_return_address(0)) ? nullptr : __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  return fails(__builtin_return_address(0)) ? nullptr : __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (fails(__builtin_return_address(0))) return ENOMEM;
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*),
                   void* arg) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  auto* start = static_cast<Start*>(__libc_malloc(sizeof(Start)));
  if (!start) return EAGAIN;
  *start = {routine, arg, threadsStarted.fetch_add(1) + 1};
  const int status = real(thread, attr, startThread, start);
  if (status != 0) __libc_free(start);
  return status;
}

// The save opens its file for writing with fopen: the allocations before it are the run's, the
// ones after it the save's.
FILE* fopen(const char* path, const char* mode) {
  using Open = FILE* (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen"));
  if (mode && mode[0] == 'w' && threadIndex == 0) {
    unsigned long none = 0;
    saveAt.compare_exchange_strong(none, allocations[0].load());
  }
  return real(path, mode);
}

size_t fwrite(const void* data, size_t size, size_t n, FILE* stream) {
  using Write = size_t (*)(const void*, size_t, size_t, FILE*);
  static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "fwrite"));
  const unsigned long call = writes.fetch_add(1) + 1;
  if (settings().write != 0 && call == settings().write) {
    errno = ENOSPC;
    return 0;
  }
  return real(data, size, n, stream);
}

}  // extern "C"
