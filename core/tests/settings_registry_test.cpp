// The settings against the real registry (under Wine in the cross builds).
// Each test sees HKEY_CURRENT_USER redirected to a fresh scratch key of its
// own, so the user's settings are never touched and tests can run side by side.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/settings_store.h"
#include "core/settings.h"
#include "win/reg_key.h"
#include "win/text.h"

using namespace cartscope;

namespace {

using win::wideChars;
using Key = win::RegKey;

constexpr wchar_t kScratchParent[] = L"Software\\CartscopeTests";

Key openKey(HKEY parent, const wchar_t* path, REGSAM access = KEY_ALL_ACCESS) {
    Key key;
    key.open(parent, path, access);
    return key;
}

Key createKey(HKEY parent, const wchar_t* path) {
    Key key;
    key.create(parent, path, KEY_ALL_ACCESS);
    return key;
}

std::vector<std::uint8_t> stringBytes(const std::u16string& text, bool closed = true) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (closed) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

struct RawValue {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        scratchPath_ =
            std::wstring(kScratchParent) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(now.QuadPart);
        {
            const Key scratch = createKey(HKEY_CURRENT_USER, scratchPath_.c_str());
            ASSERT_TRUE(scratch) << "cannot create the scratch key";
            ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch.get()), ERROR_SUCCESS);
        }
        overridden_ = true;
        // The redirection holds: the scratch key is empty.
        ASSERT_FALSE(openKey(HKEY_CURRENT_USER, L"Software\\CartscopeTests", KEY_READ));
    }

    void TearDown() override {
        if (overridden_) {
            EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
        }
        if (!scratchPath_.empty()) {
            // Deletes the scratch key itself with everything below it.
            EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath_.c_str()), ERROR_SUCCESS);
            // Gone only when no other test still uses it.
            RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);
        }
    }

    static bool settingsKeyExists() {
        return static_cast<bool>(openKey(HKEY_CURRENT_USER, wideChars(platform::kSettingsKeyPath), KEY_READ));
    }

    static void put(const char16_t* name, DWORD type, const std::vector<std::uint8_t>& data) {
        const Key key = createKey(HKEY_CURRENT_USER, wideChars(platform::kSettingsKeyPath));
        ASSERT_TRUE(key);
        ASSERT_EQ(RegSetValueExW(key.get(), wideChars(name), 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    static void putDword(const char16_t* name, std::uint32_t number) {
        put(name, REG_DWORD,
            {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number >> 16),
             static_cast<std::uint8_t>(number >> 24)});
    }

    static void putString(const char16_t* name, const std::u16string& text, DWORD type = REG_SZ) {
        put(name, type, stringBytes(text));
    }

    // The value as stored, read past the code under test.
    static RawValue get(const char16_t* name) {
        RawValue value;
        const Key key = openKey(HKEY_CURRENT_USER, wideChars(platform::kSettingsKeyPath), KEY_READ);
        if (!key) return value;
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), wideChars(name), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            return RawValue();
        value.data.resize(size);
        if (RegQueryValueExW(key.get(), wideChars(name), nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS)
            return RawValue();
        value.data.resize(size);
        return value;
    }

    std::wstring scratchPath_;
    bool overridden_ = false;
};

}  // namespace

TEST_F(SettingsRegistry, WithoutTheKeyReadersGiveDefaultsAndCreateNothing) {
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
    EXPECT_EQ(renamePattern(), u"%T");
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    EXPECT_EQ(readSettingDword(kRenameModeValue), 0u);
    EXPECT_EQ(readSettingString(kRenamePatternValue), u"");
    EXPECT_FALSE(forTesting());
    EXPECT_EQ(platform::readSettingValue(kSettingsValue), std::nullopt);
    EXPECT_FALSE(settingsKeyExists());
    EXPECT_FALSE(openKey(HKEY_CURRENT_USER, L"SOFTWARE\\Velmora", KEY_READ));
}

TEST_F(SettingsRegistry, EmptyKeyGivesDefaults) {
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, wideChars(platform::kSettingsKeyPath)));
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
    EXPECT_EQ(renamePattern(), u"%T");
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    EXPECT_FALSE(forTesting());
}

TEST_F(SettingsRegistry, WritesCreateTheKey) {
    ASSERT_FALSE(settingsKeyExists());
    writeUpdateMode(UpdateMode::Manual);
    ASSERT_TRUE(settingsKeyExists());
    const RawValue value = get(kSettingsValue);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(updateMode(), UpdateMode::Manual);
}

TEST_F(SettingsRegistry, UpdateModesAreStoredEncoded) {
    const std::pair<UpdateMode, std::uint8_t> cases[] = {
        {UpdateMode::Manual, 2}, {UpdateMode::AtWindowsStart, 3}, {UpdateMode::OnFolderOpen, 0}};
    for (const auto& [mode, storedValue] : cases) {
        writeUpdateMode(mode);
        EXPECT_EQ(get(kSettingsValue).data, (std::vector<std::uint8_t>{storedValue, 0, 0, 0}));
        EXPECT_EQ(updateMode(), mode);
    }
}

TEST_F(SettingsRegistry, StoredModeIsDecodedFromItsLowThreeBits) {
    putDword(kSettingsValue, 10);
    EXPECT_EQ(updateMode(), UpdateMode::Manual);
    putDword(kSettingsValue, 3);
    EXPECT_EQ(updateMode(), UpdateMode::AtWindowsStart);
    putDword(kSettingsValue, 5);
    EXPECT_EQ(static_cast<std::uint32_t>(updateMode()), 7u);
}

