/* Compiled as C: proves that the public header is valid C and usable without C++. */
#include <stdio.h>
#include <string.h>

#include "mbus.h"

int main(void)
{
    MbusHandle master = mbusNewTcpMaster();
    short regs[2] = {0, 0};
    int failures = 0;
    if (master == NULL)
        return 1;
    if (strcmp(mbusGetPackageVersion(), "2.9.0.0") != 0)
        failures++;
    if (mbusReadMultipleRegisters(master, 1, 1, regs, 2) != MBUS_ILLEGAL_STATE)
        failures++;
    if (mbusReadMultipleRegisters(NULL, 1, 1, regs, 2) != MBUS_ILLEGAL_STATE)
        failures++;
    if (mbusGetTimeout(master) != 1000)
        failures++;
    mbusDestroy(master);
    printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
