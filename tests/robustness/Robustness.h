#pragma once
// Shared by the robustness tests: runs of a copy of the program
// (`rasmik --convert`) in a folder of its own, without a display. Files as
// bytes: common/TestFiles.h.

#include "common/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace robustness {

struct Run {
    int status = -1; // exit code; -1 when the program crashed or hung
    QByteArray err;
};

// Copies the program into folder (its settings then live there) and returns
// the copy's path.
inline QString CopyProgram(const QString& folder)
{
    const QString exe = folder + "/rasmik";
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(RASMIK_EXE), exe))
        return {};
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    return exe;
}

// Runs the program; childSetup runs in the child before the program starts.
inline Run RunProgram(const QString& exe, const QStringList& args, int timeoutMs = 300000,
                      const std::function<void()>& childSetup = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    p.start(exe, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
}

// Names in folder, sorted, without the program's own files.
inline QStringList FolderNames(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.removeAll(QStringLiteral("rasmik"));
    names.removeAll(QStringLiteral("rasmik_Settings.cfg"));
    return names;
}

} // namespace robustness
