#include "engine/bitmap.h"
#include "engine/jpeg_codec.h"
#include "fuzz_support.h"

ZEPHLORA_READER_FUZZER(JpegCodec)
