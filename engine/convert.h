#pragma once
// The conversion engine's public command.

enum ConvertResult {
  Success = 1,
  SourceMissing = -1,
  FormatNotRecognised = -3,
  WriteFailed = -4,
  BadArgument = -7
};

// Reads any picture the engine knows and writes it as a baseline JPEG file. A null pointer and
// an empty string are both "no text". Returns a ConvertResult value.
int ConvertToJpeg(const char* source, const char* target, bool grey, int quality, bool optimize,
                  int smoothing);
