// The Windows tests' .pdf viewer: records its argument in MERVIK_TEST_RECORD's file, renamed
// into place so a reader sees all of it or nothing.

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* record = std::getenv("MERVIK_TEST_RECORD");
  if (record == nullptr || argc < 2) return 1;
  const std::string temporary = std::string(record) + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return 1;
  for (int i = 1; i < argc; ++i) std::fprintf(file, i > 1 ? "|%s" : "%s", argv[i]);
  return std::fclose(file) == 0 && std::rename(temporary.c_str(), record) == 0 ? 0 : 1;
}
