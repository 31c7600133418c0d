#pragma once
// Converts one picture file into another format through the GDI+ calls.
#include <cstdint>
#include <string>
#include <vector>

// The text converted from the system's narrow code page to UTF-16 little-endian, followed by one
// zero code unit; the empty text gives two zero bytes.
std::vector<uint8_t> ToUtf16Bytes(const std::string& text);

// Loads source and saves it at target in the format of type (1 BMP, 2 JPEG, 3 GIF, 4 TIFF,
// 5 PNG); target's name does not influence the format. True exactly when the save succeeded.
// GDI+ must have been started.
bool ConvertWithGdiplus(const std::string& source, const std::string& target, int type);