TEST_F(SettingsRegistry, RenamePatternRoundTripsWithItsNulStored) {
    const std::u16string pattern = u"[%N] %T (\u30B2\u30FC\u30E0)";
    writeRenamePattern(pattern);
    const RawValue value = get(kRenamePatternValue);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.data, stringBytes(pattern));
    EXPECT_EQ(value.data.size(), (pattern.size() + 1) * 2);
    EXPECT_EQ(renamePattern(), pattern);
}

TEST_F(SettingsRegistry, EmptyRenamePatternFallsBackToRenameMode) {
    putDword(kRenameModeValue, 1);
    writeRenamePattern(u"");
    EXPECT_EQ(get(kRenamePatternValue).data, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(renamePattern(), u"%T(%R)");
}

TEST_F(SettingsRegistry, LastUpdateIsAnEightByteQword) {
    writeLastUpdate(0x0123456789ABCDEFull);
    const RawValue value = get(kLastUpdateValue);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}));
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0x0123456789ABCDEFull);
    writeLastUpdate(1700000000);
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 1700000000u);
}

TEST_F(SettingsRegistry, NumbersOfTheWrongTypeOrSizeReadAsZero) {
    put(kLastUpdateValue, REG_QWORD, {1, 2, 3, 4});
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    put(kLastUpdateValue, REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 0u);
    put(kForTestingValue, REG_BINARY, {1, 0, 0, 0});
    EXPECT_FALSE(forTesting());
    put(kForTestingValue, REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(forTesting());
    put(kForTestingValue, REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
    EXPECT_FALSE(forTesting());
    // A DWORD of the wrong size: the mode stays the default.
    put(kSettingsValue, REG_DWORD, {2, 0});
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
}

TEST_F(SettingsRegistry, PatternOf255CharactersIsReadAndOf256Ignored) {
    putDword(kRenameModeValue, 3);
    const std::u16string longest(255, u'T');
    putString(kRenamePatternValue, longest);
    EXPECT_EQ(renamePattern(), longest);
    putString(kRenamePatternValue, longest + u'T');
    EXPECT_EQ(renamePattern(), u"[%N] %T(%R)");
}

TEST_F(SettingsRegistry, ExpandableStringPatternIsRead) {
    putString(kRenamePatternValue, u"%T [%R]", REG_EXPAND_SZ);
    EXPECT_EQ(renamePattern(), u"%T [%R]");
}

TEST_F(SettingsRegistry, MalformedPatternsFallBackToRenameMode) {
    putDword(kRenameModeValue, 2);
    std::vector<std::uint8_t> odd = stringBytes(u"%T x");
    odd.push_back(0);
    put(kRenamePatternValue, REG_SZ, odd);
    EXPECT_EQ(renamePattern(), u"[%N] %T");
    put(kRenamePatternValue, REG_SZ, stringBytes(u"%T x", false));
    EXPECT_EQ(renamePattern(), u"[%N] %T");
    putDword(kRenamePatternValue, 0x54);
    EXPECT_EQ(renamePattern(), u"[%N] %T");
    put(kRenamePatternValue, REG_MULTI_SZ, stringBytes(std::u16string(u"%T\0", 3)));
    EXPECT_EQ(renamePattern(), u"[%N] %T");
}

TEST_F(SettingsRegistry, RenameModeUsesOnlyItsLowTwoBits) {
    putDword(kRenameModeValue, 2);
    EXPECT_EQ(renamePattern(), u"[%N] %T");
    putDword(kRenameModeValue, 6);
    EXPECT_EQ(renamePattern(), u"[%N] %T");
    putDword(kRenameModeValue, 0xFFFFFFFDu);
    EXPECT_EQ(renamePattern(), u"%T(%R)");
}

TEST_F(SettingsRegistry, ForTestingIsAnyNonZeroDword) {
    putDword(kForTestingValue, 0);
    EXPECT_FALSE(forTesting());
    putDword(kForTestingValue, 1);
    EXPECT_TRUE(forTesting());
    putDword(kForTestingValue, 0x100);
    EXPECT_TRUE(forTesting());
}

TEST_F(SettingsRegistry, LargeValuesAreReadWhole) {
    std::vector<std::uint8_t> large(100000);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 7 + 1);
    put(u"large", REG_BINARY, large);
    const auto value = platform::readSettingValue(u"large");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(value->data, large);

    put(u"empty", REG_BINARY, {});
    const auto empty = platform::readSettingValue(u"empty");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->data.empty());
}

TEST_F(SettingsRegistry, WriteIntoAnExistingKeyKeepsTheOtherValues) {
    putDword(kRenameModeValue, 3);
    putDword(kForTestingValue, 1);
    writeLastUpdate(42);
    writeRenamePattern(u"%T");
    EXPECT_EQ(readSettingDword(kRenameModeValue), 3u);
    EXPECT_TRUE(forTesting());
    EXPECT_EQ(readSettingQword(kLastUpdateValue), 42u);
}

TEST_F(SettingsRegistry, WriteIsDroppedWhenTheKeyCannotBeMade) {
    // Redirect HKEY_CURRENT_USER to a key that is deleted while still open:
    // nothing can be opened or created below it.
    const std::wstring doomedPath = scratchPath_ + L"-gone";
    {
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
        overridden_ = false;
        const Key doomed = createKey(HKEY_CURRENT_USER, doomedPath.c_str());
        ASSERT_TRUE(doomed);
        ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, doomedPath.c_str()), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, doomed.get()), ERROR_SUCCESS);
        overridden_ = true;
    }
    const std::uint32_t one = 1;
    EXPECT_FALSE(platform::writeSettingValue(kForTestingValue, platform::SettingType::Dword, &one, sizeof one));
    writeUpdateMode(UpdateMode::Manual);
    writeRenamePattern(u"%T");
    writeLastUpdate(1);
    EXPECT_EQ(updateMode(), UpdateMode::OnFolderOpen);
    EXPECT_FALSE(forTesting());
}
