#pragma once
// The listing writer: turns listing lines into the pages of one PDF document.

#include <memory>
#include <string>
#include <string_view>

#include "pdf/line_sink.hpp"

namespace mervik::pdf {

enum class Orientation { portrait, landscape };

enum class CloseResult {
  saved,        // the document was written at the path
  nothingToSave,  // no line ever came: nothing was written and nothing should be opened
  failed,       // saving failed; the message is in *err
};

/// The one listing writer of a run. Commands must come in this order: open once; per source
/// section, its lines, sectionEnd, more lines; close once. Failures of the PDF library are
/// reported as the messages the fatal-error routine shows.
class ListingWriter final : public LineSink {
 public:
  ListingWriter();
  ~ListingWriter() override;
  ListingWriter(const ListingWriter&) = delete;
  ListingWriter& operator=(const ListingWriter&) = delete;

  /// Open command: measures Courier once, fits the font size to `lineWidthText` characters
  /// (decimal text) on an A4 page, chooses one or two columns and creates the document.
  /// False with "CAN'T SET pdf", "CAN'T SET font", "CAN'T SET hfont" or "CAN'T SET page".
  bool open(std::string_view lineWidthText, Orientation orientation, std::string* err);

  /// Section command with text: `header` titles the pages that follow; the next line starts
  /// page 1 of the section and its outline entry.
  void section(std::string_view header);

  void line(std::string_view text) override;
  /// Draws the line in runs of one face each, at the places a plain line puts its bytes.
  void line(std::string_view text, std::string_view faces) override;
  void sectionEnd() override;
  void anchor(int n) override;
  void outlineEntry(std::string_view title, int n) override;
  void link(std::size_t from, std::size_t to, int n) override;
  /// Takes effect only for sections that ended after keepSectionPlaces().
  void linkToSection(std::size_t from, std::size_t to, int section, int n) override;

  /// From now on the places of the numbered lines of each finished section are kept, so that a
  /// later section can link to them; given up once the link budget is reached.
  void keepSectionPlaces();
  /// The lines a page takes, in all its columns.
  int linesPerPage() const;

  /// True once a link was dropped because the document took as many as it may.
  bool linkBudgetReached() const;
  /// The number of links a document may take.
  static long linkBudget();

  /// The first failure of a line command ("CAN'T SET page"), or empty. After a failure the
  /// writer ignores further lines.
  const std::string& failure() const;

  /// True once a line has started a page: there is a document worth saving.
  bool hasPages() const;

  /// Close command: ends the text, sets Author "Talmeric" and Creator `creator`, saves the
  /// document at `path` and checks that it arrived whole. What a failed save leaves at `path`
  /// is the caller's to remove (it writes into a file of its own and renames it when saved).
  /// Opening it is the caller's business too.
  CloseResult close(const std::string& path, std::string_view creator, std::string* err);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mervik::pdf

namespace mervik::pdf {

/// The version of the PDF library in use, such as "2.4.3".
std::string libraryVersion();

}  // namespace mervik::pdf
