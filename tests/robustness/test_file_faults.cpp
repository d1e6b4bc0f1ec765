// Faults of the file system around the window: a table that vanishes before
// "Next File", a folder that cannot be listed, a table another process holds
// locked, a read-only table saved over, a full disk while saving, and two
// programs writing the settings and "Option.cfg" at once.

#include "Robustness.h"

#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/WindowHelpers.h"
#include "render/QtText.h"
#include "table/ColumnOrder.h"
#include "text/TextFiles.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rasmik;
using namespace robustness;

namespace {

// A child process holding an exclusive lock on a file until destroyed.
class LockHolder {
public:
    explicit LockHolder(const QString& path)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        const QByteArray name = QFile::encodeName(path);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(name.constData(), O_RDONLY);
            const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1); // until the parent lets go
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char c = 'n';
        locked_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
    }
    ~LockHolder()
    {
        if (release_ >= 0)
            ::close(release_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool locked() const { return locked_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

// Takes away the superuser's right to read or write past permissions for
// this thread while it lives, so that permission bits count for root too.
class NoPermissionOverride {
public:
    NoPermissionOverride()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct data[2];
        std::memcpy(data, saved_, sizeof data);
        data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, data) == 0;
    }
    ~NoPermissionOverride()
    {
        if (active_)
            ::syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// A smaller file-size limit for this process while it lives; writing past it
// fails with EFBIG as on a full disk (the signal is ignored as the program
// ignores it).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace

class TestFileFaults : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;
    QString exe;

    std::unique_ptr<MainWindow> open(const QString& file)
    {
        auto w = MakeWindow(file);
        w->show();
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(appDir.isValid());
        SetExeFolderForTesting(appDir.path().toStdString());
        exe = CopyProgram(appDir.path());
        QVERIFY(!exe.isEmpty());
    }

    void nextFileThatVanished()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.path() + "/a.txt", "A\tx\r\n1\t2\r\n"));
        QVERIFY(Write(dir.path() + "/b.txt", "B\ty\r\n3\t4\r\n"));
        auto w = open(dir.path() + "/a.txt");
        QCOMPARE(w->document().folderFiles().size(), std::size_t{2});
        QVERIFY(QFile::remove(dir.path() + "/b.txt"));

        ModalCloser closer;
        w->openNextFile(); // Next File
        COMPARE_MODALS(closer, 1);
        QVERIFY(closer.texts.value(0).contains(dir.path() + "/b.txt"));
        QVERIFY(closer.texts.value(0).contains(QStringLiteral("فایل یا پوشه آن پیدا نشد.")));
        QCOMPARE(w->caption(), (dir.path() + "/a.txt").toStdString());
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("A"));
        // "Pre File" walks round to the same missing file: the same answer.
        w->openPreviousFile();
        COMPARE_MODALS(closer, 2);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("A"));
    }

    void folderThatCannotBeListed()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/closed";
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(Write(folder + "/t.txt", "T\tx\r\n1\t2\r\n"));
        QVERIFY(Write(folder + "/u.txt", "U\ty\r\n3\t4\r\n"));
        // Passable but not readable: files open by name, the folder does not list.
        QVERIFY(QFile::setPermissions(folder, QFile::WriteOwner | QFile::ExeOwner));
        {
            NoPermissionOverride asUser;
            if (DIR* listing = ::opendir(QFile::encodeName(folder).constData())) {
                ::closedir(listing);
                QSKIP("this process lists folders whatever their permissions");
            }
            ModalCloser closer;
            auto w = open(folder + "/t.txt");
            QCOMPARE(Cell(*w, 0, 0), QStringLiteral("T"));
            QVERIFY(w->document().folderFiles().empty());
            w->openNextFile();
            w->openPreviousFile();
            COMPARE_MODALS(closer, 0);
            QCOMPARE(Cell(*w, 0, 0), QStringLiteral("T"));
            QCOMPARE(w->caption(), (folder + "/t.txt").toStdString());
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void tableLockedByAnotherProcess()
    {
        QTemporaryDir dir;
        const QString a = dir.path() + "/a.txt";
        const QString locked = dir.path() + "/b.txt";
        QVERIFY(Write(a, "A\tx\r\n1\t2\r\n"));
        QVERIFY(Write(locked, "B\ty\r\n3\t4\r\n"));
        auto w = open(a);
        LockHolder holder(locked);
        QVERIFY(holder.locked());

        {
            ModalCloser closer;
            w->openNextFile(); // Next File reaches the locked table
            COMPARE_MODALS(closer, 1);
            QVERIFY(closer.texts.value(0).contains(QStringLiteral("فایل در دست برنامه دیگری است.")));
            QCOMPARE(Cell(*w, 0, 0), QStringLiteral("A"));
            QCOMPARE(w->caption(), a.toStdString());
        }
        {
            ModalCloser closer(SaveAs(locked));
            w->saveTable(); // Save over it
            WAIT_VERIFY(closer.texts.join(' ').contains(QStringLiteral("فایل در دست برنامه دیگری است.")));
        }
        QCOMPARE(ReadAll(locked), QByteArray("B\ty\r\n3\t4\r\n"));

        const Run read = RunProgram(exe, {"--convert", locked, dir.path() + "/out.txt"});
        QCOMPARE(read.status, 1);
        QVERIFY(read.err.contains("locked by another program"));
        QVERIFY(!QFile::exists(dir.path() + "/out.txt"));
        const Run write = RunProgram(exe, {"--convert", a, locked});
        QCOMPARE(write.status, 3);
        QVERIFY(write.err.contains("locked by another program"));
        QCOMPARE(ReadAll(locked), QByteArray("B\ty\r\n3\t4\r\n"));
        QCOMPARE(FolderNames(dir.path()), (QStringList{"a.txt", "b.txt"}));
    }

    // No write permission bit: read-only, for the superuser too.
    void readOnlyTableSavedOver()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/ro.txt";
        const QByteArray text = "Name\tCity  \nAli\tTehran\n";
        QVERIFY(Write(file, text));
        QVERIFY(Write(dir.path() + "/ro.Bak", "earlier backup\r\n"));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        auto w = open(file);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Name"));
        {
            ModalCloser closer(SaveAs(file));
            w->saveTable();
            WAIT_VERIFY(closer.texts.join(' ').contains(QStringLiteral("فایل فقط خواندنی است.")));
        }
        const Run r = RunProgram(exe, {"--convert", file, file});
        QCOMPARE(r.status, 3);
        QVERIFY(r.err.contains("read-only"));
        QCOMPARE(ReadAll(file), text);
        QCOMPARE(ReadAll(dir.path() + "/ro.Bak"), QByteArray("earlier backup\r\n"));
        QCOMPARE(FolderNames(dir.path()), (QStringList{"ro.Bak", "ro.txt"}));
    }

    // Saving a table larger than the room left: the table and its backup
    // stay as they were and a message says why.
    void fullDiskWhileSaving()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/big.txt";
        QByteArray text;
        for (int i = 0; i < 40000; ++i)
            text += "row " + QByteArray::number(i) + "\tvalue  \n";
        QVERIFY(Write(file, text));
        QVERIFY(Write(dir.path() + "/big.Bak", "earlier backup\r\n"));
        auto w = open(file);
        {
            ModalCloser closer(SaveAs(file));
            FileSizeLimit limit(64 * 1024);
            w->saveTable();
            WAIT_VERIFY(closer.texts.join(' ').contains(QStringLiteral("فایل بیش از اندازه بزرگ است.")));
        }
        QCOMPARE(ReadAll(file), text);
        QCOMPARE(ReadAll(dir.path() + "/big.Bak"), QByteArray("earlier backup\r\n"));
        QCOMPARE(FolderNames(dir.path()), (QStringList{"big.Bak", "big.txt"}));
    }

    // "Paste Table" when its file cannot be written: an earlier paste still
    // in that file must not pass for this one; the user is told instead.
    void pasteWhoseFileCannotBeWritten()
    {
        QTemporaryDir dir;
        const QString a = dir.path() + "/a.txt";
        QVERIFY(Write(a, "A\tx\r\n1\t2\r\n"));
        const QString pasteFile = appDir.path() + "/ClipTablePaste.txt";
        QFile::remove(appDir.path() + "/ClipTablePasteHdr.txt");
        QVERIFY(Write(pasteFile, "Old\tpaste\r\n3\t4\r\n"));
        QVERIFY(QFile::setPermissions(pasteFile, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        auto w = open(a);
        QGuiApplication::clipboard()->setText(QStringLiteral("New\tpaste\n5\t6\n"));
        ModalCloser closer;
        w->pasteTable();
        COMPARE_MODALS(closer, 1);
        QVERIFY(closer.texts.value(0).contains(pasteFile));
        QVERIFY(closer.texts.value(0).contains(QStringLiteral("فایل فقط خواندنی است.")));
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("A"));
        QCOMPARE(w->caption(), a.toStdString());
        QCOMPARE(ReadAll(pasteFile), QByteArray("Old\tpaste\r\n3\t4\r\n"));

        // Writable again: the paste goes through.
        QVERIFY(QFile::setPermissions(pasteFile, QFile::ReadOwner | QFile::WriteOwner));
        w->pasteTable();
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Col 1"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("New"));
        COMPARE_MODALS(closer, 1);
    }

    // Two programs changing the settings and two saving column orders at
    // once: every version of either file that anyone reads is whole.
    void concurrentWriters()
    {
        QTemporaryDir dir;
        const QString settings = dir.path() + "/rasmik_hammer_Settings.cfg";
        const QString options = dir.path() + "/" + OptionCfgFile;
        QByteArray seeded;
        for (int i = 10; i < 50; ++i)
            seeded += "Key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\r\n";
        QVERIFY(Write(settings, seeded));

        std::vector<std::unique_ptr<QProcess>> writers;
        for (const char* mode : {"settings", "orders"})
            for (const char* id : {"1", "2"}) {
                auto p = std::make_unique<QProcess>();
                p->start(QStringLiteral(RASMIK_HAMMER), {dir.path(), mode, id, "400"});
                QVERIFY(p->waitForStarted());
                writers.push_back(std::move(p));
            }

        const QRegularExpression settingLine(QStringLiteral("^(Key\\d\\d=value \\d\\d|Maximize=1|Writer[12]=1)$"));
        int snapshots = 0;
        auto checkSettings = [&] {
            const QByteArray bytes = ReadAll(settings);
            QList<QByteArray> lines = bytes.split('\n');
            QVERIFY(lines.takeLast().isEmpty()); // the last line ends too
            int seeds = 0;
            for (QByteArray line : lines) {
                QVERIFY2(line.endsWith('\r'), line.constData());
                line.chop(1);
                QVERIFY2(settingLine.match(QString::fromLatin1(line)).hasMatch(), line.constData());
                seeds += line.startsWith("Key");
            }
            // A writer that started while another one was saving found the
            // file locked and began with empty settings (a locked file is not
            // waited for); what it writes is still whole.
            QVERIFY2(seeds == 40 || seeds == 0, QByteArray::number(seeds).constData());
        };
        auto checkOrders = [&] {
            const QByteArray bytes = ReadAll(options);
            if (bytes == MissingFile)
                return; // not written yet
            QList<QByteArray> lines = bytes.split('\n');
            QVERIFY(lines.takeLast().isEmpty());
            for (QByteArray line : lines) {
                QVERIFY2(line.endsWith('\r'), line.constData());
                line.chop(1);
                const qsizetype eq = line.indexOf('=');
                QVERIFY2(eq > 0, line.constData());
                QByteArray value = line.mid(eq + 1);
                QVERIFY2(value.endsWith('\t'), line.constData());
                QList<QByteArray> names = value.chopped(1).split('\t');
                QCOMPARE(names.size(), 4);
                std::sort(names.begin(), names.end());
                QByteArray key;
                for (const QByteArray& n : names)
                    key += n.toHex().toUpper() + "_";
                QCOMPARE(line.left(eq), key);
            }
        };
        auto running = [&] {
            return std::any_of(writers.begin(), writers.end(),
                               [](const auto& p) { return p->state() != QProcess::NotRunning; });
        };
        while (running()) {
            checkSettings();
            checkOrders();
            if (QTest::currentTestFailed())
                break;
            ++snapshots;
            for (auto& p : writers)
                p->waitForFinished(1);
        }
        for (auto& p : writers) {
            if (p->state() != QProcess::NotRunning)
                QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QCOMPARE(p->exitCode(), 0);
        }
        checkSettings();
        checkOrders();
        QVERIFY(snapshots > 10);
        // Each writer's last save is whole; both tables of a writer that
        // saved last are there, and the shared one once.
        QVERIFY(ReadAll(options).count("=") >= 2);
        QCOMPARE(FolderNames(dir.path()), (QStringList{OptionCfgFile, "rasmik_hammer_Settings.cfg"}));
    }
};

QTEST_MAIN(TestFileFaults)
#include "test_file_faults.moc"
