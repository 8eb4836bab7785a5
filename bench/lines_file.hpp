#pragma once
// The lines file: mervik's listing as the floor redraws it, page by page. extract_lines writes
// it from mervik's PDF; the floor reads it back, one record at a time.
//
//   file  := magic page* end
//   page  := 'P' f32 width f32 height f32 headerSize f32 fontSize u8 outline str title
//            str label f32 x f32 y u32 lineCnt line*
//   line  := str text f32 dx f32 dy
//   str   := u32 length, that many bytes (never a NUL: libharu takes C strings)
//   end   := 'E' u32 pages u64 lines
// x, y: the first line's baseline start, from the text object's origin; dx, dy: after a line,
// the move to the next line's start (after the page's last line, one line step down).
// Empty lines are there: mervik shows no text for them but moves past them all the same.
// Numbers are in the machine's own byte order: the file never leaves the machine that made it.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace lines_file {

constexpr char magic[] = "mervik-lines 1\n";
constexpr size_t magicSize = sizeof magic - 1;
constexpr char pageTag = 'P';
constexpr char endTag = 'E';

/// Sequential reader over a lines file; every read is false once the file ends early.
class Reader {
 public:
  // One read per MiB, as mervik reads a source in one go. Freeing this block when the reader
  // goes also lifts glibc's trim threshold, as mervik's large source buffers do for it: without
  // that, a small document hands the compressor's buffers back to the system and faults them
  // in again for every page it saves.
  explicit Reader(std::FILE* file) : file_(file), buffer_(1 << 20) {}

  /// True when the file starts with the magic of this format.
  bool start() {
    char head[magicSize];
    return bytes(head, magicSize) && std::memcmp(head, magic, magicSize) == 0;
  }
  bool tag(char* c) { return bytes(c, 1); }
  template <typename T>
  bool number(T* value) {
    return bytes(value, sizeof(T));
  }
  bool text(std::string* s) {
    uint32_t n = 0;
    if (!number(&n)) return false;
    s->resize(n);
    return bytes(&(*s)[0], n);
  }

 private:
  bool bytes(void* to, size_t n) {
    char* out = static_cast<char*>(to);
    while (n > 0) {
      if (at_ == end_) {
        at_ = 0;
        end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (end_ == 0) return false;
      }
      const size_t k = n < end_ - at_ ? n : end_ - at_;
      std::memcpy(out, buffer_.data() + at_, k);
      at_ += k;
      out += k;
      n -= k;
    }
    return true;
  }

  std::FILE* file_;
  std::vector<char> buffer_;
  size_t at_ = 0, end_ = 0;  // the unread bytes of buffer_
};

/// Sequential writer; good() is false once a write failed.
class Writer {
 public:
  explicit Writer(std::FILE* file) : file_(file) { std::fwrite(magic, 1, magicSize, file_); }

  void tag(char c) { std::fputc(c, file_); }
  template <typename T>
  void number(T value) {
    std::fwrite(&value, sizeof(T), 1, file_);
  }
  void text(const std::string& s) {
    number(static_cast<uint32_t>(s.size()));
    std::fwrite(s.data(), 1, s.size(), file_);
  }
  bool good() const { return !std::ferror(file_); }

 private:
  std::FILE* file_;
};

}  // namespace lines_file
