#include "platform/gdiplus.h"

#include <fcntl.h>
#include <magick/api.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

struct GpImage {
  Image* picture;
};

namespace {

std::once_flag started;
std::atomic<bool> ready{false};

// Limits on what a picture may declare: far above any camera's picture, yet small enough that a
// forged header fails before its pixels are allocated. 2^28 pixels take 2 GiB at 16 bits a sample.
constexpr magick_int64_t kMaxPixels = magick_int64_t{1} << 28;
constexpr magick_int64_t kMaxSide = magick_int64_t{1} << 18;

// Fewer system calls for the many small reads and writes of the coders.
constexpr size_t kStreamBuffer = 64 * 1024;

void Silent(const ExceptionType, const char*, const char*) {}

// The library declares its fatal handler as never returning and falls into unrelated code if it
// did; it only calls it when a tiny internal allocation or a mutex fails, where no recovery exists.
__attribute__((noreturn)) void SilentFatal(const ExceptionType, const char*, const char*) {
  std::abort();
}

enum class Codec { None, Bmp, Gif, Jpeg, Png, Tiff, Ico };

const char* CoderName(Codec codec) {
  switch (codec) {
    case Codec::Bmp: return "BMP";
    case Codec::Gif: return "GIF";
    case Codec::Jpeg: return "JPEG";
    case Codec::Png: return "PNG";
    case Codec::Tiff: return "TIFF";
    case Codec::Ico: return "ICO";
    case Codec::None: break;
  }
  return "";
}

// The decoders GDI+ has, told apart by their signatures; the name of the file plays no part.
Codec SniffCodec(const unsigned char* b, size_t n) {
  if (n >= 2 && b[0] == 'B' && b[1] == 'M') return Codec::Bmp;
  if (n >= 6 && std::memcmp(b, "GIF8", 4) == 0 && (b[4] == '7' || b[4] == '9') && b[5] == 'a')
    return Codec::Gif;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Codec::Jpeg;
  if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1A\n", 8) == 0) return Codec::Png;
  // Classic TIFF (42) and BigTIFF (43), either byte order.
  if (n >= 4 && ((b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0) ||
                 (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43))))
    return Codec::Tiff;
  // Reserved 0, type 1 (icon), at least one entry.
  if (n >= 6 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0 && (b[4] | b[5]) != 0)
    return Codec::Ico;
  return Codec::None;
}

struct Encoder {
  CLSID clsid;
  Codec codec;
};

// GDI+'s built-in encoders; they differ only in the last byte of Data1.
constexpr Encoder kEncoders[] = {
    {{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}, Codec::Bmp},
    {{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}, Codec::Jpeg},
    {{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}, Codec::Gif},
    {{0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}, Codec::Tiff},
    {{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}, Codec::Png},
};

Codec EncoderCodec(const CLSID& clsid) {
  for (const Encoder& encoder : kEncoders) {
    const CLSID& c = encoder.clsid;
    if (c.Data1 == clsid.Data1 && c.Data2 == clsid.Data2 && c.Data3 == clsid.Data3 &&
        std::memcmp(c.Data4, clsid.Data4, sizeof c.Data4) == 0)
      return encoder.codec;
  }
  return Codec::None;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The file-system name of a UTF-16 path; false for an empty path or a lone surrogate, which no
// file name can hold.
bool PathFromUtf16(const WCHAR* text, std::string* path) {
  path->clear();
  for (const WCHAR* p = text; *p != 0; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (p[1] < 0xDC00 || p[1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    AppendUtf8(c, path);
  }
  return !path->empty();
}

// A decoded code point and the bytes it took. Ill-formed input gives U+FFFD for the longest
// prefix of a well-formed sequence (at least one byte), as the Unicode standard recommends.
struct Decoded {
  char32_t code;
  int bytes;
  bool valid;
};

Decoded DecodeUtf8(const unsigned char* p, size_t n) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return {lead, 1, true};
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  char32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return {0xFFFD, 1, false};
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char lo = i == 1 ? low : 0x80, hi = i == 1 ? high : 0xBF;
    if (static_cast<size_t>(i) >= n || p[i] < lo || p[i] > hi) return {0xFFFD, i, false};
    code = (code << 6) | (p[i] & 0x3F);
  }
  return {code, length, true};
}

bool ClearNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Opens an existing regular file for reading. O_NONBLOCK keeps a FIFO from stalling the open.
FILE* OpenSource(const std::string& path, GpStatus* status) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *status = errno == ENOENT || errno == ENOTDIR ? FileNotFound : Win32Error;
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !ClearNonBlocking(fd)) {
    close(fd);
    *status = Win32Error;
    return nullptr;
  }
  FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    *status = OutOfMemory;
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IOFBF, kStreamBuffer);
  return file;
}

