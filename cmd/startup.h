// What the command program does before its command runs: reading its
// arguments and path files, the command table, loading the selected ROMs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rom_info.h"

namespace cartscope::cmd {

// The commands, in the order in which their names are compared.
enum class Command { Info, Settings, AutoUpdate, AutoUpdateAdmin, Update, UpdateAdmin, Rename, Trim, Untrim, Cleanup, None };

// The command whose name equals `name` exactly (case-sensitive), or None.
Command commandFor(const std::wstring& name);

struct Arguments {
    std::wstring command;        // "settings" when none was given
    unsigned long language = 0;  // banner language for "rename"
    bool stop = false;           // a language above 5: end at once
    std::vector<std::wstring> paths;
};

// Reads the argument vector (its first element is skipped): "/command:",
// "/language:" (read as wcstoul reads it) and "/pathfile:", in order. Path
// files are read and deleted as they come; each path goes to `onPath` as it
// is taken (the program shows it). A language above 5 stops the reading.
Arguments readArguments(const std::vector<std::wstring>& args, const std::function<void(const std::wstring&)>& onPath);

// The paths of a path file's bytes: UTF-16LE units (an odd last byte is
// ignored), each path ended by a NUL; units after the last NUL form one more path.
std::vector<std::wstring> splitPathFile(const std::vector<std::uint8_t>& bytes);

// Reads a path file and deletes it, whatever its content; false (and the
// file left alone) when it cannot be opened.
bool readPathFile(const std::wstring& file, std::vector<std::uint8_t>& bytes);

// The selected files that are ROMs: no flags for trim and untrim,
// KeepShortTitles | LookUpDatabase for rename.
std::vector<RomInfo> loadRoms(const std::vector<std::wstring>& paths, Command command);

// Renames the ROMs after their banner titles in one shell file operation.
void renameRoms(const std::vector<RomInfo>& roms, unsigned language, const std::u16string& pattern);

}  // namespace cartscope::cmd
