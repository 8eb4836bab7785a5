#pragma once
// The run's settings and the bounds that keep the layout sound.

#include <string>

#include "analysis/units.hpp"
#include "platform/console.hpp"

namespace mervik::config {

/// How sources are read: UTF-8 when a text is valid UTF-8 with a multi-byte character, or
/// always byte by byte.
enum class Utf8 : bool { off, detect };

/// Whether the listing ends with the index of the names used in more than one file.
enum class Index : bool { off, on };

/// Whether the listing is a record of the sources: checksums, document information and the
/// sources themselves attached.
enum class Record : bool { off, on };

/// The paper the pages are set on.
enum class Paper { a4, letter, legal, a3 };

struct Settings {
  int tabWidth = 4;       // columns between tab stops
  int lineWidth = 100;    // characters a listing line may reach before it wraps
  bool landscape = false;
  // From the resource file's /OPTIONS section.
  Utf8 utf8 = Utf8::detect;
  // Unit and report outline entries, and links from each cross-reference name.
  analysis::Navigation navigation{true, analysis::Navigation::Links::names};
  Index index = Index::off;
  // /OPTIONS wait off: no key wait at the end, also in a terminal.
  bool keyWait = true;
  Record record = Record::off;
  Paper paper = Paper::a4;
  std::string author{};    // the document's Author when authorGiven
  bool authorGiven = false;
  std::string title{};     // the first line of /TITLE; empty when there is none
};

/// Brings settings the layout cannot use into range and says so on the console:
/// the line width into [6, 1022]; a tab width of 0, or one that would leave no tab stop in a
/// line, to the nearest usable width. A negative tab width silently becomes its magnitude.
void clampSettings(Settings& settings, platform::Console& console);

}  // namespace mervik::config
