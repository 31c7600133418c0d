#include "single/encoder_type.h"

int EncoderType = 0;
