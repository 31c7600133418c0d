#pragma once
// Our own declarations of the few GDI+ and Windows calls the single-picture panel makes, served
// by GraphicsMagick. Status 0 is Ok; every other value is a failure.
#include <cstdint>

using WCHAR = char16_t;
using GpStatus = int;

enum : GpStatus {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  NotImplemented = 6,
  Win32Error = 7,
  FileNotFound = 10,
  UnknownImageFormat = 13,
  GdiplusNotInitialized = 18
};

struct GdiplusStartupInput {
  uint32_t GdiplusVersion;
  void* DebugEventCallback;
  int SuppressBackgroundThread;
  int SuppressExternalCodecs;
};

struct CLSID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(CLSID) == 16, "a CLSID is 16 bytes");

struct GpImage;  // opaque

// Starts the codecs once per process; later calls only hand out the token again. The codecs
// never print, never start another program and keep pixels in memory.
GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input, void* output);
// Decodes the first frame of a BMP, GIF, JPEG, PNG, TIFF or ICO file, told apart by its first
// bytes whatever its name. Damaged data and pictures over 2^28 pixels or 2^18 on a side are
// refused. *image is null unless the status is Ok.
GpStatus GdipLoadImageFromFile(const WCHAR* filename, GpImage** image);
// Writes the picture in the format of the encoder CLSID (BMP, JPEG, GIF, TIFF or PNG), whatever
// the name's extension, with the encoder's defaults; encoder parameters are not supported. A
// target that did not exist before is removed again when the save fails. The encoder works on
// the picture itself: after a GIF save it holds at most 256 colours.
GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* encoder,
                             const void* encoderParameters);
GpStatus GdipDisposeImage(GpImage* image);
// HRESULT: 0 when the text was a CLSID "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; otherwise
// negative with *clsid all zero. Null text gives the all-zero CLSID.
long CLSIDFromString(const WCHAR* text, CLSID* clsid);
// Code page 0 is the system's narrow code page (UTF-8 here); 65001 is UTF-8 too. length -1: up
// to and including the terminating zero. With no output, returns the code units needed; 0 on
// failure or a buffer too small. Ill-formed bytes become U+FFFD (or fail with flag 0x8).
int MultiByteToWideChar(unsigned codePage, unsigned long flags, const char* text, int length,
                        WCHAR* output, int outputLength);
