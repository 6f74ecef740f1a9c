#include "xophost/simulated_device.h"

#include "sim/tcp_device.h"

namespace {
// The simulated device serves for the whole session, however long a person types.
constexpr int kSimLifetimeSeconds = 86400;
} // namespace

struct SimulatedDevice::Device {
    sim::TcpDevice tcp;
};

bool SimulatedDevice::available()
{
    return true;
}

SimulatedDevice::SimulatedDevice() : device_(std::make_unique<Device>())
{
    device_->tcp.setLifetimeSeconds(kSimLifetimeSeconds);
}

SimulatedDevice::~SimulatedDevice() = default;

int SimulatedDevice::start(int port)
{
    return device_->tcp.start(port, "127.0.0.1");
}
