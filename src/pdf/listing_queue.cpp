// The listing queue. A command is stored as one record in a block:
//
//   opcode (1 byte) | payload size (4 bytes) | payload
//
// and a payload is the command's arguments in order: a number as its bytes, a text as its
// 4-byte length and its bytes. A new command is an opcode, a method that calls push() with its
// arguments, and a case in replay() that reads them back in the same order.

#include "pdf/listing_queue.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace mervik::pdf {
namespace {

enum class Op : std::uint8_t {
  section, line, styledLine, sectionEnd, anchor, outlineEntry, link, linkToSection, attach
};

constexpr std::size_t headerBytes = 1 + sizeof(std::uint32_t);

// Field sizes and writers for the payload.
std::size_t fieldSize(std::string_view text) { return sizeof(std::uint32_t) + text.size(); }
template <typename T>
std::size_t fieldSize(T) {
  static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>, "a number or a text");
  return sizeof(T);
}

char* putField(char* p, std::string_view text) {
  const auto n = static_cast<std::uint32_t>(text.size());
  std::memcpy(p, &n, sizeof n);
  if (n != 0) std::memcpy(p + sizeof n, text.data(), n);
  return p + sizeof n + n;
}
template <typename T>
char* putField(char* p, T value) {
  std::memcpy(p, &value, sizeof value);
  return p + sizeof value;
}

// Reads a payload back, field by field, in the order push() wrote it.
class Fields {
 public:
  explicit Fields(const char* p) : p_(p) {}
  std::string_view text() {
    const auto n = number<std::uint32_t>();
    std::string_view t(p_, n);
    p_ += n;
    return t;
  }
  template <typename T>
  T number() {
    T value;
    std::memcpy(&value, p_, sizeof value);
    p_ += sizeof value;
    return value;
  }

 private:
  const char* p_;
};

// The one place that turns a record back into a writer call.
void replay(Op op, Fields f, ListingWriter& writer) {
  switch (op) {
    case Op::section:
      writer.section(f.text());
      break;
    case Op::line:
      writer.line(f.text());
      break;
    case Op::styledLine: {
      const std::string_view text = f.text();
      writer.line(text, f.text());
      break;
    }
    case Op::sectionEnd:
      writer.sectionEnd();
      break;
    case Op::anchor:
      writer.anchor(f.number<int>());
      break;
    case Op::outlineEntry: {
      const std::string_view title = f.text();
      writer.outlineEntry(title, f.number<int>());
      break;
    }
    case Op::link: {
      const auto from = f.number<std::size_t>();
      const auto to = f.number<std::size_t>();
      writer.link(from, to, f.number<int>());
      break;
    }
    case Op::linkToSection: {
      const auto from = f.number<std::size_t>();
      const auto to = f.number<std::size_t>();
      const int section = f.number<int>();
      writer.linkToSection(from, to, section, f.number<int>());
      break;
    }
    case Op::attach: {
      const std::string_view path = f.text();
      const std::string_view bytes = f.text();
      writer.attach(path, bytes, f.number<std::int64_t>());
      break;
    }
  }
}

struct Block {
  std::vector<char> bytes;  // its size is the room; `used` of it holds records
  std::size_t used = 0;
};

}  // namespace

struct ListingQueue::State {
  State(ListingWriter& w, std::size_t bytes, int max)
      : writer(w), blockBytes(bytes < 64 ? 64 : bytes), blockMax(max < 2 ? 2 : max) {
    // Room for every block in every list from the start: moving a block from one list to
    // another never allocates, so it cannot fail half-way and lose a block that both threads
    // would then wait for.
    const auto room = static_cast<std::size_t>(blockMax);
    full.reserve(room);
    spare.reserve(room);
    blocks.reserve(room);
  }

  ListingWriter& writer;
  const std::size_t blockBytes;
  const int blockMax;

  mutable std::mutex mutex;
  std::condition_variable toWorker;    // a block is waiting, or the end has come
  std::condition_variable toProducer;  // a block is free again, or the worker is idle
  std::vector<Block*> full;            // handed over, oldest first
  std::vector<Block*> spare;           // replayed, ready for reuse
  std::vector<std::unique_ptr<Block>> blocks;  // all of them
  bool replaying = false;
  bool ending = false;
  bool stopping = false;         // stop(): what is still queued is dropped
  std::atomic<bool> gone{false};  // the worker ended early: nobody replays any more
  std::string failure;           // the writer's first failure, as the worker saw it

