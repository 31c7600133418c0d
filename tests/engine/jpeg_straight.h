#pragma once
// libjpeg used straight, in memory, as the tests' independent encoder and decoder.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

namespace jpegstraight {

// Interleaved samples, rows top-down and unpadded.
struct Raster {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<uint8_t> samples;
};

struct Settings {
  int quality = 75;
  bool optimize = false;
  int smoothing = 0;
  bool progressive = false;
};
void PrintTo(const Settings& settings, std::ostream* os);

// Encodes 1 (grey), 3 (RGB) or 4 (CMYK) components the way the engine's writer sets libjpeg up:
// defaults, then optimize_coding, smoothing_factor, jpeg_set_quality(q, TRUE), all tables.
std::vector<uint8_t> Encode(const Raster& raster, const Settings& settings);

// libjpeg's default output (grey or RGB, CMYK stays CMYK). False on a fatal error. Warnings
// are counted into *warnings when given, never printed.
bool Decode(const std::vector<uint8_t>& bytes, Raster* raster, long* warnings = nullptr);

// A picture with smooth areas, edges and noise, so the codec has real work to do.
Raster MakePicture(int width, int height, int components, uint32_t seed);

// One marker segment of a JPEG file: its code (0xC0 for SOF0 ...) and its payload.
struct Segment {
  int marker;
  std::vector<uint8_t> payload;
  size_t offset;  // of the FF byte in the file
};
// The segments up to and including the first SOS.
std::vector<Segment> HeaderSegments(const std::vector<uint8_t>& bytes);

// The file with the frame header's width and height replaced, for sizes libjpeg would not write.
std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> bytes, int width, int height);

}  // namespace jpegstraight
