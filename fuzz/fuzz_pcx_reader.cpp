#include "engine/bitmap.h"
#include "engine/readers/pcx_reader.h"
#include "fuzz_support.h"

ZEPHLORA_READER_FUZZER(PcxReader)
