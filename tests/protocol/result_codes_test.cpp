#include <gtest/gtest.h>

#include <string>

#include "mbus.h"
#include "protocol/master_functions.h"

using namespace mbus;

TEST(ResultCodes, EveryCodeHasItsExactText)
{
    const struct {
        int code;
        const char *text;
    } rows[] = {
        {0, "Operation was successful"},
        {1, "Illegal argument error"},
        {2, "Illegal state error"},
        {4, "No data table configured"},
        {5, "Slave address 0 is illegal in this context"},
        {64, "I/O error class"},
        {65, "I/O error"},
        {66, "Port or socket open error"},
        {67, "Serial port already open"},
        {68, "TCP/IP connection error"},
        {69, "TCP/IP connection was closed by remote peer"},
        {70, "Socket library error"},
        {71, "TCP Port alread bound"},
        {72, "Listen failed"},
        {73, "File descriptors exceeded"},
        {74, "No permission to access serial or TCP port"},
        {75, "TCP Port not available"},
        {128, "Fieldbus protocol error class"},
        {129, "Checksum error"},
        {130, "Invalid frame error"},
        {131, "Invalid reply error"},
        {132, "Reply time-out"},
        {133, "Send time-out"},
        {134, "Invalid MPAB indentifer"},
        {160, "Modbus exception response"},
        {161, "Illegal Function exception response"},
        {162, "Illegal Data Address exception response"},
        {163, "Illegal Data Value exception response"},
        {164, "Slave Device Failure exception response"},
        {170, "Gateway Path Unavailable exception response"},
        {171, "Gateway Target Device Failed exception response"},
    };
    for (const auto &row : rows) {
        EXPECT_STREQ(row.text, MbusMasterFunctions::getErrorText(row.code)) << row.code;
        EXPECT_STREQ(row.text, mbusGetErrorText(row.code)) << row.code;
    }
}

TEST(ResultCodes, CodesWithoutRowAreUnknown)
{
    for (int code : {76, 165, 166, -1, 3, 172, 10000})
        EXPECT_STREQ("Unknown error", mbusGetErrorText(code)) << code;
}

TEST(ResultCodes, PackageVersion)
{
    EXPECT_STREQ("2.9.0.0", mbusGetPackageVersion());
    EXPECT_STREQ("2.9.0.0", MbusMasterFunctions::getPackageVersion());
}
