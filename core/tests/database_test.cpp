#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <process.h>
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include "core/platform/data_folder.h"
#include "core/platform/database_lock.h"
#include "core/platform/file.h"
#include "core/release_database.h"
#include "core/tests/support/rom_builder.h"
#include "core/rom_info.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;
using cartscope::testing::TempDir;

namespace {

Release release(const std::string& code, const std::string& name, const std::string& crc = "") {
    Release r;
    r.gameCode = code;
    r.fields = {"NTR-" + code, name, "Europe", "Puzzle", "Velmora", "9", "1-4 players", "0" + code.substr(0, 3), "GRP", crc};
    r.hasCrc = !crc.empty();
    return r;
}

std::vector<std::uint8_t> database(std::uint16_t version, const std::vector<Release>& releases) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(buildDatabase(version, releases, bytes), "");
    return bytes;
}

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbPath = dir.file("nds-rom.dat");
        useDatabaseFile(dbPath);
    }
    void TearDown() override { useDatabaseFile({}); }

    void writeDatabase(const std::vector<std::uint8_t>& bytes) { cartscope::testing::writeFile(dbPath, bytes); }

    // Loads a ROM of the given game code and maker with the database step.
    RomInfo lookUp(const std::string& code, RomLoadFlags flags = RomLoadFlags::LookUpDatabase,
                   std::u16string_view pattern = u"%T") {
        RomSpec card;
        card.gameCode = code;
        card.makerCode = "01";
        card.titles[English] = u"Banner Game\nMaker";
        const auto path = dir.file(code + ".nds");
        cartscope::testing::writeFile(path, buildRom(card));
        RomInfo rom;
        EXPECT_TRUE(rom.load(path, flags, pattern));
        return rom;
    }

    TempDir dir;
    std::u16string dbPath;
};

}  // namespace

TEST_F(DatabaseTest, FindsFirstAndLastReleasesAndFillsEveryField) {
    writeDatabase(database(7, {release("CZZE", "Last"), release("AAAE", "First", "0123ABCD"), release("BMME", "Middle")}));
    const RomInfo first = lookUp("AAAE");
    EXPECT_TRUE(first.recordFound);
    EXPECT_EQ(first.romCode, u"NTR-AAAE");
    EXPECT_EQ(first.name, u"First");
    EXPECT_EQ(first.country, u"Europe");
    EXPECT_EQ(first.genre, u"Puzzle");
    EXPECT_EQ(first.publisher, u"Velmora") << "the database's publisher replaces the maker's";
    EXPECT_EQ(first.languages, u"eng,ger");  // mask 9
    EXPECT_EQ(first.wifi, u"1-4 players");
    EXPECT_EQ(first.releaseNumber, u"0AAA");
    EXPECT_EQ(first.releaseGroup, u"GRP");
    EXPECT_EQ(first.databaseCrc32, u"0123ABCD");
    EXPECT_EQ(first.region, u"USA");

    const RomInfo last = lookUp("CZZE");
    EXPECT_TRUE(last.recordFound);
    EXPECT_EQ(last.name, u"Last");
    EXPECT_EQ(last.databaseCrc32, u"") << "a record that ends after field 9 has no CRC";
    EXPECT_TRUE(lookUp("BMME").recordFound);

    const RomInfo unknown = lookUp("ZZZE");
    EXPECT_FALSE(unknown.recordFound);
    EXPECT_EQ(unknown.publisher, u"Nintendo");
    EXPECT_EQ(unknown.releaseNumber, u"XXXX");
}

// The lookup through the process's cached index gives the release as the
// database holds it, the same as a plain read of the file.
TEST_F(DatabaseTest, LookUpGivesTheReleaseAsStored) {
    const std::vector<Release> releases = {release("AAAE", "First", "0123ABCD"), release("BMME", "Middle")};
    writeDatabase(database(4, releases));
    EXPECT_EQ(lookUpRelease("AAAE"), releases[0]);
    EXPECT_EQ(lookUpRelease("BMME"), releases[1]);
    EXPECT_EQ(lookUpRelease("BMME"), findRelease(dbPath, "BMME"));
    EXPECT_EQ(lookUpRelease("ZZZE"), std::nullopt);
    useDatabaseFile(dir.file("missing.dat"));
    EXPECT_EQ(lookUpRelease("AAAE"), std::nullopt);
}

