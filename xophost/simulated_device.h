// xophost --sim: a simulated Modbus/TCP device on 127.0.0.1 for the length of a session, in
// builds that have the device simulator.
#ifndef XOPHOST_SIMULATED_DEVICE_H
#define XOPHOST_SIMULATED_DEVICE_H

#include <memory>

class SimulatedDevice {
public:
    // Whether this build can serve a device at all.
    static bool available();

    SimulatedDevice();
    // Stops serving.
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice &) = delete;
    SimulatedDevice &operator=(const SimulatedDevice &) = delete;

    // Serves on 127.0.0.1:port (0: a port the system picks); the port served, or -1.
    int start(int port);

private:
    struct Device;
    std::unique_ptr<Device> device_;
};

#endif
