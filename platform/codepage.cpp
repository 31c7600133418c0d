#include "platform/codepage.h"

namespace platform {

CodePage SystemCodePage() { return CodePage::Utf8; }

static int Utf8Length(const unsigned char* p) {
  const unsigned char lead = p[0];
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 1;
  }
  if (p[1] < low || p[1] > high) return 1;
  // The terminating zero is never a continuation byte, so these reads stop at the end.
  for (int i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 1;
  }
  return length;
}

int CharLength(const char* p, CodePage codePage) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(p);
  if (bytes[0] == 0) return 0;
  if (codePage == CodePage::Utf8) return Utf8Length(bytes);
  if (bytes[0] >= 0x81 && bytes[0] <= 0xFE && bytes[1] != 0) return 2;
  return 1;
}

}  // namespace platform
