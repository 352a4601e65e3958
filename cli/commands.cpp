#include "commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "info_tip.h"
#include "png_writer.h"
#include "rom_edit.h"
#include "rom_info.h"
#include "text.h"

namespace cartscope::cli {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

void print(std::FILE* to, std::u16string_view text) {
    const std::string bytes = toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), to);
}

void complain(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "cartscope: %s: %s\n", path.c_str(), what.c_str());
}

// Loads one ROM; on failure says why on stderr.
bool loadRom(const std::string& path, RomLoadFlags flags, RomInfo& rom) {
    FileSource source(fromUtf8(path));
    if (!source.isOpen()) {
        complain(path, std::strerror(source.openError()));
        return false;
    }
    if (!rom.load(source, flags)) {
        complain(path, "not a Nintendo DS ROM image (no valid header)");
        return false;
    }
    return true;
}

int info(const std::vector<std::string>& paths) {
    int status = 0;
    bool endsWithBlank = true;
    for (const auto& path : paths) {
        RomInfo rom;
        if (!loadRom(path, RomLoadFlags::LookUpDatabase | RomLoadFlags::ComputeCrc32, rom)) {
            status = kFailed;
            continue;
        }
        const std::u16string tip = formatInfoTip(rom);
        if (!endsWithBlank) print(stdout, u"\n");
        print(stdout, tip);
        endsWithBlank = tip.size() >= 2 && tip.compare(tip.size() - 2, 2, u"\n\n") == 0;
    }
    return status;
}

int icon(const std::string& path, const std::string& output, int size) {
    RomInfo rom;
    if (!loadRom(path, RomLoadFlags::ReadBanner, rom)) return kFailed;
    if (!rom.bannerValid) {
        complain(path, "no icon: the ROM has no valid banner");
        return kFailed;
    }
    const std::string error = writeIconPng(rom.icon(), size, output);
    if (!error.empty()) {
        complain(output, error);
        return kFailed;
    }
    return 0;
}

// Trims or untrims each file, logging as the command program's log window does.
int edit(const std::vector<std::string>& paths, bool trim) {
    int status = 0;
    for (const auto& path : paths) {
        RomInfo rom;
        if (!loadRom(path, RomLoadFlags::None, rom)) {
            status = kFailed;
            continue;
        }
        print(stdout, (trim ? u"trim:\t" : u"untrim:\t") + rom.fileName + u"\n");
        EditStatus outcome = EditStatus::Done;
        const int error = trim ? trimRom(rom, OpenOrder::OpenFirst, &outcome) : untrimRom(rom, OpenOrder::OpenFirst);
        if (error != 0) {
            print(stdout, u"\t--> " + editErrorText(error) + u"\n");
            status = kFailed;
        } else {
            print(stdout, outcome == EditStatus::AlreadyTrimmed ? u"\t--> already trimed\n" : u"\t--> done\n");
        }
        std::fflush(stdout);
    }
    return status;
}

}  // namespace

int run(int argc, char** argv) {
    CLI::App app{"Cartscope: looks into Nintendo DS ROM images (.nds) and trims or untrims them.", "cartscope"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");

    std::vector<std::string> infoRoms;
    auto* infoCommand = app.add_subcommand("info", "Show what the Explorer's info tip shows for each ROM");
    infoCommand->add_option("ROM", infoRoms, "ROM image files")->required();

    std::string iconRom;
    std::string iconOut;
    int iconSize = kIconSide;
    auto* iconCommand = app.add_subcommand("icon", "Save a ROM's banner icon as a PNG picture");
    iconCommand->add_option("ROM", iconRom, "ROM image file")->required();
    iconCommand->add_option("-o,--output", iconOut, "PNG file to write")->required();
    iconCommand->add_option("--size", iconSize, "Width and height in pixels (nearest-neighbour scaling)")
        ->check(CLI::Range(1, 4096))
        ->capture_default_str();

    std::vector<std::string> trimRoms;
    auto* trimCommand = app.add_subcommand("trim", "Cut each ROM file to its used size plus 512 bytes");
    trimCommand->add_option("ROM", trimRoms, "ROM image files")->required();

    std::vector<std::string> untrimRoms;
    auto* untrimCommand = app.add_subcommand("untrim", "Pad each ROM file with 0xFF bytes to its card size");
    untrimCommand->add_option("ROM", untrimRoms, "ROM image files")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kUsage;
    }

    if (*infoCommand) return info(infoRoms);
    if (*iconCommand) return icon(iconRom, iconOut, iconSize);
    if (*trimCommand) return edit(trimRoms, true);
    return edit(untrimRoms, false);
}

}  // namespace cartscope::cli
