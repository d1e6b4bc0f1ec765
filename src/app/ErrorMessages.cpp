#include "app/ErrorMessages.h"

#include "render/QtText.h"
#include "render/UiText.h"
#include "table/ColumnSum.h"
#include "text/TextEncoding.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <string>

namespace rasmik {

namespace {

// The cell of an error (a line of the header block for column 0).
QString PlaceOfError(const FileError& e)
{
    if (e.column == 0)
        return Ui::tr("سطر %1 سرصفحه جدول").arg(e.row);
    return persianCellPlace(CellPlace{e.row, e.column, e.subject});
}

// Latin text (a part name, a library's words) isolated left to right.
QString Isolated(const std::string& text)
{
    return QChar(0x2066) + QString::fromStdString(text) + QChar(0x2069);
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// The reason line: the common cases in Persian, the system's own words for
// the rest.
QString PersianReason(const FileError& e)
{
    using C = FileErrorCode;
    switch (e.code) {
    case C::NotWorkbook: return Ui::tr("این فایل کتاب کار xlsx، ods یا xls نیست.");
    case C::WorkbookKindNotRead:
        if (e.subject.empty())
            return Ui::tr("این نوع کتاب کار خوانده نمی‌شود.");
        return Ui::tr("این نوع کتاب کار خوانده نمی‌شود (%1).").arg(Isolated(e.subject));
    case C::PasswordProtected:
        return Ui::tr(
            "این کتاب کار با گذرواژه محافظت شده است و خوانده نمی‌شود.");
    case C::WorkbookDamaged:
        if (e.subject.empty() && e.detail.empty())
            return Ui::tr("کتاب کار آسیب دیده است.");
        if (e.detail.empty())
            return Ui::tr("کتاب کار آسیب دیده است؛ بخش «%1».").arg(Isolated(e.subject));
        if (e.subject.empty())
            return Ui::tr("کتاب کار آسیب دیده است (%1).").arg(Isolated(e.detail));
        return Ui::tr("کتاب کار آسیب دیده است؛ بخش «%1» (%2).").arg(Isolated(e.subject), Isolated(e.detail));
    case C::UnpacksTooLarge:
        return Ui::
            tr("بخش «%1» کتاب کار پس از باز شدن از %2 بایت بزرگ‌تر می‌شود؛ فایل ساختگی یا آسیب دیده است.")
                .arg(Isolated(e.subject), QString::number(e.limit));
    case C::XmlDeclarations:
        return Ui::
            tr("بخش «%1» کتاب کار تعریف DTD دارد که برای ایمنی خوانده نمی‌شود.")
                .arg(Isolated(e.subject));
    case C::CellOutOfRange:
        return Ui::tr("خانه «%1» بیرون از محدوده برگه است؛ کتاب کار آسیب دیده است.").arg(Isolated(e.subject));
    case C::SheetNotFound:
        return Ui::tr("کتاب کار برگه‌ای به نام یا شماره «%1» ندارد.")
            .arg(Text(e.subject));
    case C::NoFileName: return Ui::tr("نام فایل داده نشده است.");
    case C::NotFound: return Ui::tr("فایل یا پوشه آن پیدا نشد.");
    case C::AccessDenied: return Ui::tr("اجازه دسترسی به فایل یا پوشه آن نیست.");
    case C::Locked: return Ui::tr("فایل در دست برنامه دیگری است.");
    case C::OverWorkbook:
        return Ui::tr(
            "این جدول از همین کتاب کار خوانده شده است و روی کتاب کار نوشته نمی‌شود؛ با نام دیگری ذخیره کنید.");
    case C::RecordDamaged:
        return Ui::tr("نسخه بازیابی آسیب دیده است و خوانده نمی‌شود.");
    case C::ChangedOnDisk:
        return Ui::tr("فایل پس از باز شدن یا آخرین ذخیره با برنامه دیگری تغییر کرده است؛ چیزی روی آن نوشته نشد.");
    case C::ReadOnly:
        if (e.sysErrno == EROFS)
            return Ui::tr("دیسک فقط خواندنی است.");
        return Ui::tr("فایل فقط خواندنی است.");
    case C::NotRegularFile:
        if (e.sysErrno == EISDIR)
            return Ui::tr("این نام یک پوشه است، نه فایل.");
        return Ui::tr("این نام یک فایل معمولی نیست.");
    case C::BackupIsTarget: return Ui::tr("نام فایل پشتیبان همان نام خود فایل است.");
    case C::TooLarge: return Ui::tr("فایل بیش از اندازه بزرگ است.");
    case C::NoSpace:
        if (e.sysErrno == EDQUOT)
            return Ui::tr("سهمیه شما از دیسک پر است.");
        return Ui::tr("جای خالی دیسک کافی نیست.");
    case C::NoMemory: return Ui::tr("حافظه کافی نیست.");
    case C::NotInEncoding:
        return Ui::tr("نویسه %1 در %2 در رمزگذاری Windows-1256 نیست. جدول را با UTF-8 یا UTF-16 ذخیره کنید.")
            .arg(Text(NamedCharacter(e.codePoint)), PlaceOfError(e));
    case C::TabInCell:
        return Ui::
            tr("خانه %1 نویسه TAB دارد و در فایلی که خانه‌هایش با TAB جدا می‌شوند دو خانه می‌شود. TAB را "
               "از خانه بردارید.")
                .arg(PlaceOfError(e));
    case C::BreakInCell:
        return Ui::
            tr("خانه %1 نویسه TAB یا شکست خط دارد که فایلی با خانه‌های جداشده با TAB نگه نمی‌دارد. جدول را "
               "با نوع CSV ذخیره کنید.")
                .arg(PlaceOfError(e));
    case C::System:
        if (e.sysErrno == 0 && e.detail.empty())
            return Ui::tr("خطای ناشناخته");
        break;
    default: break;
    }
    return Text(DescribeFileError(e));
}

// The reason line of a workbook message: the export's own cases, then the
// common ones; the library's words for the rest.
QString WorkbookReason(const FileError& e)
{
    using C = FileErrorCode;
    switch (e.code) {
    case C::TooManyRows:
        return Ui::tr("جدول %1 سطر دارد و فایل اکسل حداکثر %2 سطر می‌پذیرد.")
            .arg(QString::number(e.count), QString::number(e.limit));
    case C::TooManyColumns:
        return Ui::tr("جدول %1 ستون دارد و فایل اکسل حداکثر %2 ستون می‌پذیرد.")
            .arg(QString::number(e.count), QString::number(e.limit));
    case C::BadSheetName:
        if (e.subject.empty())
            return Ui::tr("نام برگه خالی است.");
        return Ui::tr("نام برگه «%1» پذیرفته نیست: %2").arg(Text(e.subject), Text(e.detail));
    case C::CellTooLong: return Ui::tr("خانه %1 بیش از %2 نویسه دارد.").arg(Text(e.subject), QString::number(e.limit));
    case C::Incomplete: return Ui::tr("فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (%1)").arg(Text(e.detail));
    default: break;
    }
    return PersianReason(e);
}

} // namespace

QString PathText(const std::string& path)
{
    if (path.empty())
        return {};
    return QChar(0x2066) + QFile::decodeName(QByteArray::fromRawData(path.data(), static_cast<int>(path.size())))
        + QChar(0x2069);
}

QString persianCellPlace(const CellPlace& place)
{
    QString name = QString::fromStdString(place.name).trimmed();
    if (name.isEmpty())
        name = QString::number(place.column);
    const QString row = QString::fromStdString(FormatGroupedNumber(static_cast<double>(place.row)));
    return Ui::tr("ردیف %1، ستون %2").arg(row, QChar(0x2068) + name + QChar(0x2069));
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
        return Ui::tr("فایل «%1» ذخیره نشد و محتوای قبلی آن هم برنگشت؛ فایل ممکن است ناقص باشد.\n%2")
            .arg(PathText(error.path), QString::fromStdString(DescribeFileError(error)));
    switch (operation) {
    case FileOperation::Open: return Ui::tr("فایل «%1» باز نشد.\n%2").arg(PathText(error.path), PersianReason(error));
    case FileOperation::Save:
        return Ui::tr("فایل «%1» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n%2")
            .arg(PathText(error.path), PersianReason(error));
    case FileOperation::Workbook: break;
    }
    return Ui::tr("خطا در ذخیره فایل اکسل\n%1\n%2").arg(PathText(error.path), WorkbookReason(error));
}

QString persianBackupMessage(const FileError& warning)
{
    return Ui::tr("جدول ذخیره شد، ولی فایل پشتیبان «%1» ساخته نشد.\n%2")
        .arg(PathText(warning.path), QString::fromStdString(DescribeFileError(warning)));
}

} // namespace rasmik
