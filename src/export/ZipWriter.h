#pragma once
// A zip archive written front to back into a StagedFile: each part deflated
// (zlib) as its bytes come, its local header completed in place once the part
// ends, then the central directory. What was written is kept (ZipLayout), so
// that the file can be read back and compared without inflating anything.

#include "text/FileError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

class StagedFile;

struct ZipPart {
    std::string name;
    std::uint64_t offset = 0; // of its local header
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;           // of the part's bytes
    std::uint32_t compressedCrc = 0; // of its deflated bytes as written
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint16_t headerSize = 0; // the local header with its name and extra field

    bool operator==(const ZipPart&) const = default;
};

struct ZipLayout {
    std::vector<ZipPart> parts;
    bool zip64 = false; // zip64 extra fields on every part, zip64 end records
    std::uint64_t directoryOffset = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t fileSize = 0;
};

// Fixed sizes of the records, for the writer and its check.
namespace zip {
constexpr std::uint32_t LocalSignature = 0x04034b50;
constexpr std::uint32_t CentralSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint32_t End64Signature = 0x06064b50;
constexpr std::uint32_t Locator64Signature = 0x07064b50;
constexpr std::size_t LocalHeaderSize = 30;
constexpr std::size_t CentralHeaderSize = 46;
constexpr std::size_t EndSize = 22;
constexpr std::size_t End64Size = 56;
constexpr std::size_t Locator64Size = 20;
constexpr std::uint16_t Deflated = 8;
constexpr std::uint16_t Version = 20;   // deflate
constexpr std::uint16_t Version64 = 45; // zip64
constexpr std::uint32_t Max32 = 0xFFFFFFFFu;

// The local header the writer makes of part, once its sizes are known.
std::string LocalHeader(const ZipPart& part, bool zip64);
// The central directory entry the writer makes of part.
std::string CentralEntry(const ZipPart& part, bool zip64);
// The end records for layout (the zip64 record and locator first when zip64).
std::string EndRecords(const ZipLayout& layout);
} // namespace zip

class ZipWriter {
public:
    // level: zlib's 1 (fastest) to 9. zip64: every part and the end get
    // zip64 records; without it a part or offset past 4 GB is refused.
    ZipWriter(StagedFile& file, int level, bool zip64);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Starts a part; the one before it must have ended.
    FileStatus begin(std::string_view name);
    // More bytes of the part.
    FileStatus write(std::string_view bytes);
    // Flushes the deflater and completes the part's local header.
    FileStatus end();
    // The central directory and the end records; the archive is then whole.
    FileStatus finish();

    const ZipLayout& layout() const { return layout_; }

private:
    FileStatus deflateSome(int flush);
    FileStatus append(std::string_view bytes);
    FileStatus failure(FileErrorCode code, std::string detail) const;

    struct Deflater;
    StagedFile& file_;
    std::unique_ptr<Deflater> z_;
    ZipLayout layout_;
    std::uint64_t position_ = 0;
    bool inPart_ = false;
    bool failed_ = false;
    std::uint16_t dosTime_ = 0;
    std::uint16_t dosDate_ = 0;
    std::vector<char> out_;
};

} // namespace rasmik
