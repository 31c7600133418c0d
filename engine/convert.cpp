#include "engine/convert.h"

#include "engine/bitmap.h"
#include "engine/jpeg_codec.h"
#include "engine/load_image.h"

namespace {
bool HasText(const char* text) { return text != nullptr && text[0] != 0; }
}  // namespace

int ConvertToJpeg(const char* source, const char* target, bool grey, int quality, bool optimize,
                  int smoothing) {
  Bitmap bitmap;
  JpegCodec codec;
  if (!HasText(source) || !HasText(target) || quality < 1 || quality > 100 || smoothing < 0 ||
      smoothing > 100) {
    return BadArgument;
  }
  int result = LoadImage(source, &bitmap);
  if (result == Success) {
    result = codec.Write(target, &bitmap, quality, !grey, optimize, smoothing, nullptr) == 1
                 ? Success
                 : WriteFailed;
  }
  codec.Close();
  bitmap.Release();  // deletes the pixel file
  return result;
}
