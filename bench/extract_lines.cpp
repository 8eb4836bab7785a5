// The floor's preparation and its check. From mervik's listing.pdf it writes the lines file
// (lines_file.hpp): each page's size, header texts and Courier lines with their positions, so
// the floor draws exactly mervik's lines on exactly mervik's pages. With --check it reads a
// PDF the floor wrote and tells whether it shows the same pages, headers, lines and outline.
//
// Usage: extract_lines LISTING.pdf LINES        prints "<pages> pages, <lines> lines"
//        extract_lines --check FLOOR.pdf LINES  exit 0 when they agree, else 1 and the reason

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "lines_file.hpp"
#include "support/pdf_reader.hpp"

namespace {

using mervik::test::Page;
using mervik::test::Pdf;
using mervik::test::TextRun;

constexpr double positionTolerance = 0.01;  // points; both sides print reals to 4-5 decimals

struct Line {
  double x = 0, y = 0;
  std::string text;
};

struct PageRecord {
  float width = 0, height = 0, headerSize = 0, fontSize = 0;
  bool outline = false;  // a section's outline entry points at this page
  std::string title, label;
  std::vector<Line> lines;
};

// The header after its last blank, as mervik titles a section's outline entry.
std::string outlineTitle(const std::string& header) {
  size_t blank = header.rfind(' ');
  return blank == std::string::npos ? header : header.substr(blank + 1);
}

// The header runs: the title at the left margin (absent when the title is empty) and the
// "page N" label.
bool readHeader(const Page& page, PageRecord* out, std::string* err) {
  std::vector<TextRun> header = page.runsIn("Helvetica");
  if (header.empty() || header.size() > 2) {
    *err = std::to_string(header.size()) + " header runs";
    return false;
  }
  if (header.size() == 2) out->title = header[0].text;
  out->label = header.back().text;
  out->headerSize = static_cast<float>(header.back().size);
  return true;
}

// Appends a listing line; an empty line shows no text, so a gap of k line steps within a
// column gets its k - 1 empty lines back (mervik's section gap is two steps: one empty line).
void addLine(PageRecord* out, const TextRun& run) {
  const double step = 0.98 * out->fontSize;
  if (!out->lines.empty() && std::fabs(out->lines.back().x - run.x) < positionTolerance) {
    const double gap = out->lines.back().y - run.y;
    const long k = std::lround(gap / step);
    if (k >= 2 && std::fabs(gap - static_cast<double>(k) * step) < positionTolerance) {
      const double top = out->lines.back().y;
      for (long i = 1; i < k; ++i) out->lines.push_back({run.x, top - static_cast<double>(i) * step, ""});
    }
  }
  out->lines.push_back({run.x, run.y, run.text});
}

bool readPage(const Page& page, PageRecord* out, std::string* err) {
  out->width = static_cast<float>(page.width);
  out->height = static_cast<float>(page.height);
  if (!readHeader(page, out, err)) return false;
  for (const TextRun& run : page.runs) {
    if (run.font == "Helvetica") continue;
    if (run.font != "Courier") {
      *err = "a run in font " + run.font;
      return false;
    }
    if (out->lines.empty()) out->fontSize = static_cast<float>(run.size);
    if (std::fabs(run.size - out->fontSize) > 1e-4 || run.text.find('\0') != std::string::npos) {
      *err = "a listing line in another size or with a NUL byte";
      return false;
    }
    addLine(out, run);
  }
  if (out->lines.empty()) {
    *err = "no listing line";
    return false;
  }
  return true;
}

bool readListing(const std::string& path, std::vector<PageRecord>* pages, std::string* err) {
  Pdf pdf;
  if (!mervik::test::readPdf(path, &pdf, err)) return false;
  pages->resize(pdf.pages.size());
  for (size_t i = 0; i < pdf.pages.size(); ++i) {
    if (!readPage(pdf.pages[i], &(*pages)[i], err)) {
      *err = path + ", page " + std::to_string(i + 1) + ": " + *err;
      return false;
    }
  }
  for (const auto& entry : pdf.outlines) {
    if (entry.page < 0 || entry.depth != 0) continue;
    PageRecord& target = (*pages)[static_cast<size_t>(entry.page)];
    target.outline = true;
    if (entry.title != outlineTitle(target.title)) {
      *err = path + ": outline entry \"" + entry.title + "\" is not the title's last word";
      return false;
    }
  }
  return true;
}

bool writeLines(const std::vector<PageRecord>& pages, const std::string& path, std::string* err) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    *err = "cannot write " + temporary;
    return false;
  }
  lines_file::Writer out(file);
  uint64_t lineCnt = 0;
  for (const PageRecord& page : pages) {
    out.tag(lines_file::pageTag);
    for (float f : {page.width, page.height, page.headerSize, page.fontSize}) out.number(f);
    out.number(static_cast<uint8_t>(page.outline));
    out.text(page.title);
    out.text(page.label);
    out.number(static_cast<float>(page.lines.front().x));
    out.number(static_cast<float>(page.lines.front().y));
    out.number(static_cast<uint32_t>(page.lines.size()));
    // After each line, the move to the next one; after the last, one line step down, as
    // mervik moves after every line it shows.
    for (size_t i = 0; i < page.lines.size(); ++i) {
      const Line& line = page.lines[i];
      out.text(line.text);
      if (i + 1 < page.lines.size()) {
        out.number(static_cast<float>(page.lines[i + 1].x - line.x));
        out.number(static_cast<float>(page.lines[i + 1].y - line.y));
      } else {
        out.number(0.0f);
        out.number(static_cast<float>(-0.98 * page.fontSize));
      }
    }
    lineCnt += page.lines.size();
  }
  out.tag(lines_file::endTag);
  out.number(static_cast<uint32_t>(pages.size()));
  out.number(lineCnt);
  const bool good = out.good();
  if (std::fclose(file) != 0 || !good || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    *err = "cannot write " + path;
    return false;
  }
  return true;
}

