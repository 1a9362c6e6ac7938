// SHA-256 as FIPS 180-4 defines it: 64-byte blocks, eight 32-bit words of state.
#include "common/sha256.h"

#include <algorithm>
#include <cstring>

namespace sha256 {

namespace {

constexpr uint32_t Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Round[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

} // namespace

TSha256::TSha256() {
    std::memcpy(FState, Initial, sizeof FState);
}

void TSha256::Block(const uint8_t* block) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = uint32_t{block[4 * t]} << 24 | uint32_t{block[4 * t + 1]} << 16 |
               uint32_t{block[4 * t + 2]} << 8 | uint32_t{block[4 * t + 3]};
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
    uint32_t e = FState[4], f = FState[5], g = FState[6], h = FState[7];
    for (int t = 0; t < 64; ++t) {
        const uint32_t t1 =
            h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + Round[t] + w[t];
        const uint32_t t2 =
            (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
    FState[4] += e;
    FState[5] += f;
    FState[6] += g;
    FState[7] += h;
}

void TSha256::Update(std::string_view bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    FLength += left;
    if (FPendingBytes > 0) {
        const std::size_t take = std::min(left, sizeof FPending - FPendingBytes);
        std::memcpy(FPending + FPendingBytes, p, take);
        FPendingBytes += take;
        p += take;
        left -= take;
        if (FPendingBytes < sizeof FPending) return;
        Block(FPending);
        FPendingBytes = 0;
    }
    for (; left >= sizeof FPending; p += sizeof FPending, left -= sizeof FPending) Block(p);
    std::memcpy(FPending, p, left);
    FPendingBytes = left;
}

std::array<uint8_t, DigestBytes> TSha256::Digest() const {
    // The padding on a copy: a 1 bit, zeros to 56 bytes of the last block, the length in bits.
    TSha256 last = *this;
    const uint64_t bits = FLength * 8;
    uint8_t pad[72] = {0x80};
    const std::size_t zeros = (FPendingBytes < 56 ? 56 : 120) - FPendingBytes;
    for (int i = 0; i < 8; ++i) pad[zeros + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    last.Update(std::string_view(reinterpret_cast<const char*>(pad), zeros + 8));
    std::array<uint8_t, DigestBytes> digest;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<uint8_t>(last.FState[i] >> (24 - 8 * j));
    return digest;
}

std::string TSha256::Hex() const {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(DigestDigits);
    for (uint8_t b : Digest()) {
        hex += Digits[b >> 4];
        hex += Digits[b & 15];
    }
    return hex;
}

std::string Hex(std::string_view bytes) {
    TSha256 h;
    h.Update(bytes);
    return h.Hex();
}

} // namespace sha256
