#include "cli/thumbnail.h"

#include <cctype>
#include <string_view>

#include "core/rom_info.h"

namespace cartscope::cli {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The length of a URI scheme name at the start of `text` that is followed by
// a colon, or 0.
std::size_t schemeLength(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return 0;
    std::size_t i = 1;
    while (i < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    return i < text.size() && text[i] == ':' ? i : 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

std::optional<std::string> thumbnailInputPath(const std::string& input, std::string& problem) {
    const std::size_t scheme = schemeLength(input);
    const std::string_view view(input);
    if (scheme == 0 || !equalsIgnoringCase(view.substr(0, scheme), "file")) {
        // A name such as "a:b.nds" is a relative path; "http://..." is not.
        if (scheme != 0 && view.substr(scheme + 1, 2) == "//") {
            problem = "not a local file: only file:// URIs and paths are read";
            return std::nullopt;
        }
        return input;
    }

    std::string_view rest = view.substr(scheme + 1);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !equalsIgnoringCase(host, "localhost")) {
            problem = "not a local file: the URI names the host \"" + std::string(host) + "\"";
            return std::nullopt;
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') {
        problem = "a file URI needs an absolute path";
        return std::nullopt;
    }
    if (rest.find_first_of("?#") != std::string_view::npos) {
        problem = "a file URI with a query or fragment (\"?\" or \"#\" must be written %3F and %23)";
        return std::nullopt;
    }

    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size() || hexDigit(rest[i + 1]) < 0 || hexDigit(rest[i + 2]) < 0) {
            problem = "bad escape in the file URI: \"%\" must be followed by two hexadecimal digits";
            return std::nullopt;
        }
        const char byte = static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
        if (byte == '\0') {
            problem = "bad escape in the file URI: %00 cannot be part of a file name";
            return std::nullopt;
        }
        path += byte;
        i += 2;
    }
    return path;
}

int thumbnailSide(int size) {
    if (size < kIconSide) return size;
    return size / kIconSide * kIconSide;
}

}  // namespace cartscope::cli
