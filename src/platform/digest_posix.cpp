// SHA-256 through nettle, the library Debian's own tools hash with.

#include "platform/digest.hpp"

#include <nettle/sha2.h>

#include <algorithm>
#include <cstdint>

namespace mervik::platform {

std::string sha256Hex(std::string_view bytes) {
  sha256_ctx context;
  sha256_init(&context);
  // nettle takes a size_t length; feed a very large text in pieces all the same, so that a
  // future narrower length type cannot truncate it.
  constexpr std::size_t pieceMax = std::size_t{1} << 30;
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::size_t n = std::min(rest.size(), pieceMax);
    sha256_update(&context, n, reinterpret_cast<const std::uint8_t*>(rest.data()));
    rest.remove_prefix(n);
  }
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  return lowerHex(digest, sizeof digest);
}

}  // namespace mervik::platform