bool readPageRecord(lines_file::Reader& in, PageRecord* page) {
  uint8_t outline = 0;
  uint32_t n = 0;
  float x = 0, y = 0, dx = 0, dy = 0;
  bool good = in.number(&page->width) && in.number(&page->height) &&
              in.number(&page->headerSize) && in.number(&page->fontSize) &&
              in.number(&outline) && in.text(&page->title) && in.text(&page->label) &&
              in.number(&x) && in.number(&y) && in.number(&n);
  page->outline = outline != 0;
  page->lines.resize(good ? n : 0);
  double atX = x, atY = y;
  for (Line& line : page->lines) {
    good = good && in.text(&line.text) && in.number(&dx) && in.number(&dy);
    line.x = atX;
    line.y = atY;
    atX += dx;
    atY += dy;
  }
  return good;
}

bool readLines(const std::string& path, std::vector<PageRecord>* pages, std::string* err) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  bool good = file != nullptr;
  if (good) {
    lines_file::Reader in(file);
    char tag = 0;
    good = in.start();
    while (good && in.tag(&tag) && tag == lines_file::pageTag) {
      pages->emplace_back();
      good = readPageRecord(in, &pages->back());
    }
    good = good && tag == lines_file::endTag;
    std::fclose(file);
  }
  if (!good) *err = "cannot read the lines file " + path;
  return good;
}

bool near(double a, double b) { return std::fabs(a - b) <= positionTolerance; }

// The first difference between two pages, or empty.
std::string pageDifference(const PageRecord& want, const PageRecord& got) {
  if (!near(want.width, got.width) || !near(want.height, got.height)) return "page size";
  if (want.title != got.title || want.label != got.label) return "header";
  if (want.outline != got.outline) return "outline entry";
  if (!near(want.fontSize, got.fontSize) || !near(want.headerSize, got.headerSize)) {
    return "font size";
  }
  if (want.lines.size() != got.lines.size()) {
    return std::to_string(got.lines.size()) + " lines instead of " +
           std::to_string(want.lines.size());
  }
  for (size_t i = 0; i < want.lines.size(); ++i) {
    const Line& a = want.lines[i];
    const Line& b = got.lines[i];
    if (a.text != b.text) return "line " + std::to_string(i + 1) + " text";
    if (!near(a.x, b.x) || !near(a.y, b.y)) return "line " + std::to_string(i + 1) + " position";
  }
  return "";
}

int check(const std::string& pdfPath, const std::string& linesPath) {
  std::vector<PageRecord> want, got;
  std::string err;
  if (!readLines(linesPath, &want, &err) || !readListing(pdfPath, &got, &err)) {
    std::fprintf(stderr, "extract_lines: %s\n", err.c_str());
    return 1;
  }
  if (want.size() != got.size()) {
    std::fprintf(stderr, "extract_lines: %zu pages instead of %zu\n", got.size(), want.size());
    return 1;
  }
  for (size_t i = 0; i < want.size(); ++i) {
    std::string difference = pageDifference(want[i], got[i]);
    if (!difference.empty()) {
      std::fprintf(stderr, "extract_lines: page %zu differs: %s\n", i + 1, difference.c_str());
      return 1;
    }
  }
  std::printf("same: %zu pages\n", want.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--check") return check(argv[2], argv[3]);
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: extract_lines LISTING.pdf LINES | extract_lines --check FLOOR.pdf LINES\n");
    return 2;
  }
  std::vector<PageRecord> pages;
  std::string err;
  if (!readListing(argv[1], &pages, &err) || !writeLines(pages, argv[2], &err)) {
    std::fprintf(stderr, "extract_lines: %s\n", err.c_str());
    return 1;
  }
  size_t lines = 0;
  for (const PageRecord& page : pages) lines += page.lines.size();
  std::printf("%zu pages, %zu lines\n", pages.size(), lines);
  return 0;
}
