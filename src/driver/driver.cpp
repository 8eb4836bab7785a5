#include "driver/driver.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "analysis/design_index.hpp"
#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "analysis/scanner.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/warning_log.hpp"
#include "config/resource.hpp"
#include "config/resource_tables.hpp"
#include "config/settings.hpp"
#include "driver/options.hpp"
#include "driver/paths.hpp"
#include "driver/resource_search.hpp"
#include "driver/selection.hpp"
#include "pdf/listing_queue.hpp"
#include "pdf/listing_writer.hpp"
#include "platform/console.hpp"
#include "platform/environment.hpp"
#include "platform/files.hpp"
#include "platform/viewer.hpp"

namespace mervik::driver {
namespace {

constexpr const char* banner = "- MERVIK v1.0 -";
constexpr const char* version = "1.0";
constexpr int usageStatus = 2;  // a command line the program cannot follow, as getopt tools do
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
  Run(platform::Console& c, Options o) : console(c), options(std::move(o)) {}

  platform::Console& console;
  Options options;
  std::string programDirectory;
  std::string programBaseName;
  config::Settings settings;
  config::ResourceTables tables;
  std::unique_ptr<config::ResourceReader> resource;  // names point into its text
  analysis::NameTables names;
  analysis::EmphasisRules emphasis;
  analysis::LineIndex lines;
  int totalLines = 0;
  // With the index on and two sources or more: the names of no class of every listed source.
  std::unique_ptr<analysis::DesignIndex> index;
  std::vector<std::string> sectionPaths;  // by section number, for the index
  std::int64_t newestListed = INT64_MIN;  // the last write of the newest listed source

