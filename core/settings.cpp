// The user's settings on top of the platform's settings store. Numbers are
// stored little-endian, as the registry keeps them.
#include "core/settings.h"

#include <vector>

#include "core/platform/settings_store.h"

namespace cartscope {

namespace {

using platform::SettingType;

constexpr std::uint32_t kModeXor = 2;
constexpr std::uint32_t kModeBits = 7;

bool hasType(const platform::SettingValue& value, SettingType type) { return value.type == static_cast<std::uint32_t>(type); }

// The little-endian number of `size` bytes of a value of type `type`, or 0.
std::uint64_t readNumber(const char16_t* name, SettingType type, std::size_t size) {
    const auto value = platform::readSettingValue(name);
    if (!value || !hasType(*value, type) || value->data.size() != size) return 0;
    std::uint64_t number = 0;
    for (std::size_t i = size; i-- > 0;) number = (number << 8) | value->data[i];
    return number;
}

void writeNumber(const char16_t* name, SettingType type, std::uint64_t number, std::size_t size) {
    std::uint8_t bytes[8] = {};
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(number >> (8 * i));
    platform::writeSettingValue(name, type, bytes, size);
}

}  // namespace

UpdateMode decodeUpdateMode(std::uint32_t stored) { return static_cast<UpdateMode>((stored ^ kModeXor) & kModeBits); }

std::uint32_t encodeUpdateMode(UpdateMode mode) { return static_cast<std::uint32_t>(mode) ^ kModeXor; }

std::u16string defaultRenamePattern(std::uint32_t renameMode) {
    std::u16string pattern;
    if (renameMode & 2u) pattern += u"[%N] ";
    pattern += u"%T";
    if (renameMode & 1u) pattern += u"(%R)";
    return pattern;
}

std::optional<std::u16string> decodeSettingString(std::uint32_t type, const std::uint8_t* data, std::size_t size) {
    if (type != static_cast<std::uint32_t>(SettingType::String) && type != static_cast<std::uint32_t>(SettingType::ExpandString))
        return std::nullopt;
    if (size == 0 || size % 2 != 0 || size > kMaxSettingStringUnits * 2) return std::nullopt;
    const std::size_t units = size / 2;
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (text.back() != u'\0') return std::nullopt;
    text.resize(text.find(u'\0'));
    return text;
}

std::uint32_t readSettingDword(const char16_t* name) {
    return static_cast<std::uint32_t>(readNumber(name, SettingType::Dword, 4));
}

std::uint64_t readSettingQword(const char16_t* name) { return readNumber(name, SettingType::Qword, 8); }

std::u16string readSettingString(const char16_t* name) {
    const auto value = platform::readSettingValue(name);
    if (!value) return {};
    return decodeSettingString(value->type, value->data.data(), value->data.size()).value_or(std::u16string());
}

std::u16string renamePattern() {
    std::u16string pattern = readSettingString(kRenamePatternValue);
    if (!pattern.empty()) return pattern;
    return defaultRenamePattern(readSettingDword(kRenameModeValue));
}

UpdateMode updateMode() { return decodeUpdateMode(readSettingDword(kSettingsValue)); }

bool forTesting() { return readSettingDword(kForTestingValue) != 0; }

void writeUpdateMode(UpdateMode mode) { writeNumber(kSettingsValue, SettingType::Dword, encodeUpdateMode(mode), 4); }

void writeRenamePattern(std::u16string_view pattern) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((pattern.size() + 1) * 2);
    for (const char16_t unit : pattern) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    platform::writeSettingValue(kRenamePatternValue, SettingType::String, bytes.data(), bytes.size());
}

void writeLastUpdate(std::uint64_t seconds) { writeNumber(kLastUpdateValue, SettingType::Qword, seconds, 8); }

}  // namespace cartscope
