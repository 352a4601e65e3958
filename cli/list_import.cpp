#include "cli/list_import.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_set>

#include <expat.h>

#include "core/code_tables.h"
#include "core/text.h"

namespace cartscope::cli {

namespace field = release_field;

const char* listKindName(ListKind kind) {
    switch (kind) {
        case ListKind::Logiqx:
            return "Logiqx dat";
        case ListKind::OfflineList:
            return "OfflineList dat";
        case ListKind::ReleaseTsv:
            break;
    }
    return "tab-separated release list";
}

ImportCounts& ImportCounts::operator+=(const ImportCounts& other) {
    read += other.read;
    withoutCode += other.withoutCode;
    badCode += other.badCode;
    badLine += other.badLine;
    repeated += other.repeated;
    tooLong += other.tooLong;
    merged += other.merged;
    replaced += other.replaced;
    return *this;
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isDigit(c)) return false;
    return true;
}

// A CRC-32 as the database writes it: eight upper-case hexadecimal digits.
// Empty for text that is no CRC.
std::string crcText(std::string_view text) {
    text = trimmed(text);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return {};
    std::string crc(8 - text.size(), '0');
    for (char c : text) {
        if (isDigit(c) || (c >= 'A' && c <= 'F'))
            crc += c;
        else if (c >= 'a' && c <= 'f')
            crc += static_cast<char>(c - 'a' + 'A');
        else
            return {};
    }
    return crc;
}

// Release numbers take four digits at least, as in our lists ("0042").
std::string releaseNumberText(std::string_view text) {
    text = trimmed(text);
    if (!allDigits(text) || text.size() >= 4) return std::string(text);
    return std::string(4 - text.size(), '0') + std::string(text);
}

bool endsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

struct NamedValue {
    const char* key;
    const char* value;
};

// No-Intro's region names, which are the country names our database uses.
const char* const kRegions[] = {"World", "Europe",      "USA",    "Japan",     "Germany",  "France",  "Spain",
                                "Italy", "Netherlands", "Sweden", "Denmark",   "Norway",   "Finland", "Australia",
                                "Korea", "China",       "Taiwan", "Hong Kong", "Asia",     "Canada",  "Brazil",
                                "UK",    "Russia",      "Poland", "Greece",    "Portugal", "Belgium", "Scandinavia"};

// No-Intro's language codes and the database's language bits (see
// core/code_tables.h): eng, jap, fre, ger, ita, spa, dut, por, gre, fin, dan,
// nor, swe, rus, tur, hun, cze, pol, chi, kor.
const char* const kLanguageTags[kLanguageCount] = {"En", "Ja", "Fr", "De", "It", "Es", "Nl", "Pt", "El", "Fi",
                                                   "Da", "No", "Sv", "Ru", "Tr", "Hu", "Cs", "Pl", "Zh", "Ko"};

// OfflineList's location numbers.
const NamedValue kLocations[] = {
    {"0", "Europe"}, {"1", "USA"},   {"2", "Germany"},     {"3", "China"},      {"4", "Spain"},  {"5", "France"},
    {"6", "Italy"},  {"7", "Japan"}, {"8", "Netherlands"}, {"19", "Australia"}, {"22", "Korea"},
};

// OfflineList's language bits and the database's.
const unsigned kOfflineListLanguageBits[][2] = {
    {0, 2},    // French
    {1, 0},    // English
    {2, 18},   // Chinese
    {3, 10},   // Danish
    {4, 6},    // Dutch
    {5, 9},    // Finnish
    {6, 3},    // German
    {7, 4},    // Italian
    {8, 1},    // Japanese
    {9, 11},   // Norwegian
    {10, 17},  // Polish
    {11, 7},   // Portuguese
    {12, 5},   // Spanish
    {13, 12},  // Swedish
    {14, 0},   // English (US)
    {15, 7},   // Portuguese (Brazil)
    {16, 19},  // Korean
};

// The comma-separated items of a tag, each trimmed.
std::vector<std::string_view> tagItems(std::string_view tag) {
    std::vector<std::string_view> items;
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = tag.find(',', at);
        items.push_back(trimmed(tag.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at)));
        if (comma == std::string_view::npos) return items;
        at = comma + 1;
    }
}

bool isRegion(std::string_view name) {
    for (const char* region : kRegions)
        if (name == region) return true;
    return false;
}

