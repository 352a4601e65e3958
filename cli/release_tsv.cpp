#include "cli/release_tsv.h"

#include "core/text.h"

namespace cartscope::cli {

const char* const kReleaseTsvHeader =
    "game code\tROM code\tname\tcountry\tgenre\tpublisher\tlanguage mask\tWiFi\trelease number\trelease group\tCRC-32";

namespace {

// UTF-8 to ISO 8859-1; false when a character has no single byte.
bool utf8ToLatin1(const std::string& text, std::string& out, std::string& bad) {
    out.clear();
    for (char16_t unit : fromUtf8(text)) {
        if (unit > 0xFF || unit == 0xFFFD) {
            bad = toUtf8(std::u16string(1, unit));
            return false;
        }
        out += static_cast<char>(unit);
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> columns(1);
    for (char c : line) {
        if (c == '\t')
            columns.emplace_back();
        else
            columns.back() += c;
    }
    return columns;
}

}  // namespace

std::string latin1ToUtf8(const std::string& text) { return toUtf8(widen(text)); }

std::string parseReleaseTsv(const std::string& text, std::vector<Release>& releases) {
    releases.clear();
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNumber == 1 || line.empty()) continue;  // the header; blank lines

        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::vector<std::string> columns = splitTabs(line);
        if (columns.size() != kReleaseFields + 1)
            return where + std::to_string(columns.size()) + " columns, expected " + std::to_string(kReleaseFields + 1);
        Release release;
        std::string bad;
        if (!utf8ToLatin1(columns[0], release.gameCode, bad))
            return where + "the game code holds \"" + bad + "\", which ISO 8859-1 cannot hold";
        for (std::size_t i = 0; i < kReleaseFields; ++i) {
            if (!utf8ToLatin1(columns[i + 1], release.fields[i], bad))
                return where + "\"" + bad + "\" is not a character of ISO 8859-1 (or not valid UTF-8)";
        }
        release.hasCrc = !release.fields[kReleaseFields - 1].empty();
        releases.push_back(std::move(release));
    }
    return {};
}

std::string formatReleaseTsv(const std::vector<Release>& releases) {
    std::string text = std::string(kReleaseTsvHeader) + "\n";
    for (const Release& release : releases) {
        text += latin1ToUtf8(release.gameCode);
        for (const std::string& field : release.fields) text += "\t" + latin1ToUtf8(field);
        text += "\n";
    }
    return text;
}

}  // namespace cartscope::cli
