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

// Starts the codecs once per process; later calls only hand out the token again.
GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input, void* output);
GpStatus GdipLoadImageFromFile(const WCHAR* filename, GpImage** image);
GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* encoder,
                             const void* encoderParameters);
GpStatus GdipDisposeImage(GpImage* image);
// HRESULT: 0 when the text was a CLSID.
long CLSIDFromString(const WCHAR* text, CLSID* clsid);
// Code page 0 is the system's narrow code page (UTF-8 here). length -1: up to and including the
// terminating zero. With no output, returns the code units needed.
int MultiByteToWideChar(unsigned codePage, unsigned long flags, const char* text, int length,
                        WCHAR* output, int outputLength);
