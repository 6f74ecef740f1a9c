// Zorvane.xop as Windows loads it: the one export, the resources in their exact language, the
// version information, and XOPMain reached through LoadLibrary, with Igor's memory functions taken
// from the table or, when Igor leaves it empty, from this program's exports.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "extension/message_table.h"
#include "extension/module_resources.h"
#include "host/igor_xop.h"
#include "tests/support/recording_host.h"

namespace {

constexpr WORD kEnglishUk = 0x0809;

std::vector<WORD> languagesOf(HMODULE module, LPCSTR type, LPCSTR name)
{
    std::vector<WORD> languages;
    ::EnumResourceLanguagesA(
        module, type, name,
        [](HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::vector<WORD> *>(found)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// The resource's bytes, or "<none>" when FindResourceEx finds nothing in that language.
std::string resourceBytes(HMODULE module, LPCSTR type, LPCSTR name, WORD language)
{
    HRSRC found = ::FindResourceExA(module, type, name, language);
    if (found == nullptr)
        return "<none>";
    HGLOBAL loaded = ::LoadResource(module, found);
    const void *bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return "<none>";
    return std::string(static_cast<const char *>(bytes), ::SizeofResource(module, found));
}

class LoadedModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = ::LoadLibraryA(MODULE_PATH);
        ASSERT_NE(nullptr, module) << MODULE_PATH << ": error " << ::GetLastError();
    }
    void TearDown() override
    {
        if (module != nullptr) {
            EXPECT_TRUE(::FreeLibrary(module));
        }
    }

    XOPMainFunc xopMain() const
    {
        FARPROC exported = ::GetProcAddress(module, "XOPMain");
        return reinterpret_cast<XOPMainFunc>(reinterpret_cast<void (*)()>(exported));
    }

    HMODULE module = nullptr;
};

} // namespace

TEST_F(LoadedModule, XOPMainIsTheOnlyExport)
{
    EXPECT_NE(nullptr, xopMain());
    EXPECT_EQ(nullptr, ::GetProcAddress(module, "XOPGetResource"));
    EXPECT_EQ(nullptr, ::GetProcAddress(module, "mbusNewTcpMaster"));

    // The export directory of the loaded image names exactly one function.
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS64 *>(base + dos->e_lfanew);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, nt->FileHeader.Machine);
    EXPECT_NE(0, nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, entry.VirtualAddress);
    const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
    EXPECT_EQ(1u, exports->NumberOfFunctions);
    ASSERT_EQ(1u, exports->NumberOfNames);
    const auto *names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    EXPECT_STREQ("XOPMain", reinterpret_cast<const char *>(base + names[0]));
}

TEST_F(LoadedModule, ResourcesCarryTheExactBytesInEnglishUk)
{
    const LPCSTR id = MAKEINTRESOURCEA(1100);
    for (LPCSTR type : {"XOPI", "XOPC", "STR#"}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(std::vector<WORD>{kEnglishUk}, languagesOf(module, type, id));
    }
    EXPECT_EQ(std::string("\x04\x00\x00\x00\x00\x00\x00\x00\xBE\x02", 10),
              resourceBytes(module, "XOPI", id, kEnglishUk));
    EXPECT_EQ(std::string("MBOpen\0\x60\x90"
                          "MBGetStatus\0\x60\x90"
                          "MBClose\0\x60\x90"
                          "MBRead\0\x60\x90"
                          "MBWrite\0\x60\x90"
                          "MBReadWave\0\x62\x90"
                          "MBWriteWave\0\x62\x90"
                          "MBOpenSerial\0\x60\x90"
                          "\0",
                          95),
              resourceBytes(module, "XOPC", id, kEnglishUk));

    // The message table: 206 texts (the five commands' 166, then the added ones), each ending in
    // NUL, and one more NUL.
    const std::string table = resourceBytes(module, "STR#", id, kEnglishUk);
    EXPECT_EQ(messageTableBytes(), table);
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(std::string(2, '\0'), table.substr(table.size() - 2));
    std::vector<std::string> texts;
    for (std::size_t pos = 0; pos < table.size() && table[pos] != '\0';) {
        texts.emplace_back(table.c_str() + pos);
        pos += texts.back().size() + 1;
    }
    ASSERT_EQ(206u, texts.size());
    EXPECT_EQ("A parameter passed to the command is invalid or out of range.", texts[0]);
    EXPECT_EQ("Unknown error", texts[2]);
    EXPECT_EQ("ZORVANE XOP requires Igor Pro 6.2/8.0", texts[164]);
    EXPECT_EQ("MODBUS/TCP Connection not established", texts[165]);
}

