#pragma once
// Searching rows by words ("Search", F4) and the word test shared with the
// clipboard paste.

#include "table/CoreGrid.h"
#include "text/MatchFolding.h"
#include "text/TextEncoding.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// The words of a query, prepared once and tested against many texts. Words
// are cut at spaces and folded for matching (MatchFolding: Latin case, the
// Arabic and Persian forms of yeh and kaf, the three kinds of digits, the
// zero-width non-joiner and tatweel); a text matches when every word occurs
// in it folded the same way, its spaces removed. The query and the text are
// in one held form, the table's; in UTF-8 a whole character can then only
// match whole characters.
class WordMatcher {
public:
    explicit WordMatcher(std::string_view query, TextEncoding held = TextEncoding::Windows1256);

    // An empty query matches nothing; a query of spaces matches everything.
    bool MatchesNothing() const { return kind_ == Kind::Never; }
    bool MatchesEverything() const { return kind_ == Kind::Always; }
    const std::vector<std::string>& Words() const { return words_; }

    const MatchFolding& Folding() const { return folding_; }

    bool Matches(std::string_view text) const;
    // The same on a text already folded by Folding().
    bool MatchesProbe(std::string_view probe) const;

private:
    enum class Kind { Never, Always, Words };
    MatchFolding folding_;
    Kind kind_ = Kind::Never;
    std::vector<std::string> words_; // folded, longest first: it rules out most texts
};

bool MatchesAllWords(std::string_view query, std::string_view text, TextEncoding held = TextEncoding::Windows1256);

// The row the cursor goes to: the first row from startRow on (row 0 never)
// whose cells, each followed by CR LF, match all words of searchText (held
// as the grid's cells are); row 1
// when none does. An empty searchText leaves the cursor where it is (the
// current row is returned), and so does a table of a single row, which has
// no row 1 to go to.
int SearchFrom(const CoreGrid& grid, const std::string& searchText, int startRow);

// Every row from row 1 on that holds all the words (the test of Search), in
// order: the rows a filter shows.
std::vector<int> MatchingRows(const CoreGrid& grid, const std::string& words);

} // namespace rasmik
