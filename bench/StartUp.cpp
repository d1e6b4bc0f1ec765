#include "StartUp.h"

#include "Measure.h"

#include <QApplication>
#include <QLabel>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rasmik::bench {

namespace {

// A window that went away between two requests is not an error here.
int IgnoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

// CPU seconds of a live process, its threads included.
double ProcessCpu(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(all.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::strtoull(f.c_str(), nullptr, 10);
        if (i == 15)
            stime = std::strtoull(f.c_str(), nullptr, 10);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The mapped top-level window of the process, 0 while there is none.
Window WindowOf(Display* display, pid_t pid, Atom pidAtom)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, AnyPropertyType, &type, &format, &items,
                               &after, &data)
                == Success
            && data && format == 32 && items == 1
            && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable && a.width > 50)
                found = children[i];
        }
        if (data)
            XFree(data);
    }
    if (children)
        XFree(children);
    return found;
}

// A hash of what the window shows now; 0 when it cannot be read.
std::uint64_t ImageHash(Display* display, Window window)
{
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, window, &a))
        return 0;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                              AllPlanes, ZPixmap);
    if (!image)
        return 0;
    std::uint64_t h = 1469598103934665603ull;
    const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(image->height);
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, image->data + i, 8);
        h = (h ^ x) * 1099511628211ull;
    }
    XDestroyImage(image);
    return h ? h : 1;
}

struct Launch {
    double painted = -1; // seconds from launch to the final picture first shown
    double cpu = -1;     // CPU seconds of the process by then
    double mapped = -1;  // seconds to the window being mapped
};

// One launch: polls the window's picture until it has not changed for a
// while, then the first moment it showed that picture.
Launch LaunchOnce(Display* display, const std::vector<std::string>& argv, const std::string& dataHome)
{
    Launch out;
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return out;
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    struct Sample {
        double at;
        double cpu;
        std::uint64_t hash;
    };
    std::vector<Sample> samples;
    Window window = 0;
    double lastChange = -1;
    for (;;) {
        const double now = SecondsSince(start);
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return out; // ended before it settled
        if (now > 20)
            break;
        if (!window) {
            window = WindowOf(display, pid, pidAtom);
            if (window)
                out.mapped = now;
        }
        if (window) {
            const double cpu = ProcessCpu(pid);
            const std::uint64_t h = ImageHash(display, window);
            if (samples.empty() || samples.back().hash != h)
                lastChange = now;
            samples.push_back({now, cpu, h});
            if (now - lastChange > 1.0)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (samples.empty() || SecondsSince(start) > 20)
        return out;
    const std::uint64_t final = samples.back().hash;
    for (const Sample& s : samples)
        if (s.hash == final) {
            out.painted = s.at;
            out.cpu = s.cpu;
            break;
        }
    return out;
}

// An X server of its own: Xvfb on the first free display it finds.
struct OwnServer {
    pid_t pid = -1;
    std::string display;

    bool start()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0)
                ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (number.empty())
            return false;
        display = ":" + number;
        return true;
    }

    ~OwnServer()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
};

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool RunStartUp(const StartUpOptions& options)
{
    OwnServer server;
    std::string displayName = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    if (displayName.empty()) {
        if (!server.start()) {
            std::fprintf(stderr, "start-up: no DISPLAY and no Xvfb to start\n");
            return false;
        }
        displayName = server.display;
    }
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) {
        std::fprintf(stderr, "start-up: cannot open display %s\n", displayName.c_str());
        return false;
    }
    XSetErrorHandler(IgnoreXErrors);
    ::setenv("DISPLAY", displayName.c_str(), 1);
    char dataHome[] = "/tmp/rasmik-bench-xdg-XXXXXX";
    if (!::mkdtemp(dataHome)) {
        XCloseDisplay(display);
        return false;
    }

    // The launches open tables: the program's list of recent tables is put
    // back as it was.
    const std::string recentFile = options.program.substr(0, options.program.rfind('/') + 1) + "RecentTables.txt";
    std::ifstream recentIn(recentFile, std::ios::binary);
    const bool hadRecent = recentIn.good();
    const std::string recent((std::istreambuf_iterator<char>(recentIn)), std::istreambuf_iterator<char>());
    recentIn.close();

    struct Subject {
        std::string label;
        std::vector<std::string> argv;
        std::vector<Launch> launches;
    };
    std::vector<Subject> subjects;
    subjects.push_back({"bare Qt window (a label)", {options.self, "--bare-window"}, {}});
    subjects.push_back({"empty window", {options.program}, {}});
    for (const std::string& table : options.tables)
        subjects.push_back({BaseName(table), {options.program, table}, {}});
    // One launch of each in turn, so that a busy moment falls on all alike;
    // the first round only fills the caches.
    bool allPainted = true;
    for (int round = 0; round <= options.runs; ++round) {
        for (Subject& s : subjects) {
            const Launch l = LaunchOnce(display, s.argv, dataHome);
            if (l.painted < 0) {
                std::fprintf(stderr, "start-up: %s never settled\n", s.label.c_str());
                allPainted = false;
            } else if (round > 0) {
                s.launches.push_back(l);
            }
        }
    }
    XCloseDisplay(display);
    if (hadRecent)
        std::ofstream(recentFile, std::ios::binary | std::ios::trunc) << recent;
    else
        std::remove(recentFile.c_str());
    std::string removeData = std::string("rm -rf '") + dataHome + "'";
    if (std::system(removeData.c_str()) != 0)
        std::fprintf(stderr, "start-up: %s left behind\n", dataHome);

    auto median = [](const std::vector<Launch>& ls, double Launch::*field) {
        std::vector<double> v;
        for (const Launch& l : ls)
            v.push_back(l.*field);
        return v.empty() ? -1.0 : Median(v);
    };
    const double emptyPainted = median(subjects[1].launches, &Launch::painted);
    std::printf("== start-up under X (%s), launch to the window showing its final picture, medians of %d ==\n",
                displayName.c_str(), options.runs);
    std::printf("  %-34s %10s %10s %10s %12s\n", "launched on", "mapped", "painted", "CPU", "x empty");
    for (const Subject& s : subjects) {
        const double painted = median(s.launches, &Launch::painted);
        std::printf("  %-34s %9.3fs %9.3fs %9.3fs %12.2f\n", s.label.c_str(), median(s.launches, &Launch::mapped),
                    painted, median(s.launches, &Launch::cpu), emptyPainted > 0 ? painted / emptyPainted : -1.0);
    }
    std::printf("\n");
    if (!options.markdown.empty()) {
        if (std::FILE* md = std::fopen(options.markdown.c_str(), "a")) {
            std::fprintf(md,
                         "\n| launched on | mapped | painted | CPU | x empty window |\n|---|---:|---:|---:|---:|\n");
            for (const Subject& s : subjects) {
                const double painted = median(s.launches, &Launch::painted);
                std::fprintf(md, "| %s | %.3f s | %.3f s | %.3f s | %.2f |\n", s.label.c_str(),
                             median(s.launches, &Launch::mapped), painted, median(s.launches, &Launch::cpu),
                             emptyPainted > 0 ? painted / emptyPainted : -1.0);
            }
            std::fclose(md);
        }
    }
    return allPainted;
}

int RunBareWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Rasmik"));
    label.resize(696, 480);
    label.show();
    return app.exec();
}

} // namespace rasmik::bench
