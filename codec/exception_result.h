// Result code of a Modbus exception response.
#ifndef MBUS_CODEC_EXCEPTION_RESULT_H
#define MBUS_CODEC_EXCEPTION_RESULT_H

#include "mbus.h"

namespace mbus {

// 160 + the exception code. The code is taken as an unsigned byte: read as a signed byte, codes
// 0x80..0xFF would land on 32..159 and pose as I/O or framing errors (0xE4 as a reply time-out,
// which the retry policies would even repeat).
inline int exceptionResult(unsigned char exceptionCode)
{
    return MBUS_EXCEPTION_RESPONSE + exceptionCode;
}

} // namespace mbus

#endif
