#include "cli/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/files.h"
#include "core/info_tip.h"
#include "core/platform/database_lock.h"
#include "core/platform/file.h"
#include "cli/png_writer.h"
#include "core/release_database.h"
#include "cli/release_tsv.h"
#include "core/rename_pattern.h"
#include "core/rom_edit.h"
#include "core/rom_info.h"
#include "core/text.h"

namespace cartscope::cli {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

void print(std::FILE* to, std::u16string_view text) {
    const std::string bytes = toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), to);
}

void print(std::FILE* to, const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), to); }

void complain(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "cartscope: %s: %s\n", shownName(path).c_str(), what.c_str());
}

// A file read under another name: in a dry run, a file that an earlier
// rename would have given a new name is still read under its old one.
class MovedSource final : public ByteSource {
public:
    MovedSource(ByteSource& file, std::u16string name) : file_(file), name_(std::move(name)) {}
    const std::u16string& name() const override { return name_; }
    bool seek(std::uint64_t offset) override { return file_.seek(offset); }
    bool seekEnd(std::uint64_t& size) override { return file_.seekEnd(size); }
    std::size_t read(void* buffer, std::size_t count) override { return file_.read(buffer, count); }

private:
    ByteSource& file_;
    std::u16string name_;
};

// Loads one ROM (from `readFrom` when that is given); on failure says why on stderr.
bool loadRom(const std::string& path, RomLoadFlags flags, RomInfo& rom, const std::u16string& pattern = {},
             const std::string& readFrom = {}) {
    FileSource file(corePath(readFrom.empty() ? path : readFrom));
    if (!file.isOpen()) {
        complain(path, errorText(file.openError()));
        return false;
    }
    bool loaded = false;
    if (readFrom.empty()) {
        loaded = rom.load(file, flags, pattern);
    } else {
        MovedSource moved(file, corePath(path));
        loaded = rom.load(moved, flags, pattern);
    }
    if (!loaded) {
        complain(path, "not a Nintendo DS ROM image (no valid header)");
        return false;
    }
    return true;
}

// An output that would take the place of an input is a usage error.
bool outputIsInput(const std::string& output, const std::string& input) {
    if (!sameFile(output, input)) return false;
    complain(output, "the output would replace the input file " + shownName(input) + "; choose another output");
    return true;
}

// Writes a command's output file whole or not at all; the database writer's
// lock is held while the new database takes the old one's place.
bool writeOutput(const std::string& path, const std::vector<std::uint8_t>& bytes, bool isDatabase) {
    OutputFile out(path);
    int error = out.create();
    if (error == 0) error = out.write(bytes.data(), bytes.size());
    if (error == 0) error = out.finish();
    if (error == 0) {
        std::optional<platform::DatabaseWriteLock> lock;
        if (isDatabase) lock.emplace();
        error = out.replaceTarget();
    }
    if (error != 0) complain(path, errorText(error));
    return error == 0;
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
        rom.fileName = fromUtf8(shownName(rom.fileName));
        const std::u16string tip = formatInfoTip(rom);
        if (!endsWithBlank) print(stdout, u"\n");
        print(stdout, tip);
        endsWithBlank = tip.size() >= 2 && tip.compare(tip.size() - 2, 2, u"\n\n") == 0;
    }
    return status;
}

int icon(const std::string& path, const std::string& output, int size) {
    if (outputIsInput(output, path)) return kUsage;
    RomInfo rom;
    if (!loadRom(path, RomLoadFlags::ReadBanner, rom)) return kFailed;
    if (!rom.bannerValid) {
        complain(path, "no icon: the ROM has no valid banner");
        return kFailed;
    }
    std::vector<std::uint8_t> png;
    if (const std::string error = encodeIconPng(rom.icon(), size, png); !error.empty()) {
        complain(output, error);
        return kFailed;
    }
    return writeOutput(output, png, false) ? 0 : kFailed;
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
        print(stdout, (trim ? "trim:\t" : "untrim:\t") + shownName(rom.fileName) + "\n");
        EditStatus outcome = EditStatus::Done;
        const int error = trim ? trimRom(rom, OpenOrder::OpenFirst, &outcome) : untrimRom(rom, OpenOrder::OpenFirst);
        if (error != 0) {
            const std::string why = error == TrimWouldCutData ? toUtf8(editErrorText(error)) : errorText(error);
            print(stdout, "\t--> " + why + "\n");
            status = kFailed;
        } else {
            print(stdout, outcome == EditStatus::AlreadyTrimmed ? u"\t--> already trimed\n" : u"\t--> done\n");
        }
        std::fflush(stdout);
    }
    return status;
}

