// Common base of the masters that reach their device over IP: the device's address and port,
// the socket, and the frame buffer and transaction identifier of the MBAP framings.
#ifndef MBUS_IP_IP_CLIENT_BASE_H
#define MBUS_IP_IP_CLIENT_BASE_H

#include <cstdint>

#include "ip/socket_layer.h"
#include "protocol/master_functions.h"

class MbusIpClientBase : public MbusMasterFunctions {
public:
    // One MBAP frame: 7 header bytes, the function code and at most 252 data bytes.
    static constexpr int kFrameSize = 260;
    static constexpr std::uint16_t kDefaultPort = 502;

    ~MbusIpClientBase() override;
    int isOpen() override;
    void closeConnection() override;
    // Creates and connects the socket for serverAddress.
    virtual int openSocket() = 0;

    // Resolves a dotted address or a host name, then opens the socket.
    int openConnection(const char *hostName);
    int openConnection(const wchar_t *hostName);
    int setPort(std::uint16_t port);
    std::uint16_t getPort() const { return portNumber; }

protected:
    MbusIpClientBase();

    // The MBAP framing shared by Modbus/TCP and Modbus/UDP.
    // Builds the request of the next transaction identifier in frameBuffer; returns its length.
    int buildMbapRequest(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen);
    // Function code, unit identifier and exception flag of the reply in frameBuffer: 0,
    // MBUS_INVALID_FRAME_ERROR or the exception's result code.
    int checkMbapReply(int slaveAddr, int functionCode) const;

    std::uint16_t transactionId = 0;
    net::Socket socketHandle = net::kInvalidSocket;
    std::uint16_t portNumber = kDefaultPort;
    net::Ipv4Endpoint serverAddress;
    unsigned char frameBuffer[kFrameSize] = {};
};

#endif
