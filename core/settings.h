// The user's settings: the update mode, the rename pattern, the time of the
// last update run and a switch for testing the updater. They are kept by the
// platform's settings store (platform/settings_store.h) and read afresh on
// every call, so a change made by one process is seen by the next call in any
// other. Missing or malformed values give the defaults; writes that cannot be
// stored are dropped without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cartscope {

// Names of the values in the settings store.
inline constexpr char16_t kSettingsValue[] = u"settings";             // DWORD: the update mode, encoded
inline constexpr char16_t kRenamePatternValue[] = u"rename_pattern";  // string: the rename pattern
inline constexpr char16_t kRenameModeValue[] = u"rename_mode";        // DWORD: picks the default pattern
inline constexpr char16_t kLastUpdateValue[] = u"last_update";        // QWORD: seconds since 1970 (UTC)
inline constexpr char16_t kForTestingValue[] = u"forTesting";         // DWORD: not 0 asks for test versions

// The Windows autostart entry of the command program: a value of the user's
// Run key (HKEY_CURRENT_USER) that the settings write and the uninstaller
// removes when it names the uninstalled program.
inline constexpr char16_t kAutostartKeyPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kAutostartValue[] = u"Cartscope";

// Longest string value that is read, in UTF-16 units with the closing NUL
// (so patterns of up to 255 characters).
inline constexpr std::size_t kMaxSettingStringUnits = 256;

// When updates run. A stored value may also decode to 3..7, which is kept as
// that number and matches none of the named modes (nothing runs then).
enum class UpdateMode : std::uint32_t {
    Manual = 0,          // only when the user asks
    AtWindowsStart = 1,  // when the user logs on
    OnFolderOpen = 2,    // when a folder is opened and a check is due
};

// The mode of a stored `settings` value: (stored XOR 2) AND 7, so a missing
// value (0) means OnFolderOpen and only the low three bits count.
UpdateMode decodeUpdateMode(std::uint32_t stored);
// The stored form of a mode: mode XOR 2.
std::uint32_t encodeUpdateMode(UpdateMode mode);

// The rename pattern used when none is stored, from the value `rename_mode`:
// bit 1 puts "[%N] " in front of "%T", bit 0 puts "(%R)" after it; the other
// bits do not count.
std::u16string defaultRenamePattern(std::uint32_t renameMode);

// The text of a stored string value of type `type` (a registry type number)
// with `size` bytes at `data`, or nullopt unless the value is a string (plain
// or expandable) of an even byte length, at most kMaxSettingStringUnits units
// long and ending in a NUL. The text ends at its first NUL; a stored empty
// string gives an empty text.
std::optional<std::u16string> decodeSettingString(std::uint32_t type, const std::uint8_t* data, std::size_t size);

// The DWORD value `name`; 0 when missing or not a 4-byte DWORD.
std::uint32_t readSettingDword(const char16_t* name);
// The QWORD value `name`; 0 when missing or not an 8-byte QWORD.
std::uint64_t readSettingQword(const char16_t* name);
// The string value `name`; empty when missing or malformed (see
// decodeSettingString).
std::u16string readSettingString(const char16_t* name);

// The stored rename pattern, or when it is empty or malformed the default for
// the stored `rename_mode`.
std::u16string renamePattern();
// The stored update mode (OnFolderOpen when none is stored).
UpdateMode updateMode();
// Whether the updater should ask for the test versions (`forTesting` not 0).
bool forTesting();

// Stores the update mode in its encoded form (DWORD).
void writeUpdateMode(UpdateMode mode);
// Stores the rename pattern as a string whose length counts its closing NUL.
// Readers ignore patterns of more than 255 characters.
void writeRenamePattern(std::u16string_view pattern);
// Stores the time of the last update run, in seconds since 1970 (QWORD).
void writeLastUpdate(std::uint64_t seconds);

}  // namespace cartscope
