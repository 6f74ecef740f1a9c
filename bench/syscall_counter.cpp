#include "syscall_counter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
constexpr int kFewer = 200;
constexpr int kMore = 1200;

std::string selfPath()
{
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
}

// Calls per system call name of one probe run; empty when strace or the probe failed.
std::map<std::string, long> traceProbe(const char *client, const char *workload, int port, int count,
                                       const char *extra)
{
    char output[] = "/tmp/mbbench-strace-XXXXXX";
    int fd = ::mkstemp(output);
    if (fd < 0)
        return {};
    ::close(fd);
    std::string self = selfPath(), portText = std::to_string(port), countText = std::to_string(count);
    std::vector<const char *> args = {"strace", "-f", "-c", "-o", output, "--", self.c_str(), "--probe", client,
                                      workload, portText.c_str(), countText.c_str(), extra, nullptr};
    pid_t pid = -1;
    int status = -1;
    if (posix_spawnp(&pid, "strace", nullptr, nullptr, const_cast<char *const *>(args.data()), environ) == 0) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    std::map<std::string, long> calls;
    if (status == 0) {
        // "% time  seconds  usecs/call  calls  [errors]  syscall": calls is the fourth column.
        std::ifstream in(output);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::vector<std::string> words;
            for (std::string w; fields >> w;)
                words.push_back(w);
            if (words.size() >= 5 && words[0].find_first_not_of("0123456789.") == std::string::npos)
                calls[words.back()] = std::atol(words[3].c_str());
        }
    }
    ::unlink(output);
    return calls;
}
} // namespace

bool SyscallCounter::available()
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (::access((dir + "/strace").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

SyscallCounter::Count SyscallCounter::perTransaction(const char *client, const char *workload, int port,
                                                     const char *extra)
{
    Count count;
    std::map<std::string, long> fewer = traceProbe(client, workload, port, kFewer, extra);
    std::map<std::string, long> more = traceProbe(client, workload, port, kMore, extra);
    if (fewer.empty() || more.empty())
        return count;
    std::vector<std::pair<double, std::string>> perCall;
    for (const auto &entry : more) {
        double each = static_cast<double>(entry.second - fewer[entry.first]) / (kMore - kFewer);
        if (entry.first == "total")
            count.total = each;
        else if (each >= 0.05)
            perCall.emplace_back(each, entry.first);
    }
    std::sort(perCall.rbegin(), perCall.rend());
    for (const auto &call : perCall) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%s %.3g", count.breakdown.empty() ? "" : ", ", call.second.c_str(),
                      call.first);
        count.breakdown += text;
    }
    count.valid = true;
    return count;
}
