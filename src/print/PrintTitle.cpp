#include "print/PrintTitle.h"

#include "text/TextFiles.h"

namespace rasmik {

std::string PrintTitlePath()
{
    return ExeFolder() + "HPrint.txt";
}

std::string LoadPrintTitle()
{
    return LoadTextRetry(PrintTitlePath(), true);
}

bool SavePrintTitle(const std::string& title)
{
    return SaveTextRetry(title, PrintTitlePath());
}

} // namespace rasmik
