// What Cartscope.dll asks of Cartscope CMD.exe, in one place for both sides:
// the commands, the path files that carry the selected files, the command
// line that names them, and the rename after banner titles that both the
// context menu and the program carry out.
//
// The command line is " /command:NAME", then " /pathfile:"FILE"" when files
// go with the command, then " /language:N" for a banner language. A path file
// holds UTF-16LE paths, each followed by a NUL.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/rom_info.h"

namespace cartscope {

// The commands of the program, in the order in which their names are compared.
enum class Command { Info, Settings, AutoUpdate, AutoUpdateAdmin, Update, UpdateAdmin, Rename, Trim, Untrim, Cleanup, None };

// The command's name on the command line ("auto_update"); empty for None.
std::u16string_view commandName(Command command);
// The command whose name equals `name` exactly (case-sensitive), or None.
Command commandFor(std::u16string_view name);

// The bytes of a path file that lists `paths`.
std::vector<std::uint8_t> encodePathFile(const std::vector<std::u16string>& paths);
// The paths of a path file's bytes: UTF-16LE units (an odd last byte is
// ignored), each path ended by a NUL; units after the last NUL form one more path.
std::vector<std::u16string> decodePathFile(const std::vector<std::uint8_t>& bytes);

// "/command:NAME": the switch that names `command`.
std::u16string commandSwitch(Command command);

// The command line that starts the program for `command` (it begins with a
// blank: the program's path goes in front). The path file is named whenever
// one is given, even with an empty name; the language only when given.
std::u16string buildCommandLine(Command command, const std::optional<std::u16string>& pathFile = std::nullopt,
                                std::optional<unsigned> language = std::nullopt);

// What the program takes from its arguments.
struct CommandArguments {
    std::u16string command;      // "settings" when none was given
    unsigned long language = 0;  // banner language for "rename"
    bool stop = false;           // a language above 5: end at once
    std::vector<std::u16string> paths;
};

// Reads a path file's bytes (and deletes the file); false when it cannot be opened.
using PathFileReader = std::function<bool(const std::u16string& file, std::vector<std::uint8_t>& bytes)>;

// Reads the argument vector (its first element is skipped): "/command:"
// (the later one wins), "/language:" (read as wcstoul reads it) and
// "/pathfile:", in order; anything else is passed over. Path files are read
// as they come; each path goes to `onPath` as it is taken. A language above
// 5 stops the reading.
CommandArguments parseArguments(const std::vector<std::u16string>& args, const PathFileReader& readPathFile,
                                const std::function<void(const std::u16string&)>& onPath);

// One file to move: (from, to).
using FileMove = std::pair<std::u16string, std::u16string>;
// Moves files, all in one operation.
using FileMover = std::function<void(const std::vector<FileMove>& moves)>;

// Renames ROMs after their banner titles in `language`, to the paths that
// bannerRenamePath gives with `pattern` (the ROMs loaded with KeepShortTitles
// and LookUpDatabase). ROMs without a title to go by, and those whose name
// would not change, are left out; the others go to `move` in one call, which
// is not made when nothing is left.
void renameByBannerTitles(const std::vector<RomInfo>& roms, unsigned language, std::u16string_view pattern,
                          const FileMover& move);

}  // namespace cartscope
