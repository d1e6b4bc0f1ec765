#pragma once
// The order of a table's texts and which of them are the same value: the
// platform's Persian collation.

#include "text/TextEncoding.h"

#include <string>
#include <string_view>
#include <vector>

struct UCollator;

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

// ICU's Persian collation ("fa", as the desktop sorts Persian): the Persian
// alphabet with آ a letter before ا, the hamza forms after alef, Arabic
// script before Latin, digits before both. Compared at the secondary level:
// Latin letter case does not count, marks (fatha, kasra, damma...) do. The
// zero-width joiners, tatweel and the direction marks do not count at all.
// ي is taken as ی and ك as ک, as Search takes them, so a word typed with the
// Arabic letters is the same value as the Persian one.
//
// One collator for one thread at a time (it keeps a buffer of its own).
class PersianCollator final : public ValueCollator {
public:
    // held: the form of the values, Windows1256 or Utf8.
    explicit PersianCollator(TextEncoding held = TextEncoding::Windows1256);
    ~PersianCollator() override;
    PersianCollator(const PersianCollator&) = delete;
    PersianCollator& operator=(const PersianCollator&) = delete;

    int compare(std::string_view a, std::string_view b) const override;
    bool appendSortKey(std::string_view value, std::string& key) const override;

private:
    // The value as the collation reads it, in units_ (and marks_); its length.
    std::size_t toUnits(std::string_view value) const;

    TextEncoding held_;
    UCollator* collator_ = nullptr; // none: code point order (ICU failed to open)
    UCollator* plain_ = nullptr;    // the same without normalization
    mutable std::vector<char16_t> units_;
    mutable bool marks_ = false; // units_ hold a character that may combine
};

} // namespace rasmik
