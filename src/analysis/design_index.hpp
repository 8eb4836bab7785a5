#pragma once
// The design index: the names of no class that several sources use, with their lines in each.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/names.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/units.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Gathers, source by source, each name of no class with the files it occurs in and its lines
/// there, and writes the index of those that occur in two files or more. It holds one record per
/// name and per name-and-file pair, the lines packed as small differences, and copies the names:
/// a source's text and name tables go once it is added.
class DesignIndex {
 public:
  DesignIndex();
  ~DesignIndex();
  DesignIndex(const DesignIndex&) = delete;
  DesignIndex& operator=(const DesignIndex&) = delete;

  /// Adds the current source's names of table `tableNo` (the default table: the names of no
  /// class) as file number `file`; files come in ascending order, each once. Call after its
  /// cross-reference. False when memory cannot be had.
  bool addSource(NameTables& names, int tableNo, int file, TextEncoding encoding);

  /// Names that occur in two files or more.
  int sharedCnt() const;

  /// Writes the index lines: a heading, then per shared name in the cross-reference's order a
  /// line with the name and one line per file, `paths[file]` and its line numbers, wrapped at
  /// `lineWidth` like a cross-reference entry. With navigation.outline, an outline entry per
  /// initial letter when the lines take more than `linesPerPage`; with links, each path links
  /// to the name's first line in that file (section `file`), and with Links::all each number to
  /// its line. False when memory cannot be had.
  bool writeIndex(const std::vector<std::string>& paths, int lineWidth, int linesPerPage,
                  pdf::LineSink& sink, const Navigation& navigation);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mervik::analysis
