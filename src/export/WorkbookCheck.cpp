#include "export/WorkbookCheck.h"

#include "export/XmlParser.h"
#include "export/ZipArchive.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace rasmik {

namespace {

constexpr std::string_view SheetPart = "xl/worksheets/sheet1.xml";
constexpr std::string_view SharedStringsPart = "xl/sharedStrings.xml";
// Parts beyond this size are not parsed whole; only the sheet and the shared
// strings can be that large.
constexpr std::uint64_t SmallPartLimit = 8u << 20;

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

// Only well-formedness is asked for.
class IgnoreXml : public XmlHandler {
public:
    void startElement(const char*, const char**) override { }
    void endElement(const char*) override { }
    void text(const char*, int) override { }
};

constexpr std::uint64_t NoLimit = std::numeric_limits<std::uint64_t>::max();

// The entry's name and the reason the zip library gives.
std::string Reason(const std::string& name, const FileStatus& status)
{
    const FileError& e = status.error();
    if (e.code == FileErrorCode::WorkbookDamaged)
        return name + ": " + (e.detail.empty() ? std::string("damaged data") : e.detail);
    return name + ": " + DescribeFileError(e);
}

} // namespace

std::string CheckWrittenWorkbook(const std::string& path, std::uint64_t rowElements, std::uint64_t cellElements)
{
    ZipArchive zip;
    if (FileStatus opened = zip.open(path); !opened)
        return opened.error().detail.empty() ? DescribeFileError(opened.error()) : opened.error().detail;
    std::vector<std::string> names;
    for (std::uint64_t i = 0; i < zip.entryCount(); ++i)
        names.push_back(zip.entryName(i));
    for (std::string_view required : {std::string_view("[Content_Types].xml"), std::string_view("xl/workbook.xml"),
                                      SheetPart, std::string_view("xl/styles.xml")}) {
        if (std::find(names.begin(), names.end(), required) == names.end())
            return std::string(required) + " missing";
    }

    for (std::uint64_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name == SheetPart) {
            SheetCounter counter;
            if (FileStatus read = zip.read(i, NoLimit,
                                           [&](const char* d, std::size_t n) {
                                               counter.Feed(d, n);
                                               return true;
                                           });
                !read)
                return Reason(name, read);
            if (!EndsWith(TrimmedTail(counter.Tail()), "</worksheet>"))
                return name + ": cut off";
            if (counter.rows != rowElements || counter.cells != cellElements)
                return name + ": " + std::to_string(counter.rows) + " rows, " + std::to_string(counter.cells)
                    + " cells instead of " + std::to_string(rowElements) + ", " + std::to_string(cellElements);
        } else if (zip.entrySize(i) > SmallPartLimit) {
            std::string tail;
            if (FileStatus read = zip.read(i, NoLimit,
                                           [&](const char* d, std::size_t n) {
                                               tail.append(d, n);
                                               if (tail.size() > 4096)
                                                   tail.erase(0, tail.size() - 64);
                                               return true;
                                           });
                !read)
                return Reason(name, read);
            const std::string end = name == SharedStringsPart ? "</sst>" : ">";
            if (!EndsWith(TrimmedTail(tail), end))
                return name + ": cut off";
        } else {
            const bool xml = EndsWith(name, ".xml") || EndsWith(name, ".rels");
            IgnoreXml ignore;
            XmlParser parser(ignore);
            if (FileStatus read = zip.read(
                    i, SmallPartLimit, [&](const char* d, std::size_t n) { return !xml || parser.feed(d, n, false); });
                !read && !(read.cancelled() && xml))
                return Reason(name, read);
            if (xml && (!parser.feed(nullptr, 0, true) || parser.outcome() != XmlParser::Outcome::Ok))
                return name + ": " + (parser.error().empty() ? std::string("not well-formed") : parser.error());
        }
    }
    return {};
}

} // namespace rasmik