TEST_F(LoadedModule, VersionResourceAndManifest)
{
    EXPECT_EQ(std::vector<WORD>{kEnglishUk}, languagesOf(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1)));
    EXPECT_EQ(versionInfoBytes(), resourceBytes(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), kEnglishUk));

    // The DLL's own manifest, language neutral, asks for no elevation.
    EXPECT_EQ(std::vector<WORD>{0}, languagesOf(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2)));
    const std::string manifest = resourceBytes(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2), 0);
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\""));
}

TEST(ModuleFile, GetFileVersionInfoReadsVersionsStringsAndTranslation)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(MODULE_PATH, &ignored);
    ASSERT_GT(size, 0u) << "error " << ::GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(MODULE_PATH, 0, size, info.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS); // 1.0
    EXPECT_EQ(MAKELONG(0, 7), fixed->dwFileVersionLS); // .7.0
    EXPECT_EQ(MAKELONG(0, 5), fixed->dwProductVersionMS); // 5.0
    EXPECT_EQ(MAKELONG(0, 2), fixed->dwProductVersionLS); // .2.0
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

    WORD *translation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation),
                                 &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0809, translation[0]);
    EXPECT_EQ(0x04B0, translation[1]);

    const struct {
        const char *key;
        const char *text;
    } strings[] = {{"FileDescription", "Zorvane"},
                   {"InternalName", "Zorvane"},
                   {"OriginalFilename", "Zorvane.xop"},
                   {"Comments", "This Igor Pro extension runs on Igor Pro 6.2/8.0 or later"}};
    for (const auto &s : strings) {
        char *value = nullptr;
        const std::string path = std::string("\\StringFileInfo\\080904B0\\") + s.key;
        ASSERT_TRUE(::VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void **>(&value), &length)) << s.key;
        EXPECT_STREQ(s.text, value) << s.key;
    }
}

TEST_F(LoadedModule, XOPMainRegistersTheCommandsOrRefusesAnOldHost)
{
    RecordingHost host(800);
    ASSERT_EQ(0, xopMain()(host.ioRec()));
    EXPECT_EQ(0, host.result());
    EXPECT_TRUE(host.callRecordMode());
    ASSERT_EQ(8u, host.registrations.size());
    const struct {
        const char *name;
        int recordSize;
        const char *variables;
    } expected[] = {{"MBOpen ", 84, "V_MBerr;"},
                    {"MBGetStatus ", 36, "V_MBerr;V_MBstatus;"},
                    {"MBClose ", 36, "V_MBerr;"},
                    {"MBRead ", 108, "V_MBerr;V_MBCoil;V_MBDiscreteInput;V_MBHoldingRegister;V_MBInputRegister;"},
                    {"MBWrite ", 100, "V_MBerr;"},
                    {"MBReadWave ", 244, "V_MBerr;V_MBCount;"},
                    {"MBWriteWave ", 132, "V_MBerr;V_MBCount;"},
                    {"MBOpenSerial ", 180, "V_MBerr;"}};
    for (std::size_t i = 0; i < 8; ++i) {
        const Registration &r = host.registrations[i];
        EXPECT_EQ(0u, r.cmdTemplate.rfind(expected[i].name, 0)) << r.cmdTemplate;
        EXPECT_EQ(expected[i].recordSize, r.recordSize);
        EXPECT_EQ(expected[i].variables, r.numVarList);
        EXPECT_EQ("", r.strVarList);
        EXPECT_EQ(2, r.options);
        EXPECT_NE(nullptr, r.execute);
    }
    ASSERT_NE(nullptr, host.entry());
    EXPECT_EQ(0, host.send(CLEANUP));
    EXPECT_TRUE(host.violations.empty());

    RecordingHost old(619);
    EXPECT_EQ(1, xopMain()(old.ioRec()));
    EXPECT_EQ(10165, old.result());
    EXPECT_TRUE(old.registrations.empty());
}

TEST_F(LoadedModule, WithoutTheTableTheModuleReadsHandlesThroughIgorsExports)
{
    // Windows Igor leaves the memory function table empty: the module finds GetHandleSize on the
    // main program, this test, which exports it as Igor64.exe does.
    ASSERT_NE(nullptr, ::GetProcAddress(::GetModuleHandleW(nullptr), "GetHandleSize"));
    RecordingHost host(800);
    host.fillMemoryTable = false;
    ASSERT_EQ(0, xopMain()(host.ioRec()));
    // MBClose reads the host name through GetCStringFromHandle and prints it.
    unsigned char record[36] = {};
    const int32_t given = 1;
    Handle name = host.text("plc-7");
    std::memcpy(record + 4, &given, sizeof given);
    std::memcpy(record + 8, &name, sizeof name);
    EXPECT_EQ(0, host.run("MBClose", record));
    ASSERT_FALSE(host.history.empty());
    EXPECT_EQ("=> MODBUS/TCP connection closed with devive at address plc-7\r", host.history.back());
    EXPECT_EQ(0, host.send(CLEANUP));
    EXPECT_TRUE(host.violations.empty());
}
