// What the command program does before its command runs: reading its
// arguments and path files (as command_request.h has them), loading the
// selected ROMs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/command_request.h"
#include "core/rom_info.h"

namespace cartscope::cmd {

// The command whose name equals `name` exactly (case-sensitive), or None.
Command commandFor(const std::wstring& name);

struct Arguments {
    std::wstring command;        // "settings" when none was given
    unsigned long language = 0;  // banner language for "rename"
    bool stop = false;           // a language above 5: end at once
    std::vector<std::wstring> paths;
};

// Reads the argument vector as parseArguments does (its first element is
// skipped), the path files read and deleted as they come; each path goes to
// `onPath` as it is taken (the program shows it).
Arguments readArguments(const std::vector<std::wstring>& args, const std::function<void(const std::wstring&)>& onPath);

// Reads a path file and deletes it, whatever its content; false (and the
// file left alone) when it cannot be opened.
bool readPathFile(const std::wstring& file, std::vector<std::uint8_t>& bytes);

// The selected files that are ROMs: no flags for trim and untrim,
// KeepShortTitles | LookUpDatabase for rename.
std::vector<RomInfo> loadRoms(const std::vector<std::wstring>& paths, Command command);

// Renames the ROMs after their banner titles (renameByBannerTitles) in one
// shell file operation.
void renameRoms(const std::vector<RomInfo>& roms, unsigned language, const std::u16string& pattern);

}  // namespace cartscope::cmd