// Opens the target for writing: a new file, or an existing regular file cut to nothing. *created
// tells whether the file is new, so that a failed save can take it away again.
FILE* OpenTarget(const std::string& path, bool* created) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  *created = fd >= 0;
  if (fd < 0) {
    if (errno != EEXIST) return nullptr;
    fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fd, 0) != 0 ||
        !ClearNonBlocking(fd)) {
      close(fd);
      return nullptr;
    }
  }
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    close(fd);
    if (*created) unlink(path.c_str());
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IOFBF, kStreamBuffer);
  return file;
}

// Points the library at an already open stream with an explicit format. The name after the
// prefix is empty so that nothing in it (a pipe "|", "-", ".gz", "[1]", "@") can be interpreted.
ImageInfo* StreamInfo(Codec codec, FILE* file) {
  ImageInfo* info = CloneImageInfo(nullptr);
  if (info == nullptr) return nullptr;
  std::snprintf(info->filename, sizeof info->filename, "%s:", CoderName(codec));
  std::snprintf(info->magick, sizeof info->magick, "%s", CoderName(codec));
  info->file = file;
  info->affirm = MagickTrue;
  return info;
}

}  // namespace

GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input, void* /*output*/) {
  if (token == nullptr || input == nullptr || input->GdiplusVersion != 1) return InvalidParameter;
  std::call_once(started, [] {
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    // The program keeps its own signal dispositions.
    const bool ok = InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception) ==
                    MagickPass;
    DestroyExceptionInfo(&exception);
    if (!ok) return;
    SetErrorHandler(Silent);
    SetWarningHandler(Silent);
    SetFatalErrorHandler(SilentFatal);
    // Pixels stay in memory: no cache files in the temporary folder.
    SetMagickResourceLimit(DiskResource, 0);
    SetMagickResourceLimit(MapResource, 0);
    SetMagickResourceLimit(PixelsResource, kMaxPixels);
    SetMagickResourceLimit(WidthResource, kMaxSide);
    SetMagickResourceLimit(HeightResource, kMaxSide);
    ready = true;
  });
  if (!ready) return GenericError;
  *token = 1;
  return Ok;
}

GpStatus GdipLoadImageFromFile(const WCHAR* filename, GpImage** image) {
  if (image == nullptr) return InvalidParameter;
  *image = nullptr;
  if (filename == nullptr) return InvalidParameter;
  if (!ready) return GdiplusNotInitialized;
  std::string path;
  if (!PathFromUtf16(filename, &path)) return InvalidParameter;

  GpStatus status = Ok;
  FILE* file = OpenSource(path, &status);
  if (file == nullptr) return status;
  unsigned char head[8];
  const size_t got = std::fread(head, 1, sizeof head, file);
  const Codec codec = SniffCodec(head, got);
  if (codec == Codec::None || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return UnknownImageFormat;
  }

  ImageInfo* info = StreamInfo(codec, file);
  if (info == nullptr) {
    std::fclose(file);
    return OutOfMemory;
  }
  info->subimage = 0;  // the first frame only
  info->subrange = 1;
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  Image* picture = ReadImage(info, &exception);
  DestroyImageInfo(info);
  std::fclose(file);

  // Damaged pixel data (a cut-off JPEG, say) comes back as a warning beside a partly filled
  // picture; such a picture is refused rather than converted with parts missing.
  const ExceptionType severity = exception.severity;
  const bool refused = picture == nullptr || severity >= ErrorException ||
                       severity == CorruptImageWarning;
  DestroyExceptionInfo(&exception);
  if (refused) {
    if (picture != nullptr) DestroyImageList(picture);
    // The limits on declared sizes report in the resource-limit range.
    const bool overLimit = severity >= ResourceLimitError && severity < TypeError;
    return overLimit ? OutOfMemory : UnknownImageFormat;
  }
  if (picture->next != nullptr) {
    Image* rest = picture->next;
    picture->next = nullptr;
    rest->previous = nullptr;
    DestroyImageList(rest);
  }
  *image = new (std::nothrow) GpImage{picture};
  if (*image == nullptr) {
    DestroyImage(picture);
    return OutOfMemory;
  }
  return Ok;
}

GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* encoder,
                             const void* encoderParameters) {
  if (image == nullptr || filename == nullptr || encoder == nullptr) return InvalidParameter;
  if (!ready) return GdiplusNotInitialized;
  if (encoderParameters != nullptr) return NotImplemented;
  const Codec codec = EncoderCodec(*encoder);
  if (codec == Codec::None) return UnknownImageFormat;  // no encoder of that class
  std::string path;
  if (!PathFromUtf16(filename, &path)) return InvalidParameter;

  bool created = false;
  FILE* file = OpenTarget(path, &created);
  if (file == nullptr) return Win32Error;
  ImageInfo* info = StreamInfo(codec, file);
  bool written = false;
  if (info != nullptr) {
    // The encoder works on the loaded picture itself: a copy would cost as much as the encoding
    // of a large picture. The source's compression must not carry over (a JPEG source would give
    // a JPEG-in-TIFF); GDI+ writes TIFF with LZW and everything else with its plain default.
    Image* picture = image->picture;
    picture->compression = UndefinedCompression;
    info->compression = codec == Codec::Tiff ? LZWCompression : UndefinedCompression;
    std::snprintf(picture->filename, sizeof picture->filename, "%s", info->filename);
    written = WriteImage(info, picture) == MagickPass && picture->exception.severity < ErrorException;
    DestroyImageInfo(info);
  }
  written = std::fflush(file) == 0 && std::ferror(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (written) return Ok;
  if (created) unlink(path.c_str());
  return Win32Error;
}

GpStatus GdipDisposeImage(GpImage* image) {
  if (image == nullptr) return InvalidParameter;
  if (image->picture != nullptr) DestroyImage(image->picture);
  delete image;
  return Ok;
}

long CLSIDFromString(const WCHAR* text, CLSID* clsid) {
  constexpr long kInvalidArgument = static_cast<long>(static_cast<int32_t>(0x80070057u));
  constexpr long kNotAClassString = static_cast<long>(static_cast<int32_t>(0x800401F3u));
  if (clsid == nullptr) return kInvalidArgument;
  *clsid = CLSID{};
  if (text == nullptr) return 0;  // no text names the null class
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  static const char kShape[] = "{........-....-....-....-............}";
  uint8_t bytes[16] = {};
  int nibbles = 0;
  for (int i = 0; kShape[i] != 0; ++i) {
    const WCHAR c = text[i];
    if (kShape[i] != '.') {
      if (c != static_cast<WCHAR>(kShape[i])) return kNotAClassString;
      continue;
    }
    int value;
    if (c >= u'0' && c <= u'9') value = c - u'0';
    else if (c >= u'a' && c <= u'f') value = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') value = c - u'A' + 10;
    else return kNotAClassString;
    bytes[nibbles / 2] = static_cast<uint8_t>(bytes[nibbles / 2] << 4 | value);
    ++nibbles;
  }
  if (text[sizeof kShape - 1] != 0) return kNotAClassString;
  clsid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                 static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  clsid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  clsid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(clsid->Data4, bytes + 8, 8);
  return 0;
}

int MultiByteToWideChar(unsigned codePage, unsigned long flags, const char* text, int length,
                        WCHAR* output, int outputLength) {
  constexpr unsigned kSystemCodePage = 0, kUtf8 = 65001;
  constexpr unsigned long kFailOnInvalid = 0x8;  // MB_ERR_INVALID_CHARS
  if ((codePage != kSystemCodePage && codePage != kUtf8) || (flags & ~kFailOnInvalid) != 0 ||
      text == nullptr || length == 0 || length < -1 || outputLength < 0 ||
      (output == nullptr && outputLength != 0))
    return 0;
  const size_t n = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  long long units = 0;
  for (size_t i = 0; i < n;) {
    const Decoded d = DecodeUtf8(bytes + i, n - i);
    if (!d.valid && (flags & kFailOnInvalid) != 0) return 0;
    const int need = d.code >= 0x10000 ? 2 : 1;
    if (outputLength != 0) {
      if (units + need > outputLength) return 0;  // the buffer is too small
      if (need == 2) {
        output[units] = static_cast<WCHAR>(0xD800 + ((d.code - 0x10000) >> 10));
        output[units + 1] = static_cast<WCHAR>(0xDC00 + ((d.code - 0x10000) & 0x3FF));
      } else {
        output[units] = static_cast<WCHAR>(d.code);
      }
    }
    units += need;
    if (units > 0x7FFFFFFF) return 0;
    i += static_cast<size_t>(d.bytes);
  }
  return static_cast<int>(units);
}
