#include "cli/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/files.h"
#include "core/info_tip.h"
#include "core/platform/database_lock.h"
#include "core/platform/file.h"
#include "cli/png_writer.h"
#include "core/release_database.h"
#include "cli/thumbnail.h"
#include "core/rename_pattern.h"
#include "core/rom_edit.h"
#include "core/rom_info.h"
#include "core/text.h"

namespace cartscope::cli {

namespace {

void print(std::FILE* to, std::u16string_view text) {
    const std::string bytes = toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), to);
}

void print(std::FILE* to, const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), to); }

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

}  // namespace

void complain(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "cartscope: %s: %s\n", shownName(path).c_str(), what.c_str());
}

// An output that would take the place of an input is a usage error.
bool outputIsInput(const std::string& output, const std::string& input) {
    if (!sameFile(output, input)) return false;
    complain(output, "the output would replace the input file " + shownName(input) + "; choose another output");
    return true;
}

// Writes a command's output file whole or not at all; the database writer's
// lock is held while the new database takes the old one's place.
bool writeOutput(const std::string& path, const std::vector<std::uint8_t>& bytes, bool isDatabase, OutputFile::Sync sync) {
    OutputFile out(path, sync);
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

namespace {

// The icon as a PNG picture of `size` pixels square.
int writeIcon(const std::string& path, const std::string& output, int size, OutputFile::Sync sync) {
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
    return writeOutput(output, png, false, sync) ? 0 : kFailed;
}

}  // namespace

int icon(const std::string& path, const std::string& output, int size) {
    return writeIcon(path, output, size, OutputFile::Sync::ToDisk);
}

// The file managers' thumbnailer: the icon enlarged by a whole factor to fit
// `size` (see thumbnailSide). A file without an icon writes nothing. The file
// manager reads the picture at once and keeps it in its own cache, so it is
// not synced to the disk (which would make a folder of ROMs wait for the
// disk once a file).
int thumbnail(const std::string& input, const std::string& output, int size) {
    std::string problem;
    const auto path = thumbnailInputPath(input, problem);
    if (!path) {
        std::fprintf(stderr, "cartscope: %s: %s\n", shownName(input).c_str(), problem.c_str());
        return kUsage;
    }
    return writeIcon(*path, output, thumbnailSide(size), OutputFile::Sync::None);
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

}  // namespace cartscope::cli
