#include "single/gdiplus_converter.h"

#include <cstring>

#include "platform/gdiplus.h"

namespace {

// The class identifiers of GDI+'s BMP, JPEG, GIF, TIFF and PNG encoders, by type 1 to 5.
const char* const kEncoderClsids[] = {
    "{557CF400-1A04-11D3-9A73-0000F81EF32E}", "{557CF401-1A04-11D3-9A73-0000F81EF32E}",
    "{557CF402-1A04-11D3-9A73-0000F81EF32E}", "{557CF405-1A04-11D3-9A73-0000F81EF32E}",
    "{557CF406-1A04-11D3-9A73-0000F81EF32E}"};

// The code units of a buffer made by ToUtf16Bytes, read as little-endian whatever the host.
std::u16string Utf16Of(const std::vector<uint8_t>& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return units;
}

}  // namespace

std::vector<uint8_t> ToUtf16Bytes(const std::string& text) {
  const int needed = MultiByteToWideChar(0, 0, text.c_str(), -1, nullptr, 0);
  if (needed <= 0) return std::vector<uint8_t>(2, 0);
  std::u16string units(static_cast<size_t>(needed), u'\0');
  // A text is a C string: it ends at its first zero byte.
  const int length = static_cast<int>(std::strlen(text.c_str()));
  if (length > 0) MultiByteToWideChar(0, 0, text.c_str(), length, units.data(), needed);
  std::vector<uint8_t> bytes(2 * units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
  }
  return bytes;
}

bool ConvertWithGdiplus(const std::string& source, const std::string& target, int type) {
  const char* clsidText = type >= 1 && type <= 5 ? kEncoderClsids[type - 1] : "";
  CLSID clsid{};
  CLSIDFromString(Utf16Of(ToUtf16Bytes(clsidText)).c_str(), &clsid);  // failure leaves it zero

  GpImage* image = nullptr;
  GdipLoadImageFromFile(Utf16Of(ToUtf16Bytes(source)).c_str(), &image);
  // Only the save decides: a failed load leaves a null image, which the save refuses.
  const GpStatus status =
      GdipSaveImageToFile(image, Utf16Of(ToUtf16Bytes(target)).c_str(), &clsid, nullptr);
  GdipDisposeImage(image);
  return status == Ok;
}
