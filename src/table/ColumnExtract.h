#pragma once
// "Save Current Column", "Save Current Column without Repeat" and "Values":
// a grid column as a list of values, and the comparison that decides which
// values are the same and how they sort.

#include "table/CoreGrid.h"
#include "text/TextEncoding.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// Orders values of a table. compare() == 0 means the two count as the same
// value.
class ValueCollator {
public:
    virtual ~ValueCollator() = default;
    virtual int compare(std::string_view a, std::string_view b) const = 0;
    // Optionally appends to key a byte string whose plain unsigned byte order
    // (a prefix first) agrees with compare(), equal keys included, so that
    // long lists sort on keys made once. Answers false when not offered.
    virtual bool appendSortKey(std::string_view value, std::string& key) const
    {
        (void)value;
        (void)key;
        return false;
    }
};

// Persian-aware order of Windows-1256 text. First by letters: symbols and
// controls (by byte value), then digits, then Latin letters without regard to
// case (the accented letters of the code page with their base letter), then
// the Persian alphabet ا ب پ ت ث ج چ ح خ د ذ ر ز ژ س ش ص ض ط ظ ع غ ف ق ک گ ل
// م ن و ه ی, the Arabic and Urdu forms with their Persian letter (ي ى ئ ے with
// ی, ك with ک, ة ھ ہ with ه, أ إ آ with ا, ؤ with و) or right after it (ٹ, ڈ, ڑ,
// ں), hamza before alef. Diacritics, tatweel, the zero-width joiners and the
// direction marks do not count at this level. Ties go by the bytes with ASCII
// letters upper-cased, so only values that differ in the case of Latin
// letters alone compare equal.
//
// UTF-8 values take the same order: each character weighs as its
// Windows-1256 letter, the nearest one where it has no exact byte (ی as ي,
// the Persian digits as ASCII ones); a character without any sorts after all
// of those, by its code point. Ties go by the UTF-8 bytes as above.
class PersianCollator final : public ValueCollator {
public:
    // held: the form of the values, Windows1256 or Utf8.
    explicit PersianCollator(TextEncoding held = TextEncoding::Windows1256) : held_(held) { }
    int compare(std::string_view a, std::string_view b) const override;
    bool appendSortKey(std::string_view value, std::string& key) const override;
    // The letter weight of a byte; 0 for the bytes that do not count.
    static unsigned char PrimaryWeight(unsigned char byte);

private:
    TextEncoding held_;
};

// The cells of col, rows 0..RowCount-1. With withoutRepeat, only the first of
// the values that compare equal stays, and the list is sorted ascending.
std::vector<std::string> ColumnValues(const CoreGrid& grid, int col, bool withoutRepeat, const ValueCollator& collator);

// For "Values": the cells of col from row 1 on, without the bytes of code 32
// or below at either end, empty ones skipped, each value once (first one met),
// in the order first met.
std::vector<std::string> DistinctColumnValues(const CoreGrid& grid, int col, const ValueCollator& collator);

// "ColValue" + (col + 1) + ".txt".
std::string ColumnValueFileName(int col);

} // namespace rasmik
