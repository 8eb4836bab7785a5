// The benchmark's floor: the least work that turns source files into a numbered Courier
// listing through libharu, drawn the way mervik draws it. No wrapping, no tab expansion, no
// analysis, no cross-reference: whatever mervik spends beyond this is its own cost.
//
// Usage: floor OUTPUT.pdf FILE...
// Prints one line to standard output: "floor: <lines> lines, <pages> pages, <files> files".

#include <hpdf.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The default page and the font size that mervik fits for a line width of 100.
constexpr float pageWidth = 595.276f;
constexpr float pageHeight = 841.89f;
constexpr float fontSize = 8.4546f;
constexpr int linesPerPage = 92;

struct Listing {
  HPDF_Doc pdf = nullptr;
  HPDF_Font font = nullptr;
  HPDF_Font hfont = nullptr;
  HPDF_Page page = nullptr;
  int pages = 0;
  int lines = 0;
  int linesOnPage = 0;
};

/// Reads a whole file with one read; false when it cannot be opened.
bool readFile(const char* path, std::string* text) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  text->clear();
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long size = std::ftell(file);
    if (size > 0) {
      text->resize(static_cast<size_t>(size));
      std::rewind(file);
      text->resize(std::fread(&(*text)[0], 1, text->size(), file));
    }
  }
  std::fclose(file);
  return true;
}

/// Starts a page: explicit A4 size, one Helvetica header line, then the Courier text object.
void newPage(Listing& out, const char* path, int sectionPage) {
  if (out.page) HPDF_Page_EndText(out.page);
  out.page = HPDF_AddPage(out.pdf);
  HPDF_Page_SetWidth(out.page, pageWidth);
  HPDF_Page_SetHeight(out.page, pageHeight);
  char header[1200];
  std::snprintf(header, sizeof header, "%.1000s   page %d", path, sectionPage);
  HPDF_Page_SetFontAndSize(out.page, out.hfont, 1.3f * fontSize);
  HPDF_Page_BeginText(out.page);
  HPDF_Page_TextOut(out.page, 44, pageHeight - 30, header);
  HPDF_Page_EndText(out.page);
  HPDF_Page_BeginText(out.page);
  HPDF_Page_SetFontAndSize(out.page, out.font, fontSize);
  HPDF_Page_MoveTextPos(out.page, 44, pageHeight - 51);
  out.linesOnPage = 0;
  ++out.pages;
}

/// Lists one file: each line as "%4d | " and its text, a new page per file and per 92 lines.
void listFile(Listing& out, const char* path, const std::string& text) {
  int sectionPage = 0;
  int number = 0;
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    if (number == 0 || out.linesOnPage == linesPerPage) newPage(out, path, ++sectionPage);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%4d | ", ++number);
    line.assign(prefix);
    line.append(text, start, stop - start);
    HPDF_Page_ShowText(out.page, line.c_str());
    HPDF_Page_MoveTextPos(out.page, 0, -0.98f * fontSize);
    ++out.linesOnPage;
    start = end + 1;
  }
  out.lines += number;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: floor OUTPUT.pdf FILE...\n");
    return 2;
  }
  Listing out;
  out.pdf = HPDF_New(nullptr, nullptr);
  if (!out.pdf) return 1;
  HPDF_SetCompressionMode(out.pdf, HPDF_COMP_TEXT);
  out.font = HPDF_GetFont(out.pdf, "Courier", "WinAnsiEncoding");
  out.hfont = HPDF_GetFont(out.pdf, "Helvetica", "WinAnsiEncoding");
  std::string text;
  int files = 0;
  for (int i = 2; i < argc; ++i) {
    if (!readFile(argv[i], &text)) {
      std::fprintf(stderr, "floor: cannot open %s\n", argv[i]);
      continue;
    }
    listFile(out, argv[i], text);
    ++files;
  }
  if (out.page) HPDF_Page_EndText(out.page);
  const bool saved = HPDF_SaveToFile(out.pdf, argv[1]) == HPDF_OK;
  HPDF_Free(out.pdf);
  if (!saved) {
    std::fprintf(stderr, "floor: could not save %s\n", argv[1]);
    return 1;
  }
  std::printf("floor: %d lines, %d pages, %d files\n", out.lines, out.pages, files);
  return 0;
}
