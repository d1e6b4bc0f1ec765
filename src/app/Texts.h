#pragma once
// The program's own Persian texts for the questions it asks (UTF-8), as
// the translation system finds them; shown through Ui::tr.

#include <QtGlobal>

namespace rasmik::texts {

inline constexpr const char* FixCellSizeCaption = QT_TRANSLATE_NOOP("Rasmik", "تنظيم سايز ثابت ستون ها");
inline constexpr const char* FixCellSizePrompt = QT_TRANSLATE_NOOP("Rasmik", "سايزها");
inline constexpr const char* SearchCaption = QT_TRANSLATE_NOOP("Rasmik", "جستجو");
inline constexpr const char* SearchPrompt = QT_TRANSLATE_NOOP("Rasmik", "متن:");
inline constexpr const char* FilterCaption = QT_TRANSLATE_NOOP("Rasmik", "پالایه");
inline constexpr const char* FilterPrompt =
    QT_TRANSLATE_NOOP("Rasmik", "ردیف‌هایی که همه این واژه‌ها را دارند:");
inline constexpr const char* StartCodePrompt = QT_TRANSLATE_NOOP("Rasmik", "كد شروع:");
inline constexpr const char* PrintCaption = QT_TRANSLATE_NOOP("Rasmik", "عنوان چاپ");
inline constexpr const char* PrintPrompt = QT_TRANSLATE_NOOP("Rasmik", "عنوان:");
inline constexpr const char* GoToRowCaption = QT_TRANSLATE_NOOP("Rasmik", "رفتن به ردیف");
inline constexpr const char* GoToRowPrompt = QT_TRANSLATE_NOOP("Rasmik", "شماره ردیف:");
inline constexpr const char* RenameColumnCaption = QT_TRANSLATE_NOOP("Rasmik", "تغییر نام ستون");
inline constexpr const char* RenameColumnPrompt = QT_TRANSLATE_NOOP("Rasmik", "نام تازه ستون:");
inline constexpr const char* ExcelSaveTitle = QT_TRANSLATE_NOOP("Rasmik", "ذخيره در فايل اكسل");

} // namespace rasmik::texts
