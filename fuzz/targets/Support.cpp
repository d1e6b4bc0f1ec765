#include "FuzzTargets.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace rasmik::fuzz {

bool CapSlowInputs = false;

void Fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

std::vector<std::string_view> SplitInput(const std::uint8_t* data, std::size_t size, std::size_t n)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < n) {
        const std::size_t nul = rest.find('\0');
        if (nul == std::string_view::npos)
            break;
        parts.push_back(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
    }
    parts.push_back(rest);
    while (parts.size() < n)
        parts.emplace_back();
    return parts;
}

void EnsureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: Qt keeps pointers to argc and argv.
    static int argc = 1;
    static char name[] = "rasmik-fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

} // namespace rasmik::fuzz
