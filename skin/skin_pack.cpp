// Build tool: packs a readable style sheet into a skin file.
//   skin_pack STYLE_SHEET PASSWORD OUTPUT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "skin/she_format.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: skin_pack STYLE_SHEET PASSWORD OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  if (!in.is_open() || in.bad()) {
    std::fprintf(stderr, "skin_pack: cannot read %s\n", argv[1]);
    return 1;
  }
  if (text.size() > skin::SkinTextLimit) {
    std::fprintf(stderr, "skin_pack: %s is larger than a skin may be\n", argv[1]);
    return 1;
  }
  const auto file = skin::PackSkin(text, argv[2]);
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::fprintf(stderr, "skin_pack: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
