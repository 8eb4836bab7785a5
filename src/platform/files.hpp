#pragma once
// Files, directories and times as the rest of mervik needs them.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mervik::platform {

enum class LoadStatus { loaded, notOpened, empty };

/// Reads a whole file in binary mode with one read. On `loaded`, `*text` holds the bytes
/// exactly as stored followed by one zero byte. A zero-length file gives `empty`; a file that
/// cannot be opened, sized or given memory gives `notOpened`.
LoadStatus loadFile(const std::string& path, std::vector<char>* text);

/// One entry of a directory search.
struct DirEntry {
  std::string name;          // the entry's own name, without directory
  bool isDirectory = false;  // directories are passed over by the caller
  std::int64_t lastWrite = 0;  // seconds since 1970
};

/// True when `name` matches `pattern`: `*` stands for any run of bytes, `?` for exactly one
/// byte, every other byte for itself (letter case significant).
bool matchesPattern(std::string_view pattern, std::string_view name);

/// Searches the directory that `pattern` names (the current directory when it names none)
/// for entries whose names match its last component. Hidden entries (leading '.') match only
/// when the pattern's last component itself starts with '.'. Entries come in the order the
/// directory yields them. A directory that does not exist or cannot be read yields nothing.
std::vector<DirEntry> findFiles(std::string_view pattern);

/// The 24-character local date text of a file time, such as "Mon Mar  4 09:05:07 2024", or
/// unknownDateText when the system cannot convert it.
std::string dateText(std::int64_t secondsSince1970);
inline constexpr char unknownDateText[] = "??? ???  ? ??:??:?? ????";

/// The date text of a broken-down local time; fields out of range are held at their bounds,
/// the year at 0 and 9999.
std::string dateText(const std::tm& local);

/// Length of the directory part of `path`: up to and including its last separator, 0 when it
/// has none. '/' separates; on Windows so does the backslash, and a drive ("C:") belongs to the
/// directory part even without a separator after it.
size_t directoryLength(std::string_view path);

/// Absolute path of the running executable, or empty when it cannot be told.
std::string executablePath();

/// A new file that will replace `path` once complete. It is created in the directory of `path`,
/// exclusively, under a name nobody can predict, never through a symbolic link, with the usual
/// mode of a new file; a link planted at `path` is replaced by commit(), not followed.
/// Unless committed, the file is removed when this object ends or discard() is called.
/// On Linux the file has no name at all until commit() (O_TMPFILE), where the file system
/// allows it, so even a killed process leaves nothing; elsewhere it is `path.<random>.part`.
class ReplacementFile {
 public:
  ReplacementFile();
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  /// Creates the file beside `path`. False when the directory cannot take a new file.
  bool create(const std::string& path);
  /// A name that opens this very file for writing, even if its directory entry is swapped
  /// for a link meanwhile; hand it to a library that opens files by name.
  const std::string& writePath() const;
  /// Renames the file over `path`. False (and the file removed) when that fails.
  bool commit();
  /// Removes the file if it was created and not committed.
  void discard();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mervik::platform
