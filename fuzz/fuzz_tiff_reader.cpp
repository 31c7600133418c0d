#include "engine/bitmap.h"
#include "engine/readers/tiff_reader.h"
#include "fuzz_support.h"

ZEPHLORA_READER_FUZZER(TiffReader)
