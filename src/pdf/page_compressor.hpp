#pragma once
// Deflates finished pages on a thread of its own while the listing goes on, so that saving the
// document only copies them. The bytes are the PDF library's own: the same zlib calls, fed the
// same pieces, as the library makes when it compresses a page at save time.

#include <cstddef>
#include <memory>
#include <vector>

namespace mervik::pdf {

class PageCompressor {
 public:
  /// Bytes the library reads from a stream at a time while it deflates it.
  static constexpr std::size_t pieceSize = 4096;

  struct Chunk {
    const unsigned char* data;
    std::size_t size;
  };
  struct Done {
    void* tag;                         // as submitted
    std::vector<unsigned char> bytes;  // the deflated content; empty when zlib or memory failed
  };

  PageCompressor();
  ~PageCompressor();  // cancel()s
  PageCompressor(const PageCompressor&) = delete;
  PageCompressor& operator=(const PageCompressor&) = delete;

  /// Queues the content made of `chunks`, in order. The caller keeps their bytes unchanged
  /// until the result is collected or cancel() returned.
  void submit(void* tag, std::vector<Chunk> chunks);
  /// The results finished so far, without waiting.
  std::vector<Done> collect();
  /// Every result still due: the calling thread deflates queued contents too, then waits for
  /// the one the thread is on.
  std::vector<Done> finish();
  /// Drops the queued contents and waits for the one being deflated: after it no chunk is read.
  void cancel();

  /// The deflated content of `chunks`, as the library would write it.
  static Done deflate(void* tag, const std::vector<Chunk>& chunks);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mervik::pdf
