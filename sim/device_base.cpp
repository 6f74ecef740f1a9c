#include "sim/device_base.h"

#include <algorithm>

namespace sim {

DeviceBase::DeviceBase() : processor_(tables_) {}

DeviceBase::~DeviceBase() = default;

void DeviceBase::setCoil(std::uint16_t addr, bool value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.coils[addr] = value ? 1 : 0;
}

bool DeviceBase::coil(std::uint16_t addr) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.coils[addr] != 0;
}

void DeviceBase::setDiscreteInput(std::uint16_t addr, bool value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.discreteInputs[addr] = value ? 1 : 0;
}

bool DeviceBase::discreteInput(std::uint16_t addr) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.discreteInputs[addr] != 0;
}

void DeviceBase::setHoldingRegister(std::uint16_t addr, std::uint16_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.holdingRegisters[addr] = value;
}

std::uint16_t DeviceBase::holdingRegister(std::uint16_t addr) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.holdingRegisters[addr];
}

void DeviceBase::setInputRegister(std::uint16_t addr, std::uint16_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.inputRegisters[addr] = value;
}

std::uint16_t DeviceBase::inputRegister(std::uint16_t addr) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.inputRegisters[addr];
}

void DeviceBase::setExceptionStatus(std::uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.exceptionStatus = value;
}

std::uint8_t DeviceBase::exceptionStatus() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.exceptionStatus;
}

void DeviceBase::setDeviceObject(std::uint8_t id, const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t length = std::min(bytes.size(), PduProcessor::kMaxObjectLength);
    tables_.deviceObjects[id] = ByteString(bytes.begin(), bytes.begin() + long(length));
}

void DeviceBase::clearDeviceObjects()
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.deviceObjects.clear();
}

void DeviceBase::setServerId(const ByteString& id, std::uint8_t runIndicator, const ByteString& extra)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t idLength = std::min(id.size(), PduProcessor::kMaxServerIdData - 1);
    const std::size_t extraLength = std::min(extra.size(), PduProcessor::kMaxServerIdData - 1 - idLength);
    tables_.serverId.assign(id.begin(), id.begin() + long(idLength));
    tables_.runIndicator = runIndicator;
    tables_.serverIdExtra.assign(extra.begin(), extra.begin() + long(extraLength));
}

void DeviceBase::setFileRecord(std::uint16_t file, std::uint16_t record, std::uint16_t value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::uint16_t>& records = tables_.files[file];
    records.resize(DataTables::kFileRecords, 0);
    if (record < DataTables::kFileRecords) records[record] = value;
}

std::uint16_t DeviceBase::fileRecord(std::uint16_t file, std::uint16_t record) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = tables_.files.find(file);
    return it != tables_.files.end() && record < it->second.size() ? it->second[record] : 0;
}

void DeviceBase::setFifo(std::uint16_t addr, const std::vector<std::uint16_t>& values)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.fifos[addr] = values;
}

void DeviceBase::pushFault(const Fault& fault)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_.push_back(fault);
    }
    faultsChanged();
}

void DeviceBase::setPersistentFault(const Fault& fault)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        persistent_ = fault;
    }
    faultsChanged();
}

void DeviceBase::clearFaults()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_.clear();
        persistent_ = Fault{};
    }
    faultsChanged();
}

std::vector<std::vector<std::uint8_t>> DeviceBase::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::vector<std::vector<std::uint8_t>>(log_.begin(), log_.end());
}

void DeviceBase::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

std::string DeviceBase::lastTextCommand() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return processor_.lastTextCommand();
}

void DeviceBase::logLocked(const std::uint8_t* frame, std::size_t len)
{
    if (log_.size() >= kRequestLogLimit) log_.pop_front();
    log_.emplace_back(frame, frame + len);
}

void DeviceBase::logRequest(const std::uint8_t* frame, std::size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    logLocked(frame, len);
    traceFrame("ignored", log_.back());
}

Fault DeviceBase::beginRequest(const std::uint8_t* frame, std::size_t len)
{
    std::lock_guard<std::mutex> lock(mutex_);
    logLocked(frame, len);
    traceFrame("request", log_.back());
    if (queued_.empty()) return persistent_;
    const Fault fault = queued_.front();
    queued_.pop_front();
    return fault;
}

Fault DeviceBase::persistentFault() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return persistent_;
}

bool DeviceBase::takePurgeNoise()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queued_.empty() && queued_.front().kind == FaultKind::NoiseOnPurge) {
        Fault& f = queued_.front();
        if (f.param <= 1) queued_.pop_front();
        else --f.param;
        return true;
    }
    return queued_.empty() && persistent_.kind == FaultKind::Chatter;
}

void DeviceBase::execute(const Fault& fault, const std::uint8_t* pdu, std::size_t len,
                         std::vector<std::uint8_t>& reply, std::string& textAnswer,
                         bool extendedRead)
{
    reply.clear();
    textAnswer.clear();
    switch (fault.kind) {
    case FaultKind::Close:
    case FaultKind::Reset:
    case FaultKind::Chatter:
        // The device goes away (or is too busy talking) before it gets to the request.
        return;
    case FaultKind::Exception:
        reply.push_back(std::uint8_t((len ? pdu[0] : 0) | 0x80));
        reply.push_back(std::uint8_t(fault.param));
        return;
    default:
        break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    processor_.process(pdu, len, reply, textAnswer, extendedRead, fault);
}

} // namespace sim
