// A loaded module behind a recording host and the fake library, plus record builders and the
// registry's expected history lines.
#ifndef TESTS_EXTENSION_MODULE_FIXTURE_H
#define TESTS_EXTENSION_MODULE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "extension/parameter_records.h"
#include "mbus.h"
#include "extension/xop_main.h"
#include "tests/extension/fake_library.h"
#include "tests/support/recording_host.h"

using Lines = std::vector<std::string>;

// What one command execution (or one message) produced.
struct Execution {
    int code;
    std::string diagnostics;                               // standard error, as written
    Lines history;                                         // history lines of this execution
    std::vector<std::pair<std::string, double>> variables; // set in this order
};

// The recording host, with the module's diagnostic lines captured per execution.
class CapturingHost : public RecordingHost {
public:
    using RecordingHost::RecordingHost;

    Execution run(const std::string &command, void *params)
    {
        EXPECT_NE(registration(command), nullptr) << command << " is not registered";
        return capture([&] { return RecordingHost::run(command, params); });
    }
    Execution cleanup()
    {
        return capture([&] { return send(CLEANUP); });
    }

private:
    template <typename F> Execution capture(F f)
    {
        const std::size_t historyBefore = history.size();
        const std::size_t variablesBefore = variables.size();
        testing::internal::CaptureStderr();
        const int code = f();
        Execution e{code, testing::internal::GetCapturedStderr(), {}, {}};
        e.history.assign(history.begin() + static_cast<long>(historyBefore), history.end());
        e.variables.assign(variables.begin() + static_cast<long>(variablesBefore), variables.end());
        return e;
    }
};

// The lines of a lookup that scans `scanned` slots and selects slot `selected` (-1: none).
inline Lines lookupLines(int scanned, int selected = -1)
{
    Lines lines;
    for (int i = 0; i < scanned; ++i) {
        lines.push_back("=> getConnection: connection #" + std::to_string(i) + "...\r");
        if (i == selected) {
            lines.push_back("=> getConnection: connection #" + std::to_string(i) + " selected\r");
            break;
        }
        lines.push_back("=> getConnection: connection #" + std::to_string(i) + " not selected\r");
    }
    return lines;
}

inline Lines operator+(Lines a, const Lines &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeLibrary().reset();
        ASSERT_EQ(XOPMain(host.ioRec()), 0);
    }
    void TearDown() override
    {
        host.cleanup();
        EXPECT_EQ(host.violations, Lines{});
        fakeLibrary().reset();
    }

    MBOpenRuntimeParams openRecord(const std::string &name)
    {
        MBOpenRuntimeParams p{};
        p.IPEncountered = 1;
        p.hostName = host.text(name);
        return p;
    }
    MBConnectionRuntimeParams connectionRecord(const std::string &name)
    {
        MBConnectionRuntimeParams p{};
        p.IPEncountered = 1;
        p.hostName = host.text(name);
        return p;
    }
    MBReadRuntimeParams readRecord(const std::string &name)
    {
        MBReadRuntimeParams p{};
        p.IPEncountered = 1;
        p.hostName = host.text(name);
        return p;
    }
    MBWriteRuntimeParams writeRecord(const std::string &name)
    {
        MBWriteRuntimeParams p{};
        p.IPEncountered = 1;
        p.hostName = host.text(name);
        return p;
    }

    // Opens name with the defaults and checks that it worked.
    void openDevice(const std::string &name)
    {
        MBOpenRuntimeParams p = openRecord(name);
        ASSERT_EQ(host.run("MBOpen", &p).code, 0);
        fakeLibrary().calls.clear();
    }

    CapturingHost host;
};

#endif
