#include "text/PosixFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace rasmik {

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int UniqueFd::close()
{
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 ? ::close(fd) : 0;
}

int OpenFile(const std::string& path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool IsReadOnly(const struct stat& st)
{
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool LockedByOther(int fd, bool shared)
{
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0)
        return false;
    // Where locks are not supported nobody can hold one either.
    return errno == EWOULDBLOCK;
}

} // namespace rasmik
