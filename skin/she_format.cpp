#include "skin/she_format.h"

#include <cstring>

namespace skin {

namespace {

uint32_t Hash32(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 16777619u;
  }
  return hash;
}

// xorshift64* seeded from the password: a scrambler that keeps the text from being read or
// edited casually, not a cipher.
class KeyStream {
 public:
  explicit KeyStream(const std::string& password) {
    uint64_t seed = 14695981039346656037ull;
    for (unsigned char c : password) {
      seed ^= c;
      seed *= 1099511628211ull;
    }
    state_ = seed != 0 ? seed : 1;
  }
  uint8_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint8_t>((state_ * 2685821657736338717ull) >> 56);
  }

 private:
  uint64_t state_;
};

void PutLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

std::vector<uint8_t> PackSkin(const std::string& styleSheet, const std::string& password) {
  std::vector<uint8_t> file(SkinHeaderSize + styleSheet.size());
  std::memcpy(file.data(), ".SHE", 4);
  file[4] = 1;
  const auto* text = reinterpret_cast<const uint8_t*>(styleSheet.data());
  PutLe32(&file[8], static_cast<uint32_t>(styleSheet.size()));
  PutLe32(&file[12], Hash32(text, styleSheet.size()));
  KeyStream key(password);
  for (size_t i = 0; i < styleSheet.size(); ++i) file[SkinHeaderSize + i] = text[i] ^ key.Next();
  return file;
}

bool UnpackSkin(const uint8_t* data, size_t size, const std::string& password,
                std::string* styleSheet) {
  if (data == nullptr || styleSheet == nullptr || size < SkinHeaderSize) return false;
  if (std::memcmp(data, ".SHE", 4) != 0 || data[4] != 1 || data[5] != 0 || data[6] != 0 ||
      data[7] != 0) {
    return false;
  }
  const uint32_t length = GetLe32(data + 8);
  if (length > SkinTextLimit || length != size - SkinHeaderSize) return false;
  std::string text(length, '\0');
  KeyStream key(password);
  for (size_t i = 0; i < length; ++i) {
    text[i] = static_cast<char>(data[SkinHeaderSize + i] ^ key.Next());
  }
  if (Hash32(reinterpret_cast<const uint8_t*>(text.data()), length) != GetLe32(data + 12)) {
    return false;
  }
  *styleSheet = std::move(text);
  return true;
}

}  // namespace skin
