#include "cmd/update/version_file.h"

#include <climits>
#include <cwctype>

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

bool isSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Reads a number at `position` of `text` as strtoul would (white space, an
// optional sign, digits); `position` moves past it. No digits: 0, and the
// position stays where it was.
template <class Text>
long long readNumber(const Text& text, std::size_t& position) {
    std::size_t i = position;
    while (i < text.size() && isSpace(static_cast<wchar_t>(text[i]))) ++i;
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

std::int32_t readDecimal(const std::string& text) {
    std::size_t position = 0;
    const long long number = readNumber(text, position);
    if (number > INT32_MAX) return INT32_MAX;
    if (number < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(number);
}

int compareVersions(const std::string& remote, const std::wstring& local) {
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

}  // namespace cartscope::update
