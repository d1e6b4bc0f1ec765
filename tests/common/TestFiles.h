#pragma once
// Reading and writing whole files in tests.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

#include <string>

// What ReadAll returns for a file that cannot be read: a missing file never
// compares equal to an empty one.
inline const QByteArray MissingFile("<missing>");

// The file's bytes, or MissingFile when it cannot be read.
inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly) ? f.readAll() : MissingFile;
}

inline QByteArray ReadAll(const std::string& path)
{
    return ReadAll(QString::fromStdString(path));
}

// Writes the file whole, replacing it. A failure fails the running test and
// returns false, so that QVERIFY(Write(...)) also stops it there.
inline bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush())
        return true;
    QTest::qFail(qPrintable(QStringLiteral("cannot write %1: %2").arg(path, f.errorString())), __FILE__, __LINE__);
    return false;
}

inline bool Write(const std::string& path, const QByteArray& bytes)
{
    return Write(QString::fromStdString(path), bytes);
}

// A path as the program takes it from the command line: in the local 8-bit
// encoding of file names.
inline std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}
