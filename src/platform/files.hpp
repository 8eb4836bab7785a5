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
/// cannot be opened, sized or given memory gives `notOpened`, with the system's reason in
/// `*reason` when it is given.
LoadStatus loadFile(const std::string& path, std::vector<char>* text,
                    std::string* reason = nullptr);

/// What makes a file the same file under any of its names: device and inode on POSIX, volume
/// serial number and file index on Windows. Unknown identities are never the same.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool known = false;
  bool operator<(const FileIdentity& o) const {
    return volume != o.volume ? volume < o.volume : index < o.index;
  }
};

/// One entry of a directory search.
struct DirEntry {
  std::string name;            // the entry's own name, without directory
  std::string path;            // findFiles: the path as selected, directories as written
  bool isDirectory = false;    // directories are passed over by the caller
  bool isLink = false;         // a symbolic link or junction: `**` does not descend through it
  bool hidden = false;         // a dot file on POSIX; hidden or system attribute on Windows
  std::int64_t lastWrite = 0;  // seconds since 1970
  FileIdentity identity;       // findFiles fills it for the files it gives
};

/// True when `name` matches `pattern` byte for byte: `*` stands for any run of bytes, `?` for
/// exactly one byte, `[abc]`, `[a-z]`, `[!x]` (or `[^x]`) for one byte of (not of) the class;
/// a `[` without its `]` stands for itself. Letter case significant.
bool matchesPattern(std::string_view pattern, std::string_view name);

/// True when `text` holds a wildcard: `*`, `?` or `[`.
bool hasWildcard(std::string_view text);

/// Expands `pattern` as a shell does: wildcards in any component, `**` as a whole component
/// for any depth of directories (none included; not through links), hidden entries only for a
/// component that allows them (mayMatchHidden). Gives the files (not directories), sorted by
/// path. When it gives none, `*reason` says why: "<path>: <the system's reason>".
std::vector<DirEntry> findFiles(std::string_view pattern, std::string* reason = nullptr);

// The system's part of the search, one file each for POSIX and Windows.

/// True for a character that separates directories: '/', and on Windows also '\'.
bool isSeparator(char c);
/// The entries of `directory` (as written, with its separator; "" for the current one),
/// without "." and "..", described but without identity. False, with the reason, when it
/// cannot be read.
bool readDirectory(const std::string& directory, std::vector<DirEntry>* entries,
                   std::string* reason);
/// Looks up one path, following links (a dangling link is still an entry). Its name is the
/// last component as the directory holds it (on Windows in the stored letter case).
bool lookUp(const std::string& path, DirEntry* entry, std::string* reason);
/// Fills in `entry->identity` for the file at `path` when the system can tell it.
void identify(const std::string& path, DirEntry* entry);
/// The platform's rules for one pattern component: letter case (POSIX: fnmatch, case counts;
/// Windows: case ignored) and whether a hidden entry may match it.
bool matchesComponent(std::string_view pattern, std::string_view name);
bool mayMatchHidden(std::string_view component);
/// True when `path` names a directory (through links).
bool isDirectory(const std::string& path);

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

  /// Creates the file beside `path`. False when the directory cannot take a new file, with
  /// "<path>: <the system's reason>" in `*reason` when it is given.
  bool create(const std::string& path, std::string* reason = nullptr);
  /// A name that opens this very file for writing, even if its directory entry is swapped
  /// for a link meanwhile; hand it to a library that opens files by name.
  const std::string& writePath() const;
  /// Renames the file over `path`. False (and the file removed) when that fails, with the
  /// reason as create() gives it.
  bool commit(std::string* reason = nullptr);
  /// Removes the file if it was created and not committed.
  void discard();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mervik::platform
