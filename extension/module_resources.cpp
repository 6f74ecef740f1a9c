#include "extension/module_resources.h"

#include <cstring>
#include <initializer_list>

#include "extension/message_table.h"

namespace {

void putWord(std::string &out, uint16_t word)
{
    out += static_cast<char>(word & 0xFF);
    out += static_cast<char>(word >> 8);
}

void putDword(std::string &out, uint32_t dword)
{
    putWord(out, static_cast<uint16_t>(dword & 0xFFFF));
    putWord(out, static_cast<uint16_t>(dword >> 16));
}

// Resource texts are UTF-16LE; these are plain ASCII.
void putWideText(std::string &out, const char *text)
{
    for (const char *c = text; *c != '\0'; ++c)
        putWord(out, static_cast<uint8_t>(*c));
    putWord(out, 0);
}

void alignTo32Bits(std::string &out)
{
    while (out.size() % 4 != 0)
        out += '\0';
}

// One node of the version information tree: length, value length, type, key, value, children,
// each part starting on a 32-bit boundary.
std::string versionNode(const char *key, const std::string &value, uint16_t valueLength,
                        uint16_t type, std::initializer_list<std::string> children)
{
    std::string node;
    putWord(node, 0);
    putWord(node, valueLength);
    putWord(node, type);
    putWideText(node, key);
    alignTo32Bits(node);
    node += value;
    for (const std::string &child : children) {
        alignTo32Bits(node);
        node += child;
    }
    node[0] = static_cast<char>(node.size() & 0xFF);
    node[1] = static_cast<char>(node.size() >> 8);
    return node;
}

std::string versionString(const char *key, const char *text)
{
    std::string value;
    putWideText(value, text);
    return versionNode(key, value, static_cast<uint16_t>(value.size() / 2), 1, {});
}

std::string buildVersionInfo()
{
    std::string fixed;
    putDword(fixed, 0xFEEF04BDu);      // signature
    putDword(fixed, 0x00010000u);      // structure version 1.0
    putDword(fixed, (1u << 16) | 0u);  // file version 1.0
    putDword(fixed, (7u << 16) | 0u);  //              .7.0
    putDword(fixed, (5u << 16) | 0u);  // product version 5.0
    putDword(fixed, (2u << 16) | 0u);  //                 .2.0
    putDword(fixed, 0x3Fu);            // file flags mask
    putDword(fixed, 0u);               // file flags
    putDword(fixed, 0x00040004u);      // Windows NT, 32-bit API
    putDword(fixed, 2u);               // a DLL
    putDword(fixed, 0u);               // subtype
    putDword(fixed, 0u);               // date
    putDword(fixed, 0u);

    const std::string table = versionNode(
        "080904B0", std::string(), 0, 1,
        {versionString("FileDescription", "Zorvane"), versionString("InternalName", "Zorvane"),
         versionString("OriginalFilename", "Zorvane.xop"),
         versionString("Comments", "This Igor Pro extension runs on Igor Pro 6.2/8.0 or later")});
    const std::string strings = versionNode("StringFileInfo", std::string(), 0, 1, {table});

    std::string translation;
    putWord(translation, 0x0809);
    putWord(translation, 0x04B0);
    const std::string var = versionNode("Translation", translation, 4, 0, {});
    const std::string vars = versionNode("VarFileInfo", std::string(), 0, 1, {var});

    return versionNode("VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0,
                       {strings, vars});
}

// Thread-safe, I/O, compilable, an extension's operation; the block commands also make waves.
constexpr uint16_t kOperationCategory = 0x9060;
constexpr uint16_t kWaveOperationCategory = kOperationCategory | 2;

std::string buildXopc()
{
    struct Entry {
        const char *name;
        uint16_t category;
    };
    std::string bytes;
    for (const Entry &entry : {Entry{"MBOpen", kOperationCategory}, Entry{"MBGetStatus", kOperationCategory},
                               Entry{"MBClose", kOperationCategory}, Entry{"MBRead", kOperationCategory},
                               Entry{"MBWrite", kOperationCategory}, Entry{"MBReadWave", kWaveOperationCategory},
                               Entry{"MBWriteWave", kWaveOperationCategory},
                               Entry{"MBOpenSerial", kOperationCategory}}) {
        bytes += entry.name;
        bytes += '\0';
        putWord(bytes, entry.category);
    }
    bytes += '\0';
    return bytes;
}

} // namespace

const std::string &xopiBytes()
{
    // Five little-endian words: 4, 0, 0, 0, 702.
    static const std::string bytes("\x04\x00\x00\x00\x00\x00\x00\x00\xBE\x02", 10);
    return bytes;
}

const std::string &xopcBytes()
{
    static const std::string bytes = buildXopc();
    return bytes;
}

const std::string &versionInfoBytes()
{
    static const std::string bytes = buildVersionInfo();
    return bytes;
}

const std::string &manifestBytes()
{
    static const std::string bytes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
        "    <security>\r\n"
        "      <requestedPrivileges>\r\n"
        "        <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\r\n"
        "      </requestedPrivileges>\r\n"
        "    </security>\r\n"
        "  </trustInfo>\r\n"
        "</assembly>\r\n";
    return bytes;
}

const std::string *findResource(const char *type, int id, uint16_t *language)
{
    if (type == nullptr)
        return nullptr;
    const std::string *found = nullptr;
    uint16_t foundLanguage = kResourceLanguage;
    if (id == kXopResourceId && std::strcmp(type, "XOPI") == 0)
        found = &xopiBytes();
    else if (id == kXopResourceId && std::strcmp(type, "XOPC") == 0)
        found = &xopcBytes();
    else if (id == kXopResourceId && std::strcmp(type, "STR#") == 0)
        found = &messageTableBytes();
    else if (id == kVersionResourceId && std::strcmp(type, "VERSION") == 0)
        found = &versionInfoBytes();
    else if (id == kManifestResourceId && std::strcmp(type, "MANIFEST") == 0) {
        found = &manifestBytes();
        foundLanguage = 0;
    }
    if (found != nullptr && language != nullptr)
        *language = foundLanguage;
    return found;
}
