#include "driver/driver.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>
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
#include "platform/digest.hpp"
#include "platform/environment.hpp"
#include "platform/files.hpp"
#include "platform/viewer.hpp"

namespace mervik::driver {
namespace {

constexpr const char* banner = "- MERVIK v1.0 -";
constexpr const char* version = "1.0";
constexpr int usageStatus = 2;  // a command line the program cannot follow, as getopt tools do
constexpr const char* keyMessage = "\n\nPress a key to quit ";
constexpr const char* memoryFailure = "CAN'T SET memory";
// Room a module's failure text is given beforehand, so that setting it allocates nothing.
constexpr std::size_t failureRoom = 64;

enum class KeyWait : bool { no, yes };

/// The end of a run: the key wait (which only shows its message where there is no terminal),
/// or, where no wait is wanted, just the end of the report's last line.
void finish(platform::Console& console, KeyWait keyWait) {
  if (keyWait == KeyWait::yes) {
    platform::waitForKey(console, keyMessage);
  } else {
    console.write("\n");
  }
}

/// The fatal error before the run's own state exists: banner, message, key wait, status 1.
int failBeforeRun() {
  platform::Console& console = platform::processConsole();
  console.write(banner);
  console.write("\n\n");
  console.write(memoryFailure);
  platform::waitForKey(console, keyMessage);
  return 1;
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
  int unlisted = 0;  // names that selected nothing and files that could not be opened
  int listedCnt = 0;        // sources that reached the listing
  std::string firstListed;  // the path of the first of them

  /// A batch run never waits; a user may turn the wait off for good (/OPTIONS wait off).
  KeyWait keyWait() const {
    return !options.batch && settings.keyWait ? KeyWait::yes : KeyWait::no;
  }
  // What the fatal-error routine ends before the process does, lent while each exists.
  pdf::ListingQueue* queue = nullptr;
  pdf::ListingWriter* writer = nullptr;
  platform::ReplacementFile* file = nullptr;

  /// The fatal-error routine: stops the drawing and compressing threads, drops the document
  /// unsaved, removes the file it was being saved into, shows the message, waits for a key
  /// (unless no wait is wanted) and ends the run with status 1. Allocates nothing, so it works
  /// when memory has run out.
  [[noreturn]] void fail(std::string_view message) {
    if (queue) queue->stop();
    if (writer) writer->abandon();
    if (file) file->discard();
    console.write("\n\n");
    // A module whose own failure text could not be had leaves it empty.
    console.write(message.empty() ? std::string_view(memoryFailure) : message);
    finish(console, keyWait());
    std::exit(1);
  }
};

/// Lends `object` to the fatal-error routine for as long as this lives.
template <typename T>
class Lent {
 public:
  Lent(T*& slot, T& object) : slot_(slot) { slot_ = &object; }
  ~Lent() { slot_ = nullptr; }
  Lent(const Lent&) = delete;
  Lent& operator=(const Lent&) = delete;

