#include "pdf/listing_queue.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/temp_dir.hpp"

namespace mervik::pdf {

// Lines up to far larger than a small block, plain and in faces, anchors, outline entries, links.
template <typename Sink>
void drawListing(Sink& sink) {
  std::mt19937 rng(7);
  for (int s = 0; s < 3; ++s) {
    sink.section("Mon Jan  1 10:00:00 2024   unit" + std::to_string(s) + ".vhd");
    for (int i = 0; i < 700; ++i) {
      const std::size_t n = i % 97 == 0 ? 5000 + rng() % 3000 : rng() % 120;
      std::string text(n, ' ');
      for (char& c : text) c = static_cast<char>(' ' + rng() % 95);
      if (i < 400) sink.anchor(i + 1);  // numbered source lines, then the report
      if (i % 50 == 10) sink.outlineEntry("entry " + std::to_string(i), i < 400 ? i + 1 : 0);
      if (i > 400 && n > 8) sink.link(2, 6, 1 + static_cast<int>(rng() % 400));
      std::string faces(n, Face::regular);
      for (char& f : faces) f = i % 3 ? f : static_cast<char>(rng() % 3);
      i % 3 ? sink.line(text) : sink.line(text, faces);
      if (i == 400) sink.sectionEnd();
    }
  }
}

std::string saved(const test::TempDir& dir, const char* name, std::size_t blockBytes,
                  int blockMax) {
  ListingWriter writer;
  std::string err;
  EXPECT_TRUE(writer.open("100", Orientation::portrait, &err)) << err;
  if (blockBytes == 0) {
    drawListing(writer);
  } else {
    ListingQueue queue(writer, blockBytes, blockMax);
    drawListing(queue);
    queue.finish();
    EXPECT_EQ(queue.failure(), "");
  }
  EXPECT_EQ(writer.close(dir / name, "mervik", &err), CloseResult::saved) << err;
  return test::readFile(dir / name);
}

// The same bytes through the queue, with every block in use or a record needing a block alone.
TEST(ListingQueue, DrawsTheSameDocumentAsTheWriterAlone) {
  test::TempDir dir;
  const std::string direct = saved(dir, "direct.pdf", 0, 0);
  ASSERT_GT(direct.size(), 10000u);
  EXPECT_TRUE(saved(dir, "small.pdf", 256, 2) == direct);
  EXPECT_TRUE(saved(dir, "default.pdf", std::size_t{1} << 20, 8) == direct);
}

}  // namespace mervik::pdf