TEST_F(DatabaseTest, EmptyDatabasesFindNothing) {
    writeDatabase(database(1, {}));  // N = 1: the header slot alone
    EXPECT_FALSE(lookUp("AAAE").recordFound);

    // N = 0 finds nothing either.
    auto bytes = database(2, {release("AAAE", "A")});
    bytes[6] = bytes[7] = 0;
    writeDatabase(bytes);
    EXPECT_FALSE(lookUp("AAAE").recordFound);
}

TEST_F(DatabaseTest, LanguageMasksAndEmptyPublisher) {
    struct Case {
        const char* mask;
        const char16_t* text;
    };
    for (const Case c : {Case{"0", u""}, Case{"1", u"eng"}, Case{"3", u"eng,jap"}, Case{"524288", u"kor"}, Case{"1048576", u""},
                         Case{"", u""}, Case{"12abc", u"fre,ger"}}) {
        Release r = release("LANE", "Lang");
        r.fields[5] = c.mask;
        r.fields[4] = "";
        writeDatabase(database(static_cast<std::uint16_t>(std::strlen(c.mask) + 10), {r}));
        const RomInfo rom = lookUp("LANE");
        ASSERT_TRUE(rom.recordFound);
        EXPECT_EQ(rom.languages, c.text) << c.mask;
        EXPECT_EQ(rom.publisher, u"") << "an empty publisher clears the maker's name";
    }
    EXPECT_EQ(languageList(0xFFFFFFFF), u"eng,jap,fre,ger,ita,spa,dut,por,gre,fin,dan,nor,swe,rus,tur,hun,cze,pol,chi,kor");
}

TEST_F(DatabaseTest, TextBytesAreLatin1) {
    Release r = release("LATE", "Pok\xE9mon \xFF");
    writeDatabase(database(3, {r}));
    EXPECT_EQ(lookUp("LATE").name, (std::u16string{u'P', u'o', u'k', 0xE9, u'm', u'o', u'n', u' ', 0xFF}));
}

TEST_F(DatabaseTest, ReplacedFileIsReadAgain) {
    writeDatabase(database(1, {release("AAAE", "Old")}));
    EXPECT_EQ(lookUp("AAAE").name, u"Old");
    // Same N, another version: the index is read again.
    writeDatabase(database(2, {release("BBBE", "New")}));
    EXPECT_FALSE(lookUp("AAAE").recordFound);
    EXPECT_EQ(lookUp("BBBE").name, u"New");
    // Same version, another N.
    writeDatabase(database(2, {release("BBBE", "Newer"), release("CCCE", "More")}));
    EXPECT_EQ(lookUp("BBBE").name, u"Newer");
    EXPECT_EQ(lookUp("CCCE").name, u"More");
}

// A file replaced by another of the same version and N, whose records lie
// elsewhere, is not read through the index of the one before.
TEST_F(DatabaseTest, AReplacementOfTheSameVersionAndSizeIsReadAgain) {
    const auto alpha = database(5, {release("AAAE", "Alpha Game"), release("KSCE", "Kid Scene")});
    const auto swapped = database(5, {release("AAAE", "Kid Scene"), release("KSCE", "Alpha Game")});
    ASSERT_EQ(alpha.size(), swapped.size());
    writeDatabase(alpha);
    EXPECT_EQ(lookUp("KSCE").name, u"Kid Scene");

    // Moved into place, as the updater and the command line replace it.
    const std::u16string fresh = dir.file("nds-rom.dat.new");
    cartscope::testing::writeFile(fresh, swapped);
    std::filesystem::rename(std::filesystem::path(fresh), std::filesystem::path(dbPath));
    EXPECT_EQ(lookUp("KSCE").name, u"Alpha Game");
    EXPECT_EQ(lookUp("AAAE").name, u"Kid Scene");

    // Written over in place, a longer one.
    writeDatabase(database(5, {release("AAAE", "Alpha Game, extended"), release("KSCE", "Kid Scene")}));
    EXPECT_EQ(lookUp("KSCE").name, u"Kid Scene");
}