  Block* current = nullptr;  // being filled by the producer
  std::thread worker;
  bool threaded = false;
  bool failureSeen = false;  // the producer's copy of "failure is set", taken at hand-overs

  void work();
  void replayBlocks();
  void noteFailure() { failureSeen = failureSeen || !failure.empty() || gone; }
  void handOver();
  bool takeBlock(std::size_t need);
  void drain();
  template <typename... Args>
  bool push(Op op, const Args&... args);
  void finish();
};

// No exception leaves the thread: nothing in the loop allocates, and should the locking itself
// fail, the producer learns that nobody replays rather than wait for it.
void ListingQueue::State::work() {
  try {
    replayBlocks();
  } catch (...) {
    gone = true;
    toProducer.notify_all();
  }
}

void ListingQueue::State::replayBlocks() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    toWorker.wait(lock, [this] { return !full.empty() || ending; });
    if (full.empty()) return;
    Block* b = full.front();
    full.erase(full.begin());
    replaying = true;
    // After a failure the writer takes nothing more: the blocks only go back to the spares.
    const bool draw = failure.empty() && !stopping;
    lock.unlock();
    for (std::size_t at = 0; draw && at < b->used;) {
      const char* record = b->bytes.data() + at;
      std::uint32_t size;
      std::memcpy(&size, record + 1, sizeof size);
      replay(static_cast<Op>(record[0]), Fields(record + headerBytes), writer);
      at += headerBytes + size;
    }
    lock.lock();
    if (failure.empty() && !writer.failure().empty()) {
      try {
        failure = writer.failure();
      } catch (const std::bad_alloc&) {
        failure = "CAN'T SET page";  // fits without an allocation, as every failure text does
      }
    }
    b->used = 0;
    spare.push_back(b);
    replaying = false;
    toProducer.notify_all();
  }
}

// Gives the block being filled to the worker (an empty one goes back to the spares).
void ListingQueue::State::handOver() {
  if (!current) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    (current->used == 0 ? spare.push_back(current) : full.push_back(current));
    current = nullptr;
    noteFailure();
  }
  toWorker.notify_one();
}

