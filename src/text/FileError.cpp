#include "text/FileError.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace rasmik {

FileErrorCode CodeOfErrno(int err)
{
    switch (err) {
    case 0: return FileErrorCode::System;
    case ENOENT:
    case ENOTDIR: return FileErrorCode::NotFound;
    case EACCES:
    case EPERM: return FileErrorCode::AccessDenied;
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case ETXTBSY: return FileErrorCode::Locked;
    case EROFS: return FileErrorCode::ReadOnly;
    case EISDIR: return FileErrorCode::NotRegularFile;
    case EFBIG:
    case EOVERFLOW: return FileErrorCode::TooLarge;
    case ENOSPC:
    case EDQUOT: return FileErrorCode::NoSpace;
    case ENOMEM: return FileErrorCode::NoMemory;
    case ECANCELED: return FileErrorCode::Cancelled;
    default: return FileErrorCode::System;
    }
}

FileError ErrnoError(int err, const std::string& path)
{
    FileError e(CodeOfErrno(err), path);
    e.sysErrno = err;
    return e;
}

std::string CellPlaceText(const FileError& error)
{
    if (error.column == 0)
        return "line " + std::to_string(error.row) + " of the header block";
    std::string place = "row " + std::to_string(error.row) + ", column " + std::to_string(error.column);
    if (!error.subject.empty())
        place += " \"" + error.subject + "\"";
    return place;
}

std::string DescribeFileError(const FileError& error)
{
    using C = FileErrorCode;
    if (error.sysErrno != 0 && error.detail.empty() && error.code != C::NotRestored)
        return std::generic_category().message(error.sysErrno);
    switch (error.code) {
    case C::None: return "no error";
    case C::Cancelled: return "cancelled";
    case C::NoFileName: return "no file name given";
    case C::NotFound: return std::generic_category().message(ENOENT);
    case C::AccessDenied: return std::generic_category().message(EACCES);
    case C::Locked: return "locked by another program";
    case C::ReadOnly: return "the file is read-only";
    case C::NotRegularFile: return "not a regular file";
    case C::BackupIsTarget: return "the backup name is the file itself";
    case C::NotRestored:
        return "writing the file in place failed ("
            + (error.sysErrno != 0 ? std::generic_category().message(error.sysErrno) : std::string("unknown error"))
            + ") and its old content could not be put back";
    case C::TooLarge: return "too large";
    case C::NoSpace: return std::generic_category().message(ENOSPC);
    case C::NoMemory: return "not enough memory";
    case C::System: return error.detail.empty() ? std::string("unknown error") : error.detail;
    case C::EmptyTable: return "the table is empty";
    case C::ExportSwitchedOff: return "the export is switched off (NoSheet=1 in AppOptions.txt)";
    case C::TooManyRows:
        return "the table has " + std::to_string(error.count) + " rows; a workbook takes at most "
            + std::to_string(error.limit);
    case C::TooManyColumns:
        return "the table has " + std::to_string(error.count) + " columns; a workbook takes at most "
            + std::to_string(error.limit);
    case C::NotInEncoding: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(error.codePoint));
        return CellPlaceText(error) + ": the character " + hex + " has no Windows-1256 form";
    }
    case C::TabInCell: return CellPlaceText(error) + ": the cell holds a TAB, which the tab-separated file cannot hold";
    case C::BreakInCell:
        return CellPlaceText(error)
            + ": the cell holds a TAB or a line break, which a tab-separated file cannot hold; save it as CSV";
    case C::TextCut:
        return "a NUL at byte " + std::to_string(error.count + 1)
            + " cut the table off; writing over the file would lose its last "
            + std::to_string(error.limit - error.count) + " bytes";
    case C::CellTooLong:
        return "cell " + error.subject + " holds more than " + std::to_string(error.limit) + " characters";
    case C::BadSheetName:
        if (error.subject.empty())
            return "the sheet name is empty";
        return "the sheet name \"" + error.subject + "\" is refused: " + error.detail;
    case C::Incomplete:
        return "the file was not written whole; the disk or the temporary folder may be full (" + error.detail + ")";
    case C::Library: return error.subject.empty() ? error.detail : error.subject + ": " + error.detail;
    case C::NotWorkbook: return "not an .xlsx, .ods or .xls workbook";
    case C::WorkbookKindNotRead:
        return "this kind of workbook is not read"
            + (error.subject.empty() ? std::string() : " (" + error.subject + ")");
    case C::PasswordProtected: return "the workbook is protected by a password";
    case C::WorkbookDamaged:
        return "the workbook is damaged" + (error.subject.empty() ? std::string() : " in " + error.subject)
            + (error.detail.empty() ? std::string() : ": " + error.detail);
    case C::UnpacksTooLarge:
        return "the part " + error.subject + " of the workbook unpacks to more than " + std::to_string(error.limit)
            + " bytes";
    case C::XmlDeclarations: return "the part " + error.subject + " of the workbook holds a DTD, which is not read";
    case C::CellOutOfRange: return "the cell reference " + error.subject + " lies outside the sheet";
    case C::SheetNotFound: return "the workbook has no sheet " + error.subject;
    case C::OverWorkbook: return "the table was read from this workbook, which is never written over";
    case C::ChangedOnDisk: return "another program changed the file since it was read or saved";
    case C::RecordDamaged: return "the recovery record is damaged";
    }
    return "unknown error";
}

} // namespace rasmik
