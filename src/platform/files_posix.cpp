// Files, directory search and file times on POSIX systems.

#include "platform/files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace mervik::platform {

namespace {

// Closes a descriptor when the load ends, whichever way it ends.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads up to `size` bytes into `into`; gives the count read, or -1 on a read error.
long long readUpTo(int fd, char* into, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd, into + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;  // the file shrank since it was sized
    got += static_cast<size_t>(n);
  }
  return static_cast<long long>(got);
}

}  // namespace

LoadStatus loadFile(const std::string& path, std::vector<char>* text, std::string* reason) {
  // Non-blocking so that a FIFO named as a source cannot stall the run; only regular
  // files are read.
  FdCloser file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (reason != nullptr) *reason = file.fd < 0 ? std::strerror(errno) : "Not a regular file";
    return LoadStatus::notOpened;
  }
  if (info.st_size == 0) return LoadStatus::empty;
  try {
    size_t size = static_cast<size_t>(info.st_size);
    text->assign(size + 1, '\0');
    long long got = readUpTo(file.fd, text->data(), size);
    if (got < 0) {
      if (reason != nullptr) *reason = std::strerror(errno);
      return LoadStatus::notOpened;
    }
    if (got == 0) return LoadStatus::empty;
    text->resize(static_cast<size_t>(got) + 1);
    return LoadStatus::loaded;
  } catch (const std::bad_alloc&) {
    if (reason != nullptr) *reason = std::strerror(ENOMEM);
    return LoadStatus::notOpened;
  } catch (const std::length_error&) {
    if (reason != nullptr) *reason = std::strerror(EFBIG);
    return LoadStatus::notOpened;
  }
}

namespace {

// Closes a directory stream when the search ends.
struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Fills in the kind, time and identity of one entry; links are followed, so a link to a file
// counts as a file. A dangling link is still listed (it will fail to open), as the directory
// shows it.
bool describe(const std::string& path, DirEntry* entry, std::string* reason) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return false;
  }
  entry->isLink = S_ISLNK(info.st_mode);
  if (entry->isLink) stat(path.c_str(), &info);  // a dangling link keeps its own
  entry->isDirectory = S_ISDIR(info.st_mode);
  entry->lastWrite = static_cast<std::int64_t>(info.st_mtime);
  entry->identity.volume = static_cast<std::uint64_t>(info.st_dev);
  entry->identity.index = static_cast<std::uint64_t>(info.st_ino);
  entry->identity.known = true;
  return true;
}

}  // namespace

bool isSeparator(char c) { return c == '/'; }

bool readDirectory(const std::string& directory, std::vector<DirEntry>* entries,
                   std::string* reason) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(directory.empty() ? "." : directory.c_str()));
  if (!dir) {
    *reason = std::strerror(errno);
    return false;
  }
  while (const struct dirent* item = readdir(dir.get())) {
    const std::string_view name(item->d_name);
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = std::string(name);
    entry.hidden = name[0] == '.';
    if (describe(directory + entry.name, &entry, nullptr)) entries->push_back(std::move(entry));
  }
  return true;
}

bool lookUp(const std::string& path, DirEntry* entry, std::string* reason) {
  entry->name = path.substr(directoryLength(path));
  entry->hidden = !entry->name.empty() && entry->name[0] == '.';
  return describe(path, entry, reason);
}

void identify(const std::string& path, DirEntry* entry) {
  if (!entry->identity.known) describe(path, entry, nullptr);
}

bool matchesComponent(std::string_view pattern, std::string_view name) {
  // fnmatch wants strings with ends; FNM_PERIOD: a leading '.' only for a literal '.'.
  return fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), FNM_PERIOD) == 0;
}

