#pragma once
// Windows-1256 <-> QString at the edge of the toolkit. Everything below the
// window layer keeps byte strings; these are the only crossings.

#include <QString>

#include <string>
#include <string_view>

namespace rasmik {

// Every byte through the fixed code-page table; no intermediate UTF-16 string.
QString ToQString(std::string_view cp1256);
// The same into a caller's buffer, so that a painter can reuse one QString
// for every cell without allocating once its capacity has grown.
void ToQString(std::string_view cp1256, QString& out);

// Characters that Windows-1256 lacks become the nearest letter, else '?'.
std::string FromQString(const QString& text);

} // namespace rasmik
