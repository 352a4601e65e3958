// Release lists of other kinds, read into releases for the database: Logiqx
// XML dat files, OfflineList XML dat files and our own tab-separated lists.
// The kind of a list is told by its content. Text is UTF-8 in the lists and
// ISO 8859-1 in the releases: a character outside ISO 8859-1 becomes '?'.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/release_database.h"

namespace cartscope::cli {

enum class ListKind { Logiqx, OfflineList, ReleaseTsv };

const char* listKindName(ListKind kind);

// What became of the entries of one list or of several.
struct ImportCounts {
    std::size_t read = 0;         // entries met
    std::size_t withoutCode = 0;  // skipped: no game code
    std::size_t badCode = 0;      // skipped: a game code that is not 4 printable ASCII characters
    std::size_t badLine = 0;      // skipped: a tab-separated line of the wrong number of columns
    std::size_t repeated = 0;     // skipped: a game code met before in the same list
    std::size_t tooLong = 0;      // skipped: more text than a database record holds
    std::size_t merged = 0;       // entries of a later list whose game code an earlier list had
    std::size_t replaced = 0;     // characters written as '?'

    std::size_t skipped() const { return withoutCode + badCode + badLine + repeated + tooLong; }
    ImportCounts& operator+=(const ImportCounts& other);
};

// An entry that was skipped: its line in the list and why.
struct ListProblem {
    std::size_t line = 0;
    std::string what;
};

struct ReleaseList {
    ListKind kind = ListKind::ReleaseTsv;
    std::vector<Release> releases;  // in list order, each game code once
    std::vector<ListProblem> problems;
    ImportCounts counts;
};

// Reads a list of any kind. Gives nullopt, or why the list cannot be read at
// all: the XML parser's reason and line (0 when no line tells), or a reason
// alone. What was read before then stays in `list`.
std::optional<ListProblem> readReleaseList(std::string_view bytes, ReleaseList& list);
// The readers of each kind.
std::optional<ListProblem> readLogiqxList(std::string_view bytes, ReleaseList& list);
std::optional<ListProblem> readOfflineList(std::string_view bytes, ReleaseList& list);
std::optional<ListProblem> readTsvList(std::string_view bytes, ReleaseList& list);

// The lists merged: a game code that several lists have takes each field
// from the earliest list that gives it a value; later lists fill the gaps.
class ReleaseMerge {
public:
    void add(const ReleaseList& list);
    // The same, taking the releases of the list.
    void add(ReleaseList&& list);
    const std::vector<Release>& releases() const { return releases_; }
    std::vector<Release> take() { return std::move(releases_); }
    std::size_t merged() const { return merged_; }

private:
    std::vector<Release> releases_;
    std::unordered_map<std::string, std::size_t> byCode_;
    std::size_t merged_ = 0;
};

// UTF-8 text as ISO 8859-1: characters beyond it, malformed bytes and NUL
// become '?', counted in `replaced`.
std::string toLatin1(std::string_view utf8, std::size_t& replaced);

// The game code in a serial: "NTR-ABCE-USA" or "ABCE" give "ABCE". Empty
// when the serial is empty; `valid` tells whether a code was found.
std::string gameCodeOfSerial(std::string_view serial, bool& valid);

// A title's trailing groups in parentheses and brackets, as No-Intro names
// carry them: "Game (Europe) (En,Fr,De) [b]".
struct NameTags {
    std::string title;      // the name without them
    std::string country;    // a group of known regions ("Europe", "USA, Europe")
    std::string languages;  // the language mask in decimal digits, empty without a group of languages
};
NameTags splitNameTags(std::string_view name);

// The country of an OfflineList location number; empty for one not known.
std::string offlineListCountry(std::string_view location);
// The database's language mask (decimal digits) of an OfflineList language
// mask; empty when the text is not a number.
std::string offlineListLanguages(std::string_view mask);

}  // namespace cartscope::cli
