#include "export/ZipArchive.h"

#include <cerrno>
#include <vector>

#include <sys/stat.h>
#include <zip.h>

namespace rasmik {

namespace {

constexpr std::size_t PieceSize = std::size_t{1} << 18;

std::string ZipReason(zip_error_t* error)
{
    return zip_error_strerror(error);
}

} // namespace

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive()
{
    if (zip_)
        zip_discard(zip_);
}

FileError ZipArchive::failure(FileErrorCode code, std::string subject, std::string detail) const
{
    FileError e(code, path_);
    e.subject = std::move(subject);
    e.detail = std::move(detail);
    return e;
}

FileStatus ZipArchive::open(const std::string& path)
{
    path_ = path;
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return ErrnoError(errno, path);
    if (!S_ISREG(st.st_mode))
        return FileStatus(FileErrorCode::NotRegularFile, path);
    fileSize_ = static_cast<std::uint64_t>(st.st_size);
    int code = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (zip_)
        return {};
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    FileStatus result;
    const int sys = zip_error_code_system(&error);
    if (code == ZIP_ER_OPEN && sys != 0)
        result = ErrnoError(sys, path);
    else if (code == ZIP_ER_MEMORY)
        result = FileStatus(FileErrorCode::NoMemory, path);
    else if (code == ZIP_ER_READ || code == ZIP_ER_SEEK)
        result = sys != 0 ? FileStatus(ErrnoError(sys, path))
                          : FileStatus(failure(FileErrorCode::System, {}, ZipReason(&error)));
    else
        result = failure(FileErrorCode::WorkbookDamaged, {}, ZipReason(&error));
    zip_error_fini(&error);
    return result;
}

std::uint64_t ZipArchive::entryCount() const
{
    const zip_int64_t n = zip_ ? zip_get_num_entries(zip_, 0) : 0;
    return n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

std::string ZipArchive::entryName(std::uint64_t index) const
{
    const char* name = zip_get_name(zip_, index, ZIP_FL_ENC_RAW);
    return name ? std::string(name) : std::string();
}

std::uint64_t ZipArchive::entrySize(std::uint64_t index) const
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return 0;
    return st.size;
}

std::optional<std::uint64_t> ZipArchive::find(std::string_view name) const
{
    if (!zip_)
        return std::nullopt;
    const std::string n(name);
    const zip_int64_t i = zip_name_locate(zip_, n.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
    if (i < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(i);
}

FileStatus ZipArchive::read(std::uint64_t index, std::uint64_t limit, const Sink& sink) const
{
    const std::string name = entryName(index);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, index, 0, &st) != 0)
        return failure(FileErrorCode::WorkbookDamaged, name, ZipReason(zip_get_error(zip_)));
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        return failure(FileErrorCode::PasswordProtected, name, {});
    if ((st.valid & ZIP_STAT_SIZE) && st.size > limit) {
        FileError e = failure(FileErrorCode::UnpacksTooLarge, name, {});
        e.limit = limit;
        return e;
    }
    zip_file_t* file = zip_fopen_index(zip_, index, 0);
    if (!file) {
        zip_error_t* error = zip_get_error(zip_);
        const int code = zip_error_code_zip(error);
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
            return failure(FileErrorCode::PasswordProtected, name, {});
        if (code == ZIP_ER_MEMORY)
            return FileStatus(FileErrorCode::NoMemory, path_);
        return failure(FileErrorCode::WorkbookDamaged, name, ZipReason(error));
    }
    std::vector<char> piece(PieceSize);
    std::uint64_t total = 0;
    FileStatus result;
    for (;;) {
        const zip_int64_t got = zip_fread(file, piece.data(), piece.size());
        if (got < 0) {
            zip_error_t* error = zip_file_get_error(file);
            result = zip_error_code_zip(error) == ZIP_ER_MEMORY
                ? FileStatus(FileErrorCode::NoMemory, path_)
                : FileStatus(failure(FileErrorCode::WorkbookDamaged, name, ZipReason(error)));
            break;
        }
        if (got == 0)
            break;
        total += static_cast<std::uint64_t>(got);
        if (total > limit) {
            FileError e = failure(FileErrorCode::UnpacksTooLarge, name, {});
            e.limit = limit;
            result = e;
            break;
        }
        if (!sink(piece.data(), static_cast<std::size_t>(got))) {
            result = FileStatus(FileErrorCode::Cancelled, path_);
            break;
        }
    }
    zip_fclose(file);
    if (result && (st.valid & ZIP_STAT_SIZE) && total != st.size)
        return failure(FileErrorCode::WorkbookDamaged, name,
                       std::to_string(total) + " bytes instead of " + std::to_string(st.size));
    return result;
}

FileStatus ZipArchive::readAll(std::uint64_t index, std::uint64_t limit, std::string& out) const
{
    out.clear();
    return read(index, limit, [&](const char* data, std::size_t size) {
        out.append(data, size);
        return true;
    });
}

} // namespace rasmik
