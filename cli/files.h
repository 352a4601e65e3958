// Files as the command line meets them: paths are the bytes the user gave,
// inputs are read only when they are regular files, and outputs are replaced
// whole or not at all.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace cartscope::cli {

// A path from the command line as the core takes it: bytes that are not
// UTF-8 are kept (Utf8Errors::Escape).
std::u16string corePath(std::string_view path);

// A file name fit for one line of output: a backslash doubled, a tab, line
// feed and carriage return as \t \n \r, every other control character
// (C0, DEL and C1) and every byte that is not UTF-8 as \xNN (the bytes of
// the name, so that C1 controls show their two bytes).
std::string shownName(std::u16string_view name);
std::string shownName(std::string_view path);

// The text of an error from platform::File::open or the functions here: the
// system's text, or "not a regular file".
std::string errorText(int error);

// 0 when `path` opens as a regular file for reading, else the error.
int checkInput(const std::string& path);

// Reads a whole regular file; 0 or the error.
int readWholeFile(const std::string& path, std::string& bytes);

// Whether both paths name one existing file (links followed): the same
// device and inode.
bool sameFile(const std::string& a, const std::string& b);

// A file written under a temporary name in the folder of its target and put
// in the target's place by rename(2): readers see the old file or the new
// one, never a part, and a failed write leaves the old file as it was. A
// target that is a symbolic link has the file it points to replaced. An
// existing target keeps its permissions (and owner and group, where that is
// allowed); a new one gets 0666 less the umask. The temporary file goes with
// the object unless it was put in place. A synced file (the default) is on the
// disk, under its name, when replaceTarget returns; an unsynced one is for
// files that their reader takes at once and the system may lose in a crash
// (a file manager's thumbnail).
class OutputFile {
public:
    enum class Sync { ToDisk, None };
    explicit OutputFile(std::string target, Sync sync = Sync::ToDisk);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file; 0 or the error.
    int create();
    // Writes all the bytes; 0 or the error.
    int write(const void* data, std::size_t size);
    // Puts the data on the disk (when synced) and closes the file; 0 or the error.
    int finish();
    // Renames the finished file over the target; 0 or the error.
    int replaceTarget();

private:
    std::string target_;  // links followed
    Sync sync_;
    std::string temporary_;
    int fd_ = -1;
};

// What the renames of a dry run would have done to the names on the disk, so
// that the dry run meets what the real run would: names taken, names freed,
// files found under their new names. Paths are bytes; a name counts as the
// same however its folder is spelt.
class PlannedRenames {
public:
    enum class State { Unchanged, Gone, Moved };
    // What the renames so far did to `path`. For Moved, `source` tells where
    // the file that would have that name is now.
    State state(const std::string& path, std::string* source = nullptr) const;
    // The error that renaming a file to `to` without replacing a file would
    // meet: EEXIST for a name in use, or why its folder cannot be written.
    int renameError(const std::string& to) const;
    void record(const std::string& from, const std::string& to);

private:
    std::map<std::string, std::string> changed_;  // name -> where its file is; empty: gone
};

}  // namespace cartscope::cli