TEST_F(DatabaseTest, DamagedDatabasesAreRefusedSafely) {
    const auto good = database(5, {release("AAAE", "Game", "0123ABCD")});
    const std::uint32_t record = get32(good, 12);
    struct Damage {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> apply;
    };
    const std::vector<Damage> damages = {
        {"record of length 2", [&](auto& b) { b[record] = 2, b[record + 1] = 0; }},
        {"record of length 0", [&](auto& b) { b[record] = 0, b[record + 1] = 0; }},
        {"record text of 32768 bytes", [&](auto& b) { b[record] = 2, b[record + 1] = 0x80; }},
        {"record longer than the file", [&](auto& b) { b[record] = 0xFF, b[record + 1] = 0x7F; }},
        {"record offset beyond the file", [&](auto& b) { b[12] = 0xFF, b[13] = 0xFF, b[14] = 0xFF; }},
        {"record offset at the last byte",
         [&](auto& b) {
             const auto at = static_cast<std::uint32_t>(b.size() - 1);
             for (int i = 0; i < 4; ++i) b[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(at >> (8 * i));
         }},
        {"field without its NUL",
         [&](auto& b) {
             // Only the first field's NUL left: fields 2 to 9 run into the record's end.
             const std::size_t first = record + 2 + std::string("NTR-AAAE").size();
             for (std::size_t i = first + 1; i < b.size(); ++i)
                 if (b[i] == 0) b[i] = 'x';
         }},
        {"more index slots than the file holds", [&](auto& b) { b[6] = 0xFF, b[7] = 0x7F; }},
        {"file shorter than its header", [&](auto& b) { b.resize(5); }},
    };
    std::uint8_t version = 5;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        auto bytes = good;
        damage.apply(bytes);
        if (bytes.size() > 4) bytes[4] = ++version;  // a new version, so the index is read again
        writeDatabase(bytes);
        const RomInfo rom = lookUp("AAAE", RomLoadFlags::LookUpDatabase | RomLoadFlags::KeepShortTitles);
        EXPECT_FALSE(rom.recordFound);
        EXPECT_EQ(rom.name, u"");
        EXPECT_EQ(rom.publisher, u"Nintendo");
        EXPECT_EQ(rom.shortTitles[English], u"Banner Game") << "the banner step runs all the same";
        EXPECT_EQ(findRelease(dbPath, "AAAE"), std::nullopt);
    }
}

TEST_F(DatabaseTest, MissingDatabaseEndsOnlyTheLookup) {
    const auto flags = RomLoadFlags::KeepShortTitles | RomLoadFlags::CollectRenameNames;
    const RomInfo without = lookUp("AAAE", flags);
    const RomInfo missing = lookUp("AAAE", flags | RomLoadFlags::LookUpDatabase);
    EXPECT_FALSE(missing.recordFound);
    EXPECT_EQ(missing.shortTitles, without.shortTitles);
    EXPECT_EQ(missing.renameNames, without.renameNames);
    EXPECT_EQ(missing.shortTitles[English], u"Banner Game");
    EXPECT_FALSE(missing.renameNames.empty());

    // With a record, the database name joins the banner names.
    writeDatabase(database(1, {release("AAAE", "Listed Name")}));
    const RomInfo found = lookUp("AAAE", flags | RomLoadFlags::LookUpDatabase, u"[%N] %T");
    EXPECT_EQ(found.renameNames.count(u"[0AAA] Listed Name"), 1u);
    EXPECT_EQ(found.renameNames.count(u"[0AAA] Banner Game"), 1u);
}

// A database that was read before and is gone now, or is no file any more,
// gives no release; one written there again is read.
TEST_F(DatabaseTest, ADatabaseThatWentAwayFindsNothing) {
    writeDatabase(database(1, {release("AAAE", "Here")}));
    ASSERT_TRUE(lookUpRelease("AAAE"));
    std::filesystem::remove(std::filesystem::path(dbPath));
    EXPECT_EQ(lookUpRelease("AAAE"), std::nullopt);
    std::filesystem::create_directory(std::filesystem::path(dbPath));
    EXPECT_EQ(lookUpRelease("AAAE"), std::nullopt);
    std::filesystem::remove(std::filesystem::path(dbPath));
    writeDatabase(database(1, {release("AAAE", "Back")}));
    ASSERT_TRUE(lookUpRelease("AAAE"));
    EXPECT_EQ(lookUpRelease("AAAE")->fields[release_field::kName], "Back");
}

