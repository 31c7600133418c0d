#include "single/encoder_type.h"

namespace single {

int32_t EncoderType = 0;

}  // namespace single
