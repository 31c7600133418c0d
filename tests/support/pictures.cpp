#include "support/pictures.h"

#include <magick/api.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gdiplus.h"

namespace testpictures {

void StartGdiplus() {
  uintptr_t token = 0;
  GdiplusStartupInput input{1, nullptr, 0, 0};
  if (GdiplusStartup(&token, &input, nullptr) != Ok) std::abort();
}

Rgb Stripes(int width, int height) {
  static const uint8_t kColours[8][3] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},
                                         {0, 255, 0},   {0, 0, 255},     {255, 255, 0},
                                         {0, 255, 255}, {128, 64, 192}};
  Rgb picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* c = kColours[(x / 5 + 2 * (y / 7)) % 8];
      uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = c[0];
      p[1] = c[1];
      p[2] = c[2];
    }
  }
  return picture;
}

Rgb Gradient(int width, int height) {
  Rgb picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      p[2] = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
    }
  }
  return picture;
}

namespace {

Image* ToImage(const Rgb& picture) {
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  Image* image = ConstituteImage(static_cast<unsigned long>(picture.width),
                                 static_cast<unsigned long>(picture.height), "RGB", CharPixel,
                                 picture.pixels.data(), &exception);
  DestroyExceptionInfo(&exception);
  return image;
}

}  // namespace

bool WriteFrames(const std::vector<Rgb>& frames, const std::string& format,
                 const std::string& path) {
  StartGdiplus();
  Image* list = nullptr;
  for (const Rgb& frame : frames) {
    Image* image = ToImage(frame);
    if (image == nullptr) {
      if (list != nullptr) DestroyImageList(list);
      return false;
    }
    AppendImageToList(&list, image);
  }
  if (list == nullptr) return false;
  list = GetFirstImageInList(list);  // appending leaves the pointer at the last frame
  ImageInfo* info = CloneImageInfo(nullptr);
  info->adjoin = MagickTrue;
  std::snprintf(info->filename, sizeof info->filename, "%s:%s", format.c_str(), path.c_str());
  std::snprintf(list->filename, sizeof list->filename, "%s", info->filename);
  const bool ok = WriteImage(info, list) == MagickPass && list->exception.severity < ErrorException;
  DestroyImageInfo(info);
  DestroyImageList(list);
  return ok;
}

bool WritePicture(const Rgb& picture, const std::string& format, const std::string& path) {
  return WriteFrames({picture}, format, path);
}

Rgb ReadPicture(const std::string& path, const std::string& format) {
  StartGdiplus();
  Rgb picture;
  ImageInfo* info = CloneImageInfo(nullptr);
  if (format.empty()) {
    std::snprintf(info->filename, sizeof info->filename, "%s", path.c_str());
  } else {
    std::snprintf(info->filename, sizeof info->filename, "%s:%s", format.c_str(), path.c_str());
  }
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  Image* image = ReadImage(info, &exception);
  if (image != nullptr && exception.severity < ErrorException) {
    picture.width = static_cast<int>(image->columns);
    picture.height = static_cast<int>(image->rows);
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    if (DispatchImage(image, 0, 0, image->columns, image->rows, "RGB", CharPixel,
                      picture.pixels.data(), &exception) != MagickPass) {
      picture = Rgb{};
    }
  }
  if (image != nullptr) DestroyImageList(image);
  DestroyExceptionInfo(&exception);
  DestroyImageInfo(info);
  return picture;
}

double MeanDifference(const Rgb& a, const Rgb& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    sum += std::abs(static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]));
  return sum / static_cast<double>(a.pixels.size());
}

namespace {
bool StartsWith(const std::vector<uint8_t>& bytes, const std::string& prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}
}  // namespace

bool HasSignatureOf(int type, const std::vector<uint8_t>& bytes) {
  switch (type) {
    case 1: return StartsWith(bytes, "BM");
    case 2: return StartsWith(bytes, "\xFF\xD8\xFF");
    case 3: return StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a");
    case 4:
      return StartsWith(bytes, std::string("II*\0", 4)) ||
             StartsWith(bytes, std::string("MM\0*", 4));
    case 5: return StartsWith(bytes, "\x89PNG\r\n\x1A\n");
    default: return false;
  }
}

}  // namespace testpictures
