#include "extension/connection_registry.h"

#include <cstring>
#include <mutex>
#include <new>

#include "extension/connection_guard.h"
#include "extension/output_lines.h"

namespace {

constexpr int maxConnections = 20;

// The module's only global state: the host's commands share their connections through it. Igor
// runs the thread-safe commands on several threads at once, so every access to the table holds
// registryMutex (the masters themselves are guarded per host name, see ConnectionGuard).
std::mutex registryMutex;
ConnectionEntry *connectionList = nullptr;
int connectionCount = 0;

bool sameName(const ConnectionEntry &entry, const char *hostName)
{
    return std::strncmp(entry.hostName, hostName, sizeof entry.hostName) == 0 &&
           std::strlen(hostName) < sizeof entry.hostName;
}

void clearEntry(ConnectionEntry &entry)
{
    entry.master = nullptr;
    entry.unitId = kDefaultUnitId;
    entry.hostName[0] = ' ';
    entry.hostName[1] = '\0';
    entry.isFree = 1;
}

void initConnLocked()
{
    if (connectionList != nullptr)
        return;
    historyLine("=> initConn: Initialisation of all connections\r");
    connectionList = new (std::nothrow) ConnectionEntry[maxConnections];
    if (connectionList == nullptr)
        return;
    connectionCount = 1;
    for (int i = 0; i < maxConnections; ++i) {
        connectionList[i].hostName[0] = '\0';
        connectionList[i].isFree = 1;
        connectionList[i].master = nullptr;
        connectionList[i].unitId = kDefaultUnitId;
    }
}

int getConnectionLocked(const char *hostName, MbusHandle *master)
{
    initConnLocked();
    *master = nullptr;
    if (connectionList == nullptr)
        return 0;
    for (int i = 0; i < connectionCount; ++i) {
        historyLine("=> getConnection: connection #%d...\r", i);
        if (sameName(connectionList[i], hostName)) {
            *master = connectionList[i].master;
            historyLine("=> getConnection: connection #%d selected\r", i);
            return 1;
        }
        historyLine("=> getConnection: connection #%d not selected\r", i);
    }
    return 0;
}

bool setConnectionLocked(const char *hostName, MbusHandle master)
{
    initConnLocked();
    if (connectionList == nullptr)
        return false;
    const int count = connectionCount;
    for (int i = 0; i < count; ++i) {
        ConnectionEntry &entry = connectionList[i];
        if (sameName(entry, hostName)) {
            entry.isFree = 0;
            entry.master = master;
            entry.unitId = kDefaultUnitId;
            historyLine("=> setConnection: connection #%d re-enabled\r", i);
            return true;
        }
        if (entry.isFree != 0) {
            const size_t length = std::strlen(hostName);
            if (length >= sizeof entry.hostName)
                return false;
            entry.isFree = 0;
            entry.master = master;
            entry.unitId = kDefaultUnitId;
            std::memcpy(entry.hostName, hostName, length + 1);
            historyLine("=> setConnection: connection #%d enabled\r", i);
            if (connectionCount < maxConnections)
                ++connectionCount;
            return true;
        }
    }
    return false;
}

void eraseNthConnectionLocked(int n)
{
    if (connectionList == nullptr || n < 0 || n >= connectionCount)
        return;
    clearEntry(connectionList[n]);
    historyLine("=> eraseNthConnection: connection #%d disabled\r", n);
}

void getNThConnectionLocked(int n, MbusHandle *master)
{
    *master = nullptr;
    initConnLocked();
    if (connectionList == nullptr || n < 0 || n >= connectionCount)
        return;
    *master = connectionList[n].master;
    historyLine("=> getNThConnection: handle of connection #%d returned\r", n);
}

void disposeMyConnectionsLocked()
{
    if (connectionList == nullptr)
        return;
    delete[] connectionList;
    connectionList = nullptr;
    historyLine("=> disposeMyConnections: list of connection disposed\r");
}

} // namespace

int getMaxConnections()
{
    return maxConnections;
}

void initConn()
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    initConnLocked();
}

int getConnection(const char *hostName, MbusHandle *master)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    return getConnectionLocked(hostName, master);
}

bool setConnection(const char *hostName, MbusHandle master)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    return setConnectionLocked(hostName, master);
}

void eraseNthConnection(int n)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    eraseNthConnectionLocked(n);
}

void getNThConnection(int n, MbusHandle *master)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    getNThConnectionLocked(n, master);
}

void disposeMyConnections()
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    disposeMyConnectionsLocked();
}

void eraseConnection(const char *hostName)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    if (connectionList == nullptr)
        return;
    for (int i = 0; i < connectionCount; ++i) {
        if (sameName(connectionList[i], hostName)) {
            clearEntry(connectionList[i]);
            historyLine("=> eraseConnection: connection #%d disabled\r", i);
            return;
        }
    }
}

int connectionUnit(const char *hostName)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (int i = 0; connectionList != nullptr && i < connectionCount; ++i) {
        if (sameName(connectionList[i], hostName))
            return connectionList[i].unitId;
    }
    return kDefaultUnitId;
}

void setConnectionUnit(const char *hostName, int unitId)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    for (int i = 0; connectionList != nullptr && i < connectionCount; ++i) {
        if (sameName(connectionList[i], hostName)) {
            connectionList[i].unitId = unitId;
            return;
        }
    }
}

void closeAllConnections()
{
    // No command may be using a master while it is destroyed.
    const AllConnectionsGuard commandsDone;
    for (int i = 0; i < getMaxConnections(); ++i) {
        MbusHandle master = nullptr;
        getNThConnection(i, &master);
        if (master != nullptr) {
            if (mbusIsOpen(master))
                mbusCloseConnection(master);
            eraseNthConnection(i);
            mbusDestroy(master);
        }
    }
    disposeMyConnections();
}
