#pragma once
// PCX files: 8 bits per pixel with a 256-colour palette at the end of the file, or 24 bits per
// pixel as three colour planes. The run-length code is decoded here, one scan line at a time.
#include <cstdint>
#include <cstdio>

#include "engine/image_reader.h"
#include "engine/mapped_buffer.h"
#include "engine/plain_buffer.h"

// Decodes one scan line of lineLength bytes from the run-length code in [source, sourceEnd).
// The first destinationSize bytes of the line are stored at destination; the rest of the line is
// decoded and dropped. A run that passes the end of the line is cut there, and the next line
// starts after the run's value byte. Returns the position after the line, or nullptr when the
// code ends before the line is complete.
const uint8_t* DecodePcxLine(uint8_t* destination, int destinationSize, const uint8_t* source,
                             const uint8_t* sourceEnd, int lineLength);

class PcxReader : public ImageReader {
 public:
  PcxReader() = default;
  PcxReader(const PcxReader&) = delete;
  PcxReader& operator=(const PcxReader&) = delete;
  ~PcxReader() override { Close(); }

  int Open(const char* path, Bitmap* bitmap, ProgressCallback callback) override;
  int Read() override;
  int Close() override;

 private:
  int Refuse();
  // Ends a Read that went wrong after a successful Open.
  int Fail();
  int ReadPaletted(long fileSize);
  int ReadPlanes(long fileSize);
  int ReadCompressedData(long offset, long size);

  ProgressCallback progress_ = nullptr;
  FILE* stream_ = nullptr;
  int opened_ = 0;
  uint8_t header_[128] = {};
  int bits_ = 0;
  int width_ = 0;
  int height_ = 0;
  Bitmap* bitmap_ = nullptr;
  // Buffers of one Read.
  MappedBuffer data_;
  PlainBuffer palette_;
  PlainBuffer line_;
};
