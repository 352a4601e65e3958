#include "core/version_file.h"

#include <climits>
#include <cstring>

namespace cartscope::update {

bool versionFileValue(const std::string& text, const std::string& key, std::string& value) {
    value.clear();
    const std::size_t found = text.find(key + ":");
    if (found == std::string::npos) return false;
    const std::size_t start = found + key.size() + 1;
    const std::size_t end = text.find("\r\n", start);
    value = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return !value.empty();
}

namespace {

bool isSpace(char32_t c) { return c == U' ' || (c >= U'\t' && c <= U'\r'); }

// Reads a number at `position` of `text` as strtoul would (white space, an
// optional sign, digits); `position` moves past it. No digits: 0, and the
// position stays where it was.
template <class Text>
long long readNumber(Text text, std::size_t& position) {
    std::size_t i = position;
    while (i < text.size() && isSpace(static_cast<char32_t>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long number = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (number < LLONG_MAX / 10) number = number * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digits) return 0;
    position = i;
    return negative ? -number : number;
}

}  // namespace

std::int32_t readDecimal(std::string_view text) {
    std::size_t position = 0;
    const long long number = readNumber(text, position);
    if (number > INT32_MAX) return INT32_MAX;
    if (number < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(number);
}

int compareVersions(std::string_view remote, std::u16string_view local) {
    std::size_t r = 0, l = 0;
    for (int part = 0; part < 4; ++part) {
        const long long a = readNumber(remote, r);
        const long long b = readNumber(local, l);
        if (a != b) {
            const long long difference = a - b;
            return difference > INT_MAX ? INT_MAX : difference < INT_MIN ? INT_MIN : static_cast<int>(difference);
        }
        ++r;  // the separator
        ++l;
    }
    return 0;
}

std::string decodeEntities(const std::string& text) {
    struct Entity {
        const char* name;
        char byte;
    };
    static const Entity kEntities[] = {
        {"&amp;", '\x26'},  {"&Auml;", '\xC4'}, {"&auml;", '\xE4'}, {"&Ouml;", '\xD6'},
        {"&ouml;", '\xF6'}, {"&Uuml;", '\xDC'}, {"&uuml;", '\xFC'}, {"&szlig;", '\xDF'},
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const Entity& entity : kEntities) {
                const std::size_t length = std::strlen(entity.name);
                if (text.compare(i, length, entity.name) == 0) {
                    out += entity.byte;
                    i += length;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

bool readSha256Hex(std::string_view text, Sha256& hash) {
    if (text.size() != 2 * hash.size()) return false;
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hash.size(); ++i) {
        const int high = digit(text[2 * i]), low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        hash[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

TransferLimits versionFileLimits() {
    TransferLimits limits;
    limits.totalSeconds = 120;
    limits.maxBytes = 64 * 1024;
    return limits;
}

TransferLimits downloadLimits() {
    TransferLimits limits;
    limits.maxBytes = 64 * 1024 * 1024;
    return limits;
}

}  // namespace cartscope::update
