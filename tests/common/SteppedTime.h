#pragma once
// The retrying file helpers' time, stepped by the test: each pause moves the
// clock on by the pause and calls onPause with the pauses so far, where a
// test lets go of a lock. Nothing sleeps, so a busy machine cannot stretch a
// retry window past what the test holds a file for.

#include "text/TextFiles.h"

#include <chrono>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class SteppedTime {
public:
    explicit SteppedTime(std::function<void(int)> onPause = {}) : onPause_(std::move(onPause))
    {
        rasmik::SetRetryTimeForTesting({[this] { return now_; },
                                        [this](std::chrono::milliseconds ms) {
                                            now_ += ms;
                                            ++pauses;
                                            if (onPause_)
                                                onPause_(pauses);
                                        }});
    }
    ~SteppedTime() { rasmik::SetRetryTimeForTesting({}); }
    SteppedTime(const SteppedTime&) = delete;
    SteppedTime& operator=(const SteppedTime&) = delete;

    int pauses = 0;

private:
    std::function<void(int)> onPause_;
    std::chrono::steady_clock::time_point now_{};
};

// An advisory lock on a file, as another program (or another copy) holds it
// while it writes: flock locks of two opens conflict within one process too.
class HeldLock {
public:
    explicit HeldLock(const std::string& path, int how = LOCK_EX) : fd_(::open(path.c_str(), O_RDONLY))
    {
        if (fd_ >= 0 && ::flock(fd_, how | LOCK_NB) != 0)
            release();
    }
    ~HeldLock() { release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

    bool held() const { return fd_ >= 0; }
    void release()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};
