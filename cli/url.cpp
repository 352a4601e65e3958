#include "cli/url.h"

#include <cctype>
#include <cstring>

namespace cartscope::cli {

bool hasScheme(const std::string& url, const char* scheme) {
    const std::size_t length = std::strlen(scheme);
    if (url.size() <= length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
    return true;
}

bool isHttpUrl(const std::string& url) { return hasScheme(url, "http://") || hasScheme(url, "https://"); }

}  // namespace cartscope::cli
