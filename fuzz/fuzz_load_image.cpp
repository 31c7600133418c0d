// The whole loader chain as ConvertToJpeg runs it, writer included.
#include "engine/convert.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size);
  const std::string target = fuzzsupport::Folder() + "/out.jpg";
  ConvertToJpeg(path.c_str(), target.c_str(), false, 75, true, 0);
  std::remove(target.c_str());
  fuzzsupport::CheckNothingLeft();
  return 0;
}
