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
        // Paths read left to right inside the Persian lines: LRI ... PDI.
        const QString lri(QChar(0x2066)), pdi(QChar(0x2069));
        const QString book = QStringLiteral("خطا در ذخیره فایل اکسل\n") + lri + "/t/x.xlsx" + pdi + "\n";
        const QString opened = QStringLiteral("فایل «") + lri + "/t/a.txt" + pdi + QStringLiteral("» باز نشد.\n");
        const QString saved = QStringLiteral("فایل «") + lri + "/t/a.txt" + pdi
            + QStringLiteral("» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n");

        QTest::newRow("open: missing") << Error(C::NotFound, "/t/جدول.txt", ENOENT) << FileOperation::Open
                                       << QStringLiteral("فایل «") + lri + QStringLiteral("/t/جدول.txt") + pdi
                + QStringLiteral("» باز نشد.\nفایل یا پوشه آن پیدا نشد.");
        QTest::newRow("open: no permission") << Error(C::AccessDenied, "/t/a.txt", EACCES) << FileOperation::Open
                                             << opened + QStringLiteral("اجازه دسترسی به فایل یا پوشه آن نیست.");
        QTest::newRow("open: not permitted") << Error(C::AccessDenied, "/t/a.txt", EPERM) << FileOperation::Open
                                             << opened + QStringLiteral("اجازه دسترسی به فایل یا پوشه آن نیست.");
        QTest::newRow("open: locked") << Error(C::Locked, "/t/a.txt") << FileOperation::Open
                                      << opened + QStringLiteral("فایل در دست برنامه دیگری است.");
        QTest::newRow("open: busy") << Error(C::Locked, "/t/a.txt", EWOULDBLOCK) << FileOperation::Open
                                    << opened + QStringLiteral("فایل در دست برنامه دیگری است.");
        QTest::newRow("open: too large") << Error(C::TooLarge, "/t/a.txt") << FileOperation::Open
                                         << opened + QStringLiteral("فایل بیش از اندازه بزرگ است.");
        QTest::newRow("open: a folder") << Error(C::NotRegularFile, "/t/a.txt", EISDIR) << FileOperation::Open
                                        << opened + QStringLiteral("این نام یک پوشه است، نه فایل.");
        QTest::newRow("open: a pipe") << Error(C::NotRegularFile, "/t/a.txt") << FileOperation::Open
                                      << opened + QStringLiteral("این نام یک فایل معمولی نیست.");
        QTest::newRow("open: memory") << Error(C::NoMemory, "/t/a.txt", ENOMEM) << FileOperation::Open
                                      << opened + QStringLiteral("حافظه کافی نیست.");
        // The rest in the system's own words.
        QTest::newRow("open: input/output error")
            << Error(C::System, "/t/a.txt", EIO) << FileOperation::Open << opened + Sys(EIO);
        QTest::newRow("open: name too long")
            << Error(C::System, "/t/a.txt", ENAMETOOLONG) << FileOperation::Open << opened + Sys(ENAMETOOLONG);
        QTest::newRow("save: read-only") << Error(C::ReadOnly, "/t/a.txt") << FileOperation::Save
                                         << saved + QStringLiteral("فایل فقط خواندنی است.");
        QTest::newRow("save: read-only file system") << Error(C::ReadOnly, "/t/a.txt", EROFS) << FileOperation::Save
                                                     << saved + QStringLiteral("دیسک فقط خواندنی است.");
        QTest::newRow("save: disk full") << Error(C::NoSpace, "/t/a.txt", ENOSPC) << FileOperation::Save
                                         << saved + QStringLiteral("جای خالی دیسک کافی نیست.");
        QTest::newRow("save: quota full") << Error(C::NoSpace, "/t/a.txt", EDQUOT) << FileOperation::Save
                                          << saved + QStringLiteral("سهمیه شما از دیسک پر است.");
        QTest::newRow("save: file size limit") << Error(C::TooLarge, "/t/a.txt", EFBIG) << FileOperation::Save
                                               << saved + QStringLiteral("فایل بیش از اندازه بزرگ است.");
        QTest::newRow("save: folder missing") << Error(C::NotFound, "/t/a.txt", ENOTDIR) << FileOperation::Save
                                              << saved + QStringLiteral("فایل یا پوشه آن پیدا نشد.");
        QTest::newRow("save: backup is the file") << Error(C::BackupIsTarget, "/t/a.txt") << FileOperation::Save
                                                  << saved + QStringLiteral("نام فایل پشتیبان همان نام خود فایل است.");
        QTest::newRow("save: unknown") << Error(C::System, "/t/a.txt") << FileOperation::Save
                                       << saved + QStringLiteral("خطای ناشناخته");
        // A cell is named as the status bar names it.
        const auto inCell = [](FileErrorCode code, std::int64_t row, int column, std::string name) {
            FileError e(code, "/t/a.txt");
            e.row = row;
            e.column = column;
            e.subject = std::move(name);
            e.codePoint = 0x20AA;
            return e;
        };
        const QString shekel = QStringLiteral("نویسه «\u2068₪\u2069» (U+20AA) در ");
        const QString fits = QStringLiteral(" در رمزگذاری Windows-1256 نیست. جدول را با UTF-8 یا UTF-16 ذخیره کنید.");
        QTest::newRow("save: character in a named column")
            << inCell(C::NotInEncoding, 4, 4, "شهر") << FileOperation::Save
            << saved + shekel + QStringLiteral("ردیف 4، ستون \u2068شهر\u2069") + fits;
        QTest::newRow("save: character in a column without a name")
            << inCell(C::NotInEncoding, 1234, 2, "") << FileOperation::Save
            << saved + shekel + QStringLiteral("ردیف 1,234، ستون \u20682\u2069") + fits;
        QTest::newRow("save: character in the header block")
            << inCell(C::NotInEncoding, 3, 0, "") << FileOperation::Save
            << saved + shekel + QStringLiteral("سطر 3 سرصفحه جدول") + fits;
        QTest::newRow("save: TAB in a fixed-width cell")
            << inCell(C::TabInCell, 2, 1, "کد") << FileOperation::Save
            << saved
                + QStringLiteral(
                    "خانه ردیف 2، ستون \u2068کد\u2069 نویسه TAB دارد و در فایلی که خانه‌هایش با TAB جدا "
                    "می‌شوند دو خانه می‌شود. TAB را از خانه بردارید.");

        QTest::newRow("workbook: no name") << Error(C::NoFileName, "") << FileOperation::Workbook
                                           << QStringLiteral("خطا در ذخیره فایل اکسل\n\nنام فایل داده نشده است.");
        QTest::newRow("workbook: folder missing") << Error(C::NotFound, "/t/x.xlsx", ENOENT) << FileOperation::Workbook
                                                  << book + QStringLiteral("فایل یا پوشه آن پیدا نشد.");
        QTest::newRow("workbook: target is a folder")
            << Error(C::NotRegularFile, "/t/x.xlsx", EISDIR) << FileOperation::Workbook
            << book + QStringLiteral("این نام یک پوشه است، نه فایل.");
        QTest::newRow("workbook: no permission")
            << Error(C::AccessDenied, "/t/x.xlsx", EACCES) << FileOperation::Workbook
            << book + QStringLiteral("اجازه دسترسی به فایل یا پوشه آن نیست.");
        QTest::newRow("workbook: disk full") << Error(C::NoSpace, "/t/x.xlsx", ENOSPC) << FileOperation::Workbook
                                             << book + QStringLiteral("جای خالی دیسک کافی نیست.");
        QTest::newRow("workbook: input/output error")
            << Error(C::System, "/t/x.xlsx", EIO) << FileOperation::Workbook << book + Sys(EIO);
        QTest::newRow("workbook: rows")
            << Limit(C::TooManyRows, 1048577, 1048576) << FileOperation::Workbook
            << book
                + QStringLiteral(
                    "جدول 1048577 سطر دارد و فایل اکسل حداکثر 1048576 سطر می‌پذیرد.");
        QTest::newRow("workbook: columns")
            << Limit(C::TooManyColumns, 16385, 16384) << FileOperation::Workbook
            << book
                + QStringLiteral(
                    "جدول 16385 ستون دارد و فایل اکسل حداکثر 16384 ستون می‌پذیرد.");
        QTest::newRow("workbook: long cell") << Limit(C::CellTooLong, 40000, 32767, "B2") << FileOperation::Workbook
                                             << book + QStringLiteral("خانه B2 بیش از 32767 نویسه دارد.");
        QTest::newRow("workbook: empty sheet name") << Detailed(C::BadSheetName, "", "") << FileOperation::Workbook
                                                    << book + QStringLiteral("نام برگه خالی است.");
        QTest::newRow("workbook: sheet name refused")
            << Detailed(C::BadSheetName, "a/b", "Worksheet name cannot contain invalid characters.")
            << FileOperation::Workbook
            << book + QStringLiteral("نام برگه «a/b» پذیرفته نیست: Worksheet name cannot contain invalid characters.");
        QTest::newRow("workbook: cell refused")
            << Detailed(C::Library, "C3", "Memory error, failed to malloc().") << FileOperation::Workbook
            << book + QStringLiteral("C3: Memory error, failed to malloc().");
        QTest::newRow("workbook: incomplete")
            << Detailed(C::Incomplete, "", "no sheet1.xml") << FileOperation::Workbook
            << book + QStringLiteral("فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (no sheet1.xml)");
        QTest::newRow("workbook: memory")
            << Error(C::NoMemory, "/t/x.xlsx") << FileOperation::Workbook << book + QStringLiteral("حافظه کافی نیست.");
        QTest::newRow("workbook: unknown")
            << Error(C::System, "/t/x.xlsx") << FileOperation::Workbook << book + QStringLiteral("خطای ناشناخته");
        // Opening a workbook.
        const QString book2 = QStringLiteral("فایل «") + lri + "/t/x.xlsx" + pdi + QStringLiteral("» باز نشد.\n");
        QTest::newRow("open: no workbook") << Error(C::NotWorkbook, "/t/x.xlsx") << FileOperation::Open
                                           << book2 + QStringLiteral("این فایل کتاب کار xlsx، ods یا xls نیست.");
        QTest::newRow("open: .xlsb") << Detailed(C::WorkbookKindNotRead, ".xlsb", "") << FileOperation::Open
                                     << book2
                + QStringLiteral("این نوع کتاب کار خوانده نمی‌شود (") + lri + ".xlsb" + pdi
                + ").";
        QTest::newRow("open: password")
            << Error(C::PasswordProtected, "/t/x.xlsx") << FileOperation::Open
            << book2
                + QStringLiteral(
                    "این کتاب کار با گذرواژه محافظت شده است و خوانده نمی‌شود.");
        QTest::newRow("open: damaged part")
            << Detailed(C::WorkbookDamaged, "xl/worksheets/sheet1.xml", "no element found at line 1, column 9")
            << FileOperation::Open
            << book2 + QStringLiteral("کتاب کار آسیب دیده است؛ بخش «") + lri + "xl/worksheets/sheet1.xml" + pdi
                + QStringLiteral("» (") + lri + "no element found at line 1, column 9" + pdi + ").";
        QTest::newRow("open: damaged zip") << Detailed(C::WorkbookDamaged, "", "") << FileOperation::Open
                                           << book2 + QStringLiteral("کتاب کار آسیب دیده است.");
        FileError bomb = Detailed(C::UnpacksTooLarge, "xl/worksheets/sheet1.xml", "");
        bomb.limit = 93323264;
        QTest::newRow("open: zip bomb")
            << bomb << FileOperation::Open
            << book2 + QStringLiteral("بخش «") + lri + "xl/worksheets/sheet1.xml" + pdi
                + QStringLiteral(
                    "» کتاب کار پس از باز شدن از 93323264 بایت بزرگ‌تر می‌شود؛ فایل ساختگی یا آسیب دیده است.");
        QTest::newRow("open: DTD")
            << Detailed(C::XmlDeclarations, "xl/worksheets/sheet1.xml", "") << FileOperation::Open
            << book2 + QStringLiteral("بخش «") + lri + "xl/worksheets/sheet1.xml" + pdi
                + QStringLiteral(
                    "» کتاب کار تعریف DTD دارد که برای ایمنی خوانده نمی‌شود.");
        QTest::newRow("open: cell out of range") << Detailed(C::CellOutOfRange, "XFE1", "") << FileOperation::Open
                                                 << book2 + QStringLiteral("خانه «") + lri + "XFE1" + pdi
                + QStringLiteral("» بیرون از محدوده برگه است؛ کتاب کار آسیب دیده است.");
        QTest::newRow("open: no such sheet")
            << Detailed(C::SheetNotFound, "فروش", "") << FileOperation::Open
            << book2
                + QStringLiteral(
                    "کتاب کار برگه‌ای به نام یا شماره «فروش» ندارد.");
        QTest::newRow("open: sheet too large") << Error(C::TooLarge, "/t/x.xlsx") << FileOperation::Open
                                               << book2 + QStringLiteral("فایل بیش از اندازه بزرگ است.");
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
