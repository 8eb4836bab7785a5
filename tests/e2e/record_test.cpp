// End-to-end: the listing as a record, checked with the tools a reader of it would use:
// sha256sum, pdfinfo and pdfdetach.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/workspace.hpp"

namespace mervik::test {

// What a shell command prints on standard output.
std::string commandOutput(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// The pdfinfo lines that start with one of `keys`, in pdfinfo's order.
std::string infoLines(const std::string& pdf, const std::vector<std::string>& keys) {
  std::string all = commandOutput("pdfinfo '" + pdf + "'"), picked;
  for (size_t at = 0, end; at < all.size(); at = end + 1) {
    end = all.find('\n', at);
    const std::string line = all.substr(at, end - at);
    for (const std::string& key : keys)
      if (line.rfind(key + ":", 0) == 0) picked += line + "\n";
  }
  return picked;
}

// pdfdetach -saveall of `pdf` into `dir`, which must exist: its status.
int saveAll(const std::string& pdf, const std::string& dir) {
  return std::system(("pdfdetach -saveall -o '" + dir + "' '" + pdf + "'").c_str());
}

TEST(Record, ChecksumsInformationAndAttachmentsGiveTheSourcesBack) {
  Workspace f;
  f.resource(shippedResource());  // it turns the record on
  Sources sources = realSources();
  sources.resize(3);  // the bundled examples; and a zero byte, CR LF and UTF-8:
  sources.emplace_back("odd.vhd", std::string("a\0b\r\nentity caf\xc3\xa9 is end;\r\n", 28));
  sources.emplace_back("rtl/top.vhd", "entity top is end;\n");
  f.sources(sources);
  f.environment = {{"SOURCE_DATE_EPOCH", "1700000000"}};
  ASSERT_EQ(f.run({"*.vhd", "rtl/top.vhd"}).status, 0);
  const std::string pdf = f.dir / "work/listing.pdf", first = readFile(pdf);
  const std::string listing = f.pdf().listing();
  for (const auto& [name, text] : sources) {
    const std::string sum = commandOutput("cd '" + f.dir / "work" + "' && sha256sum " + name);
    EXPECT_NE(listing.find(" lines\nsha256 " + sum.substr(0, 64) + "\n\nLEXICAL"),
              std::string::npos) << name;
  }
  EXPECT_EQ(infoLines(pdf, {"Title", "Subject", "Author", "CreationDate", "ModDate"}),
            "Title:           VHDL listing\nSubject:         VHDL listing: 5 files, 171 lines\n"
            "CreationDate:    Tue Nov 14 22:13:20 2023 UTC\n"
            "ModDate:         Tue Nov 14 22:13:20 2023 UTC\n");
  EXPECT_EQ(commandOutput("pdfdetach -list '" + pdf + "'"),
            "5 embedded files\n1: counter.vhd\n2: odd.vhd\n3: rtl/top.vhd\n"
            "4: traffic_light.vhd\n5: uart_tx.vhd\n");
  f.dir.write("back/rtl/.keep", "");
  ASSERT_EQ(saveAll(pdf, f.dir / "back"), 0);
  for (const auto& [name, text] : sources) EXPECT_EQ(readFile(f.dir / ("back/" + name)), text);
  EXPECT_NE(first.find("/ModDate(D:20240304090507Z)"), std::string::npos);  // the file's date
  EXPECT_NE(first.find("/DisplayDocTitle true"), std::string::npos);
  // Dated by SOURCE_DATE_EPOCH, a second run gives the same bytes.
  ASSERT_EQ(f.run({"*.vhd", "rtl/top.vhd"}).status, 0);
  EXPECT_TRUE(readFile(pdf) == first);
}

// Files of the same bytes and date share one stream; another date makes another. Each file
// still comes back under its own name, a UTF-8 one too.
TEST(Record, TheSameBytesAndDateAreEmbeddedOnce) {
  Workspace f;
  f.resource("/OPTIONS\nrecord on\n");
  for (const char* name : {"a.vhd", "b.vhd", "c.vhd"}) f.source(name, "entity e is end;\n");
  f.source("d\xc3\xa9.vhd", "entity d is end;\n");
  const timespec later[2] = {{1709543108, 0}, {1709543108, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (f.dir / "work/c.vhd").c_str(), later, 0), 0);
  ASSERT_EQ(f.run({"*.vhd"}).status, 0);
  const std::string pdf = f.dir / "work/listing.pdf", raw = readFile(pdf);
  std::size_t streams = 0;
  const std::string stream = "/Filter/FlateDecode/Params";
  for (std::size_t at = 0; (at = raw.find(stream, at)) != std::string::npos; ++at) ++streams;
  EXPECT_EQ(streams, 3u);
  EXPECT_NE(raw.find("/Names[(0)<</Type/Filespec/F(a.vhd)"), std::string::npos);
  f.dir.write("back/.keep", "");
  ASSERT_EQ(saveAll(pdf, f.dir / "back"), 0);
  for (const std::string name : {"a.vhd", "b.vhd", "c.vhd", "d\xc3\xa9.vhd"})
    EXPECT_EQ(readFile(f.dir / ("back/" + name)), readFile(f.dir / ("work/" + name))) << name;
}

// Title and author as the resource file gives them or not; off, the design's author and no
// record at all.
TEST(Record, TitleAuthorAndTheListingWithoutIt) {
  Workspace f;
  f.source("b.vhd");
  f.source("a.vhd");
  f.source("c.vhd");
  const std::pair<std::string, std::string> cases[] = {
      {"/OPTIONS\nrecord on\n", "Title:           Listing of a.vhd and 2 more files\n"
                                "Subject:         VHDL listing: 3 files, 3 lines\n"},
      {"/TITLE\nMy chip\n/OPTIONS\nrecord on\nauthor Ana Lima\n",
       "Title:           My chip\nSubject:         VHDL listing: 3 files, 3 lines\n"
       "Author:          Ana Lima\n"},
      {"/OPTIONS\nrecord off\nauthor Ana Lima\n", "Author:          Ana Lima\n"},
      {"/TITLE\nMy chip\n", "Author:          Talmeric\n"},
  };
  for (const auto& [resource, info] : cases) {
    f.resource(resource);
    ASSERT_EQ(f.run({"*.vhd"}).status, 0);
    const std::string pdf = f.dir / "work/listing.pdf";
    const bool record = resource.find("record on") != std::string::npos;
    EXPECT_EQ(infoLines(pdf, {"Title", "Subject", "Author", "CreationDate"}).substr(0, info.size()) +
                  commandOutput("pdfdetach -list '" + pdf + "'").substr(0, 2) +
                  std::to_string(f.pdf().listing().find("\nsha256 ") != std::string::npos),
              info + (record ? "3 1" : "0 0")) << resource;
  }
  f.resource("/OPTIONS\nrecord on\n");
  ASSERT_EQ(f.run({"a.vhd"}).status, 0);
  EXPECT_EQ(infoLines(f.dir / "work/listing.pdf", {"Title", "Subject"}),
            "Title:           Listing of a.vhd\nSubject:         VHDL listing: 1 file, 1 line\n");
}

// Each paper keeps the margins and fits the line width to its own width; a narrow line width
// takes the checksum on lines of its own.
TEST(Record, PaperSizesFitTheLinesAndANarrowChecksumWraps) {
  Workspace f;
  f.source("a.vhd", std::string(94, 'x') + "\n");
  const struct { const char* paper; double width, height; } papers[] = {
      {"a4", 595.276, 841.89}, {"letter", 612, 792}, {"legal", 612, 1008}, {"a3", 841.89, 1190.551}};
  for (const auto& p : papers) {
    f.resource(std::string("/OPTIONS\npaper ") + p.paper + "\n");
    ASSERT_EQ(f.run({"a.vhd"}).status, 0);
    const Pdf pdf = f.pdf();
    const DrawnLine first = pdf.lines().at(0);
    // 101 characters of 0.6 of the size each: the text block, less the one column that the
    // line width's 100 leaves for a wrap, is the page's width within its margins.
    EXPECT_NEAR(first.size * 0.6 * 100, p.width - 88, 0.01) << p.paper;
    char got[96], expected[96];
    std::snprintf(got, sizeof got, "%.3f x %.3f, first line at %.3f %.3f", pdf.pages.at(0).width,
                  pdf.pages[0].height, first.x, first.y);
    std::snprintf(expected, sizeof expected, "%.3f x %.3f, first line at 44.000 %.3f", p.width,
                  p.height, p.height - 51);
    EXPECT_EQ(std::string(got), expected) << p.paper;
  }
  f.resource("/OPTIONS\npaper b5\nrecord yes\nauthor\n");  // each passed over, said once
  const RunResult unknown = f.run({"a.vhd"});
  const std::string warning = "\n   WARNING - UNKNOWN OPTION:  ";
  EXPECT_NE(unknown.console.find(warning + "paper b5  (line 2)" + warning + "record yes  (line 3)" +
                                 warning + "author  (line 4)\n"),
            std::string::npos);
  const Pdf a4 = f.pdf();
  EXPECT_EQ(std::to_string(static_cast<int>(a4.pages.at(0).width)) + a4.author, "595Talmeric");
  f.resource("/FORMAT\n4\n30\n/OPTIONS\nrecord on\n");
  ASSERT_EQ(f.run({"a.vhd"}).status, 0);
  const std::string sum = commandOutput("cd '" + f.dir / "work" + "' && sha256sum a.vhd");
  EXPECT_NE(f.pdf().listing().find("\nsha256\n       " + sum.substr(0, 30) + "\n       " +
                                   sum.substr(30, 30) + "\n       " + sum.substr(60, 4) + "\n"),
            std::string::npos);
}

}  // namespace mervik::test