 private:
  T*& slot_;
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
    run.fail("Could not read the resource file " + run.options.resource + "\n   " +
             run.options.resource + ": " + found.reason);
  }
  std::string err;
  err.reserve(failureRoom);
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
  std::string reason;
  switch (platform::loadFile(path, text, &reason)) {
    case platform::LoadStatus::loaded:
      if (text->size() > 1) return true;  // the bytes and the zero byte behind them
      break;
    case platform::LoadStatus::notOpened:
      run.console.print("\n\n%s : FILE COULD NOT BE OPENED\n   %s: %s\n", path.c_str(),
                        path.c_str(), reason.c_str());
      ++run.unlisted;
      return false;
    case platform::LoadStatus::empty:
      break;
  }
  run.console.print("\n\n%s : FILE IS EMPTY\n", path.c_str());
  return false;
}

/// How a loaded source is read: as UTF-8 when the run detects it and the text is UTF-8 with
/// a multi-byte character, otherwise byte by byte.
analysis::TextEncoding encodingOf(const Run& run, const char* text, std::size_t size) {
  if (run.settings.utf8 == config::Utf8::off) return analysis::TextEncoding::eightBit;
  return analysis::isUtf8Text(text, size) ? analysis::TextEncoding::utf8
                                          : analysis::TextEncoding::eightBit;
}

/// The record of a source: its bytes as read, before the layout touches them, go into the
/// document as an attachment; returns their SHA-256 for the text statistics.
std::string recordSource(Run& run, pdf::ListingQueue& writer, const Source& source,
                         const std::vector<char>& text) {
  const std::string_view bytes(text.data(), text.size() - 1);  // without the added zero byte
  std::string sha256 = platform::sha256Hex(bytes);
  if (sha256.empty()) run.fail("CAN'T SET sha256");
  writer.attach(source.path, bytes, source.lastWrite);
  return sha256;
}

/// "sha256 <64 hex digits>", the last line of the text statistics. A line width too narrow for
/// it gets the digits on lines of their own below, indented, so nothing runs off the column.
void writeChecksum(pdf::LineSink& sink, const std::string& sha256, int lineWidth) {
  const std::string line = "sha256 " + sha256;
  if (static_cast<int>(line.size()) <= lineWidth + 1) {
    sink.line(line);
    return;
  }
  sink.line("sha256");
  const std::size_t digits = static_cast<std::size_t>(std::max(8, lineWidth + 1 - 7));
  for (std::size_t at = 0; at < sha256.size(); at += digits) {
    sink.line("       " + sha256.substr(at, digits));
  }
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
  if (run.listedCnt++ == 0) run.firstListed = source.path;
  run.newestListed = std::max(run.newestListed, source.lastWrite);
  const bool record = run.settings.record == config::Record::on;
  const std::string sha256 = record ? recordSource(run, writer, source, text) : std::string();

  const std::size_t size = text.size() - 1;  // the zero byte behind the text aside
  const analysis::TextEncoding encoding = encodingOf(run, text.data(), size);
  if (encoding == analysis::TextEncoding::utf8) run.console.write("\n   read as UTF-8");

  std::string err;
  err.reserve(failureRoom);
  if (!run.names.resetSymbols()) run.fail(run.names.failure());
  warnings.log(0, 0);
  const analysis::LayoutSettings layout{run.settings.tabWidth, run.settings.lineWidth,
                                        &run.emphasis, run.settings.navigation, encoding};
  if (!analysis::layoutSource(text.data(), size, layout, run.lines, warnings, writer,
                              &run.totalLines, &err)) {
    run.fail(err);
  }
  if (record) writeChecksum(writer, sha256, run.settings.lineWidth);
  writer.line("");
  writer.line("LEXICAL STATISTICS");
  writer.line("");
  if (!analysis::scanSource(text.data(), size, encoding, run.lines, run.names, warnings, writer,
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
  const std::string saveFailure = "Could not save the PDF file\n   ";
  if (!writer.failure().empty()) run.fail(writer.failure());
  platform::ReplacementFile file;
  const Lent<platform::ReplacementFile> lentFile(run.file, file);
  std::string reason;
  if (writer.hasPages() && !file.create(listingPath, &reason)) run.fail(saveFailure + reason);
  std::string err;
  err.reserve(failureRoom);
  const pdf::CloseResult closed = writer.close(file.writePath(), run.programBaseName, &err);
  if (closed == pdf::CloseResult::failed) run.fail(err);
  if (closed == pdf::CloseResult::saved && !file.commit(&reason)) run.fail(saveFailure + reason);
  return closed;
}

/// "12 files" or "1 file".
std::string counted(long n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

/// The time the record is dated: SOURCE_DATE_EPOCH when it holds a number of seconds (the
/// reproducible-builds convention, so two runs give the same bytes), else now.
std::int64_t recordDate() {
  const std::string epoch = platform::environmentValue("SOURCE_DATE_EPOCH");
  std::int64_t seconds = 0;
  bool valid = !epoch.empty() && epoch.size() <= 18;  // within 64 bits
  for (char c : epoch) {
    valid = valid && c >= '0' && c <= '9';
    if (valid) seconds = seconds * 10 + (c - '0');
  }
  return valid ? seconds : static_cast<std::int64_t>(std::time(nullptr));
}

/// The document information: the design's fixed author unless the resource file names one;
/// for a record, a title, a subject, the dates, and the title in the viewer's window bar.
pdf::DocumentInfo documentInfo(const Run& run) {
  pdf::DocumentInfo info;
  const bool record = run.settings.record == config::Record::on;
  if (run.settings.authorGiven) {
    info.author = run.settings.author;
  } else if (record) {
    info.author.clear();
  }
  if (!record) return info;
  info.title = run.settings.title;
  if (info.title.empty()) {
    info.title = "Listing of " + run.firstListed;
    if (run.listedCnt > 1) info.title += " and " + counted(run.listedCnt - 1, "more file");
  }
  info.subject = "VHDL listing: " + counted(run.listedCnt, "file") + ", " +
                 counted(run.totalLines, "line");
  info.dated = true;
  info.date = recordDate();
  info.displayTitle = true;
  return info;
}

/// The paper's size, as the resource file's `paper` names it.
pdf::PaperSize paperSize(config::Paper paper) {
  switch (paper) {
    case config::Paper::letter:
      return {612, 792};
    case config::Paper::legal:
      return {612, 1008};
    case config::Paper::a3:
      return {841.89f, 1190.551f};
    case config::Paper::a4:
      break;
  }
  return pdf::a4Paper;
}

/// Where the listing goes: -o FILE, listing.pdf in -o DIR, or beside the first name.
std::string listingPathOf(const Run& run, const Selection& selection) {
  const std::string& output = run.options.output;
  if (output.empty()) return selection.listingDirectory + "listing.pdf";
  if (!platform::isDirectory(output)) return output;
  return output + (platform::isSeparator(output.back()) ? "" : "/") + "listing.pdf";
}

/// Opens the listing, lists each file once in sorted order, closes and opens the PDF.
void listSources(Run& run, Selection& selection) {
  std::vector<Source>& sources = selection.sources;
  const std::string listingPath = listingPathOf(run, selection);
  {
    // Before any source is read: a listing that cannot be saved fails now, not at the end.
    platform::ReplacementFile probe;
    std::string reason;
    if (!probe.create(listingPath, &reason)) run.fail("Could not save the PDF file\n   " + reason);
  }

  std::string err;
  err.reserve(failureRoom);
  pdf::ListingWriter writer;
  const Lent<pdf::ListingWriter> lentWriter(run.writer, writer);
  const auto orientation =
      run.settings.landscape ? pdf::Orientation::landscape : pdf::Orientation::portrait;
  if (!writer.open(std::to_string(run.settings.lineWidth), orientation,
                   paperSize(run.settings.paper), &err)) {
    run.fail(err);
  }
  sortSources(sources);
  dropSameFiles(sources);
  const bool index = run.settings.index == config::Index::on;
  // With one source no name is in two: nothing is gathered for an index that cannot be.
  if (index && sources.size() > 1) {
    run.index = std::make_unique<analysis::DesignIndex>();
    if (run.settings.navigation.links != analysis::Navigation::Links::off) {
      writer.keepSectionPlaces();
    }
  }
  const int linesPerPage = writer.linesPerPage();

  {
    // The second thread draws the listing while this one analyses the sources.
    pdf::ListingQueue queue(writer);
    const Lent<pdf::ListingQueue> lentQueue(run.queue, queue);
    // A failure of the drawing thread comes back with the next block handed over.
    queue.onFailure([&run](const std::string& message) { run.fail(message); });
    analysis::WarningLog warnings(queue, run.console);
    warnings.setNavigation(run.settings.navigation.outline,
                           run.settings.navigation.links != analysis::Navigation::Links::off);
    std::vector<analysis::TableHeading> headings;
    if (!run.tables.headings(&headings)) run.fail("CAN'T SET rscTable");
    for (const Source& source : sources) listSource(run, queue, warnings, source, headings);
    writeDesignIndex(run, queue, linesPerPage);
    queue.finish();
  }
  writer.describe(documentInfo(run));
  const pdf::CloseResult closed = closeListing(run, writer, listingPath);
  // The last page's links are made as the document is closed.
  if (const std::string leftOut = writer.linksLeftOut(); !leftOut.empty())
    run.console.print("\n%s", leftOut.c_str());
  if (closed == pdf::CloseResult::saved && !run.options.noOpen) {
    platform::openDocument(listingPath);
  }
  if (index) {
    run.console.print("\n\nIndex: %d names used in more than one file",
                      run.index ? run.index->sharedCnt() : 0);
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
      writeAll(stderr, programBaseName + ": " + options.error + "\nTry '" + programBaseName +
                           " --help' for more information.\n");
      return usageStatus;
    case Options::Action::list:
      break;
  }
  return 0;
}

}  // namespace

namespace {

/// Lends the run to the last net, std::terminate, while it lives. The C++ runtime terminates
/// when it cannot even make the exception that reports a failed allocation: that happens only
/// once its own reserve for them could not be had at start-up. Then too the run ends through
/// the fatal-error routine, not with an abort.
class FatalNet {
 public:
  /// Installed first of all, before the run exists.
  static void install() {
    mainThread = std::this_thread::get_id();
    std::set_terminate(caught);
  }
  explicit FatalNet(Run& run) { netRun = &run; }
  ~FatalNet() { netRun = nullptr; }
  FatalNet(const FatalNet&) = delete;
  FatalNet& operator=(const FatalNet&) = delete;

 private:
  [[noreturn]] static void caught() {
    const bool main = std::this_thread::get_id() == mainThread;
    if (netRun && main) netRun->fail(memoryFailure);
    if (main) std::_Exit(failBeforeRun());
    // Another thread cannot stop the one it runs beside: the message, and the end at once.
    platform::Console& console = platform::processConsole();
    console.write("\n\n");
    console.write(memoryFailure);
    std::_Exit(1);
  }
  static inline Run* netRun = nullptr;
  static inline std::thread::id mainThread;
};

/// The run from the resource step on; `run` is made and the banner shown.
void listAll(Run& run) {
  configure(run);
  Selection selection;
  std::string err;
  err.reserve(failureRoom);
  if (!selectSources(run.options.names, stdin, stdout, run.console, &selection, &err)) {
    run.fail(err);
  }
  run.unlisted += selection.unmatched;
  if (!selection.sources.empty()) listSources(run, selection);
}

}  // namespace

int run(int argc, char** argv) {
  FatalNet::install();
  std::string programDirectory, programBaseName;
  Options options;
  try {
    pathSplit(argc > 0 && argv[0] ? argv[0] : "", &programDirectory, &programBaseName);
    options = parseOptions(argc, argv);
    if (options.action != Options::Action::list) {
      return answer(options, programDirectory, programBaseName);
    }
  } catch (const std::bad_alloc&) {
    return failBeforeRun();  // not even the command line fits in memory
  }
  std::unique_ptr<Run> made;
  try {
    // For scripts, which may not want to pass the option to every run.
    const std::string noOpen = platform::environmentValue("MERVIK_NO_OPEN");
    if (options.batch || (!noOpen.empty() && noOpen != "0")) options.noOpen = true;
    platform::Console& console =
        options.batch ? platform::standardErrorConsole() : platform::processConsole();
    made = std::make_unique<Run>(console, std::move(options));
  } catch (const std::exception&) {
    return failBeforeRun();
  }
  Run& run = *made;
  const FatalNet net(run);
  run.console.write(banner);
  run.programDirectory = std::move(programDirectory);
  run.programBaseName = std::move(programBaseName);
  try {
    listAll(run);
  } catch (const std::exception&) {
    // The modules turn their own allocation failures into messages; this is the last net.
    run.fail(memoryFailure);
  }
  finish(run.console, run.keyWait());
  // As cp and cat: what could be read is listed, and the status says that something was not.
  return run.unlisted > 0 ? 1 : 0;
}

}  // namespace mervik::driver
