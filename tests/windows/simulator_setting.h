// Where scripts/windows-test started the device simulators on the build machine: ports on
// 127.0.0.1 and serial lines, named in the environment.
#ifndef MBUS_TESTS_WINDOWS_SIMULATOR_SETTING_H
#define MBUS_TESTS_WINDOWS_SIMULATOR_SETTING_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// The variable's value; empty after recording a failure that says how to set it.
inline std::string simulatorSetting(const char *variable)
{
    const char *value = std::getenv(variable);
    if (value == nullptr || value[0] == '\0') {
        ADD_FAILURE() << variable << " is not set; scripts/windows-test starts the simulators and sets it";
        return std::string();
    }
    return value;
}

// A port from the environment, 0 when unset or not a port.
inline int simulatorPort(const char *variable)
{
    const std::string text = simulatorSetting(variable);
    const int port = text.empty() ? 0 : std::atoi(text.c_str());
    return port > 0 && port <= 65535 ? port : 0;
}

#endif
