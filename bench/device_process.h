// An mbbench-device started as a separate process beside mbbench (it inherits mbbench's CPU
// affinity) and stopped by its process id.
#ifndef MBUS_BENCH_DEVICE_PROCESS_H
#define MBUS_BENCH_DEVICE_PROCESS_H

#include <sys/types.h>

class DeviceProcess {
public:
    // kind: "libmodbus" or "epoll". The device ends by itself after lifetimeSeconds.
    DeviceProcess(const char *kind, int lifetimeSeconds);
    ~DeviceProcess();
    DeviceProcess(const DeviceProcess &) = delete;
    DeviceProcess &operator=(const DeviceProcess &) = delete;

    // The device's port, or -1 when it did not start.
    int port() const { return devicePort; }
    pid_t pid() const { return devicePid; }

private:
    void stop();

    pid_t devicePid = -1;
    int devicePort = -1;
};

#endif
