// Release lists as tab-separated text: a header line, then one release a
// line with the game code and the ten fields. Text is UTF-8 here and
// ISO 8859-1 in the database.
#pragma once

#include <string>
#include <vector>

#include "core/release_database.h"

namespace cartscope::cli {

extern const char* const kReleaseTsvHeader;

// Parses the text; gives an empty string or the first problem with its line number.
std::string parseReleaseTsv(const std::string& text, std::vector<Release>& releases);

std::string formatReleaseTsv(const std::vector<Release>& releases);

// Database text (ISO 8859-1) as UTF-8.
std::string latin1ToUtf8(const std::string& text);

}  // namespace cartscope::cli
