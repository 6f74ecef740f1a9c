// A Modbus/TCP exchange in at most three system calls per transaction in the steady state: the
// drain of stale input (one receive that finds nothing), one send, and one blocking receive that
// takes the whole reply, bounded by the socket's receive time-out (SO_RCVTIMEO). A second receive
// happens only when a reply arrives in pieces.
//
// The result codes and time-out rules are those of MbusTcpMasterProtocol::transactOnce: every
// receive waits at most the time-out for the next piece (the time-out bounds silence, not the
// whole reply), a reply with foreign identifiers is refused after its first 9 bytes, a length
// field beyond one frame is refused, and whatever arrives behind a reply is dropped by the next
// drain. A signal does not stretch a wait: the receive goes on with what is left of the
// time-out. No retries and no reconnect: those stay with the caller, as in the library.
#ifndef MBUS_BENCH_TCP_EXCHANGE_PROTOTYPE_H
#define MBUS_BENCH_TCP_EXCHANGE_PROTOTYPE_H

#include <cstdint>

class TcpExchangePrototype {
public:
    static constexpr int kFrameSize = 260;

    TcpExchangePrototype() = default;
    ~TcpExchangePrototype();
    TcpExchangePrototype(const TcpExchangePrototype &) = delete;
    TcpExchangePrototype &operator=(const TcpExchangePrototype &) = delete;

    // Connects to 127.0.0.1:port within timeOutMs; a library result code.
    int open(int port, int timeOutMs);
    void close();

    // One attempt, with the arguments and result codes of transactOnce.
    int exchange(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                 unsigned char *replyData, int replyLen, int *receivedLen);

    // Bytes that came behind the last reply in the same receive. The next drain drops them; a
    // caller that expects raw text behind a reply takes them from lastSurplus() first.
    int surplusSize() const { return surplus; }
    const unsigned char *lastSurplus() const { return frame + replySize; }

    // Data access as the benchmark needs it: wire addresses, signed 16-bit registers.
    int readHoldingRegisters(int slaveAddr, int address, short *values, int count);
    int writeSingleRegister(int slaveAddr, int address, int value);
    int writeMultipleRegisters(int slaveAddr, int address, const short *values, int count);

private:
    bool drain();
    int send(int length);
    int receive();
    // The socket's receive time-out; false when it could not be set.
    bool setReceiveLimit(int milliseconds);

    int fd = -1;
    int timeOut = 1000;
    std::uint16_t transactionId = 0;
    int replySize = 0;
    int surplus = 0;
    unsigned char frame[kFrameSize] = {};
    unsigned char pdu[kFrameSize] = {};
};

#endif
