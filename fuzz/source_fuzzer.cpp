// One source through layout, scanner, warning report and cross-reference, with settings taken
// from the first two bytes (clamped the way the resource step clamps them).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "analysis/scanner.hpp"
#include "analysis/text_encoding.hpp"
#include "analysis/warning_log.hpp"
#include "config/settings.hpp"

namespace {

struct NullConsole : mervik::platform::Console {
  void write(std::string_view) override {}
};

struct CheckingSink : mervik::pdf::LineSink {
  // The numbered lines of the text fit the line buffer and hold no line end; what follows the
  // section end (a cross-reference entry of an extended identifier) may hold anything.
  void line(std::string_view text) override {
    if (inText && (text.size() > 1023 || text.find('\n') != std::string_view::npos)) {
      __builtin_trap();
    }
  }
  void sectionEnd() override { inText = false; }
  bool inText = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mervik;
  if (size < 3) return 0;
  NullConsole console;
  config::Settings settings;
  settings.tabWidth = static_cast<std::int8_t>(data[0]);
  settings.lineWidth = data[1] * 5;
  config::clampSettings(settings, console);

  std::vector<char> text(data + 2, data + size);
  const std::size_t length = text.size();
  text.push_back('\0');

  CheckingSink sink;
  analysis::NameTables names;
  analysis::WarningLog warnings(sink, console);
  analysis::LineIndex lines;
  if (!names.resetSymbols()) return 0;
  warnings.log(0, 0);
  int totalLines = 0;
  std::string err;
  // Read as the program reads it: UTF-8 when the text is.
  const auto encoding = analysis::isUtf8Text(text.data(), length)
                            ? analysis::TextEncoding::utf8
                            : analysis::TextEncoding::eightBit;
  const analysis::LayoutSettings layout{settings.tabWidth, settings.lineWidth, nullptr,
                                        analysis::Navigation(), encoding};
  if (!analysis::layoutSource(text.data(), length, layout, lines, warnings, sink, &totalLines, &err)) {
    return 0;
  }
  // With the outline on, so that the design units read the tokens too.
  analysis::Navigation navigation;
  navigation.outline = true;
  if (!analysis::scanSource(text.data(), length, encoding, lines, names, warnings, sink,
                            navigation, &err)) {
    return 0;
  }
  warnings.log(-999, -1);
  analysis::writeCrossReference(names, {{"SYMBOL TABLE", true}}, settings.lineWidth, sink,
                                analysis::Navigation(), encoding);
  return 0;
}
