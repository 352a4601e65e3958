// What the command line checks of the URLs it is given.
#pragma once

#include <string>

namespace cartscope::cli {

// Whether `url` begins with `scheme` (lower case, "https://" say), in any
// case, and has something after it.
bool hasScheme(const std::string& url, const char* scheme);

// Whether `url` is an http:// or https:// URL (the scheme in any case) with
// something after the scheme.
bool isHttpUrl(const std::string& url);

}  // namespace cartscope::cli