  [[noreturn]] void fail(const std::string& message) { fatalError(console, message); }
};

/// The places the resource file is looked for, in order (see resourcePlaces).
std::vector<std::string> placesOf(const std::string& programDirectory,
                                  const std::string& programBaseName) {
  return resourcePlaces(
      config::resourcePath(programDirectory, programBaseName, platform::executablePath()));
}

void configure(Run& run) {
  FoundResource found;
  if (!findResource(run.options.resource,
                    placesOf(run.programDirectory, run.programBaseName), &found)) {
    // Asked for by name: falling back to another file or the defaults would hide the mistake.
    run.fail("Could not read the resource file " + run.options.resource);
  }
  std::string err;
  if (!config::resourceStep(std::move(found.text), found.origin, &run.resource, run.settings,
                            run.names, run.emphasis, run.tables, run.console, &err)) {
    run.fail(err);
  }
  run.tables.addDefaultTable(run.console);
  run.names.defaultTable = run.tables.defaultTable;
  run.emphasis.defaultTable = run.tables.defaultTable;
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

/// How a loaded source is read: as UTF-8 when the run detects it and the text up to its
/// zero byte is UTF-8 with a multi-byte character, otherwise byte by byte.
analysis::TextEncoding encodingOf(const Run& run, const char* text) {
  if (run.settings.utf8 == config::Utf8::off) return analysis::TextEncoding::eightBit;
  return analysis::isUtf8Text(text, std::strlen(text)) ? analysis::TextEncoding::utf8
                                                       : analysis::TextEncoding::eightBit;
}

/// Lists one source: its text, statistics, warnings and cross-reference.
void listSource(Run& run, pdf::ListingQueue& writer, analysis::WarningLog& warnings,
                const Source& source, const std::vector<analysis::TableHeading>& headings) {
  run.console.print("\n\n%s", source.path.c_str());
  writer.section(source.header);
  const int section = static_cast<int>(run.sectionPaths.size());
  if (run.index) run.sectionPaths.push_back(source.path);
  std::vector<char> text;  // the name tables point into it until the cross-reference is out
  if (!loadSource(run, source.path, &text)) return;
  run.newestListed = std::max(run.newestListed, source.lastWrite);

  const analysis::TextEncoding encoding = encodingOf(run, text.data());
  if (encoding == analysis::TextEncoding::utf8) run.console.write("\n   read as UTF-8");

  std::string err;
  if (!run.names.resetSymbols()) run.fail(run.names.failure());
  warnings.log(0, 0);
  const analysis::LayoutSettings layout{run.settings.tabWidth, run.settings.lineWidth,
                                        &run.emphasis, run.settings.navigation, encoding};
  if (!analysis::layoutSource(text.data(), layout, run.lines, warnings, writer, &run.totalLines,
                              &err)) {
    run.fail(err);
  }
  writer.line("");
  writer.line("LEXICAL STATISTICS");
  writer.line("");
  // A byte order mark is no part of the source: read as three symbols it would hide a design
  // unit that opens the text. It is never part of a name, so the names stay the same.
  const std::size_t scanStart =
      encoding == analysis::TextEncoding::utf8 ? analysis::byteOrderMarkLength(text.data()) : 0;
  if (!analysis::scanSource(text.data() + scanStart, run.lines, run.names, warnings, writer,
                            run.settings.navigation, &err)) {
    run.fail(err);
  }
  run.console.print("\n%6d different symbol names", run.names.symbolTable.symbolCnt());
  run.console.print("\n%6d symbol occurrences", run.names.occCnt());
  warnings.log(-999, -1);
  if (!analysis::writeCrossReference(run.names, headings, run.settings.lineWidth, writer,
                                     run.settings.navigation, encoding)) {
    run.fail(run.names.failure());
  }
  if (run.index &&
      !run.index->addSource(run.names, run.names.defaultTable, section, encoding)) {
    run.fail("CAN'T SET index");
  }
  run.names.releaseSymbols();  // they point into `text`, which goes now
  // The writer may be a little behind: a failure it meets later ends the run at the close.
  if (std::string failure = writer.failure(); !failure.empty()) run.fail(failure);
}

/// The index after the last section, when two sources or more were listed with it on. Its
/// header bears the newest listed source's date, so the listing stays reproducible.
void writeDesignIndex(Run& run, pdf::ListingQueue& writer, int linesPerPage) {
  if (!run.index) return;
  if (run.index->sharedCnt() > 0) {
    writer.section(platform::dateText(run.newestListed) + "   INDEX");
    if (!run.index->writeIndex(run.sectionPaths, run.settings.lineWidth, linesPerPage, writer,
                               run.settings.navigation)) {
      run.fail("CAN'T SET index");
    }
  }
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
  std::string listingPath = run.options.output;
  if (listingPath.empty()) {
    pathSplit(sources[0].path, &listingPath, nullptr);  // before the sort, as selected
    listingPath += "listing.pdf";
  }

  std::string err;
  pdf::ListingWriter writer;
  const auto orientation =
      run.settings.landscape ? pdf::Orientation::landscape : pdf::Orientation::portrait;
  if (!writer.open(std::to_string(run.settings.lineWidth), orientation, &err)) run.fail(err);
  sortSources(sources);
  const bool index = run.settings.index == config::Index::on;
  // With one source no name is in two: nothing is gathered for an index that cannot be.
  if (index && std::adjacent_find(sources.begin(), sources.end(), [](const Source& a,
                                                                     const Source& b) {
                 return a.path != b.path;
               }) != sources.end()) {
    run.index = std::make_unique<analysis::DesignIndex>();
    if (run.settings.navigation.links != analysis::Navigation::Links::off) {
      writer.keepSectionPlaces();
    }
  }
  const int linesPerPage = writer.linesPerPage();

  {
    // The second thread draws the listing while this one analyses the sources.
    pdf::ListingQueue queue(writer);
    analysis::WarningLog warnings(queue, run.console);
    warnings.setNavigation(run.settings.navigation.outline,
                           run.settings.navigation.links != analysis::Navigation::Links::off);
    const auto headings = run.tables.headings();
    for (size_t i = 0; i < sources.size(); ++i) {
      if (i > 0 && sources[i].path == sources[i - 1].path) continue;
      listSource(run, queue, warnings, sources[i], headings);
    }
    writeDesignIndex(run, queue, linesPerPage);
    queue.finish();
  }
  // Links are placed as the writer draws, which may be a little behind the analysis: the
  // budget is told once the listing is drawn.
  if (writer.linkBudgetReached()) {
    run.console.print("\nlinks: budget of %ld reached, later names are not linked",
                      pdf::ListingWriter::linkBudget());
  }

  if (index) {
    run.console.print("\n\nIndex: %d names used in more than one file",
                      run.index ? run.index->sharedCnt() : 0);
  }
  const pdf::CloseResult closed = closeListing(run, writer, listingPath);
  if (closed == pdf::CloseResult::saved && !run.options.noOpen) {
    platform::openDocument(listingPath);
  }
  run.console.print("\n\nTotal lines: %d", run.totalLines);
  if (closed == pdf::CloseResult::saved) {
    run.console.print("\n\nListing file: %s", listingPath.c_str());
  } else {
    // Never announce a file that was not written.
    run.console.write("\n\nNo listing file: no source could be listed");
  }
}

/// Writes `text` to `stream`; false when it did not all get there (a full disk, a closed pipe).
bool writeAll(std::FILE* stream, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
         std::fflush(stream) == 0;
}

/// Help, version or a usage error: answered on the standard streams, with no banner and no
/// key wait, as a command-line tool answers them. Returns the exit status.
int answer(const Options& options, const std::string& programDirectory,
           const std::string& programBaseName) {
  switch (options.action) {
    case Options::Action::help: {
      std::string text = usageText(programBaseName) +
                         "\nThe resource file is the first found of --resource FILE and:\n";
      for (const std::string& place : placesOf(programDirectory, programBaseName)) {
        text += "  " + place + "\n";
      }
      return writeAll(stdout, text) ? 0 : 1;
    }
    case Options::Action::version:
      return writeAll(stdout, std::string("mervik ") + version + "\nlibharu " +
                                  pdf::libraryVersion() + "\n")
                 ? 0
                 : 1;
    case Options::Action::usageError:
      writeAll(stderr, programBaseName + ": " + options.error + "\n" + usageText(programBaseName));
      return usageStatus;
    case Options::Action::list:
      break;
  }
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  std::string programDirectory, programBaseName;
  pathSplit(argc > 0 && argv[0] ? argv[0] : "", &programDirectory, &programBaseName);
  Options options;
  try {
    options = parseOptions(argc, argv);
    if (options.action != Options::Action::list) {
      return answer(options, programDirectory, programBaseName);
    }
  } catch (const std::bad_alloc&) {
    return 1;  // not even the command line fits in memory: there is nothing to report on
  }
  // For scripts, which may not want to pass the option to every run.
  const std::string noOpen = platform::environmentValue("MERVIK_NO_OPEN");
  if (!noOpen.empty() && noOpen != "0") options.noOpen = true;
  Run run(platform::processConsole(), std::move(options));
  run.console.write(banner);
  run.programDirectory = std::move(programDirectory);
  run.programBaseName = std::move(programBaseName);
  try {
    configure(run);
    // Selection sees the program's path and the names, as if there had been no options.
    std::vector<char*> names{argc > 0 ? argv[0] : nullptr};
    if (run.options.firstName < argc) {
      names.insert(names.end(), argv + run.options.firstName, argv + argc);
    }
    std::vector<Source> sources;
    std::string err;
    if (!selectSources(static_cast<int>(names.size()), names.data(), stdin, stdout, run.console,
                       &sources, &err)) {
      run.fail(err);
    }
    if (!sources.empty()) listSources(run, sources);
  } catch (const std::bad_alloc&) {
    // The modules turn their own allocation failures into messages; this is the last net.
    run.fail("CAN'T SET memory");
  }
  platform::waitForKey(run.console, keyMessage);
  return 0;
}

}  // namespace mervik::driver
