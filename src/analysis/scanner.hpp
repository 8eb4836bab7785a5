#pragma once
// Lexical scanner: counts comments and records every name of a laid-out VHDL text.

#include <string>

#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "analysis/units.hpp"
#include "analysis/warning_log.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Scans `text` (as the layout left it, zero-terminated) in place: names are terminated and
/// basic identifiers folded inside the buffer and recorded in `names` with the line that
/// `lines` gives; unterminated literals and extended identifiers draw warnings. Writes the
/// "comments" statistics line. Never reads past the zero byte.
/// A basic identifier glued to the closing backslash of an extended one has no byte left for
/// its terminator; it is recorded from a small copy that lives until the next scan, which comes
/// after the next source's reset of the name tables.
/// With navigation.outline, each design unit becomes an outline entry at its first word's line.
/// False with the name tables' message when they cannot grow.
bool scanSource(char* text, LineIndex& lines, NameTables& names, WarningLog& warnings,
                pdf::LineSink& sink, const Navigation& navigation, std::string* err);

}  // namespace mervik::analysis
