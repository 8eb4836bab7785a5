#pragma once
// The run's settings and the bounds that keep the layout sound.

#include "platform/console.hpp"

namespace mervik::config {

/// How sources are read: UTF-8 when a text is valid UTF-8 with a multi-byte character, or
/// always byte by byte.
enum class Utf8 : bool { off, detect };
/// Which cross-reference entries link to their lines: none, each name to its first
/// occurrence, or every line number too.
enum class Links { off, names, all };
/// What the outline holds: one entry per file, or also its design units and report blocks.
enum class Outline : bool { files, units };

struct Settings {
  int tabWidth = 4;       // columns between tab stops
  int lineWidth = 100;    // characters a listing line may reach before it wraps
  bool landscape = false;
  // From the resource file's /OPTIONS section.
  Utf8 utf8 = Utf8::detect;
  Links links = Links::names;
  Outline outline = Outline::units;
};

/// Brings settings the layout cannot use into range and says so on the console:
/// the line width into [6, 1022]; a tab width of 0, or one that would leave no tab stop in a
/// line, to the nearest usable width. A negative tab width silently becomes its magnitude.
void clampSettings(Settings& settings, platform::Console& console);

}  // namespace mervik::config
