#include "protocol/device_identification.h"

#include <cstring>

#include "mbus.h"

namespace mbus {

namespace {
constexpr unsigned char kMeiType = 0x0E;
constexpr int kHeaderLength = 6; // interface, access code, conformity, more follows, next id, count
} // namespace

int DeviceIdentification::begin(int readDevIdCode, int objectId, DeviceIdObject objectArr[], int objectCapacity,
                                unsigned char dataArr[], int dataCapacity)
{
    if (readDevIdCode < kBasic || readDevIdCode > kSpecific || objectId < 0 || objectId > 255 ||
        objectCapacity < 0 || dataCapacity < 0 || (objectCapacity > 0 && objectArr == nullptr) ||
        (dataCapacity > 0 && dataArr == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    code = readDevIdCode;
    nextId = objectId;
    objects = objectArr;
    objectCap = objectCapacity;
    data = dataArr;
    dataCap = dataCapacity;
    clear();
    done = false;
    return MBUS_SUCCESS;
}

void DeviceIdentification::clear()
{
    if (objectCap > 0)
        std::memset(objects, 0, sizeof(DeviceIdObject) * static_cast<unsigned>(objectCap));
    if (dataCap > 0)
        std::memset(data, 0, static_cast<unsigned>(dataCap));
    objectCnt = 0;
    dataLen = 0;
    conformity = 0;
    lastId = -1;
}

void DeviceIdentification::request(unsigned char out[kRequestLength]) const
{
    out[0] = kMeiType;
    out[1] = static_cast<unsigned char>(code);
    out[2] = static_cast<unsigned char>(nextId);
}

int DeviceIdentification::takeReply(const unsigned char reply[], int replyLen)
{
    if (done || reply == nullptr || replyLen < kHeaderLength || reply[0] != kMeiType || reply[1] != code)
        return MBUS_INVALID_REPLY_ERROR;
    const int moreFollows = reply[3];
    const int count = reply[5];
    if (moreFollows != 0x00 && moreFollows != 0xFF)
        return MBUS_INVALID_REPLY_ERROR;
    // First pass: the whole reply is checked before anything is stored.
    int at = kHeaderLength;
    int previous = lastId;
    int bytes = 0;
    for (int i = 0; i < count; ++i) {
        if (replyLen - at < 2 || reply[at + 1] > replyLen - at - 2 || reply[at] <= previous)
            return MBUS_INVALID_REPLY_ERROR;
        previous = reply[at];
        bytes += reply[at + 1];
        at += 2 + reply[at + 1];
    }
    if (at != replyLen)
        return MBUS_INVALID_REPLY_ERROR;
    if (code == kSpecific && (moreFollows != 0 || count != 1 || reply[kHeaderLength] != nextId))
        return MBUS_INVALID_REPLY_ERROR;
    // A chain must move on: at least one object, and a next object beyond the last one.
    if (moreFollows != 0 && (count == 0 || reply[4] <= previous))
        return MBUS_INVALID_REPLY_ERROR;
    if (count > objectCap - objectCnt || bytes > dataCap - dataLen)
        return MBUS_ILLEGAL_ARGUMENT;
    at = kHeaderLength;
    for (int i = 0; i < count; ++i) {
        const int length = reply[at + 1];
        objects[objectCnt++] = DeviceIdObject{reply[at], dataLen, length};
        if (length > 0)
            std::memcpy(data + dataLen, reply + at + 2, static_cast<unsigned>(length));
        dataLen += length;
        at += 2 + length;
    }
    lastId = previous;
    conformity = reply[2];
    nextId = reply[4];
    done = moreFollows == 0;
    return MBUS_SUCCESS;
}

} // namespace mbus
