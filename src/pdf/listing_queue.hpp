#pragma once
// The listing queue: hands the listing commands of the analysis to a second thread, which
// draws them on the listing writer in the same order, so analysing and drawing overlap.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/line_sink.hpp"
#include "pdf/listing_writer.hpp"

namespace mervik::pdf {

/// Stands between the analysis and the one ListingWriter of a run, after its open command and
/// before its close command. Every command is copied into blocks of `blockBytes` and replayed by
/// one worker thread; at most `blockMax` blocks are in use, so a producer that runs ahead waits
/// (a command larger than a block gets a block of its own size). The writer sees exactly the
/// calls it would have seen directly, so the document is the same byte for byte. Without a
/// thread (or the memory for a block) the commands go straight to the writer.
class ListingQueue final : public LineSink {
 public:
  explicit ListingQueue(ListingWriter& writer, std::size_t blockBytes = std::size_t{1} << 20,
                        int blockMax = 8);
  ~ListingQueue() override;  // finishes, as finish() does; never throws
  ListingQueue(const ListingQueue&) = delete;
  ListingQueue& operator=(const ListingQueue&) = delete;

  /// ListingWriter::section, queued.
  void section(std::string_view header);
  void line(std::string_view text) override;
  void line(std::string_view text, std::string_view faces) override;
  void sectionEnd() override;
  void anchor(int n) override;
  void outlineEntry(std::string_view title, int n) override;
  void link(std::size_t from, std::size_t to, int n) override;
  void linkToSection(std::size_t from, std::size_t to, int section, int n) override;
  /// ListingWriter::attach, queued: the bytes are copied before this returns.
  void attach(std::string_view path, std::string_view bytes, std::int64_t lastWrite);

  /// The writer's first failure ("CAN'T SET page") as far as the worker has come, or empty.
  /// Never waits; after finish() it is the writer's final word.
  std::string failure() const;

  /// Called on the producer's thread with the writer's failure at the first hand-over (or the
  /// first direct command) after it happened. It is meant not to return (the fatal-error
  /// routine); if it does, every later command is dropped. Set it before the first command.
  void onFailure(std::function<void(const std::string&)> handler);

  /// Hands over the commands still held, waits until the worker has replayed all of them and
  /// ends the worker. The writer may then be closed. Later commands go straight to the writer.
  void finish();

  /// Ends the worker without drawing what is still queued: the fatal-error routine's way out.
  /// The writer may then only be closed or dropped. Never throws.
  void stop() noexcept;

 private:
  void afterCommand();

  struct State;
  std::unique_ptr<State> state_;
  ListingWriter* writer_ = nullptr;
  std::function<void(const std::string&)> onFailure_;
  bool failed_ = false;  // the handler was called: later commands are dropped
};

}  // namespace mervik::pdf
