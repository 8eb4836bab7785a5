#include "driver/driver.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "analysis/scanner.hpp"
#include "analysis/warning_log.hpp"
#include "config/resource.hpp"
#include "config/resource_tables.hpp"
#include "config/settings.hpp"
#include "driver/paths.hpp"
#include "driver/selection.hpp"
#include "pdf/listing_queue.hpp"
#include "pdf/listing_writer.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/viewer.hpp"

namespace mervik::driver {
namespace {

constexpr const char* banner = "- MERVIK v1.0 -";
constexpr const char* keyMessage = "\n\nPress a key to quit ";

/// The fatal-error routine: shows the message, waits for a key and ends the run with status 1.
/// Nothing is saved: a document being built is simply dropped.
[[noreturn]] void fatalError(platform::Console& console, const std::string& message) {
  console.print("\n\n%s", message.c_str());
  platform::waitForKey(console, keyMessage);
  std::exit(1);
}

/// Everything one run keeps from the resource step to the last source.
struct Run {
  explicit Run(platform::Console& c) : console(c) {}

  platform::Console& console;
  std::string programDirectory;
  std::string programBaseName;
  config::Settings settings;
  config::ResourceTables tables;
  std::unique_ptr<config::ResourceReader> resource;  // names point into its text
  analysis::NameTables names;
  analysis::LineIndex lines;
  int totalLines = 0;

  [[noreturn]] void fail(const std::string& message) { fatalError(console, message); }
};

void configure(Run& run) {
  const std::string path = config::resourcePath(run.programDirectory, run.programBaseName,
                                                platform::executablePath());
  std::vector<char> text;
  if (platform::loadFile(path, &text) != platform::LoadStatus::loaded) text.clear();
  std::string err;
  if (!config::resourceStep(std::move(text), &run.resource, run.settings, run.names, run.tables,
                            run.console, &err)) {
    run.fail(err);
  }
  run.tables.addDefaultTable(run.console);
  run.names.defaultTable = run.tables.defaultTable;
  config::clampSettings(run.settings, run.console);
}

/// Loads a source; false (with the console message written) when it cannot be listed.
bool loadSource(Run& run, const std::string& path, std::vector<char>* text) {
  switch (platform::loadFile(path, text)) {
    case platform::LoadStatus::loaded:
      if ((*text)[0] != '\0') return true;
      break;
    case platform::LoadStatus::notOpened:
      run.console.print("\n\n%s : FILE COULD NOT BE OPENED\n", path.c_str());
      return false;
    case platform::LoadStatus::empty:
      break;
  }
  run.console.print("\n\n%s : FILE IS EMPTY\n", path.c_str());
  return false;
}

/// Lists one source: its text, statistics, warnings and cross-reference.
void listSource(Run& run, pdf::ListingQueue& writer, analysis::WarningLog& warnings,
                const Source& source, const std::vector<analysis::TableHeading>& headings) {
  run.console.print("\n\n%s", source.path.c_str());
  writer.section(source.header);
  std::vector<char> text;  // the name tables point into it until the cross-reference is out
  if (!loadSource(run, source.path, &text)) return;

  std::string err;
  if (!run.names.resetSymbols()) run.fail(run.names.failure());
  warnings.log(0, 0);
  const analysis::LayoutSettings layout{run.settings.tabWidth, run.settings.lineWidth};
  if (!analysis::layoutSource(text.data(), layout, run.lines, warnings, writer, &run.totalLines,
                              &err)) {
    run.fail(err);
  }
  writer.line("");
  writer.line("LEXICAL STATISTICS");
  writer.line("");
  if (!analysis::scanSource(text.data(), run.lines, run.names, warnings, writer, &err)) {
    run.fail(err);
  }
  run.console.print("\n%6d different symbol names", run.names.symbolTable.symbolCnt());
  run.console.print("\n%6d symbol occurrences", run.names.occCnt());
  warnings.log(-999, -1);
  if (!analysis::writeCrossReference(run.names, headings, run.settings.lineWidth, writer)) {
    run.fail(run.names.failure());
  }
  run.names.releaseSymbols();  // they point into `text`, which goes now
  // The writer may be a little behind: a failure it meets later ends the run at the close.
  if (std::string failure = writer.failure(); !failure.empty()) run.fail(failure);
}

/// Saves the listing into a file of its own beside `listingPath` and renames it into place
/// only when complete, so that a failed save leaves nothing and a planted link is never
/// followed. A failure is fatal.
pdf::CloseResult closeListing(Run& run, pdf::ListingWriter& writer,
                              const std::string& listingPath) {
  const std::string saveFailure = "Could not save the PDF file";
  if (!writer.failure().empty()) run.fail(writer.failure());
  platform::ReplacementFile file;
  if (writer.hasPages() && !file.create(listingPath)) run.fail(saveFailure);
  std::string err;
  const pdf::CloseResult closed = writer.close(file.writePath(), run.programBaseName, &err);
  if (closed == pdf::CloseResult::failed) {
    file.discard();  // the fatal routine ends the process without unwinding
    run.fail(err);
  }
  if (closed == pdf::CloseResult::saved && !file.commit()) run.fail(saveFailure);
  return closed;
}

/// Opens the listing, lists each distinct path once in sorted order, closes and opens the PDF.
void listSources(Run& run, std::vector<Source>& sources) {
  std::string listingDirectory;
  pathSplit(sources[0].path, &listingDirectory, nullptr);  // before the sort, as selected
  const std::string listingPath = listingDirectory + "listing.pdf";

  std::string err;
  pdf::ListingWriter writer;
  const auto orientation =
      run.settings.landscape ? pdf::Orientation::landscape : pdf::Orientation::portrait;
  if (!writer.open(std::to_string(run.settings.lineWidth), orientation, &err)) run.fail(err);
  sortSources(sources);

  {
    // The second thread draws the listing while this one analyses the sources.
    pdf::ListingQueue queue(writer);
    analysis::WarningLog warnings(queue, run.console);
    const auto headings = run.tables.headings();
    for (size_t i = 0; i < sources.size(); ++i) {
      if (i > 0 && sources[i].path == sources[i - 1].path) continue;
      listSource(run, queue, warnings, sources[i], headings);
    }
    queue.finish();
  }

  const pdf::CloseResult closed = closeListing(run, writer, listingPath);
  if (closed == pdf::CloseResult::saved) platform::openDocument(listingPath);
  run.console.print("\n\nTotal lines: %d", run.totalLines);
  if (closed == pdf::CloseResult::saved) {
    run.console.print("\n\nListing file: %s", listingPath.c_str());
  } else {
    // Never announce a file that was not written.
    run.console.write("\n\nNo listing file: no source could be listed");
  }
}

}  // namespace

int run(int argc, char** argv) {
  Run run(platform::processConsole());
  run.console.write(banner);
  pathSplit(argc > 0 && argv[0] ? argv[0] : "", &run.programDirectory, &run.programBaseName);
  try {
    configure(run);
    std::vector<Source> sources;
    std::string err;
    if (!selectSources(argc, argv, stdin, stdout, run.console, &sources, &err)) run.fail(err);
    if (!sources.empty()) listSources(run, sources);
  } catch (const std::bad_alloc&) {
    // The modules turn their own allocation failures into messages; this is the last net.
    run.fail("CAN'T SET memory");
  }
  platform::waitForKey(run.console, keyMessage);
  return 0;
}

}  // namespace mervik::driver
