// cartscope db: building and reading release databases.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/files.h"
#include "cli/list_import.h"
#include "cli/release_tsv.h"
#include "core/code_tables.h"
#include "core/platform/database_lock.h"
#include "core/release_database.h"
#include "core/text.h"

namespace cartscope::cli {

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

namespace {

// "3 characters" or "1 character".
std::string counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

// Imports release lists of any kind into one database; see the command's help.
int dbImport(const std::vector<std::string>& lists, const std::string& output, unsigned version) {
    for (const auto& list : lists)
        if (outputIsInput(output, list)) return kUsage;
    ReleaseMerge merge;
    ImportCounts counts;
    for (const auto& path : lists) {
        std::string text;
        if (const int error = readWholeFile(path, text)) {
            complain(path, errorText(error));
            return kFailed;
        }
        ReleaseList list;
        const auto failure = readReleaseList(text, list);
        if (failure) {
            const std::string where = shownName(path) + (failure->line ? ":" + std::to_string(failure->line) : "");
            std::fprintf(stderr, "cartscope: %s: %s\n", where.c_str(), shownName(failure->what).c_str());
            return kFailed;
        }
        // What a list says is shown on one line, as file names are.
        for (const ListProblem& problem : list.problems)
            std::fprintf(stderr, "cartscope: %s:%zu: %s\n", shownName(path).c_str(), problem.line,
                         shownName(problem.what).c_str());
        counts += list.counts;
        merge.add(std::move(list));
    }
    counts.merged = merge.merged();
    std::vector<Release> releases = merge.take();
    const std::size_t written = releases.size();
    std::vector<std::uint8_t> bytes;
    if (const std::string problem = buildDatabase(static_cast<std::uint16_t>(version), std::move(releases), bytes);
        !problem.empty()) {
        complain(output, problem);
        return kFailed;
    }
    if (!writeOutput(output, bytes, true)) return kFailed;
    std::string skipped = std::to_string(counts.skipped()) + " skipped";
    std::vector<std::string> reasons;
    if (counts.withoutCode) reasons.push_back(std::to_string(counts.withoutCode) + " without a game code");
    if (counts.badCode) reasons.push_back(std::to_string(counts.badCode) + " with a bad game code");
    if (counts.badLine) reasons.push_back(std::to_string(counts.badLine) + " on a bad line");
    if (counts.repeated) reasons.push_back(std::to_string(counts.repeated) + " listed twice");
    if (counts.tooLong) reasons.push_back(std::to_string(counts.tooLong) + " too long");
    for (std::size_t i = 0; i < reasons.size(); ++i) skipped += (i == 0 ? " (" : ", ") + reasons[i];
    if (!reasons.empty()) skipped += ")";
    std::printf("%s: %s read, %zu written, %s, %zu merged, %s replaced, version %u\n", shownName(output).c_str(),
                counted(counts.read, "entry", "entries").c_str(), written, skipped.c_str(), counts.merged,
                counted(counts.replaced, "character", "characters").c_str(), version);
    return 0;
}

namespace {

// Database files are looked at first: the core's readers say only that a
// file cannot be read, not why.
bool checkDatabaseFile(const std::string& file) {
    if (const int error = checkInput(file)) {
        complain(file, errorText(error));
        return false;
    }
    return true;
}

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace cartscope::cli
