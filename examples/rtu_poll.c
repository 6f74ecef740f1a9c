/*
 * Polls input registers 1..4 of a device on a serial line with Modbus RTU, 8 data bits, even
 * parity, one stop bit.
 *
 *   rtu_poll DEVICE [BAUD [UNIT [POLLS]]]    (default 19200 bit/s, unit 1, 3 polls)
 *
 * The library spaces the polls: a poll delay is the least time between two requests.
 */
#include <stdio.h>
#include <stdlib.h>

#include "mbus.h"

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

int main(int argc, char **argv)
{
    int baud, unit, polls, poll, answered = 0, result, i;
    short registers[4];
    MbusHandle master;

    if (argc < 2 || argc > 5) {
        fprintf(stderr, "usage: rtu_poll DEVICE [BAUD [UNIT [POLLS]]]\n");
        return 2;
    }
    baud = (int)numberArg(argc, argv, 2, 19200, 1, 4000000);
    unit = (int)numberArg(argc, argv, 3, 1, 1, 247);
    polls = (int)numberArg(argc, argv, 4, 3, 1, 1000000);

    master = mbusNewRtuMaster();
    if (master == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    mbusSetTimeout(master, 500);
    mbusSetRetryCnt(master, 2);
    mbusSetPollDelay(master, 250);
    result = mbusOpenSerialPort(master, argv[1], baud, 8, 1, MBUS_PARITY_EVEN);
    if (result != MBUS_SUCCESS) {
        fprintf(stderr, "%s: %s (%d)\n", argv[1], mbusGetErrorText(result), result);
        mbusDestroy(master);
        return 1;
    }

    for (poll = 1; poll <= polls; ++poll) {
        result = mbusReadInputRegisters(master, unit, 1, registers, 4);
        if (result != MBUS_SUCCESS) {
            /* A poll that fails is reported and the next one tried: devices come and go. */
            printf("poll %d: %s (%d)\n", poll, mbusGetErrorText(result), result);
            continue;
        }
        ++answered;
        printf("poll %d:", poll);
        for (i = 0; i < 4; ++i)
            printf(" %u", (unsigned)(unsigned short)registers[i]);
        printf("\n");
    }
    printf("%d of %d polls answered; %d attempts, %d successful\n", answered, polls,
           mbusGetTotalCounter(master), mbusGetSuccessCounter(master));
    mbusDestroy(master);
    return answered == polls ? 0 : 1;
}