// Uses the file named with --db instead of the data folder's database. An
// empty name or a folder is a usage error, a file that does not open a
// failure. Gives 0 or the exit status.
int chooseDatabase(bool given, const std::string& file) {
    if (!given) return 0;
    if (file.empty()) {
        std::fprintf(stderr, "cartscope: --db: the file name is empty\n");
        return kUsage;
    }
    const int error = checkInput(file);
    if (error == EISDIR) {
        complain(file, "a folder; --db names the database file itself");
        return kUsage;
    }
    if (error != 0) {
        complain(file, errorText(error));
        return kFailed;
    }
    useDatabaseFile(corePath(file));
    return 0;
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
    for (const auto& name : rom.renameNames) print(stdout, shownName(name + u".nds") + "\n");
    return 0;
}

// Renames each file; a dry run goes through the same steps and refusals,
// keeping track of the names that the renames before would have changed.
int rename(const std::vector<std::string>& paths, const std::u16string& pattern, unsigned language, bool dryRun) {
    int status = 0;
    PlannedRenames planned;
    for (const auto& path : paths) {
        std::string readFrom;
        if (dryRun && planned.state(path, &readFrom) == PlannedRenames::State::Gone) {
            complain(path, std::strerror(ENOENT));
            status = kFailed;
            continue;
        }
        RomInfo rom;
        if (!loadRom(path, RomLoadFlags::KeepShortTitles | RomLoadFlags::LookUpDatabase, rom, {}, readFrom)) {
            status = kFailed;
            continue;
        }
        std::u16string target = bannerRenamePath(rom, language, pattern);
        if (target.empty()) {
            complain(path, "no banner title to name it after; not renamed");
            status = kFailed;
            continue;
        }
        // The folder keeps its bytes; a stray surrogate of a banner title
        // becomes U+FFFD in the name, never a byte that is not UTF-8.
        target = rom.folder + fromUtf8(toUtf8(std::u16string_view(target).substr(rom.folder.size())));
        if (target == rom.path) {
            print(stdout, shownName(rom.fileName) + ": name unchanged\n");
            continue;
        }
        const std::string from = toUtf8(rom.path, Utf8Errors::Escape), to = toUtf8(target, Utf8Errors::Escape);
        const int error = dryRun ? planned.renameError(to) : platform::renameNoReplace(rom.path, target);
        if (error != 0) {
            complain(path, "cannot rename to \"" + shownName(target) +
                               "\": " + (error == EEXIST ? std::string("a file of that name exists") : errorText(error)));
            status = kFailed;
            continue;
        }
        if (dryRun) planned.record(from, to);
        print(stdout, shownName(rom.path) + " -> " + shownName(target) + "\n");
    }
    return status;
}

int dbBuild(const std::string& tsv, const std::string& output, unsigned version) {
    if (outputIsInput(output, tsv)) return kUsage;
    std::string text;
    if (const int error = readWholeFile(tsv, text)) {
        complain(tsv, errorText(error));
        return kFailed;
    }
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
    if (!writeOutput(output, bytes, true)) return kFailed;
    std::printf("%s: %zu releases, version %u\n", shownName(output).c_str(), releases.size(), version);
    return 0;
}

// Database files are looked at first: the core's readers say only that a
// file cannot be read, not why.
bool checkDatabaseFile(const std::string& file) {
    if (const int error = checkInput(file)) {
        complain(file, errorText(error));
        return false;
    }
    return true;
}

