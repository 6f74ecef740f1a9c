// State every simulated device shares, whatever its transport: tables, faults, request log.
#pragma once

#include "sim/data_tables.h"
#include "sim/fault.h"
#include "sim/pdu_processor.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// All public operations are thread-safe: the device's own thread serves requests while the
// test thread reads and changes the tables. Addresses are wire addresses 0..65535.
class DeviceBase {
public:
    static constexpr std::size_t kRequestLogLimit = 10000;

    DeviceBase();
    virtual ~DeviceBase();
    DeviceBase(const DeviceBase&) = delete;
    DeviceBase& operator=(const DeviceBase&) = delete;

    void setCoil(std::uint16_t addr, bool value);
    bool coil(std::uint16_t addr) const;
    void setDiscreteInput(std::uint16_t addr, bool value);
    bool discreteInput(std::uint16_t addr) const;
    void setHoldingRegister(std::uint16_t addr, std::uint16_t value);
    std::uint16_t holdingRegister(std::uint16_t addr) const;
    void setInputRegister(std::uint16_t addr, std::uint16_t value);
    std::uint16_t inputRegister(std::uint16_t addr) const;
    void setExceptionStatus(std::uint8_t value);
    std::uint8_t exceptionStatus() const;

    // Device identification object `id`; bytes beyond PduProcessor::kMaxObjectLength are cut.
    void setDeviceObject(std::uint8_t id, const std::string& bytes);
    void clearDeviceObjects();
    // Report server id data; cut to PduProcessor::kMaxServerIdData bytes in all.
    void setServerId(const ByteString& id, std::uint8_t runIndicator, const ByteString& extra = {});
    // Creates file `file` (all records 0) when it does not exist yet; record is 0..9999.
    void setFileRecord(std::uint16_t file, std::uint16_t record, std::uint16_t value);
    // 0 for a file or record that does not exist.
    std::uint16_t fileRecord(std::uint16_t file, std::uint16_t record) const;
    // The FIFO queue at a pointer address (any length: a queue above 31 values is refused).
    void setFifo(std::uint16_t addr, const std::vector<std::uint16_t>& values);

    // Queued faults apply to one request each, in order; the persistent fault applies to every
    // request that finds the queue empty.
    void pushFault(const Fault& fault);
    void setPersistentFault(const Fault& fault);
    void clearFaults();

    // Raw request frames as received (the last kRequestLogLimit), oldest first. Bytes a
    // device dropped (junk, bad check values, frames for other slaves) are logged as well.
    std::vector<std::vector<std::uint8_t>> requests() const;
    void clearRequests();

    // Last text written to the text-command register.
    std::string lastTextCommand() const;

    // Receives every frame the device takes ("request"), drops ("ignored") or sends ("reply"),
    // on the device's thread; null turns it off.
    using FrameTrace = void (*)(const char* what, const std::uint8_t* frame, std::size_t len);
    void setFrameTrace(FrameTrace trace) { trace_.store(trace); }

protected:
    void traceFrame(const char* what, const std::vector<std::uint8_t>& frame) const
    {
        if (FrameTrace trace = trace_.load(); trace != nullptr && !frame.empty()) trace(what, frame.data(), frame.size());
    }
    // Logs received bytes that are not a request for this device (junk, other slaves).
    void logRequest(const std::uint8_t* frame, std::size_t len);
    // Logs a received request frame and takes the fault for it.
    Fault beginRequest(const std::uint8_t* frame, std::size_t len);
    // The persistent fault, without consuming anything (for faults that act between requests).
    Fault persistentFault() const;
    // Whether the master's purge of the line just now is to be answered with a byte of noise
    // (Chatter persistent, or NoiseOnPurge at the head of the queue, which this counts down).
    bool takePurgeNoise();
    // Called after the faults changed, outside the lock: a serving thread may need to wake.
    virtual void faultsChanged() {}
    // Carries out a request PDU (function code + data) unless the fault says it is not carried
    // out, and builds the reply PDU in `reply` (empty when no reply is to be sent).
    void execute(const Fault& fault, const std::uint8_t* pdu, std::size_t len,
                 std::vector<std::uint8_t>& reply, std::string& textAnswer,
                 bool extendedRead = false);

private:
    mutable std::mutex mutex_;
    DataTables tables_;
    PduProcessor processor_;
    std::deque<Fault> queued_;
    Fault persistent_;
    std::deque<std::vector<std::uint8_t>> log_;
    std::atomic<FrameTrace> trace_{nullptr};

    void logLocked(const std::uint8_t* frame, std::size_t len);
};

} // namespace sim
