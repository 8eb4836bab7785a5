// Files, directory search and file times on Windows. Names go through the ANSI ("A")
// functions: they are bytes in the system's ANSI code page, as everywhere else in mervik.

// Before any header: stdlib.h declares rand_s only with it.
#define _CRT_RAND_S

#include "platform/files.hpp"

#include <stdlib.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>

// Patterns on the command line reach the program as typed; the C runtime does not expand
// them, so that they follow findFiles' rules like patterns typed at the prompt.
extern "C" {
int _dowildcard = 0;
}

namespace mervik::platform {

namespace {

// Closes a handle when the load ends, whichever way it ends.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// FILETIME counts 100 ns steps since 1601; these are 1970's and one second's.
constexpr std::int64_t ticksAt1970 = 116444736000000000LL;
constexpr std::int64_t ticksPerSecond = 10000000;

std::int64_t secondsSince1970(const FILETIME& time) {
  const std::int64_t ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  const std::int64_t since = ticks - ticksAt1970;
  return since / ticksPerSecond - (since % ticksPerSecond < 0 ? 1 : 0);
}

// Letter case as Windows folds it in the ANSI code page.
std::string upperCase(std::string_view text) {
  std::string folded(text);
  if (!folded.empty()) CharUpperBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

// The system's text for an error code, without its line end.
std::string errorText(DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? std::string(text, n)
                                                 : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.'))
    result.pop_back();
  return result;
}

void describe(const WIN32_FIND_DATAA& item, DirEntry* entry) {
  entry->name = item.cFileName;
  entry->isDirectory = (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->isLink = (item.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  entry->hidden = (item.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
  entry->lastWrite = secondsSince1970(item.ftLastWriteTime);
}

}  // namespace

LoadStatus loadFile(const std::string& path, std::vector<char>* text, std::string* reason) {
  // Others may keep the file open for writing (an editor); only disk files are read, so that
  // a device or a pipe named as a source (CON, NUL, \\.\pipe\x) cannot stall the run.
  HandleCloser file{CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
  LARGE_INTEGER size;
  if (file.handle == INVALID_HANDLE_VALUE || GetFileType(file.handle) != FILE_TYPE_DISK ||
      !GetFileSizeEx(file.handle, &size) || size.QuadPart < 0) {
    if (reason != nullptr) {
      *reason = file.handle == INVALID_HANDLE_VALUE ? errorText(GetLastError())
                                                    : "Not a disk file";
    }
    return LoadStatus::notOpened;
  }
  if (size.QuadPart == 0) return LoadStatus::empty;
  try {
    const size_t total = static_cast<size_t>(size.QuadPart);
    text->assign(total + 1, '\0');
    size_t got = 0;
    while (got < total) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(total - got, 1 << 30));
      DWORD n = 0;
      if (!ReadFile(file.handle, text->data() + got, piece, &n, nullptr)) {
        if (reason != nullptr) *reason = errorText(GetLastError());
        return LoadStatus::notOpened;
      }
      if (n == 0) break;  // the file shrank since it was sized
      got += n;
    }
    if (got == 0) return LoadStatus::empty;
    text->resize(got + 1);
    return LoadStatus::loaded;
  } catch (const std::bad_alloc&) {
    if (reason != nullptr) *reason = errorText(ERROR_NOT_ENOUGH_MEMORY);
    return LoadStatus::notOpened;
  } catch (const std::length_error&) {
    if (reason != nullptr) *reason = errorText(ERROR_NOT_ENOUGH_MEMORY);
    return LoadStatus::notOpened;
  }
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool readDirectory(const std::string& directory, std::vector<DirEntry>* entries,
                   std::string* reason) {
  // The whole directory is read and matched here: the system's own matching would also try
  // the short 8.3 names ("*.vhd" finding "x.vhdl" through "X~1.VHD").
  WIN32_FIND_DATAA item;
  const std::string query = directory + "*";
  HANDLE search =
      FindFirstFileExA(query.c_str(), FindExInfoBasic, &item, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root
    *reason = errorText(error);
    return false;
  }
  do {
    const std::string_view name(item.cFileName);
    if (name == "." || name == "..") continue;
    DirEntry entry;
    describe(item, &entry);
    entries->push_back(std::move(entry));
  } while (FindNextFileA(search, &item));
  FindClose(search);
  return true;
}

bool lookUp(const std::string& path, DirEntry* entry, std::string* reason) {
  // The search gives the name in the letter case the directory holds.
  WIN32_FIND_DATAA item;
  HANDLE search =
      FindFirstFileExA(path.c_str(), FindExInfoBasic, &item, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE || path.find_first_of("*?") != std::string::npos) {
    if (reason != nullptr) *reason = errorText(GetLastError());
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return false;
  }
  FindClose(search);
  describe(item, entry);
  return true;
}

void identify(const std::string& path, DirEntry* entry) {
  // Opening for no access at all still gives the file's identity, also while others write it.
  HandleCloser file{CreateFileA(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  BY_HANDLE_FILE_INFORMATION info;
  if (file.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.handle, &info))
    return;
  entry->identity.volume = info.dwVolumeSerialNumber;
  entry->identity.index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  entry->identity.known = true;
}

bool matchesComponent(std::string_view pattern, std::string_view name) {
  return matchesPattern(upperCase(pattern), upperCase(name));
}

// Hidden and system entries match only a name given in full, as in the shell's own listings.
bool mayMatchHidden(std::string_view) { return false; }

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string dateText(std::int64_t secondsSince1970) {
  // Local time by the zone's rules for that date, summer time included.
  if (secondsSince1970 < -ticksAt1970 / ticksPerSecond ||
      secondsSince1970 > (INT64_MAX - ticksAt1970) / ticksPerSecond)
    return unknownDateText;
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(secondsSince1970 * ticksPerSecond + ticksAt1970);
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal, local;
  if (!FileTimeToSystemTime(&time, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
    return unknownDateText;
  std::tm fields{};
  fields.tm_year = local.wYear - 1900;
  fields.tm_mon = local.wMonth - 1;
  fields.tm_mday = local.wDay;
  fields.tm_wday = local.wDayOfWeek;
  fields.tm_hour = local.wHour;
  fields.tm_min = local.wMinute;
  fields.tm_sec = local.wSecond;
  return dateText(fields);
}

size_t directoryLength(std::string_view path) {
  const size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string_view::npos ? drive : std::max(drive, separator + 1);
}

namespace {

// Twelve hex digits nobody can predict: rand_s draws from the system's random source.
std::string unpredictableSuffix() {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 3; ++i) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) value = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ i;
    for (int d = 0; d < 4; ++d, value >>= 4) text += hex[value & 15];
  }
  return text;
}

}  // namespace

struct ReplacementFile::State {
  std::string path;           // the name the file will take
  std::string temporaryPath;  // its name until then
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() { discard(); }

bool ReplacementFile::create(const std::string& path, std::string* reason) {
  discard();
  const auto failed = [&](DWORD error) {
    if (reason != nullptr) *reason = path + ": " + errorText(error);
    return false;
  };
  try {
    auto state = std::make_unique<State>();
    state->path = path;
    for (int attempt = 0; attempt < 100; ++attempt) {
      state->temporaryPath = path + "." + unpredictableSuffix() + ".part";
      // CREATE_NEW: a name that already exists, a link included, is never opened.
      HANDLE file = CreateFileA(state->temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        state_ = std::move(state);
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return failed(error);
    }
    return failed(ERROR_FILE_EXISTS);
  } catch (const std::bad_alloc&) {
    return failed(ERROR_NOT_ENOUGH_MEMORY);
  }
}

const std::string& ReplacementFile::writePath() const {
  static const std::string none;
  return state_ ? state_->temporaryPath : none;
}

bool ReplacementFile::commit(std::string* reason) {
  if (!state_) return false;
  if (!MoveFileExA(state_->temporaryPath.c_str(), state_->path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (reason != nullptr) *reason = state_->path + ": " + errorText(GetLastError());
    discard();
    return false;
  }
  state_.reset();
  return true;
}

void ReplacementFile::discard() {
  if (!state_) return;
  DeleteFileA(state_->temporaryPath.c_str());
  state_.reset();
}

std::string executablePath() {
  try {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
      const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::string();
      if (n < buffer.size()) {
        buffer.resize(n);
        return buffer;
      }
      buffer.resize(buffer.size() * 2);  // cut at the buffer's end: try with more room
    }
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

}  // namespace mervik::platform
