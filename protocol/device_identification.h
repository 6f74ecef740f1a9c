// Read device identification (function code 43, interface 14): the request of each step of a
// "more follows" chain and the check of each reply. Pure: no I/O, no allocation.
#ifndef MBUS_PROTOCOL_DEVICE_IDENTIFICATION_H
#define MBUS_PROTOCOL_DEVICE_IDENTIFICATION_H

#include "mbus.h"

namespace mbus {

// One object: its id and where its bytes lie in the caller's data buffer.
using DeviceIdObject = MbusDeviceIdObject;

class DeviceIdentification {
public:
    static constexpr int kFunctionCode = 43;
    static constexpr int kRequestLength = 3;
    static constexpr int kBasic = 1;
    static constexpr int kRegular = 2;
    static constexpr int kExtended = 3;
    static constexpr int kSpecific = 4;

    // Checks the arguments (readDevIdCode 1..4, objectId 0..255, capacities not negative, a
    // buffer with a positive capacity not null) and clears both buffers. MBUS_ILLEGAL_ARGUMENT
    // when a check fails, with nothing written.
    int begin(int readDevIdCode, int objectId, DeviceIdObject objects[], int objectCap, unsigned char data[],
              int dataCap);
    // The request data (after the function code) that asks for the next part of the chain.
    void request(unsigned char out[kRequestLength]) const;
    // Takes the data of one reply (after the function code). MBUS_INVALID_REPLY_ERROR when the
    // reply is malformed: a header or object past its end, bytes left over, another interface or
    // access code, more-follows neither 0x00 nor 0xFF, objects not in rising id order across the
    // chain, a chain that names no later object or carries no object, or an individual access
    // answered with anything but the one object asked for. MBUS_ILLEGAL_ARGUMENT when the
    // objects or their bytes do not fit the caller's buffers. A failed reply stores nothing.
    int takeReply(const unsigned char reply[], int replyLen);
    // Zeroes both buffers and the counts, as after a failed read.
    void clear();

    bool finished() const { return done; }
    int objectCount() const { return objectCnt; }
    int dataLength() const { return dataLen; }
    int conformityLevel() const { return conformity; }

private:
    int code = 0;
    int nextId = 0;
    int lastId = -1; // highest object id stored so far
    bool done = true;
    DeviceIdObject *objects = nullptr;
    int objectCap = 0;
    int objectCnt = 0;
    unsigned char *data = nullptr;
    int dataCap = 0;
    int dataLen = 0;
    int conformity = 0;
};

} // namespace mbus

#endif
