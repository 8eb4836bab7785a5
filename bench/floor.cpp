// The benchmark's floor: the least work that draws mervik's listing through libharu the way
// mervik draws it. It reads the lines file that extract_lines took from mervik's own PDF and
// puts exactly those lines on exactly those pages, with the same header, rule, fonts, sizes,
// outline and compression. No reading of sources, layout, analysis or cross-reference:
// whatever mervik spends beyond this is its own cost.
//
// Usage: floor OUTPUT.pdf LINES
// Prints one line to standard output: "floor: <lines> lines, <pages> pages".

#include <hpdf.h>

#include <cstdio>
#include <string>

#include "lines_file.hpp"

namespace {

constexpr float margin = 44;
constexpr float headerDrop = 30;
constexpr float ruleDrop = 34;

struct Floor {
  HPDF_Doc pdf = nullptr;
  HPDF_Font font = nullptr;   // Courier: the listing lines
  HPDF_Font hfont = nullptr;  // Helvetica: the page header
  std::string title, label, text;
  long lines = 0;
  int pages = 0;
};

// One outline entry per section, titled by the header after its last blank.
void addOutline(Floor& out, HPDF_Page page) {
  size_t blank = out.title.rfind(' ');
  out.text.assign(out.title, blank == std::string::npos ? 0 : blank + 1, std::string::npos);
  HPDF_Outline outline = HPDF_CreateOutline(out.pdf, nullptr, out.text.c_str(), nullptr);
  HPDF_Destination destination = HPDF_Page_CreateDestination(page);
  if (outline && destination) HPDF_Outline_SetDestination(outline, destination);
}

// The title at the left margin, the label ending at the right one, the rule below them.
void drawHeader(Floor& out, HPDF_Page page, float width, float height, float headerSize) {
  HPDF_Page_SetFontAndSize(page, out.hfont, headerSize);
  HPDF_Page_BeginText(page);
  HPDF_Page_TextOut(page, margin, height - headerDrop, out.title.c_str());
  float labelWidth = HPDF_Page_TextWidth(page, out.label.c_str());
  HPDF_Page_TextOut(page, width - labelWidth - margin, height - headerDrop, out.label.c_str());
  HPDF_Page_EndText(page);
  HPDF_Page_SetLineWidth(page, 1);
  HPDF_Page_MoveTo(page, margin, height - ruleDrop);
  HPDF_Page_LineTo(page, width - margin, height - ruleDrop);
  HPDF_Page_Stroke(page);
}

/// Draws one page record of the lines file; false when the file ends early or libharu fails.
bool drawPage(Floor& out, lines_file::Reader& in) {
  float width = 0, height = 0, headerSize = 0, fontSize = 0, x = 0, y = 0;
  uint8_t outline = 0;
  uint32_t lineCnt = 0;
  if (!in.number(&width) || !in.number(&height) || !in.number(&headerSize) ||
      !in.number(&fontSize) || !in.number(&outline) || !in.text(&out.title) ||
      !in.text(&out.label) || !in.number(&x) || !in.number(&y) || !in.number(&lineCnt)) {
    return false;
  }
  HPDF_Page page = HPDF_AddPage(out.pdf);
  if (!page) return false;
  ++out.pages;
  HPDF_Page_SetWidth(page, width);
  HPDF_Page_SetHeight(page, height);
  if (outline) addOutline(out, page);
  drawHeader(out, page, width, height, headerSize);
  HPDF_Page_BeginText(page);
  HPDF_Page_SetFontAndSize(page, out.font, fontSize);
  HPDF_Page_MoveTextPos(page, x, y);
  for (uint32_t i = 0; i < lineCnt; ++i) {
    if (!in.text(&out.text) || !in.number(&x) || !in.number(&y)) return false;
    HPDF_Page_ShowText(page, out.text.c_str());
    HPDF_Page_MoveTextPos(page, x, y);
  }
  HPDF_Page_EndText(page);
  out.lines += lineCnt;
  return true;
}

bool drawAll(Floor& out, const char* linesPath) {
  std::FILE* file = std::fopen(linesPath, "rb");
  if (!file) return false;
  lines_file::Reader in(file);
  bool good = in.start();
  char tag = 0;
  while (good && in.tag(&tag) && tag == lines_file::pageTag) good = drawPage(out, in);
  std::fclose(file);
  return good && tag == lines_file::endTag;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor OUTPUT.pdf LINES\n");
    return 2;
  }
  Floor out;
  out.pdf = HPDF_New(nullptr, nullptr);
  if (!out.pdf) return 1;
  // Pages in a tree, as mervik keeps them: one /Kids array holds at most 32,767.
  HPDF_SetPagesConfiguration(out.pdf, 256);
  HPDF_SetCompressionMode(out.pdf, HPDF_COMP_TEXT);
  out.hfont = HPDF_GetFont(out.pdf, "Helvetica", "WinAnsiEncoding");
  out.font = HPDF_GetFont(out.pdf, "Courier", "WinAnsiEncoding");
  if (!drawAll(out, argv[2])) {
    HPDF_Free(out.pdf);
    std::fprintf(stderr, "floor: cannot read the lines file %s\n", argv[2]);
    return 1;
  }
  const bool saved = HPDF_SaveToFile(out.pdf, argv[1]) == HPDF_OK;
  HPDF_Free(out.pdf);
  if (!saved) {
    std::fprintf(stderr, "floor: could not save %s\n", argv[1]);
    return 1;
  }
  std::printf("floor: %ld lines, %d pages\n", out.lines, out.pages);
  return 0;
}
