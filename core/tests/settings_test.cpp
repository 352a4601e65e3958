#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/platform/settings_store.h"
#include "core/settings.h"

using namespace cartscope;

namespace {

constexpr std::uint32_t kSz = 1;        // a plain string
constexpr std::uint32_t kExpandSz = 2;  // a string with %VARIABLES%
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;

// The stored bytes of `text` (little-endian UTF-16), with a closing NUL
// unless `closed` is false.
std::vector<std::uint8_t> stored(const std::u16string& text, bool closed = true) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (closed) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::optional<std::u16string> decode(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    return decodeSettingString(type, bytes.data(), bytes.size());
}

}  // namespace

TEST(SettingsUpdateMode, StoredValuesOfTheThreeModes) {
    EXPECT_EQ(decodeUpdateMode(2), UpdateMode::Manual);
    EXPECT_EQ(decodeUpdateMode(3), UpdateMode::AtWindowsStart);
    // A missing value reads as 0: updates start from opened folders.
    EXPECT_EQ(decodeUpdateMode(0), UpdateMode::OnFolderOpen);

    EXPECT_EQ(encodeUpdateMode(UpdateMode::Manual), 2u);
    EXPECT_EQ(encodeUpdateMode(UpdateMode::AtWindowsStart), 3u);
    EXPECT_EQ(encodeUpdateMode(UpdateMode::OnFolderOpen), 0u);
}

TEST(SettingsUpdateMode, OnlyTheLowThreeBitsCount) {
    EXPECT_EQ(decodeUpdateMode(10), UpdateMode::Manual);
    EXPECT_EQ(decodeUpdateMode(0x80000003u), UpdateMode::AtWindowsStart);
    EXPECT_EQ(decodeUpdateMode(0xFFFFFFF8u), UpdateMode::OnFolderOpen);
}

TEST(SettingsUpdateMode, OtherStoredValuesMatchNoMode) {
    // Stored 1 and 4..7 decode to 3..7: kept as that number, none of the modes.
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{1, 3}, {4, 6}, {5, 7}, {6, 4}, {7, 5}, {0xC, 6}};
    for (const auto& [storedValue, decoded] : cases) {
        SCOPED_TRACE(storedValue);
        const UpdateMode mode = decodeUpdateMode(storedValue);
        EXPECT_EQ(static_cast<std::uint32_t>(mode), decoded);
        EXPECT_NE(mode, UpdateMode::Manual);
        EXPECT_NE(mode, UpdateMode::AtWindowsStart);
        EXPECT_NE(mode, UpdateMode::OnFolderOpen);
    }
}

TEST(SettingsUpdateMode, EncodingRoundTripsEveryDecodedValue) {
    for (std::uint32_t storedValue = 0; storedValue < 8; ++storedValue)
        EXPECT_EQ(encodeUpdateMode(decodeUpdateMode(storedValue)), storedValue);
}

TEST(SettingsRenamePattern, DefaultFollowsTheLowTwoBitsOfRenameMode) {
    EXPECT_EQ(defaultRenamePattern(0), u"%T");
    EXPECT_EQ(defaultRenamePattern(1), u"%T(%R)");
    EXPECT_EQ(defaultRenamePattern(2), u"[%N] %T");
    EXPECT_EQ(defaultRenamePattern(3), u"[%N] %T(%R)");
    // Higher bits are ignored.
    EXPECT_EQ(defaultRenamePattern(6), u"[%N] %T");
    EXPECT_EQ(defaultRenamePattern(0xFFFFFFFCu), u"%T");
    EXPECT_EQ(defaultRenamePattern(0x101), u"%T(%R)");
}

TEST(SettingsString, ReadsPlainAndExpandableStrings) {
    // A unit with both bytes set shows that the bytes are taken little-endian.
    const std::u16string text = u"[%N] %T \u30B2\u00E9";
    EXPECT_EQ(decode(kSz, stored(text)), text);
    EXPECT_EQ(decode(kExpandSz, stored(u"%T(%R)")), u"%T(%R)");
    // %VARIABLES% are left as they are.
    EXPECT_EQ(decode(kExpandSz, stored(u"%USERNAME%")), u"%USERNAME%");
}

TEST(SettingsString, EmptyStoredStringGivesEmptyText) {
    const std::optional<std::u16string> empty = decode(kSz, stored(u""));
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(*empty, u"");
}

TEST(SettingsString, LengthLimitIs255CharactersAndTheNul) {
    const std::u16string longest(255, u'x');
    ASSERT_EQ(stored(longest).size(), 512u);
    EXPECT_EQ(decode(kSz, stored(longest)), longest);
    EXPECT_EQ(decode(kSz, stored(longest + u'y')), std::nullopt);
    EXPECT_EQ(decode(kSz, stored(std::u16string(1000, u'x'))), std::nullopt);
}

TEST(SettingsString, MalformedStringsAreRejected) {
    // Odd byte lengths: a stray byte after the NUL, or half of the NUL.
    std::vector<std::uint8_t> odd = stored(u"%T");
    odd.push_back(0);
    EXPECT_EQ(decode(kSz, odd), std::nullopt);
    odd = stored(u"%T");
    odd.pop_back();
    EXPECT_EQ(decode(kSz, odd), std::nullopt);

    EXPECT_EQ(decode(kSz, stored(u"%T", false)), std::nullopt);
    EXPECT_EQ(decode(kSz, {}), std::nullopt);
    // Only the last unit counts as the end: a NUL low byte is not enough.
    EXPECT_EQ(decode(kSz, {'%', 0, 'T', 0, 0, 1}), std::nullopt);
}

TEST(SettingsString, OtherTypesAreRejected) {
    const std::vector<std::uint8_t> text = stored(u"%T");
    EXPECT_EQ(decode(kDword, {'%', 0, 0, 0}), std::nullopt);
    EXPECT_EQ(decode(kDword, text), std::nullopt);
    EXPECT_EQ(decode(kBinary, text), std::nullopt);
    EXPECT_EQ(decode(7, text), std::nullopt);  // a list of strings
    EXPECT_EQ(decode(0, text), std::nullopt);
}

TEST(SettingsString, TextEndsAtTheFirstNul) {
    EXPECT_EQ(decode(kSz, stored(std::u16string(u"%T\0(%R)", 7))), u"%T");
    EXPECT_EQ(decode(kSz, stored(std::u16string(u"\0%T", 3))), u"");
}

#ifndef _WIN32
// Without a registry nothing is stored and nothing can be: every reader gives
// its default, and writes are dropped.
TEST(SettingsStore, ReadersGiveTheDefaultsWithoutARegistry) {
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
    EXPECT_EQ(renamePattern(), u"%T");
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    EXPECT_EQ(readSettingDword(kRenameModeValue), 0u);
    EXPECT_EQ(readSettingString(kRenamePatternValue), u"");
    EXPECT_FALSE(forTesting());
}

TEST(SettingsStore, WritesAreDroppedWithoutARegistry) {
    const std::uint32_t one = 1;
    EXPECT_FALSE(platform::writeSettingValue(kForTestingValue, platform::SettingType::Dword, &one, sizeof one));
    writeUpdateMode(UpdateMode::Manual);
    writeRenamePattern(u"[%N] %T");
    writeLastUpdate(1700000000);
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
    EXPECT_EQ(renamePattern(), u"%T");
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    EXPECT_FALSE(forTesting());
}
#endif
