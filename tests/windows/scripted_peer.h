// A Modbus/TCP or Modbus/UDP device on 127.0.0.1, written straight on Windows Sockets, that
// answers each request as the test scripted it. It drives the failure paths of the Windows
// socket layer under the IP masters: silence, closed connections, late and trickling replies,
// short and oversized datagrams. It answers function 3 with register n holding the value n, and
// echoes every other request.
#ifndef MBUS_TESTS_WINDOWS_SCRIPTED_PEER_H
#define MBUS_TESTS_WINDOWS_SCRIPTED_PEER_H

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class ScriptedPeer {
public:
    enum class Transport { Stream, Datagram };
    enum class Action {
        Reply,     // a good reply
        Silent,    // no reply at all
        Close,     // close the connection instead of replying (stream)
        LateId,    // a good reply carrying the previous transaction identifier
        Trickle,   // a good reply in single bytes, 20 ms apart
        CutHalf,   // the first half of a good reply, then silence
        UnitZero,  // a good reply from unit identifier 0
        Short,     // an 8-byte reply (datagram)
        Oversize   // a 300-byte reply, longer than any frame (datagram)
    };

    explicit ScriptedPeer(Transport transport);
    // Stops serving and closes every socket.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    // The port served; 0 when the peer could not start.
    int port() const { return port_; }
    // Actions for the next requests, in order; requests beyond them get Reply.
    void push(Action action);
    int connections() const { return connections_; }
    int requests() const { return requests_; }
    // Waits, boundedly, until n connections have been accepted; the number accepted.
    int connectionsAfterAccepting(int n) const;

private:
    void serveStream();
    void serveDatagrams();
    // Reads one MBAP request from the connection into frame; false when the peer closed or
    // the peer is stopping.
    bool readStreamRequest(SOCKET connection, std::vector<std::uint8_t> &frame);
    Action nextAction();
    static std::vector<std::uint8_t> replyTo(const std::vector<std::uint8_t> &request);

    Transport transport_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::deque<Action> script_;
    std::thread thread_;
};

#endif
