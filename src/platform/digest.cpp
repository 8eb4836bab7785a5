// The system-neutral part of the digests.

#include "platform/digest.hpp"

#include <new>

namespace mervik::platform {

std::string lowerHex(const unsigned char* bytes, std::size_t n) {
  static constexpr char hex[] = "0123456789abcdef";
  try {
    std::string text;
    text.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
      text += hex[bytes[i] >> 4];
      text += hex[bytes[i] & 15];
    }
    return text;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

}  // namespace mervik::platform
