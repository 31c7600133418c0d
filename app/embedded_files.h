#pragma once
// Files carried inside the program, generated at build time.
#include <cstddef>

namespace app {

struct EmbeddedFile {
  const unsigned char* data;
  size_t size;
};

// The window-skinning library SkinH_EL.dll and its skin file cc.she.
extern const EmbeddedFile SkinLibraryImage;
extern const EmbeddedFile SkinFileImage;

// The 123 x 46 JPEG logo of 图片框1 and the 48 x 48 window icon (PNG).
extern const EmbeddedFile LogoPicture;
extern const EmbeddedFile WindowIcon;

}  // namespace app
