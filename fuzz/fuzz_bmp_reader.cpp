#include "engine/bitmap.h"
#include "engine/readers/bmp_reader.h"
#include "fuzz_support.h"

ZEPHLORA_READER_FUZZER(BmpReader)
