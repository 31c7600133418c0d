#include "engine/load_image.h"

#include "engine/convert.h"
#include "engine/file_functions.h"
#include "engine/image_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/readers/bmp_reader.h"
#include "engine/readers/pcx_reader.h"
#include "engine/readers/photo_cd_reader.h"
#include "engine/readers/png_reader.h"
#include "engine/readers/tiff_reader.h"
#include "platform/files.h"

namespace {

// The Photo CD reader takes a resolution selector before the callback; in the chain it always
// reads selector 2, its 768 x 512 image. This puts it behind the same three calls as the others.
template <typename Reader>
class AtResolution : public ImageReader {
 public:
  explicit AtResolution(int resolution) : resolution_(resolution) {}
  int Open(const char* path, Bitmap* bitmap, ProgressCallback callback) override {
    return reader_.Open(path, bitmap, resolution_, callback);
  }
  int Read() override { return reader_.Read(); }
  int Close() override { return reader_.Close(); }

 private:
  Reader reader_;
  int resolution_;
};

constexpr int kPhotoCdResolution = 2;

}  // namespace

int LoadImage(const char* path, Bitmap* bitmap) {
  if (FileExists(path) == 0) return SourceMissing;
  // Every reader opens the path as a stream. A folder or a wildcard opens as no picture; a pipe
  // or a terminal would keep the reader waiting for ever, and is no picture either.
  if (!platform::IsRegularFile(path)) return FormatNotRecognised;

  // One reader per format, asked in this fixed order until one takes the file.
  JpegCodec jpeg;
  BmpReader bmp;
  TiffReader tiff;
  PngReader png;
  PcxReader pcx;
  AtResolution<PhotoCdReader> photoCd(kPhotoCdResolution);
  ImageReader* const chain[] = {&jpeg, &bmp, &tiff, &png, &pcx, &photoCd};

  for (ImageReader* reader : chain) {
    if (reader->Open(path, bitmap, nullptr) == 1) {
      // The reader that took the file has the last word, even when it cannot decode it.
      const int read = reader->Read();
      reader->Close();
      return read == 1 ? Success : FormatNotRecognised;
    }
    reader->Close();
  }
  return FormatNotRecognised;
}
