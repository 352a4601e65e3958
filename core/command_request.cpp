#include "core/command_request.h"

#include <cwchar>

#include "core/rename_pattern.h"
#include "core/text.h"

namespace cartscope {

namespace {

struct CommandEntry {
    std::u16string_view name;
    Command command;
};

// In the order in which the program compares them.
constexpr CommandEntry kCommands[] = {
    {u"info", Command::Info},
    {u"settings", Command::Settings},
    {u"auto_update", Command::AutoUpdate},
    {u"auto_update_admin", Command::AutoUpdateAdmin},
    {u"update", Command::Update},
    {u"update_admin", Command::UpdateAdmin},
    {u"rename", Command::Rename},
    {u"trim", Command::Trim},
    {u"untrim", Command::Untrim},
    {u"cleanup", Command::Cleanup},
};

constexpr std::u16string_view kCommandSwitch = u"/command:";
constexpr std::u16string_view kPathFileSwitch = u"/pathfile:";
constexpr std::u16string_view kLanguageSwitch = u"/language:";

bool startsWith(const std::u16string& text, std::u16string_view prefix, std::u16string& rest) {
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    rest = text.substr(prefix.size());
    return true;
}

// The number at the start of `text`, as wcstoul reads it in base 10.
unsigned long readNumber(const std::u16string& text) {
    const std::wstring wide(text.begin(), text.end());
    return std::wcstoul(wide.c_str(), nullptr, 10);
}

}  // namespace

std::u16string_view commandName(Command command) {
    for (const CommandEntry& entry : kCommands)
        if (entry.command == command) return entry.name;
    return {};
}

Command commandFor(std::u16string_view name) {
    for (const CommandEntry& entry : kCommands)
        if (entry.name == name) return entry.command;
    return Command::None;
}

std::vector<std::uint8_t> encodePathFile(const std::vector<std::u16string>& paths) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const std::u16string& path : paths) {
        for (const char16_t unit : path) put(unit);
        put(u'\0');
    }
    return bytes;
}

std::vector<std::u16string> decodePathFile(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::u16string> paths;
    std::u16string path;
    bool open = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == u'\0') {
            paths.push_back(path);
            path.clear();
            open = false;
        } else {
            path += unit;
            open = true;
        }
    }
    if (open) paths.push_back(path);
    return paths;
}

std::u16string commandSwitch(Command command) {
    std::u16string text(kCommandSwitch);
    return text.append(commandName(command));
}

std::u16string buildCommandLine(Command command, const std::optional<std::u16string>& pathFile,
                                std::optional<unsigned> language) {
    std::u16string line = u" " + commandSwitch(command);
    if (pathFile) line.append(u" ").append(kPathFileSwitch).append(u"\"").append(*pathFile).append(u"\"");
    if (language) line.append(u" ").append(kLanguageSwitch).append(decimal(*language));
    return line;
}

CommandArguments parseArguments(const std::vector<std::u16string>& args, const PathFileReader& readPathFile,
                                const std::function<void(const std::u16string&)>& onPath) {
    CommandArguments result;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::u16string value;
        if (startsWith(args[i], kCommandSwitch, value)) {
            result.command = value;
        } else if (startsWith(args[i], kLanguageSwitch, value)) {
            result.language = readNumber(value);
            if (result.language > 5) {
                result.stop = true;
                return result;
            }
        } else if (startsWith(args[i], kPathFileSwitch, value)) {
            std::vector<std::uint8_t> bytes;
            if (!readPathFile || !readPathFile(value, bytes)) continue;
            for (const auto& path : decodePathFile(bytes)) {
                result.paths.push_back(path);
                if (onPath) onPath(path);
            }
        }
    }
    if (result.command.empty()) result.command = commandName(Command::Settings);
    return result;
}

void renameByBannerTitles(const std::vector<RomInfo>& roms, unsigned language, std::u16string_view pattern,
                          const FileMover& move) {
    std::vector<FileMove> moves;
    for (const RomInfo& rom : roms) {
        std::u16string target = bannerRenamePath(rom, language, pattern);
        if (target.empty() || target == rom.path) continue;
        moves.emplace_back(rom.path, std::move(target));
    }
    if (!moves.empty()) move(moves);
}

}  // namespace cartscope
