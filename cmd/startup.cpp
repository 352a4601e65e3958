#include "startup.h"

#include <shellapi.h>

#include <cstdio>

namespace cartscope::cmd {

namespace {

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string units(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// Moves files with one shell operation: both lists hold each path with its
// NUL, and end in an extra NUL.
void moveFiles(const std::vector<FileMove>& moves) {
    std::wstring from, to;
    for (const auto& [source, target] : moves) {
        from += wide(source) + L'\0';
        to += wide(target) + L'\0';
    }
    from += L'\0';
    to += L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_MOVE;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_MULTIDESTFILES;
    SHFileOperationW(&operation);
}

}  // namespace

Command commandFor(const std::wstring& name) { return cartscope::commandFor(units(name)); }

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
    std::vector<std::u16string> given;
    for (const auto& arg : args) given.push_back(units(arg));
    const CommandArguments parsed = parseArguments(
        given, [](const std::u16string& file, std::vector<std::uint8_t>& bytes) { return readPathFile(wide(file), bytes); },
        [&onPath](const std::u16string& path) {
            if (onPath) onPath(wide(path));
        });
    Arguments result;
    result.command = wide(parsed.command);
    result.language = parsed.language;
    result.stop = parsed.stop;
    for (const auto& path : parsed.paths) result.paths.push_back(wide(path));
    return result;
}

std::vector<RomInfo> loadRoms(const std::vector<std::wstring>& paths, Command command) {
    const RomLoadFlags flags =
        command == Command::Rename ? RomLoadFlags::KeepShortTitles | RomLoadFlags::LookUpDatabase : RomLoadFlags::None;
    std::vector<RomInfo> roms;
    for (const auto& path : paths) {
        RomInfo rom;
        if (rom.load(std::u16string(path.begin(), path.end()), flags)) roms.push_back(std::move(rom));
    }
    return roms;
}

void renameRoms(const std::vector<RomInfo>& roms, unsigned language, const std::u16string& pattern) {
    renameByBannerTitles(roms, language, pattern, moveFiles);
}

}  // namespace cartscope::cmd
