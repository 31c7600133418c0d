#pragma once
// The program-wide GDI+ target format code: 1 BMP, 2 JPEG, 3 GIF, 4 TIFF, 5 PNG.
// 0 until start-up sets 5; the single-picture panel sets it before each conversion.
#include <cstdint>

namespace single {

extern int32_t EncoderType;

}  // namespace single
