// SHA-256 through Windows' own cryptography (BCrypt, bcrypt.dll).

#include "platform/digest.hpp"

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>

namespace mervik::platform {
namespace {

// Closes what BCrypt opened, also on the way out of a failure.
struct Provider {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~Provider() {
    if (handle) BCryptCloseAlgorithmProvider(handle, 0);
  }
};
struct Hash {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~Hash() {
    if (handle) BCryptDestroyHash(handle);
  }
};

bool succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

std::string sha256Hex(std::string_view bytes) {
  Provider provider;
  Hash hash;
  if (!succeeded(BCryptOpenAlgorithmProvider(&provider.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !succeeded(BCryptCreateHash(provider.handle, &hash.handle, nullptr, 0, nullptr, 0, 0))) {
    return std::string();
  }
  // BCrypt takes a ULONG length: larger texts go in pieces.
  constexpr std::size_t pieceMax = std::size_t{1} << 30;
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::size_t n = std::min(rest.size(), pieceMax);
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data()));
    if (!succeeded(BCryptHashData(hash.handle, data, static_cast<ULONG>(n), 0))) return std::string();
    rest.remove_prefix(n);
  }
  UCHAR digest[32];
  if (!succeeded(BCryptFinishHash(hash.handle, digest, sizeof digest, 0))) return std::string();
  return lowerHex(digest, sizeof digest);
}

}  // namespace mervik::platform
