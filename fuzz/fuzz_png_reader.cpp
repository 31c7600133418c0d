#include "engine/bitmap.h"
#include "engine/readers/png_reader.h"
#include "fuzz_support.h"

ZEPHLORA_READER_FUZZER(PngReader)
