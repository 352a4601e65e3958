// One fuzzer body for each reader of release lists: whatever a list holds,
// what is read from it goes into a database, and the counts add up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cli/list_import.h"

namespace cartscope::cli {

template <typename Reader>
int fuzzReleaseList(Reader reader, const std::uint8_t* data, std::size_t size) {
    ReleaseList list;
    const auto failure = reader(std::string_view(reinterpret_cast<const char*>(data), size), list);
    if (failure && failure->what.empty()) __builtin_trap();
    if (list.counts.read != list.releases.size() + list.counts.skipped()) __builtin_trap();
    if (list.problems.size() != list.counts.skipped()) __builtin_trap();
    // The list merged with itself: every code meets itself once, nothing changes.
    ReleaseMerge merge;
    merge.add(list);
    merge.add(list);
    if (merge.merged() != list.releases.size() || merge.releases() != list.releases) __builtin_trap();
    std::vector<std::uint8_t> bytes;
    if (!buildDatabase(1, merge.releases(), bytes).empty()) __builtin_trap();
    return 0;
}

}  // namespace cartscope::cli
