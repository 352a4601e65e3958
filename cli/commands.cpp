#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "info_tip.h"
#include "platform/file.h"
#include "png_writer.h"
#include "release_database.h"
#include "release_tsv.h"
#include "rename_pattern.h"
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
bool loadRom(const std::string& path, RomLoadFlags flags, RomInfo& rom, const std::u16string& pattern = {}) {
    FileSource source(fromUtf8(path));
    if (!source.isOpen()) {
        complain(path, std::strerror(source.openError()));
        return false;
    }
    if (!rom.load(source, flags, pattern)) {
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


// Uses the named database file instead of the data folder's; it must open.
bool chooseDatabase(const std::string& file) {
    if (file.empty()) return true;
    FileSource probe(fromUtf8(file));
    if (!probe.isOpen()) {
        complain(file, std::strerror(probe.openError()));
        return false;
    }
    useDatabaseFile(fromUtf8(file));
    return true;
}

// An invalid pattern is a usage error: its message on stderr.
bool checkPattern(const std::u16string& pattern) {
    if (const auto problem = validateRenamePattern(pattern)) {
        std::fprintf(stderr, "cartscope: invalid pattern \"%s\": %s\n", toUtf8(pattern).c_str(), toUtf8(*problem).c_str());
        return false;
    }
    return true;
}

int names(const std::string& path, const std::u16string& pattern) {
    RomInfo rom;
    if (!loadRom(path, RomLoadFlags::CollectRenameNames | RomLoadFlags::LookUpDatabase, rom, pattern)) return kFailed;
    for (const auto& name : rom.renameNames) print(stdout, name + u".nds\n");
    return 0;
}

int rename(const std::vector<std::string>& paths, const std::u16string& pattern, unsigned language, bool dryRun) {
    int status = 0;
    for (const auto& path : paths) {
        RomInfo rom;
        if (!loadRom(path, RomLoadFlags::KeepShortTitles | RomLoadFlags::LookUpDatabase, rom)) {
            status = kFailed;
            continue;
        }
        const std::u16string target = bannerRenamePath(rom, language, pattern);
        if (target.empty()) {
            complain(path, "no banner title to name it after; not renamed");
            status = kFailed;
            continue;
        }
        if (target == rom.path) {
            print(stdout, rom.fileName + u": name unchanged\n");
            continue;
        }
        if (!dryRun) {
            if (const int error = platform::renameNoReplace(rom.path, target)) {
                complain(path, "cannot rename to \"" + toUtf8(target) + "\": " +
                                   (error == EEXIST ? std::string("a file of that name exists") : std::strerror(error)));
                status = kFailed;
                continue;
            }
        }
        print(stdout, rom.path + u" -> " + target + u"\n");
    }
    return status;
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        complain(path, std::strerror(errno));
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

int dbBuild(const std::string& tsv, const std::string& output, unsigned version) {
    std::string text;
    if (!readText(tsv, text)) return kFailed;
    std::vector<Release> releases;
    if (const std::string problem = parseReleaseTsv(text, releases); !problem.empty()) {
        complain(tsv, problem);
        return kFailed;
    }
    std::vector<std::uint8_t> bytes;
    if (const std::string problem = buildDatabase(static_cast<std::uint16_t>(version), releases, bytes); !problem.empty()) {
        complain(tsv, problem);
        return kFailed;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        complain(output, std::strerror(errno));
        return kFailed;
    }
    std::printf("%s: %zu releases, version %u\n", output.c_str(), releases.size(), version);
    return 0;
}

int dbDump(const std::string& file) {
    std::vector<Release> releases;
    std::uint16_t version = 0;
    if (const std::string problem = readReleases(fromUtf8(file), releases, version); !problem.empty()) {
        complain(file, problem);
        return kFailed;
    }
    const std::string text = formatReleaseTsv(releases);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int dbVersion(const std::string& file) {
    const unsigned version = databaseVersion(fromUtf8(file), true);
    std::printf("%u\n", version);
    if (version == 0) {
        complain(file, "no version: the file cannot be read or is not whole");
        return kFailed;
    }
    return 0;
}

int dbLookup(const std::string& file, const std::string& code) {
    const auto release = findRelease(fromUtf8(file), code);
    if (!release) {
        complain(file, "no release with the game code \"" + code + "\"");
        return kFailed;
    }
    static const char* const kLabels[kReleaseFields] = {"ROM-Code",  "Name", "Country",     "Genre",         "Publisher",
                                                        "Languages", "WiFi", "Release-Nr.", "Release-Group", "CRC32"};
    std::printf("Game-Code: %s\n", latin1ToUtf8(release->gameCode).c_str());
    for (std::size_t i = 0; i < kReleaseFields; ++i) {
        std::string value = latin1ToUtf8(release->fields[i]);
        if (i == 5) value += " (" + toUtf8(languageList(static_cast<std::uint32_t>(std::strtoul(release->fields[i].c_str(), nullptr, 10)))) + ")";
        std::printf("%s: %s\n", kLabels[i], value.c_str());
    }
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    CLI::App app{"Cartscope: looks into Nintendo DS ROM images (.nds), trims, untrims and renames them.", "cartscope"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");

    std::string database;
    std::string pattern = "%T";
    const char* databaseHelp = "Release database (default: nds-rom.dat in the data folder)";
    const char* patternHelp = "Rename pattern: %T title, %N release number, %R region, %G release group, "
                              "%Strimmed,untrimmed%s, %% a percent sign";

    std::vector<std::string> infoRoms;
    auto* infoCommand = app.add_subcommand("info", "Show what the Explorer's info tip shows for each ROM");
    infoCommand->add_option("--db", database, databaseHelp);
    infoCommand->add_option("ROM", infoRoms, "ROM image files")->required();

    std::string namesRom;
    auto* namesCommand = app.add_subcommand("names", "List the names that \"Rename to ...\" offers for a ROM");
    namesCommand->add_option("--db", database, databaseHelp);
    namesCommand->add_option("--pattern", pattern, patternHelp)->capture_default_str();
    namesCommand->add_option("ROM", namesRom, "ROM image file")->required();

    std::vector<std::string> renameRoms;
    unsigned language = 0;
    bool dryRun = false;
    auto* renameCommand = app.add_subcommand("rename", "Rename ROMs after their banner titles; never overwrites a file");
    renameCommand->add_option("--db", database, databaseHelp);
    renameCommand->add_option("--pattern", pattern, patternHelp)->capture_default_str();
    renameCommand->add_option("--language", language, "Banner language: 0 Japanese, 1 English, 2 French, 3 German, "
                                                        "4 Italian, 5 Spanish (then English, then Japanese)")
        ->check(CLI::Range(0, 5))
        ->capture_default_str();
    renameCommand->add_flag("--dry-run", dryRun, "Only show what would be renamed");
    renameCommand->add_option("ROM", renameRoms, "ROM image files")->required();

    auto* dbCommand = app.add_subcommand("db", "Build and read release databases");
    dbCommand->require_subcommand(1);
    std::string dbTsv, dbOut, dbFile, dbCode;
    unsigned dbVersionNumber = 0;
    auto* dbBuildCommand = dbCommand->add_subcommand("build", "Build a database from a tab-separated release list");
    dbBuildCommand->add_option("RELEASES", dbTsv, "Tab-separated list: a header line, then game code, ROM code, name, "
                                                  "country, genre, publisher, language mask, WiFi, release number, "
                                                  "release group, CRC-32")
        ->required();
    dbBuildCommand->add_option("-o,--output", dbOut, "Database file to write")->required();
    dbBuildCommand->add_option("--version", dbVersionNumber, "Database version, 1 to 65535")
        ->required()
        ->check(CLI::Range(1, 65535));
    auto* dbDumpCommand = dbCommand->add_subcommand("dump", "Write a database as a tab-separated release list");
    dbDumpCommand->add_option("FILE", dbFile, "Database file")->required();
    auto* dbVersionCommand = dbCommand->add_subcommand("version", "Print a database's version (0: unreadable or not whole)");
    dbVersionCommand->add_option("FILE", dbFile, "Database file")->required();
    auto* dbLookupCommand = dbCommand->add_subcommand("lookup", "Print the release of one game code");
    dbLookupCommand->add_option("FILE", dbFile, "Database file")->required();
    dbLookupCommand->add_option("CODE", dbCode, "Game code, 4 characters")->required();

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

    if (*namesCommand || *renameCommand) {
        if (!checkPattern(fromUtf8(pattern))) return kUsage;
    }
    if (!chooseDatabase(database)) return kFailed;
    if (*infoCommand) return info(infoRoms);
    if (*namesCommand) return names(namesRom, fromUtf8(pattern));
    if (*renameCommand) return rename(renameRoms, fromUtf8(pattern), language, dryRun);
    if (*dbBuildCommand) return dbBuild(dbTsv, dbOut, dbVersionNumber);
    if (*dbDumpCommand) return dbDump(dbFile);
    if (*dbVersionCommand) return dbVersion(dbFile);
    if (*dbLookupCommand) return dbLookup(dbFile, dbCode);
    if (*iconCommand) return icon(iconRom, iconOut, iconSize);
    if (*trimCommand) return edit(trimRoms, true);
    return edit(untrimRoms, false);
}

}  // namespace cartscope::cli
