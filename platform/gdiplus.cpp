#include "platform/gdiplus.h"

#include <magick/api.h>

#include <mutex>

namespace {
std::once_flag started;
}  // namespace

GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input, void* /*output*/) {
  if (token == nullptr || input == nullptr || input->GdiplusVersion != 1) return InvalidParameter;
  std::call_once(started, [] { InitializeMagick(nullptr); });
  *token = 1;
  return Ok;
}
