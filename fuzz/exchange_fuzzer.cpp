// The transaction routine and each frame codec on the shared scripted link: the input is the
// device's reply, cut short or failed at an operation as its first bytes say.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/ascii_codec.h"
#include "codec/elam_codec.h"
#include "codec/mbap_codec.h"
#include "codec/rtu_codec.h"
#include "fuzz/fuzz_check.h"
#include "protocol/master_functions.h"
#include "tests/support/scripted_link.h"

using namespace mbus;

namespace {

class LinkMaster : public MbusMasterFunctions {
public:
    LinkMaster(FrameCodec &frameCodec, Link &byteLink)
    {
        useTransport(&frameCodec, &byteLink);
        slaveOptionTable = options; // extended addresses reach past the standard table
    }
    int getMaxSlaveAddress() override { return 2295; }
    int isOpen() override { return 1; }
    void closeConnection() override {}

private:
    unsigned char options[2296] = {};
};

std::unique_ptr<FrameCodec> newCodec(int kind)
{
    switch (kind) {
    case 0:
        return std::make_unique<MbapCodec>(MbapCodec::Carrier::Stream);
    case 1:
        return std::make_unique<MbapCodec>(MbapCodec::Carrier::Datagram);
    case 2:
        return std::make_unique<RtuCodec>();
    case 3:
        return std::make_unique<AsciiCodec>();
    default:
        return std::make_unique<ElamCodec>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const int kind = data[0] % 5;
    auto codec = newCodec(kind);
    ScriptedLink link(kind == 1);
    LinkMaster master(*codec, link);
    if (data[1] != 0xFF)
        link.cutRepliesAt(data[1]);
    if (data[2] < 8)
        link.failAt(data[2], MBUS_IO_ERROR);
    const int slave = kind == 4 ? 248 + data[3] : data[3];
    link.reply(ScriptedLink::Bytes(data + 4, data + size));

    short regs[125];
    int result = master.readMultipleRegisters(slave, 1, regs, 1 + data[3] % 125);
    // A good exchange may still carry a reply the read refuses (131): counted, yet no success.
    fuzzRequire(result != MBUS_SUCCESS || master.getSuccessCounter() == 1, "a success is counted");
    fuzzRequire(master.getSuccessCounter() <= master.getTotalCounter(), "no success without an attempt");
    fuzzRequire(master.getTotalCounter() <= 1, "one attempt without retries");
    for (int wanted : link.readSizes)
        fuzzRequire(wanted > 0 && wanted <= 5007, "reads within the frame buffers");
    return 0;
}
