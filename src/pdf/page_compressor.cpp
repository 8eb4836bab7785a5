#include "pdf/page_compressor.hpp"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace mervik::pdf {
namespace {

// The library's output buffer: a flush whenever it fills does not change the bytes, but the
// same size keeps the calls the same.
constexpr std::size_t outSize = static_cast<std::size_t>(PageCompressor::pieceSize * 1.1) + 13;

struct Job {
  void* tag;
  std::vector<PageCompressor::Chunk> chunks;
};

}  // namespace

struct PageCompressor::Impl {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> queue;
  std::vector<Done> done;
  int busy = 0;  // jobs taken from the queue and not yet done
  bool stopping = false;
  std::thread worker;

  void work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stopping || !queue.empty(); });
      if (queue.empty()) return;
      runOne(lock);
    }
  }

  // Deflates the first queued job with the lock released; the lock is held again on return.
  void runOne(std::unique_lock<std::mutex>& lock) {
    Job job = std::move(queue.front());
    queue.pop_front();
    ++busy;
    lock.unlock();
    Done result = deflate(job.tag, job.chunks);
    lock.lock();
    try {
      done.push_back(std::move(result));
    } catch (const std::bad_alloc&) {
      // Lost result: the content stays undeflated and the library deflates it when saving.
    }
    --busy;
    changed.notify_all();
  }
};

PageCompressor::PageCompressor() : impl_(std::make_unique<Impl>()) {}

PageCompressor::~PageCompressor() {
  try {
    cancel();
  } catch (...) {
    // Only the locking can throw: nothing more can be done than to go.
  }
}

void PageCompressor::submit(void* tag, std::vector<Chunk> chunks) {
  Impl& s = *impl_;
  try {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.worker.joinable()) {
      s.stopping = false;
      s.worker = std::thread([&s] { s.work(); });
    }
    s.queue.push_back({tag, std::move(chunks)});
    s.changed.notify_all();
  } catch (const std::bad_alloc&) {
    // Not queued: the library deflates this content when saving, as it always could.
  } catch (const std::system_error&) {
    // No thread: the same.
  }
}

std::vector<PageCompressor::Done> PageCompressor::collect() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return std::exchange(impl_->done, {});
}

std::vector<PageCompressor::Done> PageCompressor::finish() {
  Impl& s = *impl_;
  std::unique_lock<std::mutex> lock(s.mutex);
  while (!s.queue.empty()) s.runOne(lock);
  s.changed.wait(lock, [&s] { return s.busy == 0; });
  return std::exchange(s.done, {});
}

void PageCompressor::cancel() {
  Impl& s = *impl_;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.queue.clear();
    s.stopping = true;
    s.changed.notify_all();
  }
  if (s.worker.joinable()) s.worker.join();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.done.clear();
}

// The library's loop: a piece of pieceSize bytes at a time (the last one shorter), deflated
// without flushing; the output written out whenever the buffer fills; then finished.
PageCompressor::Done PageCompressor::deflate(void* tag, const std::vector<Chunk>& chunks) {
  Done result{tag, {}};
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return result;
  try {
    unsigned char in[pieceSize];
    unsigned char out[outSize];
    z.next_out = out;
    z.avail_out = outSize;
    std::size_t chunk = 0, offset = 0;
    bool ok = true;
    for (bool more = true; more && ok;) {
      std::size_t filled = 0;
      while (filled < pieceSize && chunk < chunks.size()) {
        const std::size_t n = std::min(pieceSize - filled, chunks[chunk].size - offset);
        std::memcpy(in + filled, chunks[chunk].data + offset, n);
        filled += n;
        offset += n;
        if (offset == chunks[chunk].size) ++chunk, offset = 0;
      }
      more = filled == pieceSize;
      z.next_in = in;
      z.avail_in = static_cast<uInt>(filled);
      while (ok && z.avail_in > 0) {
        const int status = ::deflate(&z, Z_NO_FLUSH);
        ok = status == Z_OK || status == Z_STREAM_END;
        if (ok && z.avail_out == 0) {
          result.bytes.insert(result.bytes.end(), out, out + outSize);
          z.next_out = out;
          z.avail_out = outSize;
        }
      }
    }
    for (bool end = false; ok && !end;) {
      const int status = ::deflate(&z, Z_FINISH);
      ok = status == Z_OK || status == Z_STREAM_END;
      end = status == Z_STREAM_END;
      if (ok && z.avail_out < outSize) {
        result.bytes.insert(result.bytes.end(), out, out + (outSize - z.avail_out));
        z.next_out = out;
        z.avail_out = outSize;
      }
    }
    if (!ok) result.bytes.clear();
  } catch (const std::bad_alloc&) {
    result.bytes.clear();
  }
  deflateEnd(&z);
  return result;
}

}  // namespace mervik::pdf
