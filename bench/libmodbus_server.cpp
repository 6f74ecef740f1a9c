#include "libmodbus_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "loopback.h"

LibmodbusServer::LibmodbusServer()
    : context(modbus_new_tcp("127.0.0.1", 0)), mapping(modbus_mapping_new(0, 0, 256, 0))
{
}

LibmodbusServer::~LibmodbusServer()
{
    if (listenFd >= 0)
        ::close(listenFd);
    if (mapping != nullptr)
        modbus_mapping_free(mapping);
    if (context != nullptr)
        modbus_free(context);
}

int LibmodbusServer::listen()
{
    if (context == nullptr || mapping == nullptr)
        return -1;
    listenFd = modbus_tcp_listen(context, 16); // port 0: the system picks one
    if (listenFd < 0)
        return -1;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

void LibmodbusServer::serve()
{
    std::vector<pollfd> fds = {{listenFd, POLLIN, 0}};
    unsigned char query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (std::size_t i = fds.size(); i-- > 1;) {
            if (fds[i].revents == 0)
                continue;
            modbus_set_socket(context, fds[i].fd);
            int received = modbus_receive(context, query);
            if (received > 0) {
                modbus_reply(context, query, received, mapping);
            } else if (received < 0) {
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
            }
        }
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return;
        if (fds[0].revents & POLLIN) {
            int accepted = modbus_tcp_accept(context, &listenFd); // the new connection
            if (accepted >= 0) {
                setNoDelay(accepted);
                fds.push_back({accepted, POLLIN, 0});
            }
        }
    }
}
