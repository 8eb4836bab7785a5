#pragma once
// Reads a PDF back for tests: pages, text runs, stroked lines, links, outline, document info.

#include <string>
#include <string_view>
#include <vector>

namespace mervik::test {

/// One text-showing operation (Tj): its bytes, BaseFont without the slash (e.g. "Courier"), size
/// from Tf and baseline start in page coordinates (x behind the previous run of its line).
struct TextRun {
  std::string text, font;
  double size = 0, x = 0, y = 0;
};

/// One stroked straight segment in page coordinates, with the line width of its stroke.
struct Segment {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 0;
};

/// A destination's 0-based page (-1 when unknown) and the top of its view (-1 when none).
struct Target { int page = -1; double top = -1; };

/// A link annotation: its rectangle, its border width (from /Border, 1 by default) and target.
struct Link {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0, border = 1;
  Target target;
};

/// One drawn listing line: its Courier runs (any face) on one baseline joined, each byte's face
/// ('.' regular, 'b' bold, 'o' oblique, ' ' a blank), its page and where its first run starts.
struct DrawnLine {
  std::string text, faces;
  int page = 0;
  double x = 0, y = 0, size = 0;
};

struct Page {
  double width = 0, height = 0;  // of the MediaBox
  std::vector<TextRun> runs;  // in content order
  std::vector<Segment> segments;
  std::vector<Link> links;

  /// The runs shown in `font` (e.g. "Helvetica" for the page header), in order.
  std::vector<TextRun> runsIn(std::string_view font) const;
};

/// One outline entry, depth first in document order; `page` and `top` as in Target.
struct OutlineEntry {
  std::string title;  // the title string's bytes
  int page = -1;
  int depth = 0;  // 0 at the root
  double top = -1;
  bool open = true;  // its children show (a positive or missing /Count)
};

struct Pdf {
  std::vector<Page> pages;
  std::vector<OutlineEntry> outlines;
  std::string author, creator;  // Info dictionary, empty when missing

  /// The listing lines of all pages in content order.
  std::vector<DrawnLine> lines() const;

  /// The lines' texts, each followed by '\n'; a gap of k line steps (0.98 times the size) within
  /// a column puts back k - 1 empty lines.
  std::string listing() const;
};

/// Reads the PDF at `path` into *pdf. False with a message in *err when it cannot be read.
bool readPdf(const std::string& path, Pdf* pdf, std::string* err);

/// The titles of the outline's top entries (the files), each in brackets.
std::string fileTitles(const Pdf& pdf);

}  // namespace mervik::test
