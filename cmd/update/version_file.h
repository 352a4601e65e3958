// The version file as the Windows updater reads it: the core's reader, and
// versions of installed files as Windows gives them (wide text).
#pragma once

#include <string>
#include <string_view>

#include "core/version_file.h"

namespace cartscope::update {

// compareVersions for a local version in wide text (a version resource's).
inline int compareVersions(std::string_view remote, const std::wstring& local) {
    return compareVersions(remote, std::u16string(local.begin(), local.end()));
}

}  // namespace cartscope::update
