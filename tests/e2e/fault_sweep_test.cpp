// End-to-end: memory that runs out, or a disk that fills, anywhere in a run. The fault shim
// (fault_shim.cpp) fails the N-th allocation of one thread, once or from then on, with N
// sampled over the whole run; also libharu's own allocations, the save's, the save's writes,
// and address-space limits in steps. Every run must end with status 0 and a sound listing, or
// status 1 with one fatal message and no file left: never an abort, a crash or a hang.

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {
namespace {

constexpr char keyMessage[] = "\n\nPress a key to quit ";

// What the shim counted in an undisturbed run (see report() in the shim).
struct Counts {
  unsigned long thread[3] = {}, hpdf[3] = {}, saveAt = 0, writes = 0;
};

// N to try among `total`: the first and last few, and `strided` spread evenly between.
std::vector<unsigned long> samples(unsigned long from, unsigned long total, unsigned long strided) {
  std::vector<unsigned long> out;
  if (total < from) return out;
  const unsigned long span = total - from + 1;
  for (unsigned long i = 0; i < span && i < 3; ++i) out.push_back(from + i);
  for (unsigned long i = 1; i <= strided; ++i) out.push_back(from + span * i / (strided + 1));
  for (unsigned long i = 0; i < span && i < 3; ++i) out.push_back(total - i);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

struct Sweep {
  Workspace w;
  std::vector<std::string> args{"--no-open"};
  std::string reference;                    // the undisturbed listing
  std::map<std::string, int> outcomes;      // "group: outcome" -> runs
  int runs = 0;

  explicit Sweep(const Sources& sources) {
    w.sources(sources);
    w.resource(shippedResource());
    for (const auto& [name, text] : sources) args.push_back(name);
    w.timeoutMs = 30000;
  }

  std::string work(const std::string& name) const { return w.dir / ("work/" + name); }

  // Runs once under `environment`; records the outcome under `group`, failing the test on an
  // outcome that is not one of the two allowed.
  void run(const std::string& group, const std::vector<std::pair<std::string, std::string>>& env,
           unsigned long long addressLimit = 0) {
    std::filesystem::remove(work("listing.pdf"));
    w.environment = env;
    w.environment.emplace_back("LD_PRELOAD", MERVIK_FAULT_SHIM);
    w.environment.emplace_back("SOURCE_DATE_EPOCH", "1700000000");  // the record's dates
    w.addressLimit = addressLimit;
    const RunResult r = w.run(args);
    ++runs;
    std::string trace = group;
    for (const auto& [name, value] : env) trace += " " + name + "=" + value;
    SCOPED_TRACE(trace + "\n" + r.console.substr(r.console.size() > 400 ? r.console.size() - 400 : 0));
    // Whatever the end, no file of the run's save is left beside the listing.
    for (const auto& entry : std::filesystem::directory_iterator(w.dir / "work"))
      EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos);
    std::string outcome;
    // A search or load without memory passes the file over as missing or unreadable (status 1),
    // and links without memory are left out; the console says so.
    bool skipped = false;
    for (const char* reason : {"FILE COULD NOT BE OPENED", "FILE NOT FOUND", "No resource file",
                               "links: memory ran short"})
      skipped = skipped || r.console.find(reason) != std::string::npos;
    const bool listed = fileExists(work("listing.pdf"));
    if ((r.status == 0 || r.status == 1) &&
        r.console.find("No listing file: no source could be listed") != std::string::npos) {
      EXPECT_FALSE(listed);
      outcome = "no source loaded";
    } else if (r.status == 0 || (r.status == 1 && listed && skipped)) {
      // The same listing, or a sound one without what could not be read, as the console says.
      const std::string listing = readFile(work("listing.pdf"));
      const bool same = listing == reference;
      if (!same) w.pdf();  // qpdf's check
      EXPECT_TRUE(same || skipped) << "a different listing without a reason";
      outcome = same ? "listing" : "listing without a source";
    } else if (r.status == 1 && !listed && skipped &&
               r.console.find("CAN'T SET ") == std::string::npos &&
               r.console.find("Could not save") == std::string::npos) {
      outcome = "status 1, no name selected a file";
    } else if (r.status == 1) {
      EXPECT_FALSE(listed);
      // "\n\n<message>" then the key wait, and no other message before it.
      const std::size_t end = r.console.rfind(keyMessage);
      const std::size_t start = r.console.rfind("\n\n", end == std::string::npos ? 0 : end - 1);
      EXPECT_EQ(end + sizeof keyMessage - 1, r.console.size());
      const std::string message = start < end ? r.console.substr(start + 2, end - start - 2) : "";
      const bool known = message.rfind("CAN'T SET ", 0) == 0 ||
                         message.rfind("Could not save the PDF file", 0) == 0;
      EXPECT_TRUE(known) << message;
      const std::string before = r.console.substr(0, start);
      EXPECT_EQ(before.find("CAN'T SET "), std::string::npos);
      EXPECT_EQ(before.find("Could not save"), std::string::npos);
      outcome = "status 1, " + message;
    } else {
      ADD_FAILURE() << "status " << r.status << " (-1: killed or timed out)";
      outcome = "status " + std::to_string(r.status);
    }
    ++outcomes[group + ": " + outcome];
  }

  Counts count() {
    const std::string report = w.dir / "bin/counts.txt";
    run("counting", {{"MERVIK_FAULT_REPORT", report}});
    Counts c;
    std::istringstream in(readFile(report));
    in >> c.thread[0] >> c.thread[1] >> c.thread[2] >> c.hpdf[0] >> c.hpdf[1] >> c.hpdf[2] >>
        c.saveAt >> c.writes;
    return c;
  }

  // Allocation N of a thread (or of libharu on it) fails, once or from then on.
  void allocations(const std::string& group, int thread, bool hpdfOnly,
                   const std::vector<unsigned long>& ns) {
    for (unsigned long n : ns)
      for (const char* mode : {"on", "once"}) {
        std::vector<std::pair<std::string, std::string>> env{
            {"MERVIK_FAULT_THREAD", std::to_string(thread)}, {"MERVIK_FAULT_AT", std::to_string(n)},
            {"MERVIK_FAULT_MODE", mode}};
        if (hpdfOnly) env.emplace_back("MERVIK_FAULT_CALLER", "hpdf");
        run(group + " " + mode, env);
      }
  }

  void report(const char* input, const Counts& c) const {
    std::printf("fault sweep on %s: %d runs; allocations main %lu (libharu %lu, save from %lu), "
                "drawing %lu (libharu %lu), compressor %lu; %lu writes\n",
                input, runs, c.thread[0], c.hpdf[0], c.saveAt, c.thread[1], c.hpdf[1],
                c.thread[2], c.writes);
    for (const auto& [outcome, n] : outcomes) std::printf("  %5d  %s\n", n, outcome.c_str());
  }
};

// The whole sweep over one input; `strided` sets how many N each thread gets between its first
// and last few.
void sweep(const char* input, const Sources& sources, unsigned long strided) {
  Sweep s(sources);
  s.w.environment = {{"SOURCE_DATE_EPOCH", "1700000000"}};
  ASSERT_EQ(s.w.run(s.args).status, 0);
  s.reference = readFile(s.work("listing.pdf"));
  const Counts c = s.count();
  // The compressor may find no page to take before the close on a short run: the writer then
  // deflates them itself, so only the main and drawing threads and the save must be seen.
  ASSERT_TRUE(c.thread[0] && c.thread[1] && c.saveAt) << "the shim missed a thread or the save";
  s.allocations("main", 0, false, samples(1, c.saveAt, strided));
  s.allocations("save", 0, false, samples(c.saveAt + 1, c.thread[0], strided / 2));
  s.allocations("drawing", 1, false, samples(1, c.thread[1], strided));
  s.allocations("compressor", 2, false, samples(1, c.thread[2], strided / 2));
  s.allocations("libharu on main", 0, true, samples(1, c.hpdf[0], strided / 2));
  s.allocations("libharu drawing", 1, true, samples(1, c.hpdf[1], strided / 2));
  for (unsigned long n : samples(1, c.writes, 4))
    s.run("save's writes", {{"MERVIK_FAULT_WRITE", std::to_string(n)}});
  for (unsigned long long mb : {8, 16, 24, 32, 48, 64, 96, 128, 192, 256})
    s.run("ulimit -v", {}, mb << 20);
  s.report(input, c);
}

TEST(FaultSweep, ExamplesEndWithTheListingOrTheFatalMessage) {
  Sources examples = realSources();
  examples.resize(3);  // the bundled examples come first
  sweep("the examples", examples, 40);
}

TEST(FaultSweep, GhdlSourcesEndWithTheListingOrTheFatalMessage) {
  sweep("ghdl's VHDL sources (input A)", realSources(), 8);
}

}  // namespace
}  // namespace mervik::test
