#include "core/release_database.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "core/byte_source.h"
#include "core/code_tables.h"
#include "core/little_endian.h"
#include "core/platform/data_folder.h"
#include "core/platform/database_lock.h"
#include "core/text.h"

namespace cartscope {

namespace {

using platform::DatabaseReadLock;
using platform::DatabaseWriteLock;

constexpr std::size_t kSlotSize = 8;

struct Header {
    std::uint32_t length = 0;
    std::uint16_t version = 0;
    std::uint16_t count = 0;  // N, index slots including the header itself
};

// Reads the 8-byte header; a file too short for one holds no releases.
Header readHeader(ByteSource& file) {
    std::uint8_t bytes[kSlotSize];
    Header header;
    if (!file.seek(0) || !readFully(file, bytes, sizeof bytes)) return header;
    header.length = get32(bytes);
    header.version = get16(bytes + 4);
    header.count = get16(bytes + 6);
    return header;
}

// The index of one process: a copy of the first 8 x N bytes of one file,
// kept while that very file is unchanged (its identity, version and N).
struct IndexCache {
    bool valid = false;
    std::u16string path;
    platform::FileIdentity identity;
    std::uint16_t version = 0;
    std::uint16_t count = 0;
    std::vector<std::uint8_t> slots;
};

IndexCache& indexCache() {
    static IndexCache cache;
    return cache;
}

// The database file that lookups read last, kept open for the next where
// readers may keep it (platform::readersKeepDatabaseOpen). Lookups of several
// threads take turns at it.
struct KeptDatabase {
    std::mutex mutex;
    std::unique_ptr<FileSource> file;
};

KeptDatabase& keptDatabase() {
    static KeptDatabase kept;
    return kept;
}

std::u16string& chosenDatabaseFile() {
    static std::u16string path;
    return path;
}

// Binary search of the slots for a key; gives the record offset. Keys are
// compared as signed numbers, as the index is sorted.
std::optional<std::uint32_t> findSlot(const std::vector<std::uint8_t>& slots, std::size_t count, std::int32_t key) {
    count = std::min(count, slots.size() / kSlotSize);
    long lo = 0;
    long hi = static_cast<long>(count) - 1;
    while (lo <= hi) {
        const long mid = lo + (hi - lo) / 2;
        const auto slotKey = static_cast<std::int32_t>(get32(&slots[static_cast<std::size_t>(mid) * kSlotSize]));
        if (key == slotKey) return get32(&slots[static_cast<std::size_t>(mid) * kSlotSize + 4]);
        if (key < slotKey)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return std::nullopt;
}

enum class RecordState { Found, Empty, Broken };

// Where readRecord's first read ends: a record of the usual length comes
// whole with its length, and only a longer one takes a second read.
constexpr std::size_t kRecordFirstRead = 512;

// Reads and splits the record at `offset`. Nothing outside the file or the
// record is used: a record that breaks the layout is Broken.
RecordState readRecord(ByteSource& file, std::uint32_t offset, Release& release) {
    char first[kRecordFirstRead];
    std::size_t got = 0;
    if (!file.seek(offset)) return RecordState::Broken;
    while (got < 2) {
        const std::size_t more = file.read(first + got, sizeof first - got);
        if (more == 0) return RecordState::Broken;
        got += more;
    }
    const std::uint16_t length = get16(reinterpret_cast<const std::uint8_t*>(first));
    if (length == 2) return RecordState::Empty;
    if (length < 2 || length - 2u > kMaxRecordText) return RecordState::Broken;
    const std::size_t size = length - 2u;
    std::vector<char> longText;  // a record longer than the first read
    char* start = first + 2;
    if (length > sizeof first) {
        longText.resize(size);
        std::memcpy(longText.data(), first + 2, got - 2);
        start = longText.data();
    }
    if (got < length && !readFully(file, start + (got - 2), length - got)) return RecordState::Broken;
    const std::string_view text(start, size);

    std::size_t at = 0;
    for (std::size_t field = 0; field < kReleaseFields - 1; ++field) {
        const void* nul = std::memchr(text.data() + at, 0, text.size() - at);
        if (!nul) return RecordState::Broken;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
        release.fields[field].assign(text.data() + at, end - at);
        at = end + 1;
    }
    release.hasCrc = at < text.size();
    if (release.hasCrc) {
        const void* nul = std::memchr(text.data() + at, 0, text.size() - at);
        const std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
        release.fields[kReleaseFields - 1].assign(text.data() + at, end - at);
    }
    return RecordState::Found;
}

// Reads a whole index: N from the header, then 8 x N bytes.
bool readIndex(ByteSource& file, const Header& header, std::vector<std::uint8_t>& slots) {
    slots.assign(std::size_t{header.count} * kSlotSize, 0);
    return file.seek(0) && readFully(file, slots.data(), slots.size());
}

}  // namespace

std::int32_t releaseKey(std::string_view gameCode) {
    std::uint32_t key = 0;
    for (std::size_t i = 0; i < 4; ++i) key = key << 8 | (i < gameCode.size() ? static_cast<std::uint8_t>(gameCode[i]) : 0u);
    return static_cast<std::int32_t>(key);
}

std::u16string languageList(std::uint32_t mask) {
    std::u16string list;
    for (unsigned bit = 0; bit < kLanguageCount; ++bit) {
        if (!(mask & (1u << bit))) continue;
        if (!list.empty()) list += u',';
        list += widen(languageCode(bit));
    }
    return list;
}

std::optional<std::u16string> databasePath() {
    if (!chosenDatabaseFile().empty()) return chosenDatabaseFile();
    const auto folder = platform::dataFolder();
    if (!folder) return std::nullopt;
    return *folder + kDatabaseFileName;
}

void useDatabaseFile(std::u16string path) { chosenDatabaseFile() = std::move(path); }

namespace {

enum class Lookup { NoFile, NoRecord, Found, StaleIndex };

// Looks `code` up in the open database `file`: header, index and record all
// come from this one file. The cached index serves when it was read from this
// file as it is now; otherwise it is read anew when `mayReload` (the caller
// holds the write lock), else the answer is StaleIndex.
Lookup lookUpIn(FileSource& file, const std::u16string& path, std::string_view code, bool mayReload, Release& release) {
    const Header header = readHeader(file);
    // The identity from the open serves: under the lock no writer changes
    // the file between the open and the last read.
    platform::FileIdentity identity;
    if (!file.identify(identity)) return Lookup::NoFile;
    IndexCache& cache = indexCache();
    const bool current = cache.valid && cache.path == path && cache.identity == identity && cache.version == header.version &&
                         cache.count == header.count;
    if (header.count == 0) return Lookup::NoRecord;
    if (!current) {
        if (!mayReload) return Lookup::StaleIndex;
        cache = IndexCache{};
        std::vector<std::uint8_t> slots;
        // An index that does not fit in the file is no index.
        if (!readIndex(file, header, slots)) return Lookup::NoRecord;
        cache.slots = std::move(slots);
        cache.path = path;
        cache.identity = identity;
        cache.version = header.version;
        cache.count = header.count;
        cache.valid = true;
    }
    const auto offset = findSlot(cache.slots, header.count, releaseKey(code));
    if (!offset) return Lookup::NoRecord;
    return readRecord(file, *offset, release) == RecordState::Found ? Lookup::Found : Lookup::NoRecord;
}

// Looks `code` up in the database at `path`, under the caller's database
// lock (the write lock when `mayReload`), as lookUpIn does.
Lookup lookUpLocked(const std::u16string& path, std::string_view code, bool mayReload, Release& release) {
    if (!platform::readersKeepDatabaseOpen()) {
        FileSource file(path);
        if (!file.isOpen()) return Lookup::NoFile;
        return lookUpIn(file, path, code, mayReload, release);
    }
    // Under the lock no writer replaces the file, and writers replace it by
    // rename: the kept file is the one at `path` exactly when the path names
    // the same file, in the same state, as when it was opened. (While it is
    // open, no other file can take its number on that volume.)
    KeptDatabase& kept = keptDatabase();
    const std::lock_guard<std::mutex> guard(kept.mutex);
    platform::FileIdentity now, opened;
    const bool current = kept.file && kept.file->name() == path && platform::identifyPath(path, now) == 0 &&
                         kept.file->identify(opened) && now == opened;
    if (!current) {
        kept.file.reset();
        auto file = std::make_unique<FileSource>(path);
        if (!file->isOpen()) return Lookup::NoFile;
        kept.file = std::move(file);
    }
    return lookUpIn(*kept.file, path, code, mayReload, release);
}

}  // namespace

std::optional<Release> lookUpRelease(std::string_view gameCode) {
    const auto path = databasePath();
    if (!path) return std::nullopt;

    // Under a reader's lock while the cached index fits the file; a file that
    // changed is looked up again under the write lock, which the cache is only
    // replaced under (no reader of this process uses it meanwhile).
    Release release;
    Lookup result;
    {
        DatabaseReadLock lock;
        result = lookUpLocked(*path, gameCode, false, release);
    }
    if (result == Lookup::StaleIndex) {
        DatabaseWriteLock lock;
        result = lookUpLocked(*path, gameCode, true, release);
    }
    if (result != Lookup::Found) return std::nullopt;
    release.gameCode = std::string(gameCode);
    return release;
}

std::uint16_t databaseVersion(const std::u16string& name, bool isFullPath) {
    std::u16string path = name;
    if (!isFullPath) {
        const auto folder = platform::dataFolder();
        if (!folder) return 0;
        path = *folder + name;
    }
    DatabaseReadLock lock;
    FileSource file(path);
    if (!file.isOpen()) return 0;
    std::uint8_t bytes[6];
    std::uint64_t size = 0;
    if (!file.seek(0) || !readFully(file, bytes, sizeof bytes) || !file.seekEnd(size)) return 0;
    return size == get32(bytes) ? get16(bytes + 4) : 0;
}

std::optional<Release> findRelease(const std::u16string& path, std::string_view gameCode) {
    DatabaseReadLock lock;
    FileSource file(path);
    if (!file.isOpen()) return std::nullopt;
    const Header header = readHeader(file);
    std::vector<std::uint8_t> slots;
    if (!readIndex(file, header, slots)) return std::nullopt;
    const auto offset = findSlot(slots, header.count, releaseKey(gameCode));
    if (!offset) return std::nullopt;
    Release release;
    release.gameCode = std::string(gameCode);
    if (readRecord(file, *offset, release) != RecordState::Found) return std::nullopt;
    return release;
}

std::string readReleases(const std::u16string& path, std::vector<Release>& releases, std::uint16_t& version) {
    releases.clear();
    DatabaseReadLock lock;
    FileSource file(path);
    if (!file.isOpen()) return std::strerror(file.openError());
    return readReleases(file, releases, version);
}

std::string readReleases(ByteSource& file, std::vector<Release>& releases, std::uint16_t& version) {
    releases.clear();
    const Header header = readHeader(file);
    std::vector<std::uint8_t> slots;
    if (header.count == 0 || !readIndex(file, header, slots)) return "not a release database (its index does not fit)";
    version = header.version;
    for (std::size_t i = 1; i < header.count; ++i) {
        Release release;
        const std::uint32_t key = get32(&slots[i * kSlotSize]);
        for (int shift = 24; shift >= 0; shift -= 8) release.gameCode += static_cast<char>(key >> shift);
        const RecordState state = readRecord(file, get32(&slots[i * kSlotSize + 4]), release);
        if (state == RecordState::Broken) return "the record of " + release.gameCode + " is damaged";
        releases.push_back(std::move(release));
    }
    return {};
}

}  // namespace cartscope
