#pragma once
// Lexical scanner: counts comments and records every name of a laid-out VHDL text.

#include <cstddef>
#include <string>

#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/units.hpp"
#include "analysis/warning_log.hpp"
#include "pdf/line_sink.hpp"

namespace mervik::analysis {

/// Scans `text` (`size` bytes and a zero byte behind them) in place: each name gets a zero byte
/// behind it and a basic one is folded inside the buffer, then recorded in `names` with the
/// line that `lines` gives; unterminated literals, extended identifiers and comments draw
/// warnings. Writes the "comments" statistics line. Never reads past the zero byte.
/// A name glued to the name before it has lost its first byte's place to that name's
/// terminator; it is recorded from a small copy that lives until the next scan, which comes
/// after the next source's reset of the name tables.
/// With navigation.outline, each design unit becomes an outline entry at its first word's line.
/// False with the name tables' message when they cannot grow.
bool scanSource(char* text, std::size_t size, TextEncoding encoding, LineIndex& lines,
                NameTables& names, WarningLog& warnings, pdf::LineSink& sink,
                const Navigation& navigation, std::string* err);

}  // namespace mervik::analysis
