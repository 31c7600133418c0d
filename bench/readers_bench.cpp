// PNG, BMP and TIFF sources of 12 megapixels through ConvertToJpeg with the batch settings
// (colour, quality 75, optimised tables, no smoothing), each beside a reference that decodes the
// same file with the format's library (or, for BMP, which has none, a plain loop) into a picture
// in memory and encodes it with libjpeg into memory, one row per call. The two alternate in every
// iteration, so load from elsewhere falls on both alike.
//
//   convert_ms    ConvertToJpeg, source file to target file
//   reference_ms  in-memory decode into a fresh picture + libjpeg encode
//   ratio         convert_ms / reference_ms
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/mman.h>
#include <tiffio.h>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/convert.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A photo-like picture: smooth gradients with fine noise.
std::vector<uint8_t> MakePicture() {
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  uint32_t state = 11;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 29) - 4;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
      p[0] = static_cast<uint8_t>(std::clamp(128 + static_cast<int>(100 * std::sin(x * 0.0011 + y * 0.0004)) + noise, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(128 + static_cast<int>(100 * std::cos(y * 0.0013)) + noise, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp((x + y) * 255 / (kWidth + kHeight) + noise, 0, 255));
    }
  }
  return rgb;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
  }
  return bytes;
}

// --- sources -------------------------------------------------------------------------------------

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) {
    png_write_row(png, const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * kWidth * 3]));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> EncodeBmp(const std::vector<uint8_t>& rgb) {
  const uint32_t stride = (kWidth * 3 + 3) & ~3u;
  std::vector<uint8_t> out = {'B', 'M'};
  Put32(&out, 54 + stride * kHeight);
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, kWidth);
  Put32(&out, kHeight);
  out.insert(out.end(), {1, 0, 24, 0});
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int y = kHeight - 1; y >= 0; --y) {  // bottom-up
    const uint8_t* row = &rgb[static_cast<size_t>(y) * kWidth * 3];
    for (int x = 0; x < kWidth; ++x) out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    out.resize(out.size() + (stride - kWidth * 3), 0);
  }
  return out;
}

bool WriteTiff(const std::string& path, const std::vector<uint8_t>& rgb) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
  bool ok = true;
  for (int y = 0; y < kHeight && ok; ++y) {
    ok = TIFFWriteScanline(tiff, const_cast<uint8_t*>(&rgb[static_cast<size_t>(y) * kWidth * 3]), y, 0) == 1;
  }
  TIFFClose(tiff);
  return ok;
}

