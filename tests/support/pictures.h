#pragma once
// Test pictures made and read through GraphicsMagick, for the tests of the GDI+ stand-in.
#include <cstdint>
#include <string>
#include <vector>

namespace testpictures {

// Starts GDI+ (and with it GraphicsMagick) once; every helper below needs it.
void StartGdiplus();

// 8-bit RGB, rows top-down.
struct Rgb {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// A picture of eight flat colours in stripes that run differently across and down, so that a
// flip, a swap of the axes or a colour-order error shows. Every format keeps it exactly, GIF too.
Rgb Stripes(int width, int height);
// A smooth picture with thousands of colours.
Rgb Gradient(int width, int height);

// Writes the picture in a GraphicsMagick format ("BMP", "GIF", "JPEG", "PNG", "TIFF").
bool WritePicture(const Rgb& picture, const std::string& format, const std::string& path);
// Writes several pictures as the frames of one file.
bool WriteFrames(const std::vector<Rgb>& frames, const std::string& format, const std::string& path);

// Decodes a file in the given format, or in whatever format GraphicsMagick finds in it; width 0
// when it cannot.
Rgb ReadPicture(const std::string& path, const std::string& format = "");

// The mean absolute difference of two pictures' samples; a large value when the sizes differ.
double MeanDifference(const Rgb& a, const Rgb& b);

// True when bytes begin with the signature of the format of encoder type 1 (BMP), 2 (JPEG),
// 3 (GIF), 4 (TIFF) or 5 (PNG).
bool HasSignatureOf(int type, const std::vector<uint8_t>& bytes);

}  // namespace testpictures
