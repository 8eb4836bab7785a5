// The prompt tokenizer on any typed line: names must lie inside the line and the cursor must
// only move forward.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/selection.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1022) return 0;
  std::vector<char> line(data, data + size);
  line.push_back('\0');
  char* const begin = line.data();
  char* const end = begin + std::strlen(begin);
  char* cursor = begin;
  for (int names = 0; names <= 1024; ++names) {
    char* previous = cursor;
    char* name = mervik::driver::nextName(&cursor);
    if (cursor != nullptr && (cursor < previous || cursor > end)) __builtin_trap();
    if (name == nullptr) return 0;
    if (name < begin || name + std::strlen(name) > end || *name == '\0') __builtin_trap();
    if (cursor == nullptr) return 0;
  }
  __builtin_trap();  // more names than bytes: the tokenizer did not advance
}
