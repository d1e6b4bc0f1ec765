// The Persian messages a user reads when opening, saving or exporting fails.

#include "app/ErrorMessages.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::FileError)
Q_DECLARE_METATYPE(rasmik::FileOperation)

namespace {

FileError Error(FileErrorCode code, const std::string& path, int err = 0)
{
    FileError e(code, path);
    e.sysErrno = err;
    return e;
}

FileError Limit(FileErrorCode code, std::uint64_t count, std::uint64_t limit, std::string subject = {})
{
    FileError e(code, "/t/x.xlsx");
    e.count = count;
    e.limit = limit;
    e.subject = std::move(subject);
    return e;
}

FileError Detailed(FileErrorCode code, std::string subject, std::string detail)
{
    FileError e(code, "/t/x.xlsx");
    e.subject = std::move(subject);
    e.detail = std::move(detail);
    return e;
}

QString Sys(int err)
{
    return QString::fromUtf8(std::strerror(err));
}

} // namespace

class TestErrorMessages : public QObject {
    Q_OBJECT

private slots:
    void message_data()
    {
        QTest::addColumn<FileError>("error");
        QTest::addColumn<FileOperation>("operation");
        QTest::addColumn<QString>("text");
        using C = FileErrorCode;
        const QString book = QStringLiteral("خطا در ذخیره فایل اکسل\n/t/x.xlsx\n");

        QTest::newRow("open: missing") << Error(C::NotFound, "/t/جدول.txt", ENOENT) << FileOperation::Open
                                       << QStringLiteral("فایل «/t/جدول.txt» باز نشد.\n") + Sys(ENOENT);
        QTest::newRow("open: locked") << Error(C::Locked, "/t/a.txt") << FileOperation::Open
                                      << QStringLiteral("فایل «/t/a.txt» باز نشد.\nlocked by another program");
        QTest::newRow("open: too large") << Error(C::TooLarge, "/t/a.txt") << FileOperation::Open
                                         << QStringLiteral("فایل «/t/a.txt» باز نشد.\ntoo large");
        QTest::newRow("save: read-only") << Error(C::ReadOnly, "/t/a.txt") << FileOperation::Save
                                         << QStringLiteral("فایل «/t/a.txt» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n"
                                                           "the file is read-only");
        QTest::newRow("save: disk full") << Error(C::NoSpace, "/t/a.txt", ENOSPC) << FileOperation::Save
                                         << QStringLiteral("فایل «/t/a.txt» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n")
                + Sys(ENOSPC);

        QTest::newRow("workbook: no name") << Error(C::NoFileName, "") << FileOperation::Workbook
                                           << QStringLiteral("خطا در ذخیره فایل اکسل\n\nنام فایل داده نشده است.");
        QTest::newRow("workbook: folder missing") << Error(C::NotFound, "/t/x.xlsx", ENOENT)
                                                  << FileOperation::Workbook << book + Sys(ENOENT);
        QTest::newRow("workbook: rows") << Limit(C::TooManyRows, 1048577, 1048576) << FileOperation::Workbook
                                        << book + QStringLiteral("جدول 1048577 سطر دارد و فایل اکسل حداکثر 1048576 سطر می‌پذیرد.");
        QTest::newRow("workbook: columns") << Limit(C::TooManyColumns, 16385, 16384) << FileOperation::Workbook
                                           << book + QStringLiteral("جدول 16385 ستون دارد و فایل اکسل حداکثر 16384 ستون می‌پذیرد.");
        QTest::newRow("workbook: long cell") << Limit(C::CellTooLong, 40000, 32767, "B2") << FileOperation::Workbook
                                             << book + QStringLiteral("خانه B2 بیش از 32767 نویسه دارد.");
        QTest::newRow("workbook: empty sheet name") << Detailed(C::BadSheetName, "", "") << FileOperation::Workbook
                                                    << book + QStringLiteral("نام برگه خالی است.");
        QTest::newRow("workbook: sheet name refused")
            << Detailed(C::BadSheetName, "a/b", "Worksheet name cannot contain invalid characters.")
            << FileOperation::Workbook
            << book + QStringLiteral("نام برگه «a/b» پذیرفته نیست: Worksheet name cannot contain invalid characters.");
        QTest::newRow("workbook: cell refused") << Detailed(C::Library, "C3", "Memory error, failed to malloc().")
                                                << FileOperation::Workbook
                                                << book + QStringLiteral("C3: Memory error, failed to malloc().");
        QTest::newRow("workbook: incomplete") << Detailed(C::Incomplete, "", "no sheet1.xml") << FileOperation::Workbook
                                              << book + QStringLiteral("فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (no sheet1.xml)");
        QTest::newRow("workbook: memory") << Error(C::NoMemory, "/t/x.xlsx") << FileOperation::Workbook
                                          << book + QStringLiteral("حافظه کافی نیست.");
        QTest::newRow("workbook: unknown") << Error(C::System, "/t/x.xlsx") << FileOperation::Workbook
                                           << book + QStringLiteral("خطای ناشناخته");
        QTest::newRow("workbook: exception") << Detailed(C::System, "", "vector too long") << FileOperation::Workbook
                                             << book + QStringLiteral("vector too long");
    }
    void message()
    {
        QFETCH(FileError, error);
        QFETCH(FileOperation, operation);
        QFETCH(QString, text);
        QVERIFY(needsMessage(error));
        QCOMPARE(persianFileMessage(error, operation), text);
    }

    void quietOutcomes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("needed");
        using C = FileErrorCode;
        QTest::newRow("success") << int(C::None) << false;
        QTest::newRow("cancelled") << int(C::Cancelled) << false;
        QTest::newRow("empty table") << int(C::EmptyTable) << false;
        QTest::newRow("export switched off") << int(C::ExportSwitchedOff) << false;
        QTest::newRow("locked") << int(C::Locked) << true;
        QTest::newRow("system") << int(C::System) << true;
    }
    void quietOutcomes()
    {
        QFETCH(int, code);
        QFETCH(bool, needed);
        QCOMPARE(needsMessage(FileError(static_cast<FileErrorCode>(code), "/t/a.txt")), needed);
    }
};

QTEST_GUILESS_MAIN(TestErrorMessages)
#include "ErrorMessagesTest.moc"