bool mayMatchHidden(std::string_view component) {
  return !component.empty() && component[0] == '.';
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string dateText(std::int64_t secondsSince1970) {
  time_t when = static_cast<time_t>(secondsSince1970);
  struct tm local;
  if (static_cast<std::int64_t>(when) != secondsSince1970 || localtime_r(&when, &local) == nullptr)
    return unknownDateText;
  return dateText(local);
}

size_t directoryLength(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string executablePath() {
  try {
    std::string buffer(256, '\0');
    for (;;) {
      ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (n < 0) return std::string();
      if (static_cast<size_t>(n) < buffer.size()) {
        buffer.resize(static_cast<size_t>(n));
        return buffer;
      }
      buffer.resize(buffer.size() * 2);  // may have been cut: try with more room
    }
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

namespace {

// Twelve hex digits from the kernel's random source; the clock and process id only stand in
// when it gives nothing, which exclusive creation still makes safe, merely guessable.
std::string unpredictableSuffix() {
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    auto t = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    t ^= static_cast<std::uint64_t>(getpid()) << 32;
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(t >>= 7);
  }
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += hex[b >> 4];
    text += hex[b & 15];
  }
  return text;
}

// "path: reason", or nothing when even that finds no memory.
void setReason(std::string* reason, const std::string& path, int error) {
  try {
    *reason = path + ": " + std::strerror(error);
  } catch (const std::bad_alloc&) {
    reason->clear();
  }
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

struct ReplacementFile::State {
  int fd = -1;
  bool unnamed = false;       // made with O_TMPFILE: no name until commit() links it in
  std::string path;           // the name the file will take
  std::string temporaryPath;  // its name until then; empty while it has none
  std::string writePath;

  // True while the temporary name still names the file we created (and not a planted link).
  bool stillOurs() const {
    struct stat named, opened;
    return lstat(temporaryPath.c_str(), &named) == 0 && fstat(fd, &opened) == 0 &&
           S_ISREG(named.st_mode) && sameFile(named, opened);
  }

  // The process's own descriptor link, when it reaches the file itself, whatever its name.
  std::string descriptorPath() const {
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd);
    struct stat viaProc, opened;
    const bool works = stat(byDescriptor.c_str(), &viaProc) == 0 && fstat(fd, &opened) == 0 &&
                       sameFile(viaProc, opened);
    return works ? byDescriptor : std::string();
  }

  // A file without a name in the directory of `path`, where the system offers it (Linux 3.11
  // on, on most local file systems): a run killed before commit() leaves nothing behind.
  bool createUnnamed() {
#ifdef O_TMPFILE
    const std::size_t directory = directoryLength(path);
    const std::string in = directory == 0 ? std::string(".") : path.substr(0, directory);
    fd = ::open(in.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // The library opens files by name: without the descriptor link the file is unreachable.
    writePath = descriptorPath();
    if (!writePath.empty()) return unnamed = true;
    ::close(fd);
    fd = -1;
#endif
    return false;
  }

  // A file under a new name beside `path`: `path.<random>.part`.
  bool createNamed() {
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temporaryPath = path + "." + unpredictableSuffix() + ".part";
      // 0666 and the umask: the mode any new file gets. O_NOFOLLOW and O_EXCL: a name that
      // already exists, a link included, is never opened.
      fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0666);
      if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    writePath = descriptorPath();
    if (writePath.empty()) writePath = temporaryPath;
    return true;
  }

  // Gives the unnamed file a new name beside `path`; linkat never replaces what is there.
  bool linkIn() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporaryPath = path + "." + unpredictableSuffix() + ".part";
      if (::linkat(AT_FDCWD, writePath.c_str(), AT_FDCWD, temporaryPath.c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
        return true;
      }
      if (errno != EEXIST) break;
    }
    temporaryPath.clear();
    return false;
  }
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() { discard(); }

bool ReplacementFile::create(const std::string& path, std::string* reason) {
  discard();
  const auto failed = [&](int error) {
    if (reason != nullptr) setReason(reason, path, error);
    return false;
  };
  try {
    auto state = std::make_unique<State>();
    state->path = path;
    if (!state->createUnnamed() && !state->createNamed()) {
      const int error = errno;
      if (state->fd >= 0) ::close(state->fd);
      return failed(error);
    }
    state_ = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    return failed(ENOMEM);
  }
}

const std::string& ReplacementFile::writePath() const {
  static const std::string none;
  return state_ ? state_->writePath : none;
}

bool ReplacementFile::commit(std::string* reason) {
  if (!state_) return false;
  bool linked = true;
  try {
    linked = !state_->unnamed || state_->linkIn();
  } catch (const std::bad_alloc&) {
    linked = false;
  }
  if (!linked || !state_->stillOurs() ||
      std::rename(state_->temporaryPath.c_str(), state_->path.c_str()) != 0) {
    if (reason != nullptr) setReason(reason, state_->path, errno);
    discard();
    return false;
  }
  ::close(state_->fd);
  state_.reset();
  return true;
}

void ReplacementFile::discard() {
  if (!state_) return;
  // Only the file we made is removed, never whatever took its name since. An unnamed file
  // goes with its descriptor.
  if (!state_->temporaryPath.empty() && state_->stillOurs()) {
    ::unlink(state_->temporaryPath.c_str());
  }
  ::close(state_->fd);
  state_.reset();
}

}  // namespace mervik::platform
