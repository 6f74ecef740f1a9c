/*
 * A Modbus device made of libmodbus's server side (modbus_mapping_new, modbus_receive,
 * modbus_reply), for the interoperability tests.
 *
 *   libmodbus_device --transport tcp|rtu-over-tcp|rtu-pty [--port N] [--seconds S]
 *
 * Prints where it can be reached once it is ready ("port N" for the TCP transports, "pty PATH"
 * for the pseudo-terminal) and exits by itself after S seconds (default 30).
 *
 * Tables, shared with the pymodbus device of this folder: unit 1; 2000 coils and discrete inputs,
 * 1000 holding and input registers, all at wire addresses from 0; coils and holding registers
 * start cleared, discrete input a is on when a % 3 == 0, input register a holds
 * (0x1234 + 0x0203 * a) mod 65536.
 *
 * Report server id is libmodbus's own answer: id byte 0xB4, run indicator 0xFF, then "LMB" and
 * the libmodbus version as text.
 */
#define _GNU_SOURCE

#include <modbus.h>

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { UNIT = 1, BIT_COUNT = 2000, REGISTER_COUNT = 1000, MAX_CLIENTS = 16 };

static long long nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static int pollTimeout(long long deadline)
{
    long long left = deadline - nowMs();
    if (left < 0)
        return 0;
    return left > 200 ? 200 : (int)left;
}

static modbus_mapping_t *newTables(void)
{
    modbus_mapping_t *map = modbus_mapping_new(BIT_COUNT, BIT_COUNT, REGISTER_COUNT, REGISTER_COUNT);
    if (map == NULL)
        return NULL;
    for (int a = 0; a < BIT_COUNT; ++a)
        map->tab_input_bits[a] = a % 3 == 0;
    for (int a = 0; a < REGISTER_COUNT; ++a)
        map->tab_input_registers[a] = (uint16_t)(0x1234 + 0x0203 * a);
    return map;
}

/* Answers one request waiting on the context's descriptor. Returns -1 when the peer is gone. */
static int serveOne(modbus_t *ctx, modbus_mapping_t *map)
{
    uint8_t request[MODBUS_MAX_ADU_LENGTH];
    int length = modbus_receive(ctx, request);
    if (length > 0) {
        modbus_reply(ctx, request, length, map);
        return 0;
    }
    if (length == 0)
        return 0; /* a frame for another unit: ignored, as on a shared line */
    /* Framing or checksum faults leave the connection usable; a closed one does not. */
    return errno == ECONNRESET || errno == EPIPE || errno == EBADF || errno == ENOTCONN || errno == EIO ? -1 : 0;
}

static int listenOnLoopback(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons((uint16_t)port);
    socklen_t len = sizeof addr;
    if (bind(fd, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, (struct sockaddr *)&addr, &len) != 0) {
        close(fd);
        return -1;
    }
    printf("port %d\n", ntohs(addr.sin_port));
    fflush(stdout);
    return fd;
}

/* Modbus/TCP, or RTU frames on a TCP connection; the context's framing decides which. */
static int serveStream(modbus_t *ctx, modbus_mapping_t *map, int port, long long deadline)
{
    int listener = listenOnLoopback(port);
    if (listener < 0) {
        perror("listen");
        return 1;
    }
    struct pollfd fds[1 + MAX_CLIENTS];
    int clients = 0;
    fds[0].fd = listener;
    fds[0].events = POLLIN;
    while (nowMs() < deadline) {
        int ready = poll(fds, (nfds_t)(1 + clients), pollTimeout(deadline));
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready <= 0)
            continue;
        for (int i = 1; i <= clients; ++i) {
            if (fds[i].revents == 0)
                continue;
            modbus_set_socket(ctx, fds[i].fd);
            if (serveOne(ctx, map) < 0) {
                close(fds[i].fd);
                fds[i] = fds[clients--];
                --i;
            }
        }
        if (fds[0].revents & POLLIN) {
            int client = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
            if (client >= 0 && clients < MAX_CLIENTS) {
                ++clients;
                fds[clients].fd = client;
                fds[clients].events = POLLIN;
                fds[clients].revents = 0;
            } else if (client >= 0) {
                close(client);
            }
        }
    }
    return 0;
}

/* RTU on a pseudo-terminal: libmodbus works the controlling side, the tests open the line. */
static int servePty(modbus_t *ctx, modbus_mapping_t *map, long long deadline)
{
    int controller = -1;
    int line = -1;
    char path[128];
    if (openpty(&controller, &line, path, NULL, NULL) != 0) {
        perror("openpty");
        return 1;
    }
    /* The line side stays open here so that a client closing it never hangs the line up, and
     * it is raw before the first client opens it (no echo of requests back to us). */
    struct termios tio;
    if (tcgetattr(line, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(line, TCSANOW, &tio);
    }
    modbus_set_socket(ctx, controller);
    printf("pty %s\n", path);
    fflush(stdout);
    struct pollfd fd = {controller, POLLIN, 0};
    while (nowMs() < deadline) {
        int ready = poll(&fd, 1, pollTimeout(deadline));
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready > 0 && serveOne(ctx, map) < 0)
            usleep(10000); /* no reader on the line side yet */
    }
    return 0;
}

static void usage(void)
{
    fprintf(stderr, "usage: libmodbus_device --transport tcp|rtu-over-tcp|rtu-pty [--port N] [--seconds S]\n");
}

int main(int argc, char **argv)
{
    const char *transport = NULL;
    long port = 0;
    long seconds = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        char *end = NULL;
        if (strcmp(argv[i], "--transport") == 0) {
            transport = argv[i + 1];
        } else if (strcmp(argv[i], "--port") == 0) {
            port = strtol(argv[i + 1], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535)
                transport = NULL;
        } else if (strcmp(argv[i], "--seconds") == 0) {
            seconds = strtol(argv[i + 1], &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > 3600)
                transport = NULL;
        } else {
            transport = NULL;
            break;
        }
    }
    if (transport == NULL || argc % 2 == 0) {
        usage();
        return 2;
    }
    /* RTU replies are written with write(): a client that left must not kill the device. */
    signal(SIGPIPE, SIG_IGN);

    int rtu = strcmp(transport, "tcp") != 0;
    if (rtu && strcmp(transport, "rtu-over-tcp") != 0 && strcmp(transport, "rtu-pty") != 0) {
        usage();
        return 2;
    }
    /* The device name and line settings are never used: the descriptor is handed over below. */
    modbus_t *ctx = rtu ? modbus_new_rtu("/dev/null", 19200, 'N', 8, 1) : modbus_new_tcp("127.0.0.1", 502);
    modbus_mapping_t *map = newTables();
    if (ctx == NULL || map == NULL) {
        fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_set_slave(ctx, UNIT);
    /* Before an illegal-function or illegal-value exception libmodbus waits this long and drops
     * the rest of the request (0.5 s by default); keep the tests quick. */
    modbus_set_response_timeout(ctx, 0, 100000);

    long long deadline = nowMs() + seconds * 1000;
    int rc = strcmp(transport, "rtu-pty") == 0 ? servePty(ctx, map, deadline)
                                              : serveStream(ctx, map, (int)port, deadline);
    fprintf(stderr, "stopped after its lifetime\n");
    modbus_mapping_free(map);
    modbus_free(ctx); /* not modbus_close: the descriptors are ours */
    return rc;
}
