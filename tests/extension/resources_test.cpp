// The module's resources, byte for byte, as a host reads them through XOPGetResource.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "extension/message_table.h"
#include "extension/xop_main.h"

namespace {

std::string resource(const char *type, int id, uint16_t *language = nullptr)
{
    uint32_t size = 12345;
    const unsigned char *bytes = XOPGetResource(type, id, &size, language);
    if (bytes == nullptr) {
        EXPECT_EQ(size, 0u);
        return std::string();
    }
    return std::string(reinterpret_cast<const char *>(bytes), size);
}

TEST(ResourcesTest, ExtensionInformationIsTenBytes)
{
    uint16_t language = 0;
    EXPECT_EQ(resource("XOPI", 1100, &language),
              std::string("\x04\x00\x00\x00\x00\x00\x00\x00\xBE\x02", 10));
    EXPECT_EQ(language, 0x0809);
}

TEST(ResourcesTest, CommandListNamesTheFiveCommandsFirstThenTheAddedOnes)
{
    // The block commands make waves too (waveOp).
    const std::string expected("MBOpen\0\x60\x90"
                               "MBGetStatus\0\x60\x90"
                               "MBClose\0\x60\x90"
                               "MBRead\0\x60\x90"
                               "MBWrite\0\x60\x90"
                               "MBReadWave\0\x62\x90"
                               "MBWriteWave\0\x62\x90"
                               "MBOpenSerial\0\x60\x90"
                               "\0",
                               95);
    EXPECT_EQ(resource("XOPC", 1100), expected);
}

TEST(ResourcesTest, MessageTableKeepsTheFirst166TextsAndAppendsTheNewOnes)
{
    const std::map<int, std::string> texts = {
        {1, "A parameter passed to the command is invalid or out of range."},
        {2, "The command is called in a wrong state, e.g. the protocol has not been opened "
            "successfully yet."},
        {4, "The slave has been started without adding a data table."},
        {5, "A slave address or unit ID of 0 is used as broadcast address for ASCII and RTU "
            "protocol and therefore illegal for serial protocols (should never be encountered)"},
        {64, "A problem in conjonction with the I/O system is encountered."},
        {65, "The underlaying I/O system reported an error."},
        {66, "The TCP/IP socket or the serial port could not be opened. In case of serial, it "
             "indicates that the serial port does not exist on the system."},
        {67, "The serial port defined is already opened by another application."},
        {68, "Signals that the TCP/IP connection could not be established. Typically, this "
             "occurs when a host does not exist on the network or the IP address or hots name "
             "are wrong. The remote host must also listen on the appropriate port."},
        {69, "Signals that the TCP/IP connection was closed by the remote peer or is broken."},
        {70, "The TCP/IP socket library could not be loaded."},
        {71, "Indicates that the specified TCP port cannot be bound. The port might already be "
             "taken by another application or has not been released yet by the TCP/IP stack for "
             "re-use."},
        {72, "The listen operation on the specified TCP port failed."},
        {73, "Maximum number of usable file descriptors exceeded."},
        {74, "You do not have permission to access the serial or TCP port. Run the program as "
             "root. If the error is related to a serial port, change the access privilege. If it "
             "is related to TCP/IP use TCP port number which is outside the IPPORT_RESERVED "
             "range."},
        {75, "The specified TCP port is not available on this machine."},
        {128, "Signals that a fieldbus protocol related error has occured. This class is the "
              "general class of errors produced by failed or interrupted data transfer "
              "functions. It is also produced when receiving invalid frames or exception "
              "responses."},
        {129, "Signals that the checksum of a received frame is invalid. A poor data link "
              "typically causes this error."},
        {130, "Signals that a received frame does not correspond either by structure or content "
              "to the specifications or does not match a previously sent query frame. A poor data "
              "link typically causes this error."},
        {131, "Signals that a received reply does not correspond to the specification."},
        {132, "Signals that a fieldbus data transfer times out. This can occur is the slave "
              "device does not reply in time or does not reply at all. A wrong unit address will "
              "cause this error."},
        {133, "Signals that a fieldbus data send timed out. This can only occur if the handshake "
              "lines are not properly set."},
        {160, "Signals that a Modbus exception response was received. Exception responses are "
              "sent by a slave device instead of a normal response message if it received the "
              "query message correctly but cannot handle the query."},
        {161, "Signals that an Illegal Function exception response (MODBUS code 01) was "
              "received. This exception response is sent by a slave device instead of a normal "
              "response message if a master sent aModbus function, which is not supported by the "
              "slave device."},
        {162, "Signals that an Illegal Data Address exception response (MODBUS code 02) was "
              "received. This exception response is sent by a slave device instead of a normal "
              "response message if a master queried an invalid or non-existing data address."},
        {163, "Signals that a Illegal Value exception response was (code 03) received. This "
              "exception response is sent by a slave device instead of a normal response message "
              "if a master sent a data value, which is not an allowable value for the slave "
              "device."},
        {164, "Unrecoverable error encountered while the remote device was attempting to "
              "perform the request action."},
        {165, "ZORVANE XOP requires Igor Pro 6.2/8.0"},
        {166, "MODBUS/TCP Connection not established"},
        {170, messageText(170)},
        {171, messageText(171)},
    };
    std::string expected;
    for (int n = 1; n <= 200; ++n) {
        const auto found = texts.find(n);
        expected += found != texts.end() ? found->second : std::string("Unknown error");
        expected += '\0';
    }
    // The new texts, each within the 255 bytes Igor takes.
    for (int n = 201; n <= kMessageCount; ++n) {
        ASSERT_NE(messageText(n), nullptr);
        EXPECT_STRNE(messageText(n), "Unknown error");
        EXPECT_LE(std::string(messageText(n)).size(), 255u);
        expected += messageText(n);
        expected += '\0';
    }
    EXPECT_EQ(messageText(kMessageCount + 1), nullptr);
    expected += '\0';
    uint16_t language = 0;
    EXPECT_EQ(resource("STR#", 1100, &language), expected);
    EXPECT_EQ(language, 0x0809);
}

// Reads the version information tree back: each node is length, value length, type, UTF-16 key,
// value, children, aligned to 32 bits.
struct VersionNode {
    std::string key;
    std::string value;
    uint16_t type = 0;
    std::vector<VersionNode> children;
};

uint16_t word(const std::string &b, std::size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t dword(const std::string &b, std::size_t at)
{
    return word(b, at) | static_cast<uint32_t>(word(b, at + 2)) << 16;
}

std::string narrow(const std::string &b, std::size_t &at)
{
    std::string text;
    for (; word(b, at) != 0; at += 2)
        text += static_cast<char>(word(b, at));
    at += 2;
    return text;
}

std::size_t aligned(std::size_t at)
{
    return (at + 3) & ~static_cast<std::size_t>(3);
}

VersionNode parseNode(const std::string &b, std::size_t start, std::size_t &end)
{
    VersionNode node;
    const uint16_t length = word(b, start);
    const uint16_t valueLength = word(b, start + 2);
    node.type = word(b, start + 4);
    end = start + length;
    EXPECT_LE(end, b.size());
    std::size_t at = start + 6;
    node.key = narrow(b, at);
    at = aligned(at);
    const std::size_t valueBytes = node.type == 1 ? valueLength * 2u : valueLength;
    node.value = b.substr(at, valueBytes);
    at = aligned(at + valueBytes);
    while (at < end) {
        std::size_t childEnd = 0;
        node.children.push_back(parseNode(b, at, childEnd));
        at = aligned(childEnd);
    }
    return node;
}

std::string wide(const std::string &text)
{
    std::string bytes;
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes + std::string(2, '\0');
}

TEST(ResourcesTest, VersionInformationCarriesVersionsStringsAndTranslation)
{
    uint16_t language = 0;
    const std::string bytes = resource("VERSION", 1, &language);
    EXPECT_EQ(language, 0x0809);
    ASSERT_GT(bytes.size(), 92u);
    std::size_t end = 0;
    const VersionNode root = parseNode(bytes, 0, end);
    EXPECT_EQ(end, bytes.size());
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    EXPECT_EQ(dword(root.value, 0), 0xFEEF04BDu);
    EXPECT_EQ(dword(root.value, 8), 0x00010000u);  // 1.0
    EXPECT_EQ(dword(root.value, 12), 0x00070000u); // .7.0
    EXPECT_EQ(dword(root.value, 16), 0x00050000u); // 5.0
    EXPECT_EQ(dword(root.value, 20), 0x00020000u); // .2.0

    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode &strings = root.children[0];
    EXPECT_EQ(strings.key, "StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    EXPECT_EQ(strings.children[0].key, "080904B0");
    std::map<std::string, std::string> values;
    for (const VersionNode &s : strings.children[0].children)
        values[s.key] = s.value;
    EXPECT_EQ(values, (std::map<std::string, std::string>{
                          {"FileDescription", wide("Zorvane")},
                          {"InternalName", wide("Zorvane")},
                          {"OriginalFilename", wide("Zorvane.xop")},
                          {"Comments", wide("This Igor Pro extension runs on Igor Pro 6.2/8.0 or "
                                            "later")}}));

    const VersionNode &vars = root.children[1];
    EXPECT_EQ(vars.key, "VarFileInfo");
    ASSERT_EQ(vars.children.size(), 1u);
    EXPECT_EQ(vars.children[0].key, "Translation");
    EXPECT_EQ(vars.children[0].value, std::string("\x09\x08\xB0\x04", 4));
}

TEST(ResourcesTest, ManifestAsksToRunAsInvoker)
{
    uint16_t language = 0xFFFF;
    const std::string manifest = resource("MANIFEST", 2, &language);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(language, 0);
}

TEST(ResourcesTest, UnknownResourcesAreAbsent)
{
    EXPECT_EQ(resource("XOPI", 1101), "");
    EXPECT_EQ(resource("STR#", 1), "");
    EXPECT_EQ(resource("xopc", 1100), "");
    EXPECT_EQ(XOPGetResource(nullptr, 1100, nullptr, nullptr), nullptr);
}

} // namespace
