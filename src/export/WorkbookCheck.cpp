#include "export/WorkbookCheck.h"

#include "text/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace rasmik {

namespace {

// Reads n bytes at offset; false when the file ends first or fails.
bool ReadAt(int fd, std::uint64_t offset, char* into, std::size_t n, std::string& why)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, into + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            why = got < 0 ? std::strerror(errno) : "cut off at " + std::to_string(offset + done) + " bytes";
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadAt(int fd, std::uint64_t offset, std::string& into, std::size_t n, std::string& why)
{
    into.resize(n);
    return ReadAt(fd, offset, into.data(), n, why);
}

} // namespace

std::string CheckWrittenWorkbook(const std::string& path, const ZipLayout& layout)
{
    UniqueFd fd(OpenFile(path, O_RDONLY));
    if (!fd.valid())
        return std::string("cannot be read back: ") + std::strerror(errno);
    struct stat st { };
    if (::fstat(fd.get(), &st) != 0)
        return std::string("cannot be read back: ") + std::strerror(errno);
    if (static_cast<std::uint64_t>(st.st_size) != layout.fileSize)
        return "the file holds " + std::to_string(st.st_size) + " bytes, " + std::to_string(layout.fileSize)
            + " were written";

    // The central directory and the end records, as the writer made them.
    std::vector<std::size_t> entryEnds;
    std::string expected;
    for (const ZipPart& part : layout.parts) {
        expected += zip::CentralEntry(part, layout.zip64);
        entryEnds.push_back(expected.size());
    }
    expected += zip::EndRecords(layout);
    if (layout.directoryOffset + expected.size() != layout.fileSize)
        return "the central directory does not end the file";
    std::string found;
    std::string why;
    if (!ReadAt(fd.get(), layout.directoryOffset, found, expected.size(), why))
        return "central directory: " + why;
    if (found != expected) {
        std::size_t at = 0;
        while (found[at] == expected[at])
            ++at;
        for (std::size_t i = 0; i < entryEnds.size(); ++i)
            if (at < entryEnds[i])
                return "central directory: the entry of " + layout.parts[i].name + " differs";
        return layout.zip64 && at < expected.size() - zip::EndSize ? "the zip64 end of central directory differs"
                                                                   : "the end of central directory differs";
    }

    // Each part's local header and deflated bytes, back to back from the start.
    std::uint64_t next = 0;
    std::vector<char> buffer(256 << 10);
    for (const ZipPart& part : layout.parts) {
        if (part.offset != next)
            return part.name + ": not where the part before it ends";
        const std::string header = zip::LocalHeader(part, layout.zip64);
        if (header.size() != part.headerSize)
            return part.name + ": the local header changed size";
        if (!ReadAt(fd.get(), part.offset, found, header.size(), why))
            return part.name + ": " + why;
        if (found != header)
            return part.name + ": the local header differs";
        std::uint64_t at = part.offset + header.size();
        const std::uint64_t end = at + part.compressedSize;
        auto crc = crc32(0, nullptr, 0);
        while (at < end) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - at));
            if (!ReadAt(fd.get(), at, buffer.data(), n, why))
                return part.name + ": " + why;
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
            at += n;
        }
        if (static_cast<std::uint32_t>(crc) != part.compressedCrc)
            return part.name + ": the deflated bytes differ from those written";
        next = end;
    }
    if (next != layout.directoryOffset)
        return "the central directory is not where the last part ends";
    return {};
}

} // namespace rasmik
