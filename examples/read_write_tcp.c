/*
 * Reads and writes holding registers and coils of a Modbus/TCP device.
 *
 *   read_write_tcp HOST [PORT [UNIT]]      (default port 502, unit 1)
 *
 * With MBUS_TRACE set in the environment, every frame is printed in hex on standard error.
 *
 * Writes registers 11..13 and coil 2 of the device (one-based references: register 11 is wire
 * address 10).
 */
#include <stdio.h>
#include <stdlib.h>

#include "mbus.h"
#include "mbus_version.h"

/* Prints a failure with the library's text; returns the result unchanged. */
static int report(int result, const char *what)
{
    if (result != MBUS_SUCCESS)
        fprintf(stderr, "%s: %s (%d)\n", what, mbusGetErrorText(result), result);
    return result;
}

/* The frame trace: time stamp, direction and the bytes on the wire. */
static void printFrame(void *user, int direction, const unsigned char *bytes, int count, uint32_t timeMs)
{
    int i;
    (void)user;
    fprintf(stderr, "%10lu ms %s", (unsigned long)timeMs, direction == MBUS_TRACE_SENT ? "sent    " : "received");
    for (i = 0; i < count; ++i)
        fprintf(stderr, " %02X", bytes[i]);
    fprintf(stderr, "\n");
}

static long numberArg(int argc, char **argv, int index, long fallback, long lo, long hi)
{
    char *end = NULL;
    long value;
    if (index >= argc)
        return fallback;
    value = strtol(argv[index], &end, 10);
    if (*argv[index] == '\0' || *end != '\0' || value < lo || value > hi) {
        fprintf(stderr, "invalid number '%s'\n", argv[index]);
        exit(2);
    }
    return value;
}

static int run(MbusHandle master, int unit)
{
    short registers[5];
    const short values[2] = {-2, 7};
    int coils[8];
    int i;

    if (report(mbusReadMultipleRegisters(master, unit, 1, registers, 5), "read registers 1..5"))
        return 1;
    printf("registers 1..5:");
    for (i = 0; i < 5; ++i)
        printf(" %d", registers[i]);
    printf("\n");

    if (report(mbusWriteSingleRegister(master, unit, 11, 1234), "write register 11") ||
        report(mbusWriteMultipleRegisters(master, unit, 12, values, 2), "write registers 12..13") ||
        report(mbusReadMultipleRegisters(master, unit, 11, registers, 3), "read registers 11..13"))
        return 1;
    printf("registers 11..13: %d %d %d\n", registers[0], registers[1], registers[2]);

    if (report(mbusWriteCoil(master, unit, 2, 1), "write coil 2") ||
        report(mbusReadCoils(master, unit, 1, coils, 8), "read coils 1..8"))
        return 1;
    printf("coils 1..8:");
    for (i = 0; i < 8; ++i)
        printf(" %d", coils[i]);
    printf("\n");
    return 0;
}

int main(int argc, char **argv)
{
    const char *host;
    int port, unit, status;
    MbusHandle master;

    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: read_write_tcp HOST [PORT [UNIT]]\n");
        return 2;
    }
    host = argv[1];
    port = (int)numberArg(argc, argv, 2, 502, 1, 65535);
    unit = (int)numberArg(argc, argv, 3, 1, 0, 255);

    printf("library %s, compiled against %s\n", mbusGetPackageVersion(), MBUS_VERSION_STRING);
    master = mbusNewTcpMaster();
    if (master == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    /* Settings are made while the master is closed. */
    mbusSetPort(master, (unsigned short)port);
    mbusSetTimeout(master, 1000);
    mbusSetRetryCnt(master, 1);
    if (getenv("MBUS_TRACE") != NULL)
        mbusSetFrameTrace(master, printFrame, NULL);
    if (report(mbusOpenConnection(master, host), host) == MBUS_SUCCESS)
        status = run(master, unit);
    else
        status = 1;
    mbusDestroy(master); /* closes the connection too */
    return status;
}
