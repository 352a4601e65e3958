// Feeds arbitrary patterns and titles to the rename-pattern engine, and checks
// the "%S...%s" matcher against std::regex on the same text.
//
// Input layout: the first byte chooses how the rest becomes UTF-16 (bit 0 set:
// little-endian pairs, else one unit per byte, which lets mutations reach the
// placeholders quickly). The units up to the first NUL are the pattern, the
// units after it the title.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>

#include "core/rename_pattern.h"
#include "core/rom_info.h"

using namespace cartscope;

namespace {

// std::regex recurses once per character of a repetition; keep its input
// short enough for the stack of an instrumented build.
constexpr std::size_t kRegexCheckLimit = 1024;

constexpr std::size_t kBannerTitles = 0x240;
constexpr std::size_t kBannerTitleSlot = 0x100;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "rename_pattern_fuzzer: %s\n", what);
    std::abort();
}

bool isFileNameSafe(std::u16string_view name) { return name.find_first_of(u"\\/:*?\"<>|") == std::u16string_view::npos; }

// The matcher and std::regex must find the same blocks with the same groups.
void checkMatcherAgainstRegex(const std::uint8_t* data, std::size_t size) {
    static const std::regex expression("%S([^,%]*),?([^%]*)%s", std::regex::ECMAScript);
    const std::string bytes(reinterpret_cast<const char*>(data), size < kRegexCheckLimit ? size : kRegexCheckLimit);
    std::u16string units;
    for (unsigned char byte : bytes) units += static_cast<char16_t>(byte);

    std::size_t from = 0;
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), expression); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        const auto block = findTrimBlock(units, from);
        if (!block) fail("matcher missed a block");
        const auto offset = [&](std::u16string_view group) { return std::size_t(group.data() - units.data()); };
        if (block->position != std::size_t(m.position(0)) || block->length != std::size_t(m.length(0)) ||
            offset(block->trimmed) != std::size_t(m.position(1)) || block->trimmed.size() != std::size_t(m.length(1)) ||
            offset(block->untrimmed) != std::size_t(m.position(2)) || block->untrimmed.size() != std::size_t(m.length(2)))
            fail("matcher and std::regex disagree");
        from = block->position + block->length;
    }
    if (findTrimBlock(units, from)) fail("matcher found a block that std::regex does not");
}

void putTitle(RomInfo& rom, int language, std::u16string_view title) {
    std::uint8_t* slot = &rom.banner[kBannerTitles + static_cast<std::size_t>(language) * kBannerTitleSlot];
    for (std::size_t i = 0; i < title.size() && i < RomInfo::kTitleUnits; ++i) {
        slot[2 * i] = static_cast<std::uint8_t>(title[i]);
        slot[2 * i + 1] = static_cast<std::uint8_t>(title[i] >> 8);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkMatcherAgainstRegex(data, size);
    if (size == 0) return 0;

    std::u16string units;
    if (data[0] & 1) {
        for (std::size_t i = 1; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    } else {
        for (std::size_t i = 1; i < size; ++i) units += static_cast<char16_t>(data[i]);
    }
    const std::size_t split = units.find(u'\0');
    const std::u16string_view pattern = std::u16string_view(units).substr(0, split);
    const std::u16string_view title =
        split == std::u16string::npos ? std::u16string_view() : std::u16string_view(units).substr(split + 1);

    const auto message = validateRenamePattern(pattern);
    if (!message && pattern.find(u"%T") == std::u16string_view::npos) fail("accepted a pattern without %T");

    for (bool trimmed : {false, true}) {
        RomInfo rom;
        rom.capacity = 0x8000;
        rom.fileSize = trimmed ? 0x4200 : 0x8000;
        rom.releaseNumber = u"0042";
        rom.region = u"EUR";
        rom.releaseGroup = u"G%S#";
        const std::u16string name = applyRenamePattern(rom, pattern, title);
        if (pattern.empty() && !name.empty()) fail("empty pattern gave a name");
        if (!isFileNameSafe(name)) fail("name holds a reserved character");

        // The title as a banner title: short titles and proposed names.
        rom.bannerValid = true;
        putTitle(rom, English, title);
        putTitle(rom, Spanish, title.substr(title.size() / 2));
        rom.shortTitles = bannerShortTitles(rom);
        rom.renameNames = collectRenameNames(rom, pattern);
        for (const auto& shortTitle : rom.shortTitles) {
            if (!isFileNameSafe(shortTitle) || shortTitle.find(u'\n') != std::u16string::npos)
                fail("short title is not one clean line");
        }
        for (const auto& proposed : rom.renameNames) {
            if (!isFileNameSafe(proposed)) fail("proposed name holds a reserved character");
        }
        if (rom.renameNames.size() > 4) fail("more names than two titles can give");
        volatile std::size_t sink = 0;
        for (unsigned language = 0; language < 8; ++language) sink = sink + renameTitle(rom, language).size();
        (void)sink;
    }
    return 0;
}
