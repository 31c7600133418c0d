#pragma once
// The skin file format: ".SHE", then a Qt style sheet scrambled with a password.
//
//   offset  size  field
//   0       4     ".SHE"
//   4       1     format version, 1
//   5       3     zero
//   8       4     length n of the style sheet, little endian
//   12      4     FNV-1a hash of the plain style sheet, little endian
//   16      n     the style sheet, each byte XORed with the password's key stream
//
// A wrong password gives a text whose hash differs, so it is refused rather than applied.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

constexpr size_t SkinHeaderSize = 16;
constexpr size_t SkinTextLimit = 1u << 20;

std::vector<uint8_t> PackSkin(const std::string& styleSheet, const std::string& password);

// False for anything but a complete, well-formed file scrambled with this password.
bool UnpackSkin(const uint8_t* data, size_t size, const std::string& password,
                std::string* styleSheet);

}  // namespace skin
