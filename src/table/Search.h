#pragma once
// Searching rows by words ("Search", F4) and the word test shared with the
// clipboard paste.

#include "table/CoreGrid.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// The words of a query, prepared once and tested against many texts. Words
// are cut at spaces and upper-cased (ASCII letters only); a text matches when
// every word occurs in it once its spaces are removed and its ASCII letters
// upper-cased. Bytes beyond ASCII are compared as they are, never folded nor
// taken for spaces, so the query and the text must be in one held form; in
// UTF-8 a whole character can then only match whole characters.
class WordMatcher {
public:
    explicit WordMatcher(std::string_view query);

    // An empty query matches nothing; a query of spaces matches everything.
    bool MatchesNothing() const { return kind_ == Kind::Never; }
    bool MatchesEverything() const { return kind_ == Kind::Always; }
    const std::vector<std::string>& Words() const { return words_; }

    bool Matches(std::string_view text) const;
    // The same on a text already reduced by AppendProbe.
    bool MatchesProbe(std::string_view probe) const;

private:
    enum class Kind { Never, Always, Words };
    Kind kind_ = Kind::Never;
    std::vector<std::string> words_; // longest first: it rules out most texts
};

// Appends text without its spaces and with ASCII letters upper-cased.
void AppendProbe(std::string& probe, std::string_view text);

bool MatchesAllWords(std::string_view query, std::string_view text);

// The row the cursor goes to: the first row from startRow on (row 0 never)
// whose cells, each followed by CR LF, match all words of searchText; row 1
// when none does. An empty searchText leaves the cursor where it is (the
// current row is returned), and so does a table of a single row, which has
// no row 1 to go to.
int SearchFrom(const CoreGrid& grid, const std::string& searchText, int startRow);

// Every row from row 1 on that holds all the words (the test of Search), in
// order: the rows a filter shows.
std::vector<int> MatchingRows(const CoreGrid& grid, const std::string& words);

} // namespace rasmik
