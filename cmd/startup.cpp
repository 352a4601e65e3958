#include "startup.h"

#include <cstdio>
#include <cwchar>

#include "rename_pattern.h"
#include "win/file_operation.h"
#include "win/text.h"

namespace cartscope::cmd {

namespace {

const wchar_t kCommandSwitch[] = L"/command:";
const wchar_t kLanguageSwitch[] = L"/language:";
const wchar_t kPathFileSwitch[] = L"/pathfile:";

bool startsWith(const std::wstring& text, const wchar_t* prefix, std::wstring& rest) {
    const std::size_t length = std::wcslen(prefix);
    if (text.compare(0, length, prefix) != 0) return false;
    rest = text.substr(length);
    return true;
}

}  // namespace

Command commandFor(const std::wstring& name) {
    static const std::pair<const wchar_t*, Command> kTable[] = {
        {L"info", Command::Info},
        {L"settings", Command::Settings},
        {L"auto_update", Command::AutoUpdate},
        {L"auto_update_admin", Command::AutoUpdateAdmin},
        {L"update", Command::Update},
        {L"update_admin", Command::UpdateAdmin},
        {L"rename", Command::Rename},
        {L"trim", Command::Trim},
        {L"untrim", Command::Untrim},
        {L"cleanup", Command::Cleanup},
    };
    for (const auto& [text, command] : kTable)
        if (name == text) return command;
    return Command::None;
}

std::vector<std::wstring> splitPathFile(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::wstring> paths;
    std::wstring path;
    bool open = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == L'\0') {
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

bool readPathFile(const std::wstring& file, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    FILE* in = _wfopen(file.c_str(), L"rb");
    if (!in) return false;
    if (std::fseek(in, 0, SEEK_END) == 0) {
        const long length = std::ftell(in);
        if (length > 0 && std::fseek(in, 0, SEEK_SET) == 0) {
            bytes.resize(static_cast<std::size_t>(length));
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
        }
    }
    std::fclose(in);
    _wremove(file.c_str());
    return true;
}

Arguments readArguments(const std::vector<std::wstring>& args, const std::function<void(const std::wstring&)>& onPath) {
    Arguments result;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::wstring value;
        if (startsWith(args[i], kCommandSwitch, value)) {
            result.command = value;
        } else if (startsWith(args[i], kLanguageSwitch, value)) {
            result.language = std::wcstoul(value.c_str(), nullptr, 10);
            if (result.language > 5) {
                result.stop = true;
                return result;
            }
        } else if (startsWith(args[i], kPathFileSwitch, value)) {
            std::vector<std::uint8_t> bytes;
            if (!readPathFile(value, bytes)) continue;
            for (const auto& path : splitPathFile(bytes)) {
                result.paths.push_back(path);
                if (onPath) onPath(path);
            }
        }
    }
    if (result.command.empty()) result.command = L"settings";
    return result;
}

std::vector<RomInfo> loadRoms(const std::vector<std::wstring>& paths, Command command) {
    const RomLoadFlags flags =
        command == Command::Rename ? RomLoadFlags::KeepShortTitles | RomLoadFlags::LookUpDatabase : RomLoadFlags::None;
    std::vector<RomInfo> roms;
    for (const auto& path : paths) {
        RomInfo rom;
        if (rom.load(win::toUtf16(path), flags)) roms.push_back(std::move(rom));
    }
    return roms;
}

void renameRoms(const std::vector<RomInfo>& roms, unsigned language, const std::u16string& pattern) {
    std::wstring from, to;
    for (const RomInfo& rom : roms) {
        const std::u16string target = bannerRenamePath(rom, language, pattern);
        if (target.empty() || target == rom.path) continue;
        from += win::toWide(rom.path) + L'\0';
        to += win::toWide(target) + L'\0';
    }
    if (from.empty() || to.empty()) return;
    win::moveFiles(nullptr, from, to);
}

}  // namespace cartscope::cmd
