#pragma once
// A zip archive read through libzip: its entries by name, each streamed in
// pieces with a cap on what it may inflate to.

#include "text/FileError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct zip;

namespace rasmik {

class ZipArchive {
public:
    // Pieces of an entry as they inflate; false stops the read (Cancelled).
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the archive at path: the system's errors as themselves, a file
    // that is no zip or a broken one as WorkbookDamaged.
    FileStatus open(const std::string& path);
    bool isOpen() const { return zip_ != nullptr; }
    std::uint64_t fileSize() const { return fileSize_; }

    std::uint64_t entryCount() const;
    std::string entryName(std::uint64_t index) const;
    // The entry's size as its directory says (not trusted while reading).
    std::uint64_t entrySize(std::uint64_t index) const;
    // The entry named name, letters of either case (part names in a workbook
    // are not case-sensitive).
    std::optional<std::uint64_t> find(std::string_view name) const;

    // Streams the entry to sink, checking its CRC and its size. More than
    // limit bytes fail as UnpacksTooLarge; an entry encrypted by the zip
    // itself as PasswordProtected; damaged data as WorkbookDamaged.
    FileStatus read(std::uint64_t index, std::uint64_t limit, const Sink& sink) const;
    // The whole entry, at most limit bytes.
    FileStatus readAll(std::uint64_t index, std::uint64_t limit, std::string& out) const;

private:
    FileError failure(FileErrorCode code, std::string subject, std::string detail) const;

    ::zip* zip_ = nullptr;
    std::string path_;
    std::uint64_t fileSize_ = 0;
};

} // namespace rasmik
