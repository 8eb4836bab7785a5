#pragma once
// The listing writer: turns listing lines into the pages of one PDF document.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/line_sink.hpp"

namespace mervik::pdf {

enum class Orientation { portrait, landscape };

/// A sheet of paper in points, portrait.
struct PaperSize {
  float width;
  float height;
};
/// ISO A4, the size of every listing before the paper could be chosen.
inline constexpr PaperSize a4Paper{595.276f, 841.89f};

/// The document information and the viewer's title bar. The defaults are those of a listing
/// that is no record: Author "Talmeric" and nothing more.
struct DocumentInfo {
  std::string title;    // none when empty
  std::string subject;  // none when empty
  std::string author = "Talmeric";  // none when empty
  bool dated = false;   // CreationDate and ModDate both `date`, in UTC
  std::int64_t date = 0;  // seconds since 1970
  bool displayTitle = false;  // viewers show the Title in their window bar
};

enum class CloseResult {
  saved,        // the document was written at the path
  nothingToSave,  // no line ever came: nothing was written and nothing should be opened
  failed,       // saving failed; the message is in *err
};

/// The one listing writer of a run. Commands must come in this order: open once; per source
/// section, its lines, sectionEnd, more lines; close once. Failures of the PDF library are
/// reported as the messages the fatal-error routine shows: the library's error handler notes
/// every error, and once one is noted the document takes no further call but its release.
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
  /// The same on `paper`: the margins stay, the font is fitted to its width.
  bool open(std::string_view lineWidthText, Orientation orientation, PaperSize paper,
            std::string* err);

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
  /// later section can link to them; given up once links are left out.
  void keepSectionPlaces();
  /// The lines a page takes, in all its columns.
  int linesPerPage() const;

  /// Empty, or the console line saying from which page on links were left out because memory
  /// or the document's objects ran short. Complete once the document is closed.
  std::string linksLeftOut() const;

  /// The first failure of a line command ("CAN'T SET page"), or empty. After a failure the
  /// writer ignores further lines.
  const std::string& failure() const;

  /// Attaches `bytes` to the document as the embedded file `path`, last written at `lastWrite`
  /// (seconds since 1970). Files must come in the byte order of their paths, as the sections
  /// do: they form a name tree, whose keys are sorted. A failure is kept as
  /// failure() ("CAN'T SET embedded file").
  void attach(std::string_view path, std::string_view bytes, std::int64_t lastWrite);

  /// The document information the close command writes; before it, the defaults.
  void describe(const DocumentInfo& info);

  /// True once a line has started a page: there is a document worth saving.
  bool hasPages() const;

  /// Close command: ends the text, writes the document information (see describe) with Creator
  /// `creator` and enters the attached files, saves the
  /// document at `path` and checks that it arrived whole. What a failed save leaves at `path`
  /// is the caller's to remove (it writes into a file of its own and renames it when saved).
  /// Opening it is the caller's business too.
  CloseResult close(const std::string& path, std::string_view creator, std::string* err);

  /// Drops the document unsaved: stops the page compressor's thread and frees the document.
  /// The fatal-error routine's way out; the writer takes no command after it.
  void abandon() noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mervik::pdf

namespace mervik::pdf {

/// The version of the PDF library in use, such as "2.4.3".
std::string libraryVersion();

}  // namespace mervik::pdf
