// One case per assumption that src/pdf/haru_raw.hpp lists about libharu's insides, each named
// after it: when a libharu breaks one, the failing case says which.

#include "pdf/haru_raw.hpp"

#include <gtest/gtest.h>
#include <hpdf.h>
#include <hpdf_conf.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/pdf_reader.hpp"
#include "support/temp_dir.hpp"

namespace mervik::pdf {

// A document whose pages open a text object in Courier 10.
struct HaruDoc {
  HPDF_Doc pdf = HPDF_New(nullptr, nullptr);
  HPDF_Font courier = HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding");
  HPDF_Page page = addPage();
  ~HaruDoc() { HPDF_Free(pdf); }
  HPDF_Page addPage() {
    HPDF_SetCompressionMode(pdf, HPDF_COMP_TEXT);
    HPDF_Page added = HPDF_AddPage(pdf);
    HPDF_Page_BeginText(added);
    HPDF_Page_SetFontAndSize(added, courier, 10);
    return added;
  }
  // The bytes of a page's content so far, read buffer by buffer.
  static std::string content(HPDF_Page page) {
    const auto stream = static_cast<HPDF_PageAttr>(page->attr)->stream;
    std::string out;
    for (HPDF_UINT i = 0, size = 0; i < HPDF_MemStream_GetBufCount(stream); ++i) {
      const HPDF_BYTE* data = HPDF_MemStream_GetBufPtr(stream, i, &size);
      out.append(reinterpret_cast<const char*>(data), size);
    }
    return out;
  }
  test::Pdf saved(const test::TempDir& dir) {
    test::Pdf read;
    std::string err;
    EXPECT_TRUE(HPDF_SaveToFile(pdf, (dir / "raw.pdf").c_str()) == HPDF_OK &&
                test::readPdf(dir / "raw.pdf", &read, &err)) << err;
    return read;
  }
};

// Raw bytes land between the operators' bytes, and a finished page's content, read buffer by
// buffer past one buffer's size, is all of it; an open q or no flate filter leaves it alone.
TEST(HaruRaw, streamBuffers) {
  HaruDoc doc;
  const std::string raw(3 * HPDF_STREAM_BUF_SIZ + 5, 'x');
  haru::writeContent(doc.page, raw);
  HPDF_Page_EndText(doc.page);
  HPDF_Page_SetLineWidth(doc.page, 2);
  const std::string expected = "BT\012/F1 10 Tf\012" + raw + "ET\0122 w\012";
  EXPECT_TRUE(HaruDoc::content(doc.page) == expected);  // without printing 12 KB on failure
  std::string chunks;
  for (const auto& c : haru::contentToDeflate(doc.page))
    chunks.append(reinterpret_cast<const char*>(c.data), c.size);
  EXPECT_TRUE(chunks == expected);
  HPDF_Page open = doc.addPage();
  HPDF_Page_EndText(open);
  HPDF_Page_GSave(open);
  EXPECT_TRUE(haru::contentToDeflate(open).empty());
  HPDF_Page_GRestore(open);  // the library leaks the state of a q left open
  HPDF_SetCompressionMode(doc.pdf, HPDF_COMP_NONE);
  HPDF_Page plain = HPDF_AddPage(doc.pdf);
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
  EXPECT_EQ(HaruDoc::content(raw), HaruDoc::content(moved));
}

// A real is written as the operators write their operands.
TEST(HaruRaw, numberFormat) {
  HaruDoc doc;
  HPDF_Page_EndText(doc.page);
  std::string raw = "BT\012/F1 10 Tf\012ET\012";
  for (HPDF_REAL value : {0.0f, 1.0f, 8.4546f, 14.58f, 0.000004f, 1022.99999f, 32767.0f}) {
    HPDF_Page_SetLineWidth(doc.page, value);
    haru::appendReal(raw, value);
    raw += " w\012";
  }
  EXPECT_EQ(raw, HaruDoc::content(doc.page));
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
  const std::size_t max = HPDF_LIMIT_MAX_STRING_LEN;
  std::string raw = "BT\012/F1 10 Tf\012";
  for (const std::string& run : {std::string("\\%#/()<>[]{} \x7f\x80\xe9\xff"), std::string("\x01\x1f"),
                                 std::string("ab\0cd", 5), std::string(max + 3, 'y'),
                                 std::string(max, '\t') + "z"}) {
    haru::appendShowText(raw, run, shown);
    for (std::size_t at = 0; at < run.size(); at += max)
      HPDF_Page_ShowText(doc.page, run.substr(at, max).c_str());
  }
  EXPECT_TRUE(raw == HaruDoc::content(doc.page));
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
  const test::Pdf read = doc.saved(dir);
  ASSERT_EQ(read.pages.size(), 1u);
  EXPECT_EQ(read.pages[0].runs.size() == 1 ? read.pages[0].runs[0].text : "", "hooked");
}

// Link objects stand in the cross-reference table as entries of one shared dictionary, written
// in their order, each page's /Annots listing its own, past the library's first list size. A
// page that has a write hook of its own takes none, and keeps no trace of them.
TEST(HaruRaw, crossReference) {
  test::TempDir dir;
  test::Pdf read;
  {
    HaruDoc doc;
    HPDF_Page second = doc.addPage(), hooked = doc.addPage();
    haru::LinkObjects links;
    for (int i = 0; i < 3 * HPDF_DEFALUT_XREF_ENTRY_NUM; ++i)
      ASSERT_TRUE(links.add(10, 20.04f + i % 700, 30.26f, 29.5f + i % 700, second, 700.5f));
    ASSERT_EQ(links.attach(doc.pdf, doc.page), haru::LinkObjects::Attached::yes);
    ASSERT_TRUE(links.add(40, 50, 60, 70, hooked, 800.25f));
    hooked->write_fn = [](HPDF_Dict, HPDF_Stream) { return HPDF_STATUS{HPDF_OK}; };
    EXPECT_EQ(links.attach(doc.pdf, hooked), haru::LinkObjects::Attached::outOfObjects);
    ASSERT_TRUE(links.add(1, 2, 3, 4, doc.page, 5));
    EXPECT_EQ(links.attach(doc.pdf, second), haru::LinkObjects::Attached::yes);
    doc.addPage();  // objects after the links'
    read = doc.saved(dir);
    links.detach(doc.pdf);
  }
  const auto link = [&read](std::size_t p, std::size_t i) {
    const test::Link& l = read.pages.at(p).links.at(i);
    char text[96];
    std::snprintf(text, sizeof text, "%g %g %g %g %g %d %g", l.x0, l.y0, l.x1, l.y1, l.border,
                  l.target.page, l.target.top);
    return std::string(text);
  };
  ASSERT_EQ(read.pages.size(), 4u);
  EXPECT_EQ(std::to_string(read.pages[0].links.size()) + " " + link(0, 0) + " | " + link(0, 3071),
            std::to_string(3 * HPDF_DEFALUT_XREF_ENTRY_NUM) +
                " 10 20 30.3 29.5 0 1 700.5 | 10 291 30.3 300.5 0 1 700.5");
  EXPECT_EQ(std::to_string(read.pages[1].links.size()) + " " + link(1, 0) +
                std::to_string(read.pages[2].links.size()), "1 1 2 3 4 0 0 50");
}

// No pool: the list that links grow with alloc_fn is the library's to free with free_fn.
TEST(HaruRaw, memoryManager) {
  HaruDoc doc;
  EXPECT_TRUE(doc.pdf->mmgr->mpool == nullptr && doc.pdf->xref->prev == nullptr);
}

}  // namespace mervik::pdf
