#pragma once
// The Excel command's export of the opened table, timed next to what bounds
// it from below: the tab-separated save of the same grid and gzip of its file.

#include <string>

namespace rasmik {
class MainWindow;
}

namespace rasmik::bench {

// Reports export.* keys: wall and CPU seconds, the workbook's size and the
// peak memory it added, the save and gzip floors. table is the opened file.
void MeasureExport(MainWindow& form, const std::string& table);

} // namespace rasmik::bench
