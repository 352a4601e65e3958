#include "cmd/startup.h"

#include <cstdio>

#include "win/file_operation.h"
#include "win/text.h"

namespace cartscope::cmd {

namespace {

// Moves files with one shell operation.
void moveFiles(const std::vector<FileMove>& moves) {
    std::wstring from, to;
    for (const auto& [source, target] : moves) {
        from += win::toWide(source) + L'\0';
        to += win::toWide(target) + L'\0';
    }
    win::moveFiles(nullptr, from, to);
}

}  // namespace

Command commandFor(const std::wstring& name) { return cartscope::commandFor(win::toUtf16(name)); }

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
    for (const auto& arg : args) given.push_back(win::toUtf16(arg));
    const CommandArguments parsed = parseArguments(
        given,
        [](const std::u16string& file, std::vector<std::uint8_t>& bytes) { return readPathFile(win::toWide(file), bytes); },
        [&onPath](const std::u16string& path) {
            if (onPath) onPath(win::toWide(path));
        });
    Arguments result;
    result.command = win::toWide(parsed.command);
    result.language = parsed.language;
    result.stop = parsed.stop;
    for (const auto& path : parsed.paths) result.paths.push_back(win::toWide(path));
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
    renameByBannerTitles(roms, language, pattern, moveFiles);
}

}  // namespace cartscope::cmd
