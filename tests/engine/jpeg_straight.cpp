#include "jpeg_straight.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace jpegstraight {

namespace {

struct ErrorReturn {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

[[noreturn]] void Exit(j_common_ptr info) {
  longjmp(reinterpret_cast<ErrorReturn*>(info->err)->jump, 1);
}
void Silent(j_common_ptr) {}

void Install(ErrorReturn* record, j_common_ptr info) {
  info->err = jpeg_std_error(&record->manager);
  record->manager.error_exit = Exit;
  record->manager.output_message = Silent;
}

// Both run in frames of their own that hold no C++ object, so the jump skips no destructor.
struct EncodeState {
  jpeg_compress_struct info;
  ErrorReturn error;
  unsigned char* buffer;
  unsigned long size;
};

bool EncodeInto(EncodeState* state, const Raster* raster, const Settings* settings) {
  Install(&state->error, reinterpret_cast<j_common_ptr>(&state->info));
  if (setjmp(state->error.jump) != 0) {
    jpeg_destroy_compress(&state->info);
    state->buffer = nullptr;  // may already be freed by libjpeg's growing of it
    return false;
  }
  jpeg_create_compress(&state->info);
  jpeg_mem_dest(&state->info, &state->buffer, &state->size);
  state->info.image_width = static_cast<JDIMENSION>(raster->width);
  state->info.image_height = static_cast<JDIMENSION>(raster->height);
  state->info.input_components = raster->components;
  state->info.in_color_space = raster->components == 1   ? JCS_GRAYSCALE
                               : raster->components == 3 ? JCS_RGB
                                                         : JCS_CMYK;
  jpeg_set_defaults(&state->info);
  state->info.optimize_coding = settings->optimize ? TRUE : FALSE;
  state->info.smoothing_factor = settings->smoothing;
  jpeg_set_quality(&state->info, settings->quality, TRUE);
  if (settings->progressive) jpeg_simple_progression(&state->info);
  jpeg_start_compress(&state->info, TRUE);
  const size_t stride = static_cast<size_t>(raster->width) * raster->components;
  while (state->info.next_scanline < state->info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(raster->samples.data() + state->info.next_scanline * stride);
    jpeg_write_scanlines(&state->info, &row, 1);
  }
  jpeg_finish_compress(&state->info);
  jpeg_destroy_compress(&state->info);
  return true;
}

struct DecodeState {
  jpeg_decompress_struct info;
  ErrorReturn error;
  unsigned char* samples;  // malloc'ed, so the jump cannot leak a C++ owner
  long warnings;
};

bool DecodeInto(DecodeState* state, const std::vector<uint8_t>* bytes, int* width, int* height,
                int* components) {
  Install(&state->error, reinterpret_cast<j_common_ptr>(&state->info));
  if (setjmp(state->error.jump) != 0) {
    jpeg_destroy_decompress(&state->info);
    return false;
  }
  jpeg_create_decompress(&state->info);
  jpeg_mem_src(&state->info, bytes->data(), static_cast<unsigned long>(bytes->size()));
  jpeg_read_header(&state->info, TRUE);
  jpeg_start_decompress(&state->info);
  *width = static_cast<int>(state->info.output_width);
  *height = static_cast<int>(state->info.output_height);
  *components = state->info.output_components;
  const size_t stride = static_cast<size_t>(*width) * *components;
  state->samples = static_cast<unsigned char*>(std::malloc(stride * *height));
  if (state->samples == nullptr) longjmp(state->error.jump, 1);
  while (state->info.output_scanline < state->info.output_height) {
    JSAMPROW row = state->samples + state->info.output_scanline * stride;
    jpeg_read_scanlines(&state->info, &row, 1);
  }
  state->warnings = state->info.err->num_warnings;
  jpeg_destroy_decompress(&state->info);
  return true;
}

uint32_t Next(uint32_t* state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 16;
}

}  // namespace

void PrintTo(const Settings& settings, std::ostream* os) {
  *os << "quality " << settings.quality << (settings.optimize ? ", optimised" : "")
      << ", smoothing " << settings.smoothing << (settings.progressive ? ", progressive" : "");
}

std::vector<uint8_t> Encode(const Raster& raster, const Settings& settings) {
  EncodeState state{};
  const bool done = EncodeInto(&state, &raster, &settings);
  std::vector<uint8_t> bytes;
  if (done) bytes.assign(state.buffer, state.buffer + state.size);
  std::free(state.buffer);
  return bytes;
}

bool Decode(const std::vector<uint8_t>& bytes, Raster* raster, long* warnings) {
  DecodeState state{};
  int width = 0, height = 0, components = 0;
  const bool done = !bytes.empty() && DecodeInto(&state, &bytes, &width, &height, &components);
  if (done) {
    raster->width = width;
    raster->height = height;
    raster->components = components;
    raster->samples.assign(state.samples,
                           state.samples + static_cast<size_t>(width) * height * components);
    if (warnings != nullptr) *warnings = state.warnings;
  }
  std::free(state.samples);
  return done;
}

Raster MakePicture(int width, int height, int components, uint32_t seed) {
  Raster raster;
  raster.width = width;
  raster.height = height;
  raster.components = components;
  raster.samples.resize(static_cast<size_t>(width) * height * components);
  uint32_t state = seed;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        int v = (x * (40 + 30 * c) + y * (90 - 20 * c)) % 256;  // gradients
        if ((x / 7 + y / 5 + c) % 3 == 0) v = 255 - v;           // edges
        v += static_cast<int>(Next(&state) % 17) - 8;            // noise
        raster.samples[(static_cast<size_t>(y) * width + x) * components + c] =
            static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  }
  return raster;
}

std::vector<Segment> HeaderSegments(const std::vector<uint8_t>& bytes) {
  std::vector<Segment> segments;
  size_t at = 2;  // after SOI
  while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
    const int marker = bytes[at + 1];
    const size_t length = static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    if (length < 2 || at + 2 + length > bytes.size()) break;
    segments.push_back({marker, std::vector<uint8_t>(bytes.begin() + at + 4,
                                                     bytes.begin() + at + 2 + length), at});
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}

std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> bytes, int width, int height) {
  for (const auto& segment : HeaderSegments(bytes)) {
    if (segment.marker == 0xC0 || segment.marker == 0xC2) {
      const size_t at = segment.offset + 5;  // FF Cn, length (2), precision (1)
      bytes[at] = static_cast<uint8_t>(height >> 8);
      bytes[at + 1] = static_cast<uint8_t>(height);
      bytes[at + 2] = static_cast<uint8_t>(width >> 8);
      bytes[at + 3] = static_cast<uint8_t>(width);
    }
  }
  return bytes;
}

}  // namespace jpegstraight