// A block with room for `need` bytes becomes `current`: a spare one, a new one while fewer
// than blockMax exist, else the first one the worker gives back. False without memory.
bool ListingQueue::State::takeBlock(std::size_t need) {
  std::unique_lock<std::mutex> lock(mutex);
  if (spare.empty() && static_cast<int>(blocks.size()) < blockMax) {
    try {
      auto b = std::make_unique<Block>();
      b->bytes.resize(blockBytes);
      blocks.push_back(std::move(b));
      spare.push_back(blocks.back().get());
    } catch (const std::bad_alloc&) {
      if (blocks.empty()) return false;
    }
  }
  toProducer.wait(lock, [this] { return !spare.empty() || gone; });
  noteFailure();
  if (spare.empty()) return false;
  Block* b = spare.back();
  try {
    // An outsized command gets room of its own; the block shrinks back once it is reused.
    if (b->bytes.size() < need) {
      b->bytes.resize(need);
    } else if (need <= blockBytes && b->bytes.size() > blockBytes) {
      std::vector<char>(blockBytes).swap(b->bytes);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  spare.pop_back();
  current = b;
  return true;
}

// Waits until the worker has replayed everything handed over.
void ListingQueue::State::drain() {
  handOver();
  std::unique_lock<std::mutex> lock(mutex);
  toProducer.wait(lock, [this] { return (full.empty() && !replaying) || gone; });
  noteFailure();
}

// Queues one command. False when it cannot be queued (no worker, no memory for its room): the
// caller then gives it to the writer itself, after everything before it has been drawn.
template <typename... Args>
bool ListingQueue::State::push(Op op, const Args&... args) {
  const std::size_t payload = (std::size_t{0} + ... + fieldSize(args));
  const std::size_t need = headerBytes + payload;
  const bool room = threaded && !gone && payload <= UINT32_MAX &&
                    ((current && current->bytes.size() - current->used >= need) ||
                     (handOver(), takeBlock(need)));
  if (!room) {
    if (threaded) drain();
    return false;
  }
  char* p = current->bytes.data() + current->used;
  *p = static_cast<char>(op);
  const auto size = static_cast<std::uint32_t>(payload);
  std::memcpy(p + 1, &size, sizeof size);
  p += headerBytes;
  ((p = putField(p, args)), ...);
  current->used += need;
  return true;
}

void ListingQueue::State::finish() {
  if (!threaded) return;
  drain();
  {
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
  }
  toWorker.notify_one();
  worker.join();
  threaded = false;
  failure = writer.failure();
}

ListingQueue::ListingQueue(ListingWriter& writer, std::size_t blockBytes, int blockMax) {
  try {
    state_ = std::make_unique<State>(writer, blockBytes, blockMax);
  } catch (const std::bad_alloc&) {
    writer_ = &writer;  // no queue at all: every command goes straight through
    return;
  }
  try {
    state_->worker = std::thread([s = state_.get()] { s->work(); });
    state_->threaded = true;
  } catch (const std::exception&) {
    // One thread it is, as before the queue existed (no thread, or no memory to start one).
  }
  writer_ = &writer;
}

ListingQueue::~ListingQueue() {
  try {
    finish();
  } catch (...) {
    stop();
  }
}

void ListingQueue::onFailure(std::function<void(const std::string&)> handler) {
  onFailure_ = std::move(handler);
}

// The hand-over has told the producer of a failure, or a command that went straight to the
// writer failed: the handler hears of it once.
void ListingQueue::afterCommand() {
  const bool threaded = state_ && state_->threaded;
  if (failed_ || (threaded ? !state_->failureSeen : writer_->failure().empty())) return;
  failed_ = true;
  static const std::string lost = "CAN'T SET page";
  const std::string& message = !threaded               ? writer_->failure()
                               : state_->failure.empty() ? lost
                                                         : state_->failure;
  if (onFailure_) onFailure_(message);
}

void ListingQueue::section(std::string_view header) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::section, header)) writer_->section(header);
  afterCommand();
}

void ListingQueue::line(std::string_view text) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::line, text)) writer_->line(text);
  afterCommand();
}

void ListingQueue::sectionEnd() {
  if (failed_) return;
  if (!state_ || !state_->push(Op::sectionEnd)) writer_->sectionEnd();
  afterCommand();
}

void ListingQueue::line(std::string_view text, std::string_view faces) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::styledLine, text, faces)) writer_->line(text, faces);
  afterCommand();
}

void ListingQueue::anchor(int n) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::anchor, n)) writer_->anchor(n);
  afterCommand();
}

void ListingQueue::outlineEntry(std::string_view title, int n) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::outlineEntry, title, n)) writer_->outlineEntry(title, n);
  afterCommand();
}

void ListingQueue::link(std::size_t from, std::size_t to, int n) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::link, from, to, n)) writer_->link(from, to, n);
  afterCommand();
}

void ListingQueue::linkToSection(std::size_t from, std::size_t to, int section, int n) {
  if (failed_) return;
  if (!state_ || !state_->push(Op::linkToSection, from, to, section, n)) {
    writer_->linkToSection(from, to, section, n);
  }
  afterCommand();
}

void ListingQueue::attach(std::string_view path, std::string_view bytes, std::int64_t lastWrite) {
  if (!state_ || !state_->push(Op::attach, path, bytes, lastWrite)) {
    writer_->attach(path, bytes, lastWrite);
  }
}

std::string ListingQueue::failure() const {
  if (!state_) return writer_->failure();
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->threaded ? state_->failure : writer_->failure();
}

void ListingQueue::finish() {
  if (state_) state_->finish();
}

void ListingQueue::stop() noexcept {
  if (!state_ || !state_->threaded) return;
  State& s = *state_;
  try {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (Block* b : s.full) s.spare.push_back(b);  // within the room reserved for them
    s.full.clear();
    s.stopping = true;
    s.ending = true;
  } catch (...) {
    return;  // the lock cannot be had: better to leave the worker than to wait for it
  }
  s.toWorker.notify_all();
  try {
    s.worker.join();
  } catch (...) {
  }
  s.threaded = false;
}

}  // namespace mervik::pdf
