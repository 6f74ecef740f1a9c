// Holds enough descriptors on /dev/null that every descriptor opened afterwards lies above a
// given number: the way a long-running host process ends up with sockets beyond 1024.
#ifndef MBUS_TESTS_HARDENING_DESCRIPTOR_FLOOD_H
#define MBUS_TESTS_HARDENING_DESCRIPTOR_FLOOD_H

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

class DescriptorFlood {
public:
    // Raises the soft descriptor limit to the hard one, then fills every free number up to
    // `above`. ready() tells whether that worked.
    explicit DescriptorFlood(int above)
    {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
            return;
        saved_ = limit;
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < static_cast<rlim_t>(above) + 200)
            return;
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? static_cast<rlim_t>(above) + 4096 : limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return;
        raised_ = true;
        // Bounded: at most `above` + 1 opens.
        for (int i = 0; i <= above; ++i) {
            int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            held_.push_back(fd);
            if (fd >= above) {
                ready_ = true;
                return;
            }
        }
    }
    ~DescriptorFlood()
    {
        for (int fd : held_)
            ::close(fd);
        if (raised_)
            ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorFlood(const DescriptorFlood &) = delete;
    DescriptorFlood &operator=(const DescriptorFlood &) = delete;

    bool ready() const { return ready_; }
    // The number the next open would get.
    static int nextDescriptor()
    {
        int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        return fd;
    }

private:
    std::vector<int> held_;
    rlimit saved_{};
    bool raised_ = false;
    bool ready_ = false;
};

#endif
