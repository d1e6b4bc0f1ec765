#include "app/ErrorMessages.h"

#include <QByteArray>
#include <QFile>

#include <string>

namespace rasmik {

namespace {

QString PathText(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromRawData(path.data(), static_cast<int>(path.size())));
}

// The reason line of a workbook message: the export's own cases in Persian,
// the system's and the library's words for the rest.
std::string WorkbookReason(const FileError& e)
{
    using C = FileErrorCode;
    switch (e.code) {
    case C::NoFileName:
        return "نام فایل داده نشده است.";
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
    case C::CellTooLong:
        return "خانه " + e.subject + " بیش از " + std::to_string(e.limit) + " نویسه دارد.";
    case C::Incomplete:
        return "فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (" + e.detail + ")";
    case C::NoMemory:
        if (e.sysErrno == 0)
            return "حافظه کافی نیست.";
        break;
    case C::System:
        if (e.sysErrno == 0 && e.detail.empty())
            return "خطای ناشناخته";
        break;
    default:
        break;
    }
    return DescribeFileError(e);
}

} // namespace

bool needsMessage(const FileError& error)
{
    switch (error.code) {
    case FileErrorCode::None:
    case FileErrorCode::Cancelled:
    case FileErrorCode::EmptyTable:
    case FileErrorCode::ExportSwitchedOff:
        return false;
    default:
        return true;
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
            .arg(PathText(error.path), QString::fromStdString(DescribeFileError(error)));
    case FileOperation::Save:
        return QStringLiteral("فایل «%1» ذخیره نشد؛ فایل قبلی دست نخورده ماند.\n%2")
            .arg(PathText(error.path), QString::fromStdString(DescribeFileError(error)));
    case FileOperation::Workbook:
        break;
    }
    const std::string text = "خطا در ذخیره فایل اکسل\n" + error.path + "\n" + WorkbookReason(error);
    return QString::fromUtf8(text.c_str());
}

QString persianBackupMessage(const FileError& warning)
{
    return QStringLiteral("جدول ذخیره شد، ولی فایل پشتیبان «%1» ساخته نشد.\n%2")
        .arg(PathText(warning.path), QString::fromStdString(DescribeFileError(warning)));
}

} // namespace rasmik
