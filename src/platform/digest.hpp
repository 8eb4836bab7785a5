#pragma once
// Message digests of file contents, from the system's own cryptographic library.

#include <cstddef>
#include <string>
#include <string_view>

namespace mervik::platform {

/// The SHA-256 of `bytes` as 64 lower-case hex digits, as sha256sum prints it; empty when the
/// system's library cannot compute it (out of memory, no provider).
std::string sha256Hex(std::string_view bytes);

/// `n` bytes as 2n lower-case hex digits; empty without memory. Shared by both systems.
std::string lowerHex(const unsigned char* bytes, std::size_t n);

}  // namespace mervik::platform
