// Command lines as a user types them, through the stand-in host: its line parser, the template
// match, the filling of the parameter records, and the commands of the module (in this process,
// on the in-memory network). Each line of the input is one command line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "extension/xop_main.h"
#include "fuzz/fake_network.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/reply_script.h"
#include "xophost/stand_in_host.h"

namespace {

constexpr int kMaxLines = 8;

std::FILE *sink()
{
    static std::FILE *devNull = std::fopen("/dev/null", "w");
    return devNull;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The lines come first, up to a NUL; what follows scripts the device's replies.
    std::size_t textEnd = 0;
    while (textEnd < size && data[textEnd] != 0)
        ++textEnd;
    const std::string text(reinterpret_cast<const char *>(data), textEnd);
    const std::size_t rest = textEnd < size ? textEnd + 1 : size;
    FuzzInput input(data + rest, size - rest);
    ReplyScript script(input, Framing::Mbap);
    script.checkIdentifierSequence(false);
    FakeNetwork::attach(&script);
    {
        StandInHost host(800, sink(), sink());
        std::string error;
        fuzzRequire(host.startModule(XOPMain, XOPGetResource, error), "the module loads");
        std::size_t start = 0;
        for (int n = 0; n < kMaxLines && start <= text.size(); ++n) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            host.runLine(text.substr(start, end - start), "fuzz:1: ");
            start = end + 1;
        }
        host.cleanup();
    }
    FakeNetwork::detach();
    return 0;
}