// The identity of a path is that of the file opened there, and another once
// a new file was moved in its place.
TEST(DatabaseFile, IdentityOfAPathIsThatOfItsFile) {
    TempDir dir;
    const std::u16string path = dir.file("nds-rom.dat");
    cartscope::testing::writeFile(path, {1, 2, 3});
    platform::FileIdentity ofPath, ofFile;
    {
        platform::File file;
        ASSERT_EQ(file.open(path, platform::File::Mode::Read), 0);
        ASSERT_EQ(file.identify(ofFile), 0);
        ASSERT_EQ(platform::identifyPath(path, ofPath), 0);
        EXPECT_EQ(ofPath, ofFile);
        EXPECT_EQ(ofPath.size, 3u);
    }
    cartscope::testing::writeFile(dir.path() / "new.dat", {1, 2, 3});
    std::filesystem::rename(dir.path() / "new.dat", std::filesystem::path(path));
    ASSERT_EQ(platform::identifyPath(path, ofPath), 0);
    EXPECT_NE(ofPath, ofFile);
    EXPECT_NE(platform::identifyPath(dir.file("missing.dat"), ofPath), 0);
}

TEST_F(DatabaseTest, VersionOnlyForWholeFiles) {
    auto bytes = database(321, {release("AAAE", "Game")});
    writeDatabase(bytes);
    EXPECT_EQ(databaseVersion(dbPath, true), 321);
    bytes.push_back(0);  // one byte more than the header says: still serves lookups
    writeDatabase(bytes);
    EXPECT_EQ(databaseVersion(dbPath, true), 0);
    EXPECT_TRUE(lookUp("AAAE").recordFound);
    EXPECT_EQ(databaseVersion(dir.file("missing.dat"), true), 0);
    bytes.resize(3);
    writeDatabase(bytes);
    EXPECT_EQ(databaseVersion(dbPath, true), 0);
}

TEST_F(DatabaseTest, WriterRoundTripsAndRefusesWhatTheFormatCannotHold) {
    std::vector<Release> releases = {release("BBBE", "B", "89ABCDEF"), release("AAAE", "A"), release("9ZZP", "Z")};
    writeDatabase(database(9, releases));
    std::vector<Release> back;
    std::uint16_t version = 0;
    ASSERT_EQ(readReleases(dbPath, back, version), "");
    EXPECT_EQ(version, 9);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], releases[2]) << "index order";
    EXPECT_EQ(back[1], releases[1]);
    EXPECT_EQ(back[2], releases[0]);
    EXPECT_EQ(findRelease(dbPath, "BBBE"), releases[0]);
    EXPECT_EQ(std::filesystem::file_size(dbPath), get32(database(9, releases), 0));

    std::vector<std::uint8_t> bytes;
    EXPECT_NE(buildDatabase(1, {release("ABC", "short code")}, bytes), "");
    EXPECT_NE(buildDatabase(1, {release("ABCDE", "long code")}, bytes), "");
    EXPECT_NE(buildDatabase(1, {release("AB\nE", "control character")}, bytes), "");
    EXPECT_NE(buildDatabase(1, {release("AAAE", "one"), release("AAAE", "two")}, bytes), "");
    EXPECT_NE(buildDatabase(1, {release("AAAE", std::string("nul\0inside", 10))}, bytes), "");

    // Record text up to 32767 bytes fits; one more does not.
    Release big = release("BIGE", "");
    std::size_t text = 0;
    for (std::size_t i = 0; i < 9; ++i) text += big.fields[i].size() + 1;
    big.fields[1] = std::string(kMaxRecordText - text, 'n');
    EXPECT_EQ(buildDatabase(1, {big}, bytes), "");
    writeDatabase(bytes);
    EXPECT_EQ(lookUp("BIGE").name.size(), kMaxRecordText - text);
    big.fields[1] += 'n';
    EXPECT_NE(buildDatabase(1, {big}, bytes), "");

    std::vector<Release> many;
    for (std::size_t i = 0; i <= kMaxReleases; ++i) {
        std::string code;
        for (std::size_t n = i, k = 0; k < 4; ++k, n /= 26) code += static_cast<char>('A' + n % 26);
        many.push_back(release(code, ""));
    }
    EXPECT_NE(buildDatabase(1, many, bytes), "");
    many.pop_back();
    EXPECT_EQ(buildDatabase(1, many, bytes), "");
}