// The language mask of a tag such as "En,Fr,De"; nullopt when an item is no language.
std::optional<std::uint32_t> languageTagMask(std::string_view tag) {
    std::uint32_t mask = 0;
    for (std::string_view item : tagItems(tag)) {
        // "En-US" and the like count as their language.
        item = item.substr(0, item.find('-'));
        bool known = false;
        for (unsigned bit = 0; bit < kLanguageCount && !known; ++bit) {
            if (item == kLanguageTags[bit]) {
                mask |= 1u << bit;
                known = true;
            }
        }
        if (!known) return std::nullopt;
    }
    return mask;
}

}  // namespace

std::string toLatin1(std::string_view utf8, std::size_t& replaced) {
    std::string out;
    out.reserve(utf8.size());
    const std::u16string wide = fromUtf8(utf8);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit == 0 || unit > 0xFF) {
            // A surrogate pair is one character.
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
            out += '?';
            ++replaced;
        } else {
            out += static_cast<char>(unit);
        }
    }
    return out;
}

std::string gameCodeOfSerial(std::string_view serial, bool& valid) {
    serial = trimmed(serial);
    // Several serials: the first counts.
    serial = trimmed(serial.substr(0, serial.find_first_of(",;/")));
    valid = false;
    if (serial.empty()) return {};
    auto isCode = [](std::string_view item) {
        if (item.size() != 4) return false;
        for (char c : item)
            if (!isAlnum(c)) return false;
        return true;
    };
    if (isCode(serial)) {
        valid = true;
        return std::string(serial);
    }
    // "NTR-ABCE-USA", "TWL-ABCE": the item of four characters after the platform.
    std::size_t at = 0;
    std::size_t items = 0;
    while (at <= serial.size()) {
        std::size_t dash = serial.find('-', at);
        if (dash == std::string_view::npos) dash = serial.size();
        const std::string_view item = serial.substr(at, dash - at);
        if (items > 0 && isCode(item)) {
            valid = true;
            return std::string(item);
        }
        ++items;
        at = dash + 1;
    }
    return std::string(serial);
}

NameTags splitNameTags(std::string_view name) {
    NameTags tags;
    name = trimmed(name);
    std::uint32_t languages = 0;
    bool haveLanguages = false;
    // The groups are taken from the end, so the first region group of the
    // name is the last one met.
    while (!name.empty() && (name.back() == ')' || name.back() == ']')) {
        const char open = name.back() == ')' ? '(' : '[';
        const std::size_t start = name.rfind(open);
        if (start == std::string_view::npos) break;
        const std::string_view tag = name.substr(start + 1, name.size() - start - 2);
        if (open == '(') {
            bool regions = true;
            for (std::string_view item : tagItems(tag)) regions = regions && isRegion(item);
            if (regions) {
                tags.country = std::string(tag);
            } else if (const auto mask = languageTagMask(tag)) {
                languages |= *mask;
                haveLanguages = true;
            }
        }
        name = trimmed(name.substr(0, start));
    }
    tags.title = std::string(name);
    if (haveLanguages) tags.languages = std::to_string(languages);
    return tags;
}

std::string offlineListCountry(std::string_view location) {
    location = trimmed(location);
    for (const NamedValue& row : kLocations)
        if (location == row.key) return row.value;
    return {};
}

std::string offlineListLanguages(std::string_view mask) {
    mask = trimmed(mask);
    if (!allDigits(mask) || mask.size() > 9) return {};
    const unsigned long value = std::strtoul(std::string(mask).c_str(), nullptr, 10);
    std::uint32_t languages = 0;
    for (const auto& bits : kOfflineListLanguageBits)
        if (value & (1ul << bits[0])) languages |= 1u << bits[1];
    return std::to_string(languages);
}

namespace {

// The bytes of text of a release's record: its fields, each with its NUL.
std::size_t recordText(const Release& release) {
    std::size_t text = 0;
    for (std::size_t i = 0; i < (release.hasCrc ? kReleaseFields : kReleaseFields - 1); ++i) text += release.fields[i].size() + 1;
    return text;
}

// What one entry of a list gives, as UTF-8 text.
struct Entry {
    std::size_t line = 0;
    std::string serial;
    std::array<std::string, kReleaseFields> fields;
};

// Adds an entry to the list, or skips it with the reason.
class EntrySink {
public:
    explicit EntrySink(ReleaseList& list) : list_(list) {}

