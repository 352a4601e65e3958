#include "cli/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/platform/file.h"
#include "core/text.h"

namespace cartscope::cli {

namespace {

void appendByte(std::string& out, unsigned byte) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte & 0xFFu);
    out += hex;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The folder part of a path, with its final '/'; empty for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where writing to `path` lands: symbolic links are followed, also one that
// names a file that does not exist yet. Gives 0 or an error; `exists` tells
// whether that file is there, and `st` is then its status.
int followLinks(std::string& path, bool& exists, struct stat& st) {
    for (int hops = 0; hops < 40; ++hops) {
        exists = lstat(path.c_str(), &st) == 0;
        if (!exists || !S_ISLNK(st.st_mode)) return 0;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0) return errno;
        if (static_cast<std::size_t>(length) >= link.size()) return ENAMETOOLONG;
        link.resize(static_cast<std::size_t>(length));
        path = link[0] == '/' ? link : folderOf(path) + link;
    }
    return ELOOP;
}

// A new file for writing, created exclusively under `prefix` and six random
// letters with `mode` (less the umask, as open(2) gives it); gives its
// descriptor (or -1 with errno) and its name in `name`. The letters come from
// getrandom(2): mkostemp(3) takes them from the clock, whose first reading
// maps the vDSO's data into the process, two page faults that cost a per-file
// command more than the rest of its file's creation.
int createUnique(const std::string& prefix, mode_t mode, std::string& name) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            if (errno == EINTR) continue;
            return -1;
        }
        name = prefix;
        for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::u16string corePath(std::string_view path) { return fromUtf8(path, Utf8Errors::Escape); }

std::string shownName(std::u16string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (isHighSurrogate(unit) && i + 1 < name.size() && isLowSurrogate(name[i + 1])) {
            out += toUtf8(name.substr(i, 2));
            ++i;
        } else if (isEscapedByte(unit)) {
            appendByte(out, unit);
        } else if (unit == u'\\') {
            out += "\\\\";
        } else if (unit == u'\t') {
            out += "\\t";
        } else if (unit == u'\n') {
            out += "\\n";
        } else if (unit == u'\r') {
            out += "\\r";
        } else if (unit < 0x20 || unit == 0x7F) {
            appendByte(out, unit);
        } else if (unit >= 0x80 && unit <= 0x9F) {
            appendByte(out, 0xC2);  // the two bytes of a C1 control in UTF-8
            appendByte(out, unit);
        } else {
            out += toUtf8(name.substr(i, 1));
        }
    }
    return out;
}

std::string shownName(std::string_view path) { return shownName(corePath(path)); }

std::string errorText(int error) {
    if (error == platform::kNotRegularFile) return "not a regular file";
    return std::strerror(error);
}

int checkInput(const std::string& path) {
    platform::File file;
    return file.open(corePath(path), platform::File::Mode::Read);
}

int readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    platform::File file;
    if (const int error = file.open(corePath(path), platform::File::Mode::Read)) return error;
    // Room for the whole file at once: growing by doubling would hold the
    // old buffer and one twice its size at the same time.
    std::uint64_t size = 0;
    if (file.seekEnd(size) == 0 && file.seek(0) == 0 && size < bytes.max_size()) bytes.reserve(static_cast<std::size_t>(size));
    char piece[65536];
    while (const std::size_t got = file.read(piece, sizeof piece)) bytes.append(piece, got);
    return file.lastError();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

OutputFile::OutputFile(std::string target, Sync sync) : target_(std::move(target)), sync_(sync) {}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) unlink(temporary_.c_str());
}

int OutputFile::create() {
    struct stat st;
    bool exists = false;
    if (const int error = followLinks(target_, exists, st)) return error;
    if (exists) {
        // Only a regular file is replaced; one that this user could not
        // write to stays, as it would when written in place.
        if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : platform::kNotRegularFile;
        if (access(target_.c_str(), W_OK) != 0) return errno;
    }
    // A new file gets what open(2) gives 0666; one that replaces a file
    // starts as this user's alone and takes the old file's owner and
    // permissions before it has data.
    std::string name;
    fd_ = createUnique(folderOf(target_) + ".cartscope-", exists ? 0600 : 0666, name);
    if (fd_ < 0) return errno;
    temporary_ = name;
    if (!exists) return 0;
    // The owner first: a change of owner clears the set-ID bits.
    if (fchown(fd_, st.st_uid, st.st_gid) != 0) {
        // Not allowed: the new file stays this user's.
    }
    return fchmod(fd_, st.st_mode & 07777) == 0 ? 0 : errno;
}

int OutputFile::write(const void* data, std::size_t size) {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd_, p, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

int OutputFile::finish() {
    int error = sync_ == Sync::None || fsync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    return error;
}

int OutputFile::replaceTarget() {
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
    temporary_.clear();
    if (sync_ == Sync::None) return 0;
    // The new name on the disk as well; a folder that cannot be synced
    // changes nothing about the outcome.
    const std::string folder = folderOf(target_);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
    return 0;
}

namespace {

// One folder entry however the path spells its folder: the folder's device
// and inode, and the name.
std::string entryKey(const std::string& path) {
    const std::string folder = folderOf(path);
    struct stat st;
    if (stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return "?" + path;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "/" + path.substr(folder.size());
}

}  // namespace

PlannedRenames::State PlannedRenames::state(const std::string& path, std::string* source) const {
    const auto found = changed_.find(entryKey(path));
    if (found == changed_.end()) return State::Unchanged;
    if (found->second.empty()) return State::Gone;
    if (source) *source = found->second;
    return State::Moved;
}

int PlannedRenames::renameError(const std::string& to) const {
    switch (state(to)) {
        case State::Moved:
            return EEXIST;
        case State::Gone:
            break;
        case State::Unchanged:
            struct stat st;
            if (lstat(to.c_str(), &st) == 0) return EEXIST;
            if (errno != ENOENT) return errno;
            break;
    }
    const std::string folder = folderOf(to);
    return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

void PlannedRenames::record(const std::string& from, const std::string& to) {
    const std::string fromKey = entryKey(from), toKey = entryKey(to);
    if (fromKey == toKey) return;
    std::string source = from;
    state(from, &source);
    changed_[toKey] = source;
    changed_[fromKey].clear();
}

}  // namespace cartscope::cli
