// A device that speaks RTU, ASCII or extended-address RTU frames over a byte stream.
#pragma once

#include "sim/serial_codec.h"
#include "sim/serial_framing.h"
#include "sim/stream_server.h"

#include <atomic>

namespace sim {

// Answers every slave address by default (setSlaveAddress narrows it to one). Address 0 is a
// broadcast: carried out, not answered, unless setAnswerBroadcast(true).
class FramedStreamDevice : public StreamServer {
public:
    // Bytes that stop arriving for this long before an RTU frame is complete are dropped, as
    // an RTU slave drops a frame interrupted by line silence.
    static constexpr long long kRtuGapMs = 50;

    explicit FramedStreamDevice(SerialFraming framing) : framing_(framing) {}
    ~FramedStreamDevice() override;

    // -1: every address; otherwise only this one (and broadcasts).
    void setSlaveAddress(int address) { slaveAddress_ = address; }
    void setAnswerBroadcast(bool answer) { answerBroadcast_ = answer; }
    SerialFraming framing() const { return framing_.load(); }

protected:
    void setFraming(SerialFraming framing) { framing_ = framing; }
    void onReceive(Connection& conn) override;

private:
    void handleFrame(Connection& conn, const std::uint8_t* frame, std::size_t len);

    std::atomic<SerialFraming> framing_;
    std::atomic<int> slaveAddress_{-1};
    std::atomic<bool> answerBroadcast_{false};
    SerialRequest request_;
    std::vector<std::uint8_t> reply_;
    std::string text_;
};

} // namespace sim
