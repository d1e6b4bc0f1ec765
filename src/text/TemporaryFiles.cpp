#include "text/TemporaryFiles.h"

#include "text/PosixFile.h"
#include "text/TextFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

constexpr std::size_t SuffixLength = 8;
constexpr std::string_view Extension = ".tmp";

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix()
{
    static std::atomic<uint64_t> counter{0};
    uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    x ^= static_cast<uint64_t>(::getpid()) << 32;
    x += (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    // splitmix64 finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(SuffixLength, 'x');
    for (char& c : s) {
        c = alphabet[x % 36];
        x /= 36;
    }
    return s;
}

// The table of live temporaries. A signal handler reads it, so it is fixed
// in size and its paths are absolute.
enum SlotState : int { Free, Claimed, Live };
struct Slot {
    std::atomic<int> state{Free};
    TemporaryKind kind = TemporaryKind::NewContent;
    pid_t owner = 0; // a forked child leaves its parent's files alone
    char path[4096] = {};
};
constexpr int SlotCount = 16;
Slot Slots[SlotCount];

std::atomic<int> Holds{0};  // TerminationHolds alive, in any thread
std::atomic<int> Ending{0}; // the signal that ends the program, once caught
constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

static_assert(std::atomic<int>::is_always_lock_free);

// Async-signal-safe.
void RemoveRegistered(TemporaryKind kind)
{
    for (Slot& slot : Slots) {
        if (slot.state.load() == Live && slot.kind == kind && slot.owner == ::getpid())
            ::unlink(slot.path);
    }
}

// Async-signal-safe: removes every temporary and ends as sig would.
[[noreturn]] void EndBySignal(int sig)
{
    RemoveRegistered(TemporaryKind::NewContent);
    RemoveRegistered(TemporaryKind::Backup);
    struct sigaction dfl { };
    dfl.sa_handler = SIG_DFL;
    ::sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
    // Inside the handler the signal is blocked until it is let through here.
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::_exit(128 + sig);
}

extern "C" void OnEndingSignal(int sig)
{
    // The store comes before the look at Holds, and a hold's start looks at
    // Ending after counting itself: one of the two always sees the other.
    Ending.store(sig);
    if (Holds.load() > 0)
        return; // the last hold to end finishes it
    EndBySignal(sig);
}

// The absolute form of path in out; false when it does not fit.
bool AbsolutePath(const std::string& path, char (&out)[4096])
{
    std::size_t used = 0;
    if (path.empty() || path.front() != '/') {
        if (!::getcwd(out, sizeof out))
            return false;
        used = std::strlen(out);
        if (used + 1 >= sizeof out)
            return false;
        out[used++] = '/';
    }
    if (used + path.size() >= sizeof out)
        return false;
    std::memcpy(out + used, path.data(), path.size());
    out[used + path.size()] = '\0';
    return true;
}

bool IsOwnTemporary(const std::string& path)
{
    char absolute[4096];
    if (!AbsolutePath(path, absolute))
        return false;
    for (const Slot& slot : Slots) {
        if (slot.state.load() == Live && std::strcmp(slot.path, absolute) == 0)
            return true;
    }
    return false;
}

} // namespace

std::string TemporaryNameBeside(const std::string& target)
{
    std::string name = NameOf(target);
    if (name.size() > 100)
        name.resize(100);
    return FolderOf(target) + "." + name + "." + RandomSuffix() + std::string(Extension);
}

bool IsTemporaryName(std::string_view name)
{
    // "." NAME "." SUFFIX ".tmp", NAME not empty
    const std::size_t tail = 1 + SuffixLength + Extension.size();
    if (name.size() < 2 + tail || name.front() != '.' || !name.ends_with(Extension))
        return false;
    const std::size_t dot = name.size() - tail;
    if (name[dot] != '.')
        return false;
    for (const char c : name.substr(dot + 1, SuffixLength)) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

int RegisterTemporary(const std::string& path, TemporaryKind kind)
{
    for (int i = 0; i < SlotCount; ++i) {
        int expected = Free;
        if (!Slots[i].state.compare_exchange_strong(expected, Claimed))
            continue;
        if (!AbsolutePath(path, Slots[i].path)) {
            Slots[i].state.store(Free);
            return -1;
        }
        Slots[i].kind = kind;
        Slots[i].owner = ::getpid();
        Slots[i].state.store(Live);
        return i;
    }
    return -1;
}

void ForgetTemporary(int& slot)
{
    if (slot >= 0 && slot < SlotCount)
        Slots[slot].state.store(Free);
    slot = -1;
}

// Holds nest: only a thread's outermost one counts.
thread_local int HoldDepth = 0;

TerminationHold::TerminationHold()
{
    if (HoldDepth++ > 0)
        return;
    Holds.fetch_add(1);
    if (const int sig = Ending.load()) {
        // The program is ending: nothing new is begun.
        if (Holds.fetch_sub(1) == 1)
            EndBySignal(sig);
        for (;;)
            ::pause(); // another thread's hold finishes it
    }
}

TerminationHold::~TerminationHold()
{
    if (--HoldDepth > 0)
        return;
    if (Holds.fetch_sub(1) == 1) {
        if (const int sig = Ending.load())
            EndBySignal(sig);
    }
}

void RemoveTemporariesOnTermination()
{
    struct sigaction action { };
    action.sa_handler = OnEndingSignal;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (const int sig : EndingSignals)
        ::sigaddset(&action.sa_mask, sig);
    for (const int sig : EndingSignals) {
        struct sigaction old { };
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        ::sigaction(sig, &action, nullptr);
    }
}

bool LockNewTemporary(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return errno != EWOULDBLOCK;
    }
}

void RemoveStaleTemporaries(const std::string& folder, const struct stat* ours)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!IsTemporaryName(name) || IsOwnTemporary(folder + entry->d_name))
            continue;
        UniqueFd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        struct stat st { };
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // A killed save's second name of the table we hold locked ourselves
        // is held by nobody else.
        const bool heldByUs = ours && st.st_dev == ours->st_dev && st.st_ino == ours->st_ino;
        if (!heldByUs && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        struct stat now { };
        if (::fstatat(dirFd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev
            && now.st_ino == st.st_ino)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace rasmik
