// One case per assumption that src/pdf/haru_raw.hpp lists about libharu's insides, each named
// after it: when a libharu breaks one, the failing case says which.

#include "pdf/haru_raw.hpp"

#include <gtest/gtest.h>
#include <hpdf.h>
#include <hpdf_conf.h>

#include <array>
#include <string>
#include <vector>

#include "support/pdf_reader.hpp"
#include "support/temp_dir.hpp"

namespace mervik::pdf {

struct HaruDoc {
  HPDF_Doc pdf = HPDF_New(nullptr, nullptr);
  HPDF_Page page = nullptr;
  HPDF_Font courier = nullptr;
  HaruDoc() {
    HPDF_SetCompressionMode(pdf, HPDF_COMP_TEXT);
    courier = HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding");
    page = addPage();
  }
  ~HaruDoc() { HPDF_Free(pdf); }
  HPDF_Page addPage() {
    HPDF_Page added = HPDF_AddPage(pdf);
    HPDF_Page_BeginText(added);
    HPDF_Page_SetFontAndSize(added, courier, 10);
    return added;
  }
};

// The bytes of a page's content stream so far, read as the library's own save reads them.
std::string contentOf(HPDF_Page page) {
  const auto stream = static_cast<HPDF_PageAttr>(page->attr)->stream;
  std::string out;
  for (HPDF_UINT i = 0; i < HPDF_MemStream_GetBufCount(stream); ++i) {
    HPDF_UINT size = 0;
    const HPDF_BYTE* data = HPDF_MemStream_GetBufPtr(stream, i, &size);
    out.append(reinterpret_cast<const char*>(data), size);
  }
  return out;
}

std::string joined(const std::vector<PageCompressor::Chunk>& chunks) {
  std::string out;
  for (const auto& chunk : chunks) out.append(reinterpret_cast<const char*>(chunk.data), chunk.size);
  return out;
}

// Raw bytes land between the operators' bytes, and a finished page's content, read buffer by
// buffer past one buffer's size, is all of it; an open q or no flate filter leaves it alone.
TEST(HaruRaw, streamBuffers) {
  HaruDoc doc;
  const std::string raw(3 * HPDF_STREAM_BUF_SIZ + 5, 'x');
  haru::writeContent(doc.page, raw);
  HPDF_Page_EndText(doc.page);
  HPDF_Page_SetLineWidth(doc.page, 2);
  const std::string expected = "BT\012/F1 10 Tf\012" + raw + "ET\0122 w\012";
  EXPECT_TRUE(contentOf(doc.page) == expected);  // without printing 12 KB on failure
  EXPECT_TRUE(joined(haru::contentToDeflate(doc.page)) == expected);
  HPDF_Page open = doc.addPage();
  HPDF_Page_EndText(open);
  HPDF_Page_GSave(open);
  EXPECT_TRUE(haru::contentToDeflate(open).empty());
  HPDF_Page_GRestore(open);  // the library leaks the state of a q left open
  HPDF_SetCompressionMode(doc.pdf, HPDF_COMP_NONE);
  HPDF_Page plain = doc.addPage();
  HPDF_Page_EndText(plain);
  EXPECT_TRUE(haru::contentToDeflate(plain).empty());
}

// A raw line step moves the text position as MoveTextPos does, and writes the same bytes.
TEST(HaruRaw, pageAttributes) {
  HaruDoc doc;
  HPDF_Page moved = doc.page, raw = doc.addPage();
  for (HPDF_REAL step : {-9.8f, -0.78f, -13.0712f, -9.8f}) {
    HPDF_Page_MoveTextPos(moved, 0, step);
    std::string op = "0 ";
    haru::appendReal(op, step);
    haru::writeContent(raw, op + " Td\012");
    haru::advanceTextPos(raw, step);
    EXPECT_EQ(HPDF_Page_GetCurrentTextPos(raw).y, HPDF_Page_GetCurrentTextPos(moved).y) << step;
  }
  EXPECT_EQ(contentOf(raw), contentOf(moved));
}

// A real is written as the operators write their operands.
TEST(HaruRaw, numberFormat) {
  HaruDoc doc;
  HPDF_Page_EndText(doc.page);
  std::string expected, raw;
  for (HPDF_REAL value : {0.0f, 1.0f, 8.4546f, 14.58f, 0.000004f, 1022.99999f, 32767.0f}) {
    HPDF_Page_SetLineWidth(doc.page, value);
    haru::appendReal(raw, value);
    raw += " w\012";
  }
  EXPECT_EQ(raw, contentOf(doc.page).substr(std::string("BT\012/F1 10 Tf\012ET\012").size()));
}

// Shown text: escapes, the cut at a zero byte, pieces of the library's longest string, and
// nothing for a piece of bytes without a width.
TEST(HaruRaw, showText) {
  HaruDoc doc;
  std::array<bool, 256> shown{};
  for (int c = 1; c < 256; ++c) {
    const auto byte = static_cast<HPDF_BYTE>(c);
    shown[static_cast<std::size_t>(c)] = HPDF_Font_TextWidth(doc.courier, &byte, 1).width != 0;
  }
  const std::string runs[] = {"plain text", "\\%#/()<>[]{} \x7f\x80\xe9\xff", "\x01\x1f",
                              std::string("ab\0cd", 5), std::string(HPDF_LIMIT_MAX_STRING_LEN + 3, 'y'),
                              std::string(HPDF_LIMIT_MAX_STRING_LEN, '\t') + "z"};
  const std::size_t start = contentOf(doc.page).size();
  std::string raw, piece;
  for (const std::string& run : runs) {
    haru::appendShowText(raw, run, shown);
    for (std::size_t at = 0; at < run.size(); at += HPDF_LIMIT_MAX_STRING_LEN) {
      piece = run.substr(at, HPDF_LIMIT_MAX_STRING_LEN);
      HPDF_Page_ShowText(doc.page, piece.c_str());
    }
  }
  EXPECT_TRUE(raw == contentOf(doc.page).substr(start));
}

// A page whose content was deflated ahead of the save names its filter through the stream
// dictionary's write hook, and reads back as what was drawn.
TEST(HaruRaw, writeHooks) {
  test::TempDir dir;
  HaruDoc doc;
  HPDF_Page_ShowText(doc.page, "hooked");
  HPDF_Page_EndText(doc.page);
  const PageCompressor::Done done = PageCompressor::deflate(nullptr, haru::contentToDeflate(doc.page));
  ASSERT_TRUE(haru::adoptDeflated(doc.page, done.bytes));
  ASSERT_EQ(HPDF_SaveToFile(doc.pdf, (dir / "hooked.pdf").c_str()), HPDF_OK);
  test::Pdf read;
  std::string err;
  ASSERT_TRUE(test::readPdf(dir / "hooked.pdf", &read, &err)) << err;
  ASSERT_EQ(read.pages.size(), 1u);
  ASSERT_EQ(read.pages[0].runs.size(), 1u);
  EXPECT_EQ(read.pages[0].runs[0].text, "hooked");
}

// Link objects stand in the cross-reference table as entries of one shared dictionary, written
// in their order, each page's /Annots listing its own; more entries than the library's list
// holds at first grow it. A page that has a write hook of its own takes none, and leaves no trace.
TEST(HaruRaw, crossReference) {
  test::TempDir dir;
  std::string err;
  {
    HaruDoc doc;
    HPDF_Page second = doc.addPage(), hooked = doc.addPage();
    haru::LinkObjects links;
    const int many = HPDF_DEFALUT_XREF_ENTRY_NUM * 3;
    for (int i = 0; i < many; ++i)
      ASSERT_TRUE(links.add(10, 20.04f + i % 700, 30.26f, 29.5f + i % 700, second, 700.5f));
    ASSERT_EQ(links.attach(doc.pdf, doc.page), haru::LinkObjects::Attached::yes);
    ASSERT_TRUE(links.add(40, 50, 60, 70, hooked, 800.25f));
    hooked->write_fn = [](HPDF_Dict, HPDF_Stream) { return HPDF_STATUS{HPDF_OK}; };
    EXPECT_EQ(links.attach(doc.pdf, hooked), haru::LinkObjects::Attached::outOfObjects);
    ASSERT_TRUE(links.add(1, 2, 3, 4, doc.page, 5));
    EXPECT_EQ(links.attach(doc.pdf, second), haru::LinkObjects::Attached::yes);
    doc.addPage();  // objects after the links'
    ASSERT_EQ(HPDF_SaveToFile(doc.pdf, (dir / "links.pdf").c_str()), HPDF_OK);
    links.detach(doc.pdf);
  }
  test::Pdf read;
  ASSERT_TRUE(test::readPdf(dir / "links.pdf", &read, &err)) << err;
  ASSERT_EQ(read.pages.size(), 4u);
  ASSERT_EQ(read.pages[0].links.size(), 3u * HPDF_DEFALUT_XREF_ENTRY_NUM);
  for (std::size_t i = 0; i < read.pages[0].links.size(); i += 701) {
    const test::Link& l = read.pages[0].links[i];
    EXPECT_EQ(std::to_string(l.x0) + " " + std::to_string(l.y0) + " " + std::to_string(l.x1) + " " +
                  std::to_string(l.y1) + " " + std::to_string(l.border) + " " +
                  std::to_string(l.target.page) + " " + std::to_string(l.target.top),
              "10.000000 " + std::to_string(20.0 + i % 700) + " 30.300000 " +
                  std::to_string(29.5 + i % 700) + " 0.000000 1 700.500000");
  }
  ASSERT_EQ(read.pages[1].links.size(), 1u);
  EXPECT_EQ(read.pages[1].links[0].target.page, 0);
  EXPECT_EQ(read.pages[1].links[0].target.top, 5);
  EXPECT_TRUE(read.pages[2].links.empty());
}

// The document's memory manager has no pool, so the list grown by alloc_fn is freed by free_fn.
TEST(HaruRaw, memoryManager) {
  HaruDoc doc;
  EXPECT_EQ(doc.pdf->mmgr->mpool, nullptr);
  EXPECT_EQ(doc.pdf->xref->prev, nullptr);
  EXPECT_EQ(doc.pdf->xref->start_offset, 0u);
}

}  // namespace mervik::pdf
