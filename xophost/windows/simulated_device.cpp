// The device simulator needs POSIX; on Windows the stand-in host talks to a simulator or a
// device elsewhere (for the tests, mbsim on the machine that runs Wine).
#include "xophost/simulated_device.h"

struct SimulatedDevice::Device {
};

bool SimulatedDevice::available()
{
    return false;
}

SimulatedDevice::SimulatedDevice() = default;

SimulatedDevice::~SimulatedDevice() = default;

int SimulatedDevice::start(int /*port*/)
{
    return -1;
}
