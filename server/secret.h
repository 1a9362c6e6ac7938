// Seats' secrets, invitations and game ids: random bytes from the operating system, and a
// comparison whose time does not depend on where two secrets differ.
#pragma once

#include <string>
#include <string_view>

namespace secret {

// bytes random bytes from the system's generator (getrandom), as lowercase hex. Throws
// std::runtime_error when the system cannot give them: a guessable secret is worse than none.
std::string RandomHex(int bytes);

// Whether a and b are equal, in a time that depends on their lengths only.
bool SameSecret(std::string_view a, std::string_view b);

} // namespace secret
