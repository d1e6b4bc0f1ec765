#pragma once
// Small pieces shared by the file readers and the staged writer: a
// descriptor that closes itself, open without EINTR, and the lock and
// permission tests that stand in for Windows sharing modes.

#include <string>

#include <sys/stat.h>

namespace rasmik {

// Closes its descriptor when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) { }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1);
    // Closes now and reports the error of close itself (it can carry a
    // delayed write error).
    int close();

private:
    int fd_;
};

// open(2) with O_CLOEXEC and O_NOCTTY, repeated on EINTR.
int OpenFile(const std::string& path, int flags, mode_t mode = 0);

// A read-only file: no write permission bit at all. Checked apart from
// access rights because the superuser may write anywhere.
bool IsReadOnly(const struct stat& st);

// Another process holds an exclusive lock (shared == true) or any lock.
bool LockedByOther(int fd, bool shared);

} // namespace rasmik
