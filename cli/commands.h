// The commands of the command line, each given what its arguments parsed to.
// Each gives its exit status: 0 when every file succeeded, kFailed when any
// failed, kUsage for a usage error; messages go to stdout and stderr.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/files.h"

namespace cartscope::cli {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The largest picture icon and thumbnail write, and a thumbnail's default size.
constexpr int kLargestPicture = 4096;
constexpr int kThumbnailSize = 128;

// Uses the file named with --db (`given`) instead of the data folder's
// database: 0, or the exit status when it cannot be used.
int chooseDatabase(bool given, const std::string& file);
// Whether a rename pattern is valid; when not, says why on stderr.
bool checkPattern(const std::u16string& pattern);

int info(const std::vector<std::string>& paths);
int names(const std::string& path, const std::u16string& pattern);
int rename(const std::vector<std::string>& paths, const std::u16string& pattern, unsigned language, bool dryRun);
int icon(const std::string& path, const std::string& output, int size);
int thumbnail(const std::string& input, const std::string& output, int size);
// trim (true) or untrim (false) each file.
int edit(const std::vector<std::string>& paths, bool trim);

// What the commands share: "cartscope: PATH: WHAT" on stderr; an output
// that would replace an input (a usage error, said on stderr); an output
// file written whole or not at all, a database under the writer's lock.
void complain(const std::string& path, const std::string& what);
bool outputIsInput(const std::string& output, const std::string& input);
bool writeOutput(const std::string& path, const std::vector<std::uint8_t>& bytes, bool isDatabase,
                 OutputFile::Sync sync = OutputFile::Sync::ToDisk);

// The db commands (db_commands.cpp).
int dbBuild(const std::string& tsv, const std::string& output, unsigned version);
int dbImport(const std::vector<std::string>& lists, const std::string& output, unsigned version);
int dbDump(const std::string& file);
int dbVersion(const std::string& file);
int dbLookup(const std::string& file, const std::string& code);

}  // namespace cartscope::cli
