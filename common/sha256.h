// SHA-256 (FIPS 180-4): the digest of a game's history that a page and the server compare, and
// the form in which the server keeps a seat's secret.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sha256 {

constexpr int DigestBytes = 32;
constexpr int DigestDigits = DigestBytes * 2;

// A digest fed piece by piece; Digest() may be read at any point and the feeding go on.
class TSha256 {
  public:
    TSha256();
    void Update(std::string_view bytes);
    // The digest of everything fed so far.
    std::array<uint8_t, DigestBytes> Digest() const;
    // The same as 64 lowercase hex digits.
    std::string Hex() const;

  private:
    void Block(const uint8_t* block);

    uint32_t FState[8];
    uint8_t FPending[64];
    std::size_t FPendingBytes = 0;
    uint64_t FLength = 0; // bytes fed
};

// The digest of bytes as 64 lowercase hex digits.
std::string Hex(std::string_view bytes);

} // namespace sha256
