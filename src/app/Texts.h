#pragma once
// The program's own Persian texts for the questions it asks (UTF-8).

namespace rasmik::texts {

inline constexpr const char* FixCellSizeCaption = "تنظيم سايز ثابت ستون ها";
inline constexpr const char* FixCellSizePrompt = "سايزها";
inline constexpr const char* SearchCaption = "جستجو";
inline constexpr const char* SearchPrompt = "متن:";
inline constexpr const char* FilterCaption = "پالایه";
inline constexpr const char* FilterPrompt = "ردیف‌هایی که همه این واژه‌ها را دارند:";
inline constexpr const char* StartCodePrompt = "كد شروع:";
inline constexpr const char* PrintCaption = "عنوان چاپ";
inline constexpr const char* PrintPrompt = "عنوان:";
inline constexpr const char* GoToRowCaption = "رفتن به ردیف";
inline constexpr const char* GoToRowPrompt = "شماره ردیف:";
inline constexpr const char* RenameColumnCaption = "تغییر نام ستون";
inline constexpr const char* RenameColumnPrompt = "نام تازه ستون:";
inline constexpr const char* ExcelSaveTitle = "ذخيره در فايل اكسل";

} // namespace rasmik::texts