namespace {

// Starts the lock holder; gives its process handle or pid.
long startLockHolder(const std::string& mode, const std::string& ready, const std::string& done,
                     const std::string& milliseconds = "700") {
    const std::string program = std::string(".") + (char)std::filesystem::path::preferred_separator + LOCK_HOLDER;
#ifdef _WIN32
    return static_cast<long>(_spawnl(_P_NOWAIT, program.c_str(), program.c_str(), mode.c_str(), milliseconds.c_str(),
                                     ready.c_str(), done.c_str(), nullptr));
#else
    pid_t pid = -1;
    const char* argv[] = {program.c_str(), mode.c_str(), milliseconds.c_str(), ready.c_str(), done.c_str(), nullptr};
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
    return pid;
#endif
}

int waitForProcess(long process) {
    int status = -1;
#ifdef _WIN32
    _cwait(&status, static_cast<intptr_t>(process), 0);
#else
    waitpid(static_cast<pid_t>(process), &status, 0);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return status;
}

bool waitForFile(const std::filesystem::path& file) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(file);
}

}  // namespace

// A writer waits until a reader in another process has let go; a reader
// waits for a writer in another process.
TEST(DatabaseLock, ProcessesWaitForEachOther) {
    TempDir dir;
    for (const std::string mode : {"read", "write"}) {
        SCOPED_TRACE(mode);
        const auto ready = dir.path() / (mode + ".ready"), done = dir.path() / (mode + ".done");
        const long child = startLockHolder(mode, ready.string(), done.string());
        ASSERT_GT(child, 0);
        ASSERT_TRUE(waitForFile(ready));
        if (mode == "read") {
            platform::DatabaseWriteLock lock;
            EXPECT_TRUE(std::filesystem::exists(done)) << "the writer got in while a reader held its slot";
        } else {
            platform::DatabaseReadLock lock;
            EXPECT_TRUE(std::filesystem::exists(done)) << "a reader got in while the writer held the lock";
        }
        EXPECT_EQ(waitForProcess(child), 0);
    }
    // Readers do not exclude each other: twenty slots.
    std::vector<std::unique_ptr<platform::DatabaseReadLock>> readers;
    for (int i = 0; i < platform::kDatabaseReaderSlots; ++i) readers.push_back(std::make_unique<platform::DatabaseReadLock>());
}

#ifndef _WIN32

