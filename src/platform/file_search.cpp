// Expanding a pattern over the directory tree as a shell does. The walk is the same on every
// system; reading a directory, the letter case and what counts as hidden are the system's.

#include <algorithm>
#include <new>

#include "platform/files.hpp"

namespace mervik::platform {
namespace {

/// One pattern being expanded: its components after the part without wildcards, each with
/// the separator text that follows it as written.
struct Search {
  std::vector<std::string> parts;
  std::vector<std::string> separators;
  std::string descend = "/";  // the separator put after a directory that `**` walks into
  std::vector<DirEntry>* found;
  std::string failure;  // the first directory that could not be read, with its reason
};

void addFile(DirEntry entry, const std::string& path, Search& search) {
  entry.path = path;
  identify(path, &entry);
  search.found->push_back(std::move(entry));
}

void walk(Search& search, const std::string& prefix, size_t i);

// The entries of one directory; a failure is remembered for the message, the walk goes on.
std::vector<DirEntry> entriesOf(Search& search, const std::string& directory) {
  std::vector<DirEntry> entries;
  std::string reason;
  if (!readDirectory(directory, &entries, &reason) && search.failure.empty()) {
    search.failure = (directory.empty() ? std::string(".") : directory) + ": " + reason;
  }
  return entries;
}

// `**`: this directory and every one below it that is neither hidden nor a link.
void walkAnyDepth(Search& search, const std::string& prefix, size_t i) {
  const bool last = i + 1 == search.parts.size();
  if (!last) walk(search, prefix, i + 1);
  for (DirEntry& entry : entriesOf(search, prefix)) {
    if (entry.hidden) continue;
    const std::string path = prefix + entry.name;
    if (entry.isDirectory && !entry.isLink) {
      walkAnyDepth(search, path + search.descend, i);
    } else if (last && !entry.isDirectory) {
      addFile(std::move(entry), path, search);  // a trailing `**` takes every file
    }
  }
}

void walk(Search& search, const std::string& prefix, size_t i) {
  const std::string& part = search.parts[i];
  const bool last = i + 1 == search.parts.size();
  if (part == "**") {
    walkAnyDepth(search, prefix, i);
  } else if (!hasWildcard(part)) {
    // A plain component is taken as written; only the last one is looked up.
    if (!last) return walk(search, prefix + part + search.separators[i], i + 1);
    DirEntry entry;
    std::string reason;
    if (lookUp(prefix + part, &entry, &reason) && !entry.isDirectory) {
      addFile(std::move(entry), prefix + entry.name, search);
    }
  } else {
    const bool hiddenToo = mayMatchHidden(part);
    for (DirEntry& entry : entriesOf(search, prefix)) {
      if ((entry.hidden && !hiddenToo) || !matchesComponent(part, entry.name)) continue;
      const std::string path = prefix + entry.name;
      if (!last && entry.isDirectory) {
        walk(search, path + search.separators[i], i + 1);
      } else if (last && !entry.isDirectory) {
        addFile(std::move(entry), path, search);
      }
    }
  }
}

}  // namespace

std::vector<DirEntry> findFiles(std::string_view pattern, std::string* reason) {
  std::vector<DirEntry> found;
  try {
    Search search;
    search.found = &found;
    // The leading components without wildcards (with a drive, a root) stay as written.
    const size_t firstWild = std::min(pattern.find_first_of("*?["), pattern.size());
    const size_t start = directoryLength(pattern.substr(0, firstWild));
    const std::string prefix(pattern.substr(0, start));
    for (size_t p = start; p <= pattern.size();) {
      size_t end = p;
      while (end < pattern.size() && !isSeparator(pattern[end])) ++end;
      size_t after = end;
      while (after < pattern.size() && isSeparator(pattern[after])) ++after;
      search.parts.emplace_back(pattern.substr(p, end - p));
      search.separators.emplace_back(pattern.substr(end, after - end));
      if (after > end) search.descend = std::string(1, pattern[end]);
      if (after == pattern.size()) {
        if (after > end) {  // a trailing separator: the last component is empty
          search.parts.emplace_back();
          search.separators.emplace_back();
        }
        break;
      }
      p = after;
    }
    walk(search, prefix, 0);
    std::sort(found.begin(), found.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.path < b.path; });
    if (found.empty() && reason != nullptr) {
      if (!search.failure.empty()) {
        *reason = search.failure;
      } else if (!hasWildcard(pattern)) {
        DirEntry entry;
        std::string why = "Is a directory";
        lookUp(std::string(pattern), &entry, &why);
        *reason = std::string(pattern) + ": " + why;
      } else {
        *reason = std::string(pattern) + ": no file matches";
      }
    }
  } catch (const std::bad_alloc&) {
    found.clear();
    if (reason != nullptr) reason->clear();
  }
  return found;
}

}  // namespace mervik::platform