int dbDump(const std::string& file) {
    if (!checkDatabaseFile(file)) return kFailed;
    std::vector<Release> releases;
    std::uint16_t version = 0;
    if (const std::string problem = readReleases(corePath(file), releases, version); !problem.empty()) {
        complain(file, problem);
        return kFailed;
    }
    const std::string text = formatReleaseTsv(releases);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int dbVersion(const std::string& file) {
    if (!checkDatabaseFile(file)) {
        std::printf("0\n");
        return kFailed;
    }
    const unsigned version = databaseVersion(corePath(file), true);
    std::printf("%u\n", version);
    if (version == 0) {
        complain(file, "no version: the file cannot be read or is not whole");
        return kFailed;
    }
    return 0;
}

// A game code as the database holds it: four characters of ISO 8859-1.
std::optional<std::string> gameCodeBytes(const std::string& code) {
    const std::u16string wide = fromUtf8(code);
    if (wide.size() != 4) return std::nullopt;
    std::string bytes;
    for (char16_t unit : wide) {
        if (unit > 0xFF) return std::nullopt;
        bytes += static_cast<char>(unit);
    }
    return bytes;
}

int dbLookup(const std::string& file, const std::string& code) {
    const auto gameCode = gameCodeBytes(code);
    if (!gameCode) {
        std::fprintf(stderr, "cartscope: game code \"%s\": a game code is exactly 4 characters (of ISO 8859-1)\n",
                     shownName(code).c_str());
        return kUsage;
    }
    if (!checkDatabaseFile(file)) return kFailed;
    const auto release = findRelease(corePath(file), *gameCode);
    if (!release) {
        complain(file, "no release with the game code \"" + shownName(code) + "\"");
        return kFailed;
    }
    static const char* const kLabels[kReleaseFields] = {"ROM-Code",  "Name", "Country",     "Genre",         "Publisher",
                                                        "Languages", "WiFi", "Release-Nr.", "Release-Group", "CRC32"};
    std::printf("Game-Code: %s\n", latin1ToUtf8(release->gameCode).c_str());
    for (std::size_t i = 0; i < kReleaseFields; ++i) {
        std::string value = latin1ToUtf8(release->fields[i]);
        if (i == 5)
            value += " (" +
                     toUtf8(languageList(static_cast<std::uint32_t>(std::strtoul(release->fields[i].c_str(), nullptr, 10)))) +
                     ")";
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
    std::vector<const CLI::Option*> databaseOptions;
    std::string pattern = "%T";
    const char* databaseHelp = "Release database (default: nds-rom.dat in the data folder)";
    const char* patternHelp =
        "Rename pattern: %T title, %N release number, %R region, %G release group, "
        "%Strimmed,untrimmed%s, %% a percent sign";

    std::vector<std::string> infoRoms;
    auto* infoCommand = app.add_subcommand("info", "Show what the Explorer's info tip shows for each ROM");
    databaseOptions.push_back(infoCommand->add_option("--db", database, databaseHelp));
    infoCommand->add_option("ROM", infoRoms, "ROM image files")->required();

    std::string namesRom;
    auto* namesCommand = app.add_subcommand("names", "List the names that \"Rename to ...\" offers for a ROM");
    databaseOptions.push_back(namesCommand->add_option("--db", database, databaseHelp));
    namesCommand->add_option("--pattern", pattern, patternHelp)->capture_default_str();
    namesCommand->add_option("ROM", namesRom, "ROM image file")->required();

    std::vector<std::string> renameRoms;
    unsigned language = 0;
    bool dryRun = false;
    auto* renameCommand = app.add_subcommand("rename", "Rename ROMs after their banner titles; never overwrites a file");
    databaseOptions.push_back(renameCommand->add_option("--db", database, databaseHelp));
    renameCommand->add_option("--pattern", pattern, patternHelp)->capture_default_str();
    renameCommand
        ->add_option("--language", language,
                     "Banner language: 0 Japanese, 1 English, 2 French, 3 German, "
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
    dbBuildCommand
        ->add_option("RELEASES", dbTsv,
                     "Tab-separated list: a header line, then game code, ROM code, name, "
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
    const bool databaseGiven = std::any_of(databaseOptions.begin(), databaseOptions.end(),
                                           [](const CLI::Option* option) { return option->count() > 0; });
    if (const int status = chooseDatabase(databaseGiven, database)) return status;
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
