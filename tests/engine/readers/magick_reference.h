#pragma once
// GraphicsMagick as the independent decoder that the readers' pixels are compared with.
#include <magick/api.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace readertest {

struct Decoded {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // rows top-down, red, green, blue
};

inline void SilentMagickHandler(const ExceptionType, const char*, const char*) {}

// Decodes path with the named coder only ("BMP", "PCX"), so no other coder can take the file.
inline Decoded DecodeWithMagick(const std::string& coder, const std::string& path) {
  static const bool started = [] {
    InitializeMagick(nullptr);
    SetErrorHandler(SilentMagickHandler);
    SetWarningHandler(SilentMagickHandler);
    std::atexit(DestroyMagick);
    return true;
  }();
  (void)started;
  Decoded out;
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  ImageInfo* info = CloneImageInfo(nullptr);
  const std::string name = coder + ":" + path;
  std::strncpy(info->filename, name.c_str(), MaxTextExtent - 1);
  if (Image* image = ReadImage(info, &exception)) {
    if (exception.severity < ErrorException) {
      out.width = static_cast<int>(image->columns);
      out.height = static_cast<int>(image->rows);
      out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
      out.ok = DispatchImage(image, 0, 0, image->columns, image->rows, "RGB", CharPixel,
                             out.rgb.data(), &exception) == MagickPass;
    }
    DestroyImage(image);
  }
  DestroyImageInfo(info);
  DestroyExceptionInfo(&exception);
  return out;
}

}  // namespace readertest
