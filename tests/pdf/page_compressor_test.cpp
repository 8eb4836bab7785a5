#include "pdf/page_compressor.hpp"

#include <gtest/gtest.h>
#include <hpdf.h>
#include <hpdf_conf.h>

#include <random>
#include <string>
#include <vector>

namespace mervik::pdf {

// What the library itself writes for `text` with the flate filter on.
std::vector<unsigned char> libraryDeflate(const std::string& text) {
  HPDF_Doc doc = HPDF_New(nullptr, nullptr);
  HPDF_Stream src = HPDF_MemStream_New(doc->mmgr, HPDF_STREAM_BUF_SIZ);
  HPDF_Stream dst = HPDF_MemStream_New(doc->mmgr, HPDF_STREAM_BUF_SIZ);
  HPDF_Stream_Write(src, reinterpret_cast<const HPDF_BYTE*>(text.data()),
                    static_cast<HPDF_UINT>(text.size()));
  EXPECT_EQ(HPDF_Stream_WriteToStream(src, dst, HPDF_STREAM_FILTER_FLATE_DECODE, nullptr), HPDF_OK);
  std::vector<unsigned char> out;
  for (HPDF_UINT i = 0; i < HPDF_MemStream_GetBufCount(dst); ++i) {
    HPDF_UINT size = 0;
    const HPDF_BYTE* data = HPDF_MemStream_GetBufPtr(dst, i, &size);
    out.insert(out.end(), data, data + size);
  }
  HPDF_Stream_Free(src);
  HPDF_Stream_Free(dst);
  HPDF_Free(doc);
  return out;
}

// The library's bytes for any chunking, at and far past its read size; directly and threaded.
TEST(PageCompressor, WritesTheLibrarysBytes) {
  const std::size_t piece = PageCompressor::pieceSize;
  std::mt19937 rng(7);
  std::vector<std::string> texts;
  for (std::size_t size : {std::size_t{1}, piece - 1, piece, piece + 1, 3 * piece, size_t{300000}}) {
    std::string text;  // page-like, repetitive enough for deflate to find matches
    while (text.size() < size) text += "(" + std::to_string(rng() % 100000) + ") Tj\n0 -9.8 Td\n";
    texts.push_back(text.substr(0, size));
  }
  PageCompressor compressor;
  std::vector<PageCompressor::Done> results;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(texts[i].data());
    for (std::size_t chunkSize : {piece, std::size_t{1000}, std::size_t{1}}) {
      std::vector<PageCompressor::Chunk> chunks;
      for (std::size_t at = 0; at < texts[i].size(); at += chunkSize)
        chunks.push_back({bytes + at, std::min(chunkSize, texts[i].size() - at)});
      const PageCompressor::Done done = PageCompressor::deflate(&texts[i], chunks);
      EXPECT_FALSE(done.bytes.empty());
      EXPECT_EQ(done.bytes, libraryDeflate(texts[i])) << texts[i].size() << ", " << chunkSize;
      if (chunkSize == piece) compressor.submit(&texts[i], chunks);
    }
    if (i == 2) results = compressor.collect();
  }
  for (PageCompressor::Done& done : compressor.finish()) results.push_back(std::move(done));
  ASSERT_EQ(results.size(), texts.size());
  for (const PageCompressor::Done& done : results)
    EXPECT_EQ(done.bytes, libraryDeflate(*static_cast<const std::string*>(done.tag)));
  EXPECT_TRUE(compressor.collect().empty());
}

}  // namespace mervik::pdf
