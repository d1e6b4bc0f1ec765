#include "app/ErrorMessages.h"

#include "render/QtText.h"
#include "table/ColumnSum.h"
#include "text/TextEncoding.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <string>

namespace rasmik {

namespace {

// A path inside a Persian line is isolated as left-to-right text: unisolated,
// its leading "/" and its Latin runs are reordered with the Persian around it
// ("/tmp/a.txt" reads "tmp/a.txt/").
QString PathText(const std::string& path)
{
    if (path.empty())
        return {};
    return QChar(0x2066) + QFile::decodeName(QByteArray::fromRawData(path.data(), static_cast<int>(path.size())))
        + QChar(0x2069);
}

// The cell of an error (a line of the header block for column 0).
std::string PlaceOfError(const FileError& e)
{
    if (e.column == 0)
        return "سطر " + std::to_string(e.row) + " سرصفحه جدول";
    return persianCellPlace(CellPlace{e.row, e.column, e.subject}).toStdString();
}

// Latin text (a part name, a library's words) isolated left to right.
std::string Isolated(const std::string& text)
{
    return "\u2066" + text + "\u2069";
}

// The reason line: the common cases in Persian, the system's own words for
// the rest.
std::string PersianReason(const FileError& e)
{
    using C = FileErrorCode;
    switch (e.code) {
    case C::NotWorkbook: return "این فایل کتاب کار xlsx، ods یا xls نیست.";
    case C::WorkbookKindNotRead:
        return "این نوع کتاب کار خوانده نمی‌شود"
            + (e.subject.empty() ? std::string() : " (" + Isolated(e.subject) + ")") + ".";
    case C::PasswordProtected:
        return "این کتاب کار با گذرواژه محافظت شده است و خوانده نمی‌شود.";
    case C::WorkbookDamaged:
        return "کتاب کار آسیب دیده است" + (e.subject.empty() ? std::string() : "؛ بخش «" + Isolated(e.subject) + "»")
            + (e.detail.empty() ? std::string() : " (" + Isolated(e.detail) + ")") + ".";
    case C::UnpacksTooLarge:
        return "بخش «" + Isolated(e.subject) + "» کتاب کار پس از باز شدن از " + std::to_string(e.limit)
            + " بایت بزرگ‌تر می‌شود؛ فایل ساختگی یا آسیب دیده است.";
    case C::XmlDeclarations:
        return "بخش «" + Isolated(e.subject)
            + "» کتاب کار تعریف DTD دارد که برای ایمنی خوانده نمی‌شود.";
    case C::CellOutOfRange:
        return "خانه «" + Isolated(e.subject) + "» بیرون از محدوده برگه است؛ کتاب کار آسیب دیده است.";
    case C::SheetNotFound:
        return "کتاب کار برگه‌ای به نام یا شماره «" + e.subject + "» ندارد.";
    case C::NoFileName: return "نام فایل داده نشده است.";
    case C::NotFound: return "فایل یا پوشه آن پیدا نشد.";
    case C::AccessDenied: return "اجازه دسترسی به فایل یا پوشه آن نیست.";
    case C::Locked: return "فایل در دست برنامه دیگری است.";
    case C::OverWorkbook:
        return "این جدول از همین کتاب کار خوانده شده است و روی کتاب کار نوشته نمی‌شود؛ با نام دیگری ذخیره کنید.";
    case C::RecordDamaged: return "نسخه بازیابی آسیب دیده است و خوانده نمی‌شود.";
    case C::ChangedOnDisk:
        return "فایل پس از باز شدن یا آخرین ذخیره با برنامه دیگری تغییر کرده است؛ چیزی روی آن نوشته نشد.";
    case C::ReadOnly:
        if (e.sysErrno == EROFS)
            return "دیسک فقط خواندنی است.";
        return "فایل فقط خواندنی است.";
    case C::NotRegularFile:
        if (e.sysErrno == EISDIR)
            return "این نام یک پوشه است، نه فایل.";
        return "این نام یک فایل معمولی نیست.";
    case C::BackupIsTarget: return "نام فایل پشتیبان همان نام خود فایل است.";
    case C::TooLarge: return "فایل بیش از اندازه بزرگ است.";
    case C::NoSpace:
        if (e.sysErrno == EDQUOT)
            return "سهمیه شما از دیسک پر است.";
        return "جای خالی دیسک کافی نیست.";
    case C::NoMemory: return "حافظه کافی نیست.";
    case C::NotInEncoding:
        return "نویسه " + NamedCharacter(e.codePoint) + " در " + PlaceOfError(e)
            + " در رمزگذاری Windows-1256 نیست. جدول را با UTF-8 یا UTF-16 ذخیره کنید.";
    case C::TabInCell:
        return "خانه " + PlaceOfError(e)
            + " نویسه TAB دارد و در فایلی که خانه‌هایش با TAB جدا می‌شوند دو خانه می‌شود. TAB را از خانه بردارید.";
    case C::BreakInCell:
        return "خانه " + PlaceOfError(e)
            + " نویسه TAB یا شکست خط دارد که فایلی با خانه‌های جداشده با TAB نگه نمی‌دارد. جدول را با نوع CSV ذخیره کنید.";
    case C::System:
        if (e.sysErrno == 0 && e.detail.empty())
            return "خطای ناشناخته";
        break;
    default: break;
    }
    return DescribeFileError(e);
}

// The reason line of a workbook message: the export's own cases, then the
// common ones; the library's words for the rest.
std::string WorkbookReason(const FileError& e)
{
    using C = FileErrorCode;
    switch (e.code) {
    case C::TooManyRows:
        return "جدول " + std::to_string(e.count) + " سطر دارد و فایل اکسل حداکثر " + std::to_string(e.limit)
            + " سطر می‌پذیرد.";
    case C::TooManyColumns:
        return "جدول " + std::to_string(e.count) + " ستون دارد و فایل اکسل حداکثر " + std::to_string(e.limit)
            + " ستون می‌پذیرد.";
    case C::BadSheetName:
        if (e.subject.empty())
            return "نام برگه خالی است.";
        return "نام برگه «" + e.subject + "» پذیرفته نیست: " + e.detail;
    case C::CellTooLong: return "خانه " + e.subject + " بیش از " + std::to_string(e.limit) + " نویسه دارد.";
    case C::Incomplete: return "فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (" + e.detail + ")";
    default: break;
    }
    return PersianReason(e);
}

} // namespace

QString persianCellPlace(const CellPlace& place)
{
    QString name = QString::fromStdString(place.name).trimmed();
    if (name.isEmpty())
        name = QString::number(place.column);
    const QString row = QString::fromStdString(FormatGroupedNumber(static_cast<double>(place.row)));
    return QStringLiteral("ردیف %1، ستون %2").arg(row, QChar(0x2068) + name + QChar(0x2069));
}

bool needsMessage(const FileError& error)
{
    switch (error.code) {
    case FileErrorCode::None:
    case FileErrorCode::Cancelled:
    case FileErrorCode::EmptyTable:
    case FileErrorCode::ExportSwitchedOff: return false;
    default: return true;
    }
}

QString persianFileMessage(const FileError& error, FileOperation operation)
{
    if (error.code == FileErrorCode::NotRestored)
        return QStringLiteral("فایل «%1» ذخیره نشد و محتوای قبلی آن هم برنگشت؛ فایل ممکن است ناقص باشد.\n%2")
            .arg(PathText(error.path), QString::fromStdString(DescribeFileError(error)));
    switch (operation) {
    case FileOperation::Open:
        return QStringLiteral("فایل «%1» باز نشد.\n%2")
            .arg(PathText(error.path), QString::fromStdString(PersianReason(error)));
    case FileOperation::Save:
        return QStringLiteral("فایل «%1» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n%2")
            .arg(PathText(error.path), QString::fromStdString(PersianReason(error)));
    case FileOperation::Workbook: break;
    }
    return QStringLiteral("خطا در ذخیره فایل اکسل\n%1\n%2")
        .arg(PathText(error.path), QString::fromStdString(WorkbookReason(error)));
}

QString persianBackupMessage(const FileError& warning)
{
    return QStringLiteral("جدول ذخیره شد، ولی فایل پشتیبان «%1» ساخته نشد.\n%2")
        .arg(PathText(warning.path), QString::fromStdString(DescribeFileError(warning)));
}

} // namespace rasmik
