// The registry of open connections: host name -> Modbus/TCP master. One process-wide table of
// fixed capacity, created on first use and released on the host's clean-up message. Every step
// is reported to the host's history, whatever the calling command's quiet flag.
#ifndef ZORVANE_CONNECTION_REGISTRY_H
#define ZORVANE_CONNECTION_REGISTRY_H

#include <cstdint>

#include "mbus.h"

// Longest host name a command accepts (GetCStringFromHandle's maximum).
constexpr int kMaxHostNameLength = 254;

// One slot. The name field takes every name a command accepts, so a lookup always compares the
// full name and two names never share a slot because they share a prefix.
// unitId: the unit the five original commands address on this connection; 255 unless a serial
// open set another (a serial line has no unit 255).
struct ConnectionEntry {
    char hostName[kMaxHostNameLength + 1];
    uint8_t isFree;
    MbusHandle master;
    int unitId;
};

constexpr int kDefaultUnitId = 255;

void initConn();
// 1 and the slot's master (possibly null) when the name is registered; 0 and null otherwise.
int getConnection(const char *hostName, MbusHandle *master);
// true when the name now holds the master; false when no slot took it (table full or missing,
// or a name too long for the field), and then nothing was stored or printed.
bool setConnection(const char *hostName, MbusHandle master);
void eraseConnection(const char *hostName);
// The unit of a registered name (kDefaultUnitId for an unknown name); setting it prints nothing.
int connectionUnit(const char *hostName);
void setConnectionUnit(const char *hostName, int unitId);
void eraseNthConnection(int n);
void getNThConnection(int n, MbusHandle *master);
void disposeMyConnections();
int getMaxConnections();
// Closes, erases and destroys every registered master, then releases the table.
void closeAllConnections();

#endif