// --- references ----------------------------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};
[[noreturn]] void JpegExit(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

// Encodes a picture of 3 (RGB) or 4 (RGBA) bytes per pixel with the batch settings.
bool EncodeJpeg(const uint8_t* picture, int bytesPerPixel, unsigned char** out, unsigned long* size) {
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegExit;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = bytesPerPixel;
  info.in_color_space = bytesPerPixel == 4 ? JCS_EXT_RGBA : JCS_RGB;
  jpeg_set_defaults(&info);
  info.optimize_coding = TRUE;
  info.smoothing_factor = 0;
  jpeg_set_quality(&info, 75, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(kWidth) * bytesPerPixel;
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {const_cast<uint8_t*>(picture) + info.next_scanline * stride};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

struct Memory {
  const std::vector<uint8_t>* bytes;
  size_t at;
};
void PngRead(png_structp png, png_bytep data, png_size_t length) {
  auto* m = static_cast<Memory*>(png_get_io_ptr(png));
  if (m->at + length > m->bytes->size()) png_error(png, "short");
  std::memcpy(data, m->bytes->data() + m->at, length);
  m->at += length;
}

bool DecodePng(const std::vector<uint8_t>& file, uint8_t* picture) {
  Memory memory{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep>* rows = new std::vector<png_bytep>(kHeight);  // freed on both paths
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    delete rows;
    return false;
  }
  png_set_read_fn(png, &memory, PngRead);
  png_read_info(png, info);
  for (int y = 0; y < kHeight; ++y) (*rows)[y] = picture + static_cast<size_t>(y) * kWidth * 3;
  png_read_image(png, rows->data());
  png_read_end(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  delete rows;
  return true;
}

bool DecodeBmp(const std::vector<uint8_t>& file, uint8_t* picture) {
  const uint32_t stride = (kWidth * 3 + 3) & ~3u;
  if (file.size() < 54 + static_cast<size_t>(stride) * kHeight) return false;
  for (int i = 0; i < kHeight; ++i) {
    const uint8_t* in = file.data() + 54 + static_cast<size_t>(i) * stride;
    uint8_t* out = picture + static_cast<size_t>(kHeight - 1 - i) * kWidth * 3;
    for (int x = 0; x < kWidth; ++x) {
      out[3 * x] = in[3 * x + 2];
      out[3 * x + 1] = in[3 * x + 1];
      out[3 * x + 2] = in[3 * x];
    }
  }
  return true;
}

bool DecodeTiff(const std::string& path, uint8_t* picture) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return false;
  const int ok = TIFFReadRGBAImageOriented(tiff, kWidth, kHeight, reinterpret_cast<uint32_t*>(picture),
                                           ORIENTATION_TOPLEFT, 0);
  TIFFClose(tiff);
  return ok == 1;
}

enum Format { Png, Bmp, Tiff };

void Compare(benchmark::State& state, Format format) {
  char folder[] = "/tmp/zephlora-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
  setenv("TMPDIR", folder, 1);
  const char* names[] = {"/source.png", "/source.bmp", "/source.tif"};
  const std::string source = folder + std::string(names[format]);
  const std::string target = std::string(folder) + "/target.jpg";
  const std::vector<uint8_t> rgb = MakePicture();
  const bool made = format == Png ? WriteFile(source, EncodePng(rgb))
                    : format == Bmp ? WriteFile(source, EncodeBmp(rgb))
                                    : WriteTiff(source, rgb);
  if (!made) return state.SkipWithError("cannot make the source");
  const int bytesPerPixel = format == Tiff ? 4 : 3;  // libtiff's RGBA interface delivers four
  const size_t pictureSize = static_cast<size_t>(kWidth) * kHeight * bytesPerPixel;

  double convertMs = 0, referenceMs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0) != Success) {
      return state.SkipWithError("ConvertToJpeg failed");
    }
    convertMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    start = std::chrono::steady_clock::now();
    // A file read whole into memory, and a fresh picture, as a straight program has for each file.
    const std::vector<uint8_t> file = format == Tiff ? std::vector<uint8_t>() : ReadFile(source);
    void* picture = mmap(nullptr, pictureSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const auto* pixels = static_cast<uint8_t*>(picture);
    const bool decoded = picture != MAP_FAILED &&
                         (format == Png ? DecodePng(file, static_cast<uint8_t*>(picture))
                          : format == Bmp ? DecodeBmp(file, static_cast<uint8_t*>(picture))
                                          : DecodeTiff(source, static_cast<uint8_t*>(picture)));
    const bool encoded = decoded && EncodeJpeg(pixels, bytesPerPixel, &out, &outSize);
    std::free(out);
    if (picture != MAP_FAILED) munmap(picture, pictureSize);
    referenceMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!encoded) return state.SkipWithError("the reference failed");
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["convert_ms"] = convertMs / n;
  state.counters["reference_ms"] = referenceMs / n;
  state.counters["ratio"] = convertMs / referenceMs;
  std::remove(source.c_str());
  std::remove(target.c_str());
  std::remove(folder);
}

void BM_Png(benchmark::State& state) { Compare(state, Png); }
void BM_Bmp(benchmark::State& state) { Compare(state, Bmp); }
void BM_Tiff(benchmark::State& state) { Compare(state, Tiff); }

BENCHMARK(BM_Png)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Bmp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Tiff)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
