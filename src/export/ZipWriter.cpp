#include "export/ZipWriter.h"

#include "text/StagedFile.h"

#include <cerrno>
#include <ctime>
#include <new>

#include <unistd.h>
#include <zlib.h>

namespace rasmik {

namespace {

// The deflater's output goes to the file in pieces of this size.
constexpr std::size_t OutputChunk = 256 * 1024;

void Put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put64(std::string& out, std::uint64_t v)
{
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

std::uint32_t Clip32(std::uint64_t v, bool zip64)
{
    return zip64 ? zip::Max32 : static_cast<std::uint32_t>(v);
}

// Now, as the two 16-bit words of MS-DOS time and date, local time.
void DosNow(std::uint16_t& time, std::uint16_t& date)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (!::localtime_r(&now, &tm) || tm.tm_year < 80) {
        time = 0;
        date = (1 << 5) | 1; // 1980-01-01
        return;
    }
    time = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

} // namespace

namespace zip {

std::string LocalHeader(const ZipPart& part, bool zip64)
{
    std::string h;
    h.reserve(LocalHeaderSize + part.name.size() + 20);
    Put32(h, LocalSignature);
    Put16(h, zip64 ? Version64 : Version);
    Put16(h, 0); // flags: sizes in this header, no descriptor after the data
    Put16(h, Deflated);
    Put16(h, part.dosTime);
    Put16(h, part.dosDate);
    Put32(h, part.crc);
    Put32(h, Clip32(part.compressedSize, zip64));
    Put32(h, Clip32(part.size, zip64));
    Put16(h, static_cast<std::uint32_t>(part.name.size()));
    Put16(h, zip64 ? 20 : 0);
    h += part.name;
    if (zip64) {
        // A local zip64 field holds both sizes, the original first.
        Put16(h, 0x0001);
        Put16(h, 16);
        Put64(h, part.size);
        Put64(h, part.compressedSize);
    }
    return h;
}

std::string CentralEntry(const ZipPart& part, bool zip64)
{
    std::string e;
    e.reserve(CentralHeaderSize + part.name.size() + 28);
    Put32(e, CentralSignature);
    Put16(e, (3 << 8) | (zip64 ? Version64 : Version)); // made on Unix
    Put16(e, zip64 ? Version64 : Version);
    Put16(e, 0);
    Put16(e, Deflated);
    Put16(e, part.dosTime);
    Put16(e, part.dosDate);
    Put32(e, part.crc);
    Put32(e, Clip32(part.compressedSize, zip64));
    Put32(e, Clip32(part.size, zip64));
    Put16(e, static_cast<std::uint32_t>(part.name.size()));
    Put16(e, zip64 ? 28 : 0);
    Put16(e, 0);              // no comment
    Put16(e, 0);              // disk
    Put16(e, 0);              // internal attributes
    Put32(e, 0100644u << 16); // a regular file, rw-r--r--
    Put32(e, Clip32(part.offset, zip64));
    e += part.name;
    if (zip64) {
        // The fields set to 0xFFFFFFFF above, in their order.
        Put16(e, 0x0001);
        Put16(e, 24);
        Put64(e, part.size);
        Put64(e, part.compressedSize);
        Put64(e, part.offset);
    }
    return e;
}

std::string EndRecords(const ZipLayout& layout)
{
    std::string r;
    const std::uint64_t entries = layout.parts.size();
    const std::uint64_t end64 = layout.directoryOffset + layout.directorySize;
    if (layout.zip64) {
        Put32(r, End64Signature);
        Put64(r, End64Size - 12); // the record's size after this field
        Put16(r, (3 << 8) | Version64);
        Put16(r, Version64);
        Put32(r, 0); // this disk
        Put32(r, 0); // the directory's disk
        Put64(r, entries);
        Put64(r, entries);
        Put64(r, layout.directorySize);
        Put64(r, layout.directoryOffset);
        Put32(r, Locator64Signature);
        Put32(r, 0);
        Put64(r, end64);
        Put32(r, 1); // disks in all
    }
    Put32(r, EndSignature);
    Put16(r, 0);
    Put16(r, 0);
    Put16(r, static_cast<std::uint32_t>(entries));
    Put16(r, static_cast<std::uint32_t>(entries));
    Put32(r, Clip32(layout.directorySize, layout.zip64));
    Put32(r, Clip32(layout.directoryOffset, layout.zip64));
    Put16(r, 0); // no comment
    return r;
}

} // namespace zip

struct ZipWriter::Deflater {
    z_stream stream{};
    bool ready = false;
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
};

ZipWriter::ZipWriter(StagedFile& file, int level, bool zip64) : file_(file), z_(std::make_unique<Deflater>())
{
    layout_.zip64 = zip64;
    DosNow(dosTime_, dosDate_);
    // Raw deflate (negative window bits): the zip has its own CRC.
    if (deflateInit2(&z_->stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK)
        z_->ready = true;
}

ZipWriter::~ZipWriter() = default;

FileStatus ZipWriter::failure(FileErrorCode code, std::string detail) const
{
    FileError e(code, file_.target());
    e.detail = std::move(detail);
    return e;
}

FileStatus ZipWriter::append(std::string_view bytes)
{
    if (FileStatus r = file_.write(bytes); !r) {
        failed_ = true;
        return r;
    }
    position_ += bytes.size();
    return {};
}

FileStatus ZipWriter::begin(std::string_view name)
{
    if (failed_ || inPart_ || !z_->ready)
        return failure(FileErrorCode::Library, z_->ready ? "a zip part begun out of turn" : "zlib cannot start");
    if (!layout_.zip64 && position_ >= zip::Max32)
        return failure(FileErrorCode::TooLarge, "the workbook passes 4 GB");
    ZipPart part;
    part.name = std::string(name);
    part.offset = position_;
    part.dosTime = dosTime_;
    part.dosDate = dosDate_;
    part.crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    part.compressedCrc = part.crc;
    const std::string header = zip::LocalHeader(part, layout_.zip64);
    part.headerSize = static_cast<std::uint16_t>(header.size());
    layout_.parts.push_back(std::move(part));
    if (FileStatus r = append(header); !r)
        return r;
    if (deflateReset(&z_->stream) != Z_OK)
        return failure(FileErrorCode::Library, "zlib cannot start a part");
    out_.resize(OutputChunk);
    inPart_ = true;
    return {};
}

FileStatus ZipWriter::deflateSome(int flush)
{
    z_stream& s = z_->stream;
    ZipPart& part = layout_.parts.back();
    for (;;) {
        s.next_out = reinterpret_cast<Bytef*>(out_.data());
        s.avail_out = static_cast<uInt>(out_.size());
        const int rc = deflate(&s, flush);
        if (rc == Z_STREAM_ERROR)
            return failure(FileErrorCode::Library, "zlib refused the data");
        const std::size_t produced = out_.size() - s.avail_out;
        if (produced > 0) {
            part.compressedCrc = static_cast<std::uint32_t>(
                crc32(part.compressedCrc, reinterpret_cast<const Bytef*>(out_.data()), static_cast<uInt>(produced)));
            part.compressedSize += produced;
            if (FileStatus r = append(std::string_view(out_.data(), produced)); !r)
                return r;
        }
        if (flush == Z_FINISH ? rc == Z_STREAM_END : (s.avail_in == 0 && s.avail_out != 0))
            return {};
    }
}

FileStatus ZipWriter::write(std::string_view bytes)
{
    if (!inPart_ || failed_)
        return failure(FileErrorCode::Library, "zip data outside a part");
    ZipPart& part = layout_.parts.back();
    z_stream& s = z_->stream;
    // avail_in is 32-bit: large pieces go in slices.
    constexpr std::size_t Slice = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const std::size_t n = bytes.size() < Slice ? bytes.size() : Slice;
        part.crc = static_cast<std::uint32_t>(
            crc32(part.crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n)));
        part.size += n;
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        s.avail_in = static_cast<uInt>(n);
        if (FileStatus r = deflateSome(Z_NO_FLUSH); !r)
            return r;
        bytes.remove_prefix(n);
    }
    return {};
}

FileStatus ZipWriter::end()
{
    if (!inPart_ || failed_)
        return failure(FileErrorCode::Library, "a zip part ended out of turn");
    z_->stream.next_in = nullptr;
    z_->stream.avail_in = 0;
    if (FileStatus r = deflateSome(Z_FINISH); !r)
        return r;
    inPart_ = false;
    const ZipPart& part = layout_.parts.back();
    if (!layout_.zip64 && (part.size >= zip::Max32 || part.compressedSize >= zip::Max32))
        return failure(FileErrorCode::TooLarge, part.name + " passes 4 GB");
    // The header as it should have been, written over the one with no sizes.
    const std::string header = zip::LocalHeader(part, layout_.zip64);
    std::size_t done = 0;
    while (done < header.size()) {
        const ssize_t n =
            ::pwrite(file_.fd(), header.data() + done, header.size() - done, static_cast<off_t>(part.offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            return ErrnoError(n < 0 ? errno : EIO, file_.target());
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

FileStatus ZipWriter::finish()
{
    if (inPart_ || failed_)
        return failure(FileErrorCode::Library, "the zip finished out of turn");
    if (!layout_.zip64 && (position_ >= zip::Max32 || layout_.parts.size() >= 0xFFFF))
        return failure(FileErrorCode::TooLarge, "the workbook passes 4 GB");
    std::string directory;
    for (const ZipPart& part : layout_.parts)
        directory += zip::CentralEntry(part, layout_.zip64);
    layout_.directoryOffset = position_;
    layout_.directorySize = directory.size();
    directory += zip::EndRecords(layout_);
    if (FileStatus r = append(directory); !r)
        return r;
    layout_.fileSize = position_;
    out_ = {};
    return {};
}

} // namespace rasmik
