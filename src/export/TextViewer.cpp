#include "export/TextViewer.h"

#include "export/ShellOpen.h"
#include "table/Options.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <cerrno>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace rasmik {

namespace {

// Starts program (looked up on PATH when it has no '/') with one argument,
// both passed as bytes: Qt's own starter would take them through UTF-8 and
// change a name that is not. The program runs in a session of its own and
// outlives this one; a thread waits for it so that it leaves no zombie.
void StartDetached(const std::string& program, const std::string& argument)
{
    std::string prog = program;
    std::string arg = argument;
    char* argv[] = {prog.data(), arg.data(), nullptr};
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return;
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, prog.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (err != 0)
        return;
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
}

// The file's URL; a name that is not valid UTF-8 keeps its bytes, escaped.
QUrl FileUrl(const std::string& file)
{
    const QByteArray bytes(file.data(), static_cast<qsizetype>(file.size()));
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) == bytes)
        return QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath());
    QByteArray absolute = bytes;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + absolute;
    return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace

void OpenInTextEditor(const std::string& file)
{
    try {
        const std::string editor = TrimSpaces(GetAppOption("TextEditor"));
        if (!editor.empty()) {
            StartDetached(editor, file);
            return;
        }
        if (file.empty())
            return;
        OpenUrlOnDesktop(FileUrl(file));
    } catch (...) {
        // Nothing is reported, whatever the outcome.
    }
}

void OpenInTextEditor(const QString& file)
{
    OpenInTextEditor(QFile::encodeName(file).toStdString());
}

void ShowListInNotepad(const std::string& path, const std::vector<std::string>& list)
{
    try {
        SaveLinesRetry(&list, path);
        OpenInTextEditor(path);
    } catch (...) {
    }
}

} // namespace rasmik
