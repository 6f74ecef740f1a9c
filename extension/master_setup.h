// Creation, configuration, opening and closing of the Modbus/TCP master of a host name, and the
// argument checks made before a library call. Diagnostics go to standard error.
#ifndef ZORVANE_MASTER_SETUP_H
#define ZORVANE_MASTER_SETUP_H

#include <cstdint>

#include "mbus.h"

// A new master taking floats low word first; returns the result of setting its poll delay.
int initProtocol(MbusHandle *master, int pollDelay);
// Library result code, 0 = the connection is open.
int openProtocol(const char *hostName, uint16_t port, int timeout, int pollDelay);
void closeProtocol(const char *hostName);
// The master's TCP port, or -1 if the name has no master.
int getConnectionPort(const char *hostName);

// 0 when 1 <= value <= limit, else the check's code after its diagnostic line.
int checkStartRef(uint32_t value);
int checkCoilCount(uint32_t value);
int checkRegisterCount(uint32_t value);
int checkLongRegisterCount(uint32_t value);
int checkSlaveAddress(uint32_t value);

#endif
