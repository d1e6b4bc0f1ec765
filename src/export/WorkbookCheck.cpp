#include "export/WorkbookCheck.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace rasmik {

namespace {

constexpr std::string_view SheetPart = "xl/worksheets/sheet1.xml";
constexpr std::string_view SharedStringsPart = "xl/sharedStrings.xml";
// Parts beyond this size are not parsed whole; only the sheet and the shared
// strings can be that large.
constexpr std::uint64_t SmallPartLimit = 8u << 20;

std::uint16_t U16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint64_t U64(const unsigned char* p)
{
    return std::uint64_t(U32(p)) | (std::uint64_t(U32(p + 4)) << 32);
}

struct Entry {
    std::string name;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
};

class ZipReader {
public:
    explicit ZipReader(const std::string& path) { fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
    ~ZipReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    std::string ReadDirectory(std::vector<Entry>& entries)
    {
        if (fd_ < 0)
            return std::error_code(errno, std::generic_category()).message();
        struct stat st { };
        if (::fstat(fd_, &st) != 0)
            return std::error_code(errno, std::generic_category()).message();
        size_ = static_cast<std::uint64_t>(st.st_size);
        if (size_ < 22)
            return "no zip directory";

        const std::uint64_t tailSize = std::min<std::uint64_t>(size_, 22 + 65535);
        std::vector<unsigned char> tail(tailSize);
        if (!ReadAt(size_ - tailSize, tail.data(), tail.size()))
            return "cannot read the zip directory";
        std::size_t eocd = std::string::npos;
        for (std::size_t i = tail.size() - 22 + 1; i-- > 0;) {
            if (U32(&tail[i]) == 0x06054b50) {
                eocd = i;
                break;
            }
        }
        if (eocd == std::string::npos)
            return "no zip directory";
        std::uint64_t count = U16(&tail[eocd + 10]);
        std::uint64_t dirSize = U32(&tail[eocd + 12]);
        std::uint64_t dirOffset = U32(&tail[eocd + 16]);
        if (count == 0xFFFF || dirSize == 0xFFFFFFFF || dirOffset == 0xFFFFFFFF) {
            if (eocd < 20 || U32(&tail[eocd - 20]) != 0x07064b50)
                return "bad zip64 directory";
            unsigned char rec[56];
            if (!ReadAt(U64(&tail[eocd - 20 + 8]), rec, sizeof rec) || U32(rec) != 0x06064b50)
                return "bad zip64 directory";
            count = U64(rec + 32);
            dirSize = U64(rec + 40);
            dirOffset = U64(rec + 48);
        }
        if (dirSize > (64u << 20) || dirOffset + dirSize > size_)
            return "bad zip directory";
        std::vector<unsigned char> dir(dirSize);
        if (!ReadAt(dirOffset, dir.data(), dir.size()))
            return "cannot read the zip directory";

        std::size_t p = 0;
        for (std::uint64_t k = 0; k < count; ++k) {
            if (p + 46 > dir.size() || U32(&dir[p]) != 0x02014b50)
                return "bad zip directory entry";
            Entry e;
            e.method = U16(&dir[p + 10]);
            e.crc = U32(&dir[p + 16]);
            e.packedSize = U32(&dir[p + 20]);
            e.size = U32(&dir[p + 24]);
            const std::size_t nameLen = U16(&dir[p + 28]);
            const std::size_t extraLen = U16(&dir[p + 30]);
            const std::size_t commentLen = U16(&dir[p + 32]);
            e.localOffset = U32(&dir[p + 42]);
            if (p + 46 + nameLen + extraLen + commentLen > dir.size())
                return "bad zip directory entry";
            e.name.assign(reinterpret_cast<const char*>(&dir[p + 46]), nameLen);
            // Zip64 extra field: the 64-bit values of the fields set to all ones.
            std::size_t x = p + 46 + nameLen;
            const std::size_t xEnd = x + extraLen;
            while (x + 4 <= xEnd) {
                const std::uint16_t id = U16(&dir[x]);
                const std::size_t len = U16(&dir[x + 2]);
                if (x + 4 + len > xEnd)
                    break;
                if (id == 0x0001) {
                    std::size_t v = x + 4;
                    auto take = [&](std::uint64_t& field) {
                        if (field == 0xFFFFFFFF && v + 8 <= x + 4 + len) {
                            field = U64(&dir[v]);
                            v += 8;
                        }
                    };
                    take(e.size);
                    take(e.packedSize);
                    take(e.localOffset);
                }
                x += 4 + len;
            }
            entries.push_back(std::move(e));
            p += 46 + nameLen + extraLen + commentLen;
        }
        return {};
    }

    // Streams the part's bytes to sink; checks its size and CRC.
    std::string Inflate(const Entry& e, const std::function<void(const char*, std::size_t)>& sink)
    {
        unsigned char local[30];
        if (!ReadAt(e.localOffset, local, sizeof local) || U32(local) != 0x04034b50)
            return e.name + ": bad local header";
        std::uint64_t offset = e.localOffset + 30 + U16(local + 26) + U16(local + 28);
        if (offset + e.packedSize > size_)
            return e.name + ": cut off";
        if (e.method != 0 && e.method != 8)
            return e.name + ": unknown compression";

        std::vector<unsigned char> in(1u << 20);
        std::vector<unsigned char> out(1u << 20);
        z_stream zs{};
        if (e.method == 8 && inflateInit2(&zs, -MAX_WBITS) != Z_OK)
            return e.name + ": zlib";
        std::uint64_t left = e.packedSize;
        std::uint64_t produced = 0;
        uLong crc = crc32(0L, Z_NULL, 0);
        auto deliver = [&](const unsigned char* data, std::size_t n) {
            crc = crc32_z(crc, data, n);
            produced += n;
            sink(reinterpret_cast<const char*>(data), n);
        };
        std::string error;
        bool ended = e.method == 0;
        while (left > 0 && error.empty()) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, in.size()));
            if (!ReadAt(offset, in.data(), n)) {
                error = e.name + ": read error";
                break;
            }
            offset += n;
            left -= n;
            if (e.method == 0) {
                deliver(in.data(), n);
                continue;
            }
            zs.next_in = in.data();
            zs.avail_in = static_cast<uInt>(n);
            while (zs.avail_in > 0 || !ended) {
                zs.next_out = out.data();
                zs.avail_out = static_cast<uInt>(out.size());
                const int rc = inflate(&zs, Z_NO_FLUSH);
                if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                    error = e.name + ": damaged data";
                    break;
                }
                deliver(out.data(), out.size() - zs.avail_out);
                if (rc == Z_STREAM_END) {
                    ended = true;
                    break;
                }
                if (rc == Z_BUF_ERROR || (zs.avail_in == 0 && zs.avail_out != 0))
                    break;
            }
        }
        if (e.method == 8)
            inflateEnd(&zs);
        if (!error.empty())
            return error;
        if (!ended)
            return e.name + ": cut off";
        if (produced != e.size || crc != e.crc)
            return e.name + ": checksum mismatch";
        return {};
    }

