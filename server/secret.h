// Seats' secrets, invitations and game ids: random bytes from the operating system, the hashes
// and derivations made of them, and a comparison whose time does not depend on where two
// secrets differ.
#pragma once

#include <string>
#include <string_view>

namespace secret {

// bytes random bytes from the system's generator (getrandom), as lowercase hex. Throws
// std::runtime_error when the system cannot give them: a guessable secret is worse than none.
std::string RandomHex(int bytes);

// Whether a and b are equal, in a time that depends on their lengths only.
bool SameSecret(std::string_view a, std::string_view b);

// What the store keeps of a secret or an invitation: its SHA-256, as 64 lowercase hex digits.
std::string Hashed(std::string_view secret);

// A game's id and its invitation, made from the creator's secret so that a create sent again
// finds the same game and answers with the same invitation: the first 16 and 32 hex digits of
// SHA-256("melvaron game\n" + secret1) and SHA-256("melvaron invitation\n" + secret1). Neither
// tells anything of the secret.
std::string GameIdOf(std::string_view secret1);
std::string InvitationOf(std::string_view secret1);

} // namespace secret
