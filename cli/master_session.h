// One master of the library, opened on an endpoint, with the block transfers the commands need.
// Addresses here are wire addresses (0..65535); counts larger than one request are split.
#pragma once

#include "cli/endpoint.h"
#include "mbus.h"

#include <cstdint>
#include <string>
#include <vector>

enum class DataTable { Coils, DiscreteInputs, HoldingRegisters, InputRegisters };

class MasterSession {
public:
    MasterSession() = default;
    ~MasterSession();
    MasterSession(const MasterSession &) = delete;
    MasterSession &operator=(const MasterSession &) = delete;

    // Makes the master for the endpoint, applies the settings and opens it. timeoutMs 0 leaves
    // the library's default; `trace` prints every frame on standard error. Returns a library
    // result code.
    int open(const Endpoint &endpoint, int timeoutMs, int retries, bool trace);

    // Reads `count` registers or bits; `alignment` keeps multi-register values within one request.
    int readRegisters(DataTable table, int unit, int address, int count, int alignment,
                      std::vector<std::uint16_t> &registers);
    int readBits(DataTable table, int unit, int address, int count, std::vector<int> &bits);
    // One value goes out with function 6 (coils: 5) unless `multiple` asks for 16 (15).
    int writeRegisters(int unit, int address, const std::vector<std::uint16_t> &registers, bool multiple);
    int writeBits(int unit, int address, const std::vector<int> &bits, bool multiple);
    struct IdentificationObject {
        int id;
        std::string value;
    };
    // The device identification objects of `level` (1 basic, 2 regular, 3 extended), all pages.
    int readDeviceIdentification(int unit, int level, std::vector<IdentificationObject> &objects);

private:
    int applyTls(const TlsOptions &tls);

    MbusHandle handle = nullptr;
};
