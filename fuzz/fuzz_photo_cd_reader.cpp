// A Photo CD pack is at least 1 MiB with its signature at 2048, so the input is laid out inside
// such a file: the first byte picks how far the file reaches past the 768 x 512 image's start,
// the rest lands at that start.
#include <vector>

#include "engine/bitmap.h"
#include "engine/readers/photo_cd_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t imageStart = 0x30000;
  const size_t imageBytes = 768 * 512 * 3 / 2;
  const size_t reach = imageBytes * data[0] / 255;  // 0 .. the whole image
  std::vector<uint8_t> file(std::max<size_t>(1048576, imageStart + reach), 0);
  std::memcpy(file.data() + 2048, "PCD_IPI", 7);
  for (size_t i = 1; i < size && imageStart + i - 1 < file.size(); ++i) file[imageStart + i - 1] = data[i];
  const std::string path = fuzzsupport::WriteInput(file.data(), file.size());
  {
    Bitmap bitmap;
    PhotoCdReader reader;
    if (reader.Open(path.c_str(), &bitmap, 2, nullptr) == 1) reader.Read();
    reader.Close();
  }
  fuzzsupport::CheckNothingLeft();
  return 0;
}