    // `exactCode`: the serial is the game code itself, as in our lists.
    void add(Entry& entry, bool exactCode = false) {
        ++list_.counts.read;
        bool valid = false;
        const std::string code = exactCode ? exactGameCode(entry.serial, valid) : gameCodeOfSerial(entry.serial, valid);
        if (code.empty()) {
            ++list_.counts.withoutCode;
            list_.problems.push_back({entry.line, "no game code; skipped"});
            return;
        }
        if (!valid) {
            ++list_.counts.badCode;
            list_.problems.push_back({entry.line, "no game code of 4 letters or digits in \"" + code + "\"; skipped"});
            return;
        }
        Release release;
        release.gameCode = code;
        std::size_t replaced = 0;
        for (std::size_t i = 0; i < kReleaseFields; ++i) release.fields[i] = toLatin1(entry.fields[i], replaced);
        release.hasCrc = !release.fields[field::kCrc32].empty();
        if (const std::size_t text = recordText(release); text > kMaxRecordText) {
            ++list_.counts.tooLong;
            list_.problems.push_back({entry.line, "game code " + code + ": " + std::to_string(text) +
                                                      " bytes of text, more than a record holds; skipped"});
            return;
        }
        if (!codes_.insert(code).second) {
            ++list_.counts.repeated;
            list_.problems.push_back({entry.line, "game code " + code + " listed again; the first entry is kept"});
            return;
        }
        list_.counts.replaced += replaced;
        list_.releases.push_back(std::move(release));
    }

private:
    static std::string exactGameCode(const std::string& text, bool& valid) {
        valid = text.size() == 4;
        for (char c : text) valid = valid && c >= 0x20 && c <= 0x7E;
        return text;
    }

    ReleaseList& list_;
    std::unordered_set<std::string> codes_;
};

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

const char* attribute(const XML_Char** attributes, const char* name) {
    for (const XML_Char** a = attributes; *a; a += 2)
        if (std::strcmp(a[0], name) == 0) return a[1];
    return nullptr;
}

// Walks a Logiqx or an OfflineList dat. The root element tells which it is.
class DatReader {
public:
    DatReader(ReleaseList& list, std::optional<ListKind> wanted) : list_(list), sink_(list), wanted_(wanted) {}

    std::optional<ListProblem> read(std::string_view bytes) {
        // No encoding forced: UTF-8 unless the list's declaration says otherwise.
        Parser parser(XML_ParserCreate(nullptr));
        if (!parser) return ListProblem{0, "out of memory"};
        parser_ = parser.get();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &DatReader::onStart, &DatReader::onEnd);
        XML_SetCharacterDataHandler(parser_, &DatReader::onText);
        // The parser copies what it is given into a buffer of its own: given
        // in pieces, the list is not held twice.
        constexpr std::size_t kPiece = 64 * 1024;
        do {
            const std::size_t size = std::min(bytes.size(), kPiece);
            const bool last = size == bytes.size();
            if (XML_Parse(parser_, bytes.data(), static_cast<int>(size), last) != XML_STATUS_OK) {
                if (stopped_) return stopProblem_;
                return ListProblem{static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_)),
                                   XML_ErrorString(XML_GetErrorCode(parser_))};
            }
            bytes.remove_prefix(size);
        } while (!bytes.empty());
        return std::nullopt;
    }

