#include "table/FolderFiles.h"

#include "table/EditCommands.h"
#include "table/Options.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

unsigned char Fold(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Whether name ends in ext (".txt": a dot and letters) in any letter case.
bool EndsWithExtension(const char* name, std::string_view ext)
{
    const std::size_t n = std::strlen(name);
    if (n < ext.size())
        return false;
    const char* e = name + n - ext.size();
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (Fold(static_cast<unsigned char>(e[i])) != Fold(static_cast<unsigned char>(ext[i])))
            return false;
    return true;
}

} // namespace

FileStatus ReadTableFile(const std::string& path, TableLines& lines, const ProgressFn& progress,
                         const ReadChoice& choice, FileIdentity* identity)
{
    ByteBuffer bytes;
    FileStatus r = ReadWholeFile(path, bytes);
    if (!r)
        return r;
    if (identity)
        *identity = IdentityOfFile(path, HashBytes(bytes.view()));
    FileEncoding encoding = DetectEncoding(bytes.view());
    if (choice.encoding && *choice.encoding != encoding.encoding) {
        // Read as told; a mark of that encoding is still its mark.
        const FileEncoding marked{*choice.encoding, true};
        const std::string_view mark = ByteOrderMarkOf(marked);
        encoding = FileEncoding{*choice.encoding, !mark.empty() && bytes.view().substr(0, mark.size()) == mark};
    }
    const TextEnd end = FindTextEnd(bytes.view(), encoding);
    if (!FileBytesToHeld(bytes, encoding, TableLines::MaxBytes))
        return FileStatus(FileErrorCode::TooLarge, path);
    const TableForm form = choice.form ? *choice.form : FormForPath(path, bytes.view());
    if (!TableLines::FromBytes(std::move(bytes), lines, progress, form))
        return FileStatus(FileErrorCode::Cancelled, path);
    lines.setEncoding(encoding);
    lines.setTextEnd(end);
    return r;
}

std::string ReadCellFormat(const std::string& tablePath)
{
    const std::string cfg = CfgPathFor(tablePath);
    if (cfg.empty() || !FileIsThere(cfg))
        return {};
    std::string bytes;
    if (!ReadWholeFile(cfg, bytes))
        return {};
    return KeyValueOf(SplitLines(bytes), "CellFormat");
}

bool DropCellFormat(std::string& cfgBytes)
{
    static constexpr std::string_view Key = "CellFormat=";
    std::string kept;
    bool dropped = false;
    std::size_t pos = 0;
    while (pos < cfgBytes.size()) {
        // A line with its line break: CR LF, a lone CR or a lone LF.
        std::size_t end = cfgBytes.find_first_of("\r\n", pos);
        end = end == std::string::npos ? cfgBytes.size() : end + 1;
        if (cfgBytes[end - 1] == '\r' && end < cfgBytes.size() && cfgBytes[end] == '\n')
            ++end;
        const std::string_view line = std::string_view(cfgBytes).substr(pos, end - pos);
        bool isKey = line.size() >= Key.size();
        for (std::size_t i = 0; isKey && i < Key.size(); ++i) {
            const char c = line[i];
            isKey = (c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c)
                == (Key[i] >= 'a' && Key[i] <= 'z' ? static_cast<char>(Key[i] - 32) : Key[i]);
        }
        if (isKey)
            dropped = true;
        else
            kept.append(line);
        pos = end;
    }
    if (dropped)
        cfgBytes.swap(kept);
    return dropped;
}

std::string AbsolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::string cwd;
    std::vector<char> buf(4096);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return path;
        buf.resize(buf.size() * 2);
    }
    cwd = buf.data();
    if (cwd.empty() || cwd.back() != '/')
        cwd += '/';
    std::string rel = path;
    while (rel.rfind("./", 0) == 0)
        rel.erase(0, 2);
    return cwd + rel;
}

bool FolderFileLess(const std::string& a, const std::string& b)
{
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::string TableKindExtension(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size())
        return ".txt";
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return ext;
}

std::vector<std::string> RebuildFolderFiles(const std::string& folder, std::string_view ext)
{
    std::vector<std::string> files;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return files;
    while (const dirent* e = readdir(dir)) {
        if (!EndsWithExtension(e->d_name, ext))
            continue;
        std::string full = folder + e->d_name;
        struct stat st { };
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(std::move(full));
    }
    closedir(dir);
    std::sort(files.begin(), files.end(), FolderFileLess);
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

int FindFolderFile(const std::vector<std::string>& files, const std::string& path)
{
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i] == path)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < files.size(); ++i)
        if (CompareNoCase(files[i], path) == 0)
            return static_cast<int>(i);
    return -1;
}

std::string NeighbourFile(const std::vector<std::string>& files, const std::string& caption, int step)
{
    if (files.empty())
        return {};
    const int n = static_cast<int>(files.size());
    int i = FindFolderFile(files, caption);
    if (i < 0)
        i = step < 0 ? 0 : n - 1;
    else
        i = ((i + step) % n + n) % n;
    return files[static_cast<std::size_t>(i)];
}

} // namespace rasmik
