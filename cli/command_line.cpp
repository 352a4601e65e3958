#include "cli/command_line.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cartscope_version.h"
#include "cli/commands.h"
#include "cli/publish.h"
#include "cli/update_db.h"
#include "cli/url.h"
#include "core/rom_info.h"
#include "core/text.h"

namespace cartscope::cli {

int run(int argc, char** argv) {
    CLI::App app{"Cartscope: looks into Nintendo DS ROM images (.nds), trims, untrims and renames them.", "cartscope"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");
    app.set_version_flag("--version", "cartscope " CARTSCOPE_VERSION_TEXT, "Print the version and exit");

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
    std::vector<std::string> importLists;
    auto* dbImportCommand = dbCommand->add_subcommand(
        "import",
        "Build a database from release lists: Logiqx or OfflineList XML dat files and tab-separated lists, told apart by "
        "their content");
    dbImportCommand->footer(
        "Several lists: for a game code in more than one, each field comes from the first list that gives it;\n"
        "later lists fill the gaps. A game code met twice in one list keeps its first entry.\n"
        "Entries without a game code are skipped; the summary counts them.\n"
        "\n"
        "Game code: 4 letters or digits from the serial (\"NTR-ABCE-USA\" gives ABCE, which is also the ROM code)\n"
        "  Logiqx: <rom serial=...>, <serial> or <game_id>; OfflineList: <serial>; our lists: the first column.\n"
        "Name: Logiqx <description> (else the game's name) without its trailing (...) and [...] groups;\n"
        "  OfflineList <title>.\n"
        "Country: Logiqx: the name's group of regions, as written: (Europe), (USA), (Japan), (Germany), (USA, Europe)...\n"
        "  OfflineList <location>: 0 Europe, 1 USA, 2 Germany, 3 China, 4 Spain, 5 France, 6 Italy, 7 Japan,\n"
        "  8 Netherlands, 19 Australia, 22 Korea (others: none).\n"
        "Languages: Logiqx: the name's group (En,Fr,De...): En Ja Fr De It Es Nl Pt El Fi Da No Sv Ru Tr Hu Cs Pl Zh Ko\n"
        "  are the database's bits 0 to 19. OfflineList <language> bits: 1 French, 2 English, 4 Chinese, 8 Danish,\n"
        "  16 Dutch, 32 Finnish, 64 German, 128 Italian, 256 Japanese, 512 Norwegian, 1024 Polish, 2048 Portuguese,\n"
        "  4096 Spanish, 8192 Swedish, 16384 English, 32768 Portuguese, 65536 Korean.\n"
        "Publisher: Logiqx <publisher> or <manufacturer>; OfflineList <publisher>.\n"
        "Release number: OfflineList <releaseNumber>, four digits at least. Release group: OfflineList <sourceRom>.\n"
        "CRC-32: Logiqx <rom crc> of the .nds file (else the first); OfflineList <files><romCRC extension=\".nds\">.\n"
        "Genre and WiFi: <genre> and <wifi> where a list has them.\n"
        "Text: lists are UTF-8 (or what their XML declaration names), the database ISO 8859-1: other characters\n"
        "  become '?' and are counted.\n"
        "Exit status 1 when a list cannot be read at all (the XML parser's line and reason on stderr).");
    dbImportCommand->add_option("LIST", importLists, "Release lists, the first first")->required();
    dbImportCommand->add_option("-o,--output", dbOut, "Database file to write")->required();
    dbImportCommand->add_option("--version", dbVersionNumber, "Database version, 1 to 65535")
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
        ->check(CLI::Range(1, kLargestPicture))
        ->capture_default_str();

    std::string thumbnailInput, thumbnailOut;
    int thumbnailSize = kThumbnailSize;
    auto* thumbnailCommand = app.add_subcommand(
        "thumbnail", "Write a ROM's thumbnail for file managers: the icon enlarged by a whole factor to fit SIZE");
    thumbnailCommand
        ->add_option("-s,--size", thumbnailSize, "Largest width and height in pixels (below 32: the icon shrunk to that size)")
        ->check(CLI::Range(1, kLargestPicture))
        ->capture_default_str();
    thumbnailCommand->add_option("INPUT", thumbnailInput, "ROM image file: a path or a file:// URI")->required();
    thumbnailCommand->add_option("OUTPUT", thumbnailOut, "PNG file to write")->required();

    std::vector<std::string> trimRoms;
    auto* trimCommand = app.add_subcommand("trim", "Cut each ROM file to its used size plus 512 bytes");
    trimCommand->add_option("ROM", trimRoms, "ROM image files")->required();

    std::vector<std::string> untrimRoms;
    auto* untrimCommand = app.add_subcommand("untrim", "Pad each ROM file with 0xFF bytes to its card size");
    untrimCommand->add_option("ROM", untrimRoms, "ROM image files")->required();

    PublishRequest publishRequest;
    std::string publishKey;
    auto* publishCommand = app.add_subcommand(
        "publish", "Write the update server's files: SITE/Cartscope/version.txt, the database, the program and the library");
    publishCommand
        ->add_option("--program", publishRequest.program, "Cartscope CMD.exe: a 32-bit (x86) program with a version resource")
        ->type_name("FILE")
        ->required();
    publishCommand
        ->add_option("--library", publishRequest.library, "Cartscope.dll: a 64-bit (x64) library with a version resource")
        ->type_name("FILE")
        ->required();
    publishCommand->add_option("--database", publishRequest.database, "Release database (nds-rom.dat)")
        ->type_name("FILE")
        ->required();
    publishCommand
        ->add_option("-o,--output", publishRequest.site, "Folder of the update server (the files go to SITE/Cartscope/)")
        ->type_name("SITE")
        ->required();
    auto* signOption =
        publishCommand
            ->add_option("--sign", publishKey, "ECDSA P-256 private key (PEM): also write version.txt.sig, its signature")
            ->type_name("KEY.pem");

    std::string updateServer;
    auto* updateDbCommand =
        app.add_subcommand("update-db", "Install the newest release database from the update server into the data folder");
    auto* serverOption =
        updateDbCommand
            ->add_option("--server", updateServer, "Update server (http:// or https://; reads SERVER/Cartscope/version.txt)")
            ->type_name("URL");

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
    if (*dbImportCommand) return dbImport(importLists, dbOut, dbVersionNumber);
    if (*dbDumpCommand) return dbDump(dbFile);
    if (*dbVersionCommand) return dbVersion(dbFile);
    if (*dbLookupCommand) return dbLookup(dbFile, dbCode);
    if (*iconCommand) return icon(iconRom, iconOut, iconSize);
    if (*thumbnailCommand) return thumbnail(thumbnailInput, thumbnailOut, thumbnailSize);
    if (*trimCommand) return edit(trimRoms, true);
    if (*updateDbCommand) {
        if (serverOption->count() > 0 && !isHttpUrl(updateServer)) {
            std::fprintf(stderr, "cartscope: --server: not an http:// or https:// URL: %s\n", updateServer.c_str());
            return kUsage;
        }
        return updateDatabase(updateServer);
    }
    if (*publishCommand) {
        if (signOption->count() > 0) publishRequest.signingKey = publishKey;
        return publish(publishRequest);
    }
    return edit(untrimRoms, false);
}

}  // namespace cartscope::cli