// A holder that is killed gives its lock back: after twenty readers and a
// writer killed while holding it, a writer still gets in.
TEST(DatabaseLock, AKilledHolderLetsGo) {
    TempDir dir;
    for (int round = 0; round < 21; ++round) {
        const auto ready = dir.path() / ("held" + std::to_string(round));
        const long reader =
            startLockHolder(round < 20 ? "read" : "write", ready.string(), (dir.path() / "never").string(), "60000");
        ASSERT_GT(reader, 0);
        const bool holds = waitForFile(ready);
        kill(static_cast<pid_t>(reader), SIGKILL);
        waitpid(static_cast<pid_t>(reader), nullptr, 0);
        ASSERT_TRUE(holds) << "round " << round << ": the lock could not be had";
    }
    const auto ready = dir.path() / "writer.ready", done = dir.path() / "writer.done";
    const long writer = startLockHolder("write", ready.string(), done.string(), "0");
    ASSERT_GT(writer, 0);
    int status = -1;
    for (int i = 0; i < 1000 && waitpid(static_cast<pid_t>(writer), &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool ended = std::filesystem::exists(done);
    if (!ended) {
        kill(static_cast<pid_t>(writer), SIGKILL);
        waitpid(static_cast<pid_t>(writer), nullptr, 0);
    }
    EXPECT_TRUE(ended) << "the writer still waits for readers that are gone";
}

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

// A reader waits for a writer that holds the lock file the data folder names
// now: after the data folder changed, and after the lock file was removed with
// its folder and made again (a reader still locking the old one would get in).
TEST(DatabaseLock, ReadersLockTheLockFileTheDataFolderNamesNow) {
    for (const bool folderChanged : {true, false}) {
        SCOPED_TRACE(folderChanged ? "the data folder changed" : "the lock file was made again");
        TempDir dir;
        std::optional<ScopedEnv> data;
        data.emplace("XDG_DATA_HOME", (dir.path() / "first").string().c_str());
        { platform::DatabaseReadLock lock; }
        ASSERT_TRUE(std::filesystem::exists(dir.path() / "first" / "cartscope" / "nds-rom.lock"));
        if (folderChanged)
            data.emplace("XDG_DATA_HOME", (dir.path() / "second").string().c_str());
        else
            std::filesystem::remove_all(dir.path() / "first" / "cartscope");
        const auto ready = dir.path() / "write.ready", done = dir.path() / "write.done";
        const long writer = startLockHolder("write", ready.string(), done.string());
        ASSERT_GT(writer, 0);
        ASSERT_TRUE(waitForFile(ready));
        {
            platform::DatabaseReadLock lock;
            EXPECT_TRUE(std::filesystem::exists(done)) << "a reader got in while the writer held the lock";
        }
        EXPECT_EQ(waitForProcess(writer), 0);
    }
}

// Lookups without a named file read the database of the data folder of the
// moment.
TEST(DataFolder, LookupsFollowTheDataFolder) {
    TempDir dir;
    for (const char* folder : {"first", "second", "first"}) {
        SCOPED_TRACE(folder);
        ScopedEnv data("XDG_DATA_HOME", (dir.path() / folder).string().c_str());
        std::filesystem::create_directories(dir.path() / folder / "cartscope");
        cartscope::testing::writeFile(dir.path() / folder / "cartscope" / "nds-rom.dat", database(1, {release("DFLE", folder)}));
        const auto found = lookUpRelease("DFLE");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->fields[release_field::kName], folder);
    }
}

TEST(DataFolder, FollowsXdgDataHomeThenHome) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv data("XDG_DATA_HOME", "/data/here");
        EXPECT_EQ(platform::dataFolder(), u"/data/here/cartscope/");
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "relative/path");  // to be ignored
        EXPECT_EQ(platform::dataFolder(), u"/home/someone/.local/share/cartscope/");
    }
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(platform::dataFolder(), u"/home/someone/.local/share/cartscope/");
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(platform::dataFolder(), std::nullopt);
    EXPECT_EQ(databasePath(), std::nullopt);
    EXPECT_EQ(databaseVersion(u"nds-rom.dat", false), 0);
}

TEST(DataFolder, HoldsTheDefaultDatabase) {
    TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", dir.path().string().c_str());
    std::filesystem::create_directories(dir.path() / "cartscope");
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(buildDatabase(77, {release("DFLE", "Default")}, bytes), "");
    cartscope::testing::writeFile(dir.path() / "cartscope" / "nds-rom.dat", bytes);
    EXPECT_EQ(databaseVersion(u"nds-rom.dat", false), 77);

    RomSpec card;
    card.gameCode = "DFLE";
    const auto path = dir.file("rom.nds");
    cartscope::testing::writeFile(path, buildRom(card));
    RomInfo rom;
    ASSERT_TRUE(rom.load(path, RomLoadFlags::LookUpDatabase));
    EXPECT_TRUE(rom.recordFound);
    EXPECT_EQ(rom.name, u"Default");
}

#else

TEST(DataFolder, IsTheRoamingApplicationDataFolder) {
    const auto folder = platform::dataFolder();
    ASSERT_TRUE(folder);
    ASSERT_GT(folder->size(), 12u);
    EXPECT_EQ(folder->substr(folder->size() - 11), u"\\Cartscope\\");
    EXPECT_EQ((*folder)[1], u':') << "a full path with a drive";
}

#endif