private:
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n)
    {
        auto* p = static_cast<char*>(buffer);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Counts "<row " and "<c " in a stream and keeps its last bytes. Cell text has
// '<' escaped, so every match is an element.
class SheetCounter {
public:
    void Feed(const char* data, std::size_t n)
    {
        work_.assign(carry_);
        work_.append(data, n);
        carry_.clear();
        const std::size_t size = work_.size();
        std::size_t i = 0;
        while (i < size) {
            const void* hit = std::memchr(work_.data() + i, '<', size - i);
            if (!hit)
                break;
            i = static_cast<std::size_t>(static_cast<const char*>(hit) - work_.data());
            if (size - i < 5) {
                carry_ = work_.substr(i); // decided when more data comes
                break;
            }
            if (work_[i + 1] == 'c' && work_[i + 2] == ' ')
                ++cells;
            else if (work_.compare(i + 1, 4, "row ") == 0)
                ++rows;
            ++i;
        }
        if (n >= 64) {
            tail_.assign(data + n - 64, 64);
        } else {
            tail_.append(data, n);
            if (tail_.size() > 64)
                tail_.erase(0, tail_.size() - 64);
        }
    }

    const std::string& Tail() const { return tail_; }

    std::uint64_t rows = 0;
    std::uint64_t cells = 0;

private:
    std::string work_;
    std::string carry_;
    std::string tail_;
};

std::string TrimmedTail(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

bool EndsWith(const std::string& s, std::string_view end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

} // namespace

std::string CheckWrittenWorkbook(const std::string& path, std::uint64_t rowElements, std::uint64_t cellElements)
{
    ZipReader zip(path);
    std::vector<Entry> entries;
    if (std::string reason = zip.ReadDirectory(entries); !reason.empty())
        return reason;
    for (std::string_view required : {std::string_view("[Content_Types].xml"), std::string_view("xl/workbook.xml"),
                                      SheetPart, std::string_view("xl/styles.xml")}) {
        const bool found =
            std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == required; });
        if (!found)
            return std::string(required) + " missing";
    }

    for (const Entry& e : entries) {
        if (e.name == SheetPart) {
            SheetCounter counter;
            if (std::string reason = zip.Inflate(e, [&](const char* d, std::size_t n) { counter.Feed(d, n); });
                !reason.empty())
                return reason;
            if (!EndsWith(TrimmedTail(counter.Tail()), "</worksheet>"))
                return e.name + ": cut off";
            if (counter.rows != rowElements || counter.cells != cellElements)
                return e.name + ": " + std::to_string(counter.rows) + " rows, " + std::to_string(counter.cells)
                    + " cells instead of " + std::to_string(rowElements) + ", " + std::to_string(cellElements);
        } else if (e.size > SmallPartLimit) {
            std::string tail;
            if (std::string reason = zip.Inflate(e,
                                                 [&](const char* d, std::size_t n) {
                                                     tail.append(d, n);
                                                     if (tail.size() > 4096)
                                                         tail.erase(0, tail.size() - 64);
                                                 });
                !reason.empty())
                return reason;
            const std::string end = e.name == SharedStringsPart ? "</sst>" : ">";
            if (!EndsWith(TrimmedTail(tail), end))
                return e.name + ": cut off";
        } else {
            QByteArray bytes;
            if (std::string reason =
                    zip.Inflate(e, [&](const char* d, std::size_t n) { bytes.append(d, static_cast<qsizetype>(n)); });
                !reason.empty())
                return reason;
            const bool xml = EndsWith(e.name, ".xml") || EndsWith(e.name, ".rels");
            if (xml) {
                QXmlStreamReader reader(bytes);
                while (!reader.atEnd())
                    reader.readNext();
                if (reader.hasError())
                    return e.name + ": " + reader.errorString().toStdString();
            }
        }
    }
    return {};
}

} // namespace rasmik