private:
    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<DatReader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char* name) { static_cast<DatReader*>(self)->end(name); }
    static void onText(void* self, const XML_Char* text, int length) {
        auto* reader = static_cast<DatReader*>(self);
        if (reader->inEntry_) reader->text_.append(text, static_cast<std::size_t>(length));
    }

    void stop(std::string what) {
        stopped_ = true;
        stopProblem_ = ListProblem{static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_)), std::move(what)};
        XML_StopParser(parser_, XML_FALSE);
    }

    // The depth of an entry's element: Logiqx <datafile><game>, OfflineList <dat><games><game>.
    std::size_t entryDepth() const { return list_.kind == ListKind::Logiqx ? 2 : 3; }

    void start(const char* name, const XML_Char** attributes) {
        ++depth_;
        text_.clear();
        if (depth_ == 1) {
            if (std::strcmp(name, "datafile") == 0)
                list_.kind = ListKind::Logiqx;
            else if (std::strcmp(name, "dat") == 0)
                list_.kind = ListKind::OfflineList;
            else
                return stop(std::string("not a release list: the root element is <") + name + ">, not <datafile> or <dat>");
            if (wanted_ && *wanted_ != list_.kind)
                return stop(std::string("not a ") + listKindName(*wanted_) + ": the root element is <" + name + ">");
            return;
        }
        if (list_.kind == ListKind::OfflineList && depth_ == 2) {
            inGames_ = std::strcmp(name, "games") == 0;
            return;
        }
        if (depth_ == entryDepth()) {
            const bool isEntry = list_.kind == ListKind::Logiqx
                                     ? std::strcmp(name, "game") == 0 || std::strcmp(name, "machine") == 0
                                     : inGames_ && std::strcmp(name, "game") == 0;
            if (!isEntry) return;
            inEntry_ = true;
            entry_ = Entry{};
            entry_.line = static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_));
            crcFromNds_ = false;
            if (list_.kind == ListKind::Logiqx)
                if (const char* gameName = attribute(attributes, "name")) nameAttribute_ = gameName;
            return;
        }
        if (!inEntry_) return;
        if (list_.kind == ListKind::Logiqx && depth_ == entryDepth() + 1 && std::strcmp(name, "rom") == 0) {
            if (const char* serial = attribute(attributes, "serial"); serial && entry_.serial.empty()) entry_.serial = serial;
            const char* romName = attribute(attributes, "name");
            const bool nds = romName && (endsWithNoCase(romName, ".nds") || endsWithNoCase(romName, ".dsi") ||
                                         endsWithNoCase(romName, ".srl"));
            if (const char* crc = attribute(attributes, "crc"); crc && (!crcFromNds_ && (nds || crc_.empty()))) {
                crc_ = crc;
                crcFromNds_ = nds;
            }
        } else if (list_.kind == ListKind::OfflineList && depth_ == entryDepth() + 2 && std::strcmp(name, "romCRC") == 0) {
            const char* extension = attribute(attributes, "extension");
            romCrcFromNds_ = extension && endsWithNoCase(extension, ".nds");
        }
    }

    void end(const char* name) {
        if (inEntry_) {
            if (depth_ == entryDepth()) {
                finishEntry();
                inEntry_ = false;
            } else if (list_.kind == ListKind::Logiqx && depth_ == entryDepth() + 1) {
                logiqxField(name);
            } else if (list_.kind == ListKind::OfflineList && depth_ == entryDepth() + 1) {
                offlineListField(name);
            } else if (list_.kind == ListKind::OfflineList && depth_ == entryDepth() + 2 && std::strcmp(name, "romCRC") == 0) {
                if (!crcFromNds_ && (romCrcFromNds_ || crc_.empty())) {
                    crc_ = std::string(trimmed(text_));
                    crcFromNds_ = romCrcFromNds_;
                }
            }
        }
        text_.clear();
        --depth_;
    }

    void setOnce(std::string& to) {
        if (to.empty()) to = std::string(trimmed(text_));
    }

    void logiqxField(const char* name) {
        if (std::strcmp(name, "description") == 0)
            setOnce(description_);
        else if (std::strcmp(name, "serial") == 0 || std::strcmp(name, "game_id") == 0 || std::strcmp(name, "gameid") == 0)
            setOnce(entry_.serial);
        else if (std::strcmp(name, "publisher") == 0 || std::strcmp(name, "manufacturer") == 0)
            setOnce(entry_.fields[field::kPublisher]);
        else if (std::strcmp(name, "genre") == 0)
            setOnce(entry_.fields[field::kGenre]);
        else if (std::strcmp(name, "wifi") == 0)
            setOnce(entry_.fields[field::kWifi]);
    }

    void offlineListField(const char* name) {
        if (std::strcmp(name, "title") == 0)
            setOnce(entry_.fields[field::kName]);
        else if (std::strcmp(name, "serial") == 0)
            setOnce(entry_.serial);
        else if (std::strcmp(name, "publisher") == 0)
            setOnce(entry_.fields[field::kPublisher]);
        else if (std::strcmp(name, "location") == 0)
            entry_.fields[field::kCountry] = offlineListCountry(text_);
        else if (std::strcmp(name, "language") == 0)
            entry_.fields[field::kLanguageMask] = offlineListLanguages(text_);
        else if (std::strcmp(name, "releaseNumber") == 0)
            entry_.fields[field::kReleaseNumber] = releaseNumberText(text_);
        else if (std::strcmp(name, "sourceRom") == 0)
            setOnce(entry_.fields[field::kReleaseGroup]);
        else if (std::strcmp(name, "genre") == 0)
            setOnce(entry_.fields[field::kGenre]);
        else if (std::strcmp(name, "wifi") == 0)
            setOnce(entry_.fields[field::kWifi]);
    }

    void finishEntry() {
        if (list_.kind == ListKind::Logiqx) {
            const NameTags tags = splitNameTags(description_.empty() ? nameAttribute_ : description_);
            entry_.fields[field::kName] = tags.title;
            entry_.fields[field::kCountry] = tags.country;
            entry_.fields[field::kLanguageMask] = tags.languages;
        }
        // A serial longer than the game code is the ROM code ("NTR-ABCE-USA").
        const std::string_view serial = trimmed(entry_.serial);
        if (serial.size() > 4 && serial.find_first_of(",;/") == std::string_view::npos)
            entry_.fields[field::kRomCode] = std::string(serial);
        entry_.fields[field::kCrc32] = crcText(crc_);
        sink_.add(entry_);
        description_.clear();
        nameAttribute_.clear();
        crc_.clear();
    }

    ReleaseList& list_;
    EntrySink sink_;
    std::optional<ListKind> wanted_;
    XML_Parser parser_ = nullptr;
    bool stopped_ = false;
    ListProblem stopProblem_;
    std::size_t depth_ = 0;
    bool inGames_ = false;
    bool inEntry_ = false;
    Entry entry_;
    std::string text_;
    std::string description_, nameAttribute_, crc_;
    bool crcFromNds_ = false, romCrcFromNds_ = false;
};

