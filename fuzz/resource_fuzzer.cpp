// The resource file reader and the resource step on arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/layout.hpp"
#include "analysis/names.hpp"
#include "config/resource.hpp"
#include "config/resource_tables.hpp"
#include "config/settings.hpp"

namespace {

struct NullConsole : mervik::platform::Console {
  void write(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mervik;
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  NullConsole console;
  std::unique_ptr<config::ResourceReader> reader;
  config::Settings settings;
  analysis::NameTables names;
  analysis::EmphasisRules emphasis;
  config::ResourceTables tables;
  std::string err;
  if (!config::resourceStep(std::move(text), "", &reader, settings, names, emphasis, tables,
                            console, &err)) {
    return 0;
  }
  tables.addDefaultTable(console);
  config::clampSettings(settings, console);
  if (settings.lineWidth < analysis::lineWidthMin || settings.lineWidth > analysis::lineWidthMax ||
      settings.tabWidth < 1) {
    __builtin_trap();
  }
  // The names entered must be findable again.
  for (const auto* entry : names.exactTable.entries()) {
    if (names.exactTable.findName(entry->name) == nullptr) __builtin_trap();
  }
  return 0;
}
