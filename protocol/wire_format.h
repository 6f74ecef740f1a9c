// Big-endian field access now lives with the codecs; kept for the includes that name it here.
#ifndef MBUS_PROTOCOL_WIRE_FORMAT_H
#define MBUS_PROTOCOL_WIRE_FORMAT_H

#include "codec/wire_format.h"

#endif