std::optional<ListProblem> readDat(std::string_view bytes, ReleaseList& list, std::optional<ListKind> wanted) {
    list = ReleaseList{};
    if (wanted) list.kind = *wanted;
    DatReader reader(list, wanted);
    return reader.read(bytes);
}

}  // namespace

std::optional<ListProblem> readLogiqxList(std::string_view bytes, ReleaseList& list) {
    return readDat(bytes, list, ListKind::Logiqx);
}

std::optional<ListProblem> readOfflineList(std::string_view bytes, ReleaseList& list) {
    return readDat(bytes, list, ListKind::OfflineList);
}

std::optional<ListProblem> readTsvList(std::string_view bytes, ReleaseList& list) {
    list = ReleaseList{};
    list.kind = ListKind::ReleaseTsv;
    EntrySink sink(list);
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (lineNumber == 1 || line.empty()) continue;  // the header; blank lines

        Entry entry;
        entry.line = lineNumber;
        std::size_t column = 0;
        std::size_t start = 0;
        bool fits = true;
        while (fits) {
            const std::size_t tab = line.find('\t', start);
            const std::string_view text =
                line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
            if (column == 0)
                entry.serial = std::string(text);
            else if (column <= kReleaseFields)
                entry.fields[column - 1] = std::string(text);
            else
                fits = false;
            ++column;
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        if (!fits || column != kReleaseFields + 1) {
            ++list.counts.read;
            ++list.counts.badLine;
            list.problems.push_back(
                {lineNumber, std::to_string(column) + " columns, expected " + std::to_string(kReleaseFields + 1) + "; skipped"});
            continue;
        }
        sink.add(entry, true);
    }
    return std::nullopt;
}

std::optional<ListProblem> readReleaseList(std::string_view bytes, ReleaseList& list) {
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::string_view start = text;
    while (!start.empty() && isSpace(start.front())) start.remove_prefix(1);
    if (!start.empty() && start.front() == '<') return readDat(bytes, list, std::nullopt);
    // Our header's first column, whatever columns follow.
    const std::string_view header = "game code\t";
    if (text.substr(0, header.size()) == header) return readTsvList(text, list);
    list = ReleaseList{};
    return ListProblem{0,
                       "not a release list: neither XML (a Logiqx or OfflineList dat) nor a tab-separated list with our header"};
}

void ReleaseMerge::add(const ReleaseList& list) {
    ReleaseList copy;
    copy.releases = list.releases;
    add(std::move(copy));
}

void ReleaseMerge::add(ReleaseList&& list) {
    if (releases_.empty()) releases_.reserve(list.releases.size());
    for (Release& release : list.releases) {
        const auto [found, added] = byCode_.emplace(release.gameCode, releases_.size());
        if (added) {
            releases_.push_back(std::move(release));
            continue;
        }
        ++merged_;
        Release& kept = releases_[found->second];
        std::size_t text = recordText(kept);
        for (std::size_t i = 0; i < kReleaseFields; ++i) {
            if (!kept.fields[i].empty() || release.fields[i].empty()) continue;
            // A CRC also brings its NUL into a record that had none.
            const std::size_t more = release.fields[i].size() + (i == field::kCrc32 && !kept.hasCrc ? 1 : 0);
            // A gap stays where its filling would make the record too long.
            if (text + more > kMaxRecordText) continue;
            kept.fields[i] = release.fields[i];
            text += more;
            if (i == field::kCrc32) kept.hasCrc = true;
        }
    }
}

}  // namespace cartscope::cli
