// The fingerprint of a picture: SHA-256 over its pixels as R, G, B bytes, row by row from the
// top. It names the same picture whatever file format or compression carries it, so a browser's
// canvas or a decoded PNG gives the same text as the replay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 of size bytes, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const uint8_t* data, std::size_t size);

// The fingerprint of width x height pixels, each a TColor (0x00BBGGRR), rows top to bottom.
std::string PictureHash(const uint32_t* pixels, int width, int height);
