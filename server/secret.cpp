// Random secrets from getrandom, compared in constant time, hashed and derived with SHA-256.
#include "server/secret.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "common/sha256.h"
#include "server/protocol.h"

namespace secret {

std::string RandomHex(int bytes) {
    std::vector<uint8_t> raw(static_cast<std::size_t>(bytes));
    std::size_t got = 0;
    while (got < raw.size()) {
        const ssize_t n = getrandom(raw.data() + got, raw.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the system's random generator failed");
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(raw.size() * 2);
    for (uint8_t b : raw) {
        hex += Digits[b >> 4];
        hex += Digits[b & 15];
    }
    return hex;
}

bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Every byte is looked at, whatever the first difference; volatile keeps the compiler from
    // stopping early.
    volatile unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff = diff | static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string Hashed(std::string_view secret) {
    return sha256::Hex(secret);
}

std::string GameIdOf(std::string_view secret1) {
    return sha256::Hex("melvaron game\n" + std::string(secret1)).substr(0, protocol::GameIdDigits);
}

std::string InvitationOf(std::string_view secret1) {
    return sha256::Hex("melvaron invitation\n" + std::string(secret1))
        .substr(0, protocol::SecretDigits);
}

} // namespace secret
