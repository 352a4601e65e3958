// Writes release databases in the layout that the reader expects.
#include <algorithm>

#include "core/little_endian.h"
#include "core/release_database.h"

namespace cartscope {

std::string buildDatabase(std::uint16_t version, std::vector<Release> releases, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (releases.size() > kMaxReleases)
        return "too many releases: " + std::to_string(releases.size()) + " (at most " + std::to_string(kMaxReleases) + ")";
    for (const Release& release : releases) {
        if (release.gameCode.size() != 4) return "game code \"" + release.gameCode + "\" is not 4 bytes long";
        // Printable codes also keep every key above the file length in slot 0.
        for (char c : release.gameCode)
            if (c < 0x20 || c > 0x7E)
                return "game code \"" + release.gameCode + "\" holds a character that is not printable ASCII";
        const std::size_t fields = release.hasCrc ? kReleaseFields : kReleaseFields - 1;
        std::size_t text = 0;
        for (std::size_t i = 0; i < fields; ++i) {
            if (release.fields[i].find('\0') != std::string::npos) return "a field of " + release.gameCode + " holds a NUL byte";
            text += release.fields[i].size() + 1;
        }
        if (text > kMaxRecordText)
            return "the record of " + release.gameCode + " is too long (" + std::to_string(text + 2) + " bytes, at most 32769)";
    }
    std::stable_sort(releases.begin(), releases.end(),
                     [](const Release& a, const Release& b) { return releaseKey(a.gameCode) < releaseKey(b.gameCode); });
    for (std::size_t i = 1; i < releases.size(); ++i)
        if (releases[i].gameCode == releases[i - 1].gameCode) return "game code " + releases[i].gameCode + " is listed twice";

    const std::size_t count = releases.size() + 1;
    bytes.assign(count * 8, 0);
    put16(&bytes[4], version);
    put16(&bytes[6], static_cast<std::uint16_t>(count));
    for (std::size_t i = 0; i < releases.size(); ++i) {
        const Release& release = releases[i];
        const std::size_t slot = (i + 1) * 8;
        put32(&bytes[slot], static_cast<std::uint32_t>(releaseKey(release.gameCode)));
        put32(&bytes[slot + 4], static_cast<std::uint32_t>(bytes.size()));
        const std::size_t start = bytes.size();
        bytes.resize(start + 2);
        const std::size_t fields = release.hasCrc ? kReleaseFields : kReleaseFields - 1;
        for (std::size_t f = 0; f < fields; ++f) {
            bytes.insert(bytes.end(), release.fields[f].begin(), release.fields[f].end());
            bytes.push_back(0);
        }
        put16(&bytes[start], static_cast<std::uint16_t>(bytes.size() - start));
    }
    if (bytes.size() > 0xFFFFFFFFu) return "the database would be larger than 4 GiB";
    put32(&bytes[0], static_cast<std::uint32_t>(bytes.size()));
    return {};
}

}  // namespace cartscope
