// The updater against the local test server (run_with_servers.sh): the
// version file, the question or the tray, each item's download and swap, the
// failure lines, elevation and the clean-up request; and the version texts.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/release_database.h"
#include "core/tests/support/temp_dir.h"
#include "cmd/update/updater.h"
#include "cmd/update/version_file.h"
#include "win/handle.h"
#include "win/library.h"
#include "win/module_path.h"
#include "win/pe_image.h"
#include "win/version_info.h"

using namespace cartscope::update;
using cartscope::ui::CSystemTray;
using cartscope::win::CFileVersionInfo;
using cartscope::win::peMachineBits;
namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::wstring besideThisProgram(const std::wstring& name) { return cartscope::win::besideModule(nullptr, name); }

// copy_file with overwrite_existing fails in this tool chain's library.
void replaceFile(const fs::path& from, const fs::path& to) {
    fs::remove(to);
    fs::copy_file(from, to);
}

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::uint8_t> database(std::uint16_t version) {
    cartscope::Release release;
    release.gameCode = "ABCE";
    release.fields = {"1", "Game", "Maker", "USA", "", "", "", "", "", ""};
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(cartscope::buildDatabase(version, {release}, bytes), "");
    return bytes;
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::wstring fileVersion(const fs::path& path) {
    CFileVersionInfo info;
    info.loadFromFile(path.wstring());
    return info.fileVersionText();
}

// The tray as the shell gets it.
std::vector<std::wstring> g_balloons;
BOOL WINAPI recordTray(DWORD action, PNOTIFYICONDATAW data) {
    if (action != NIM_DELETE && (data->uFlags & NIF_INFO)) g_balloons.push_back(data->szInfo);
    return TRUE;
}

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (environment("CARTSCOPE_TEST_HTTP").empty()) GTEST_SKIP() << "no test server (run through run_with_servers.sh)";
        www = environment("CARTSCOPE_TEST_WWW");
        for (const auto& entry : fs::directory_iterator(www)) fs::remove_all(entry.path());
        install = dir.path() / "install";
        data = dir.path() / "data";
        fs::create_directories(install);
        fs::create_directories(data);
        // The program is built for x86, the library for x64 (the Explorer's).
        fs::copy_file(besideThisProgram(L"v1004.dll"), install / "Cartscope CMD.exe");
        fs::copy_file(besideThisProgram(L"v1004_x64.dll"), install / "Cartscope.dll");
        writeBytes(data / "nds-rom.dat", database(12));
        fs::copy_file(besideThisProgram(L"v1005.dll"), www / "Cartscope CMD.exe");
        fs::copy_file(besideThisProgram(L"v1005_x64.dll"), www / "Cartscope.dll");
        writeBytes(www / "nds-rom.dat", database(13));
        g_balloons.clear();
        CSystemTray::notify = recordTray;

        setup.server = environment("CARTSCOPE_TEST_HTTP");
        setup.programPath = (install / "Cartscope CMD.exe").wstring();
        setup.dataFolder = data.wstring() + L"\\";
        setup.programVersion = [this] { return fileVersion(install / "Cartscope CMD.exe"); };
        setup.messageBox = [this](const std::wstring& text, UINT type) {
            boxes.push_back(text);
            return (type & MB_YESNO) ? answer : IDOK;
        };
        setup.startElevated = [this](const wchar_t* parameters) { elevated.push_back(parameters); };
        setup.startCleanup = [this] {
            ++cleanups;
            return true;
        };
        setup.now = [] { return std::int64_t{1'800'000'000}; };
        setup.sleep = [this](unsigned seconds) { slept.push_back(seconds); };
        setup.recordCheck = [this](std::uint64_t seconds) { checkedAt.push_back(seconds); };
        setup.forTesting = [this] { return testing; };
        // Hostile servers are given up after seconds, not minutes.
        setup.versionFileLimits.lowSpeedSeconds = 2;
        setup.versionFileLimits.totalSeconds = 10;
        setup.downloadLimits.lowSpeedSeconds = 2;
    }
    void TearDown() override { CSystemTray::notify = Shell_NotifyIconW; }

    std::vector<std::string> requests() const {
        std::vector<std::string> lines;
        std::ifstream log(www / "requests.log");
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }

    cartscope::testing::TempDir dir;
    fs::path www, install, data;
    UpdaterEnvironment setup;
    int answer = IDYES;
    bool testing = false;
    std::vector<std::wstring> boxes;
    std::vector<std::wstring> elevated;
    int cleanups = 0;
    std::vector<unsigned> slept;
    std::vector<std::uint64_t> checkedAt;
};

const std::string kAllNewer = "database:13\r\ncmd_exe:1.0.0.5\r\ndll:1.0.0.5\r\n";

}  // namespace

TEST(VersionFile, WideLocalVersions) {
    // Versions of installed files come as wide text; the core compares them.
    EXPECT_GT(compareVersions("1.2.0.10", L"1.2.0.9"), 0);
    EXPECT_EQ(compareVersions("1.2.0.9", L"1, 2, 0, 9"), 0);
    EXPECT_GT(compareVersions("1.0.0.0", L""), 0);
}

TEST_F(UpdaterTest, ManualRunAsksThenInstallsAllThree) {
    writeText(www / "version.txt", kAllNewer);
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(checkedAt, std::vector<std::uint64_t>{1'800'000'000u});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0],
              L"An update is aviable!\n\nDatabase\n    v12 --> v13\n\nCartscope CMD.exe\n    v1.0.0.4 --> v1.0.0.5\n\n"
              L"Cartscope.dll\n    v1.0.0.4 --> v1.0.0.5\n\n\n\nDo you wish update now?");
    EXPECT_EQ(boxes[1],
              L"\nDatabase:\tUpdate ok (v13)\nCartscope CMD.exe:\tUpdate ok (v1.0.0.5)\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 13);
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.5");
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.5");
    for (const char* left : {"Cartscope CMD.exe.old", "Cartscope CMD.exe.new", "Cartscope.dll.old", "Cartscope CMD.exe.tmp"})
        EXPECT_FALSE(fs::exists(install / left)) << left;
    EXPECT_EQ(cleanups, 0) << "nothing in use";
    EXPECT_TRUE(g_balloons.empty()) << "no tray in a manual run";
    const auto asked = requests();
    EXPECT_EQ(asked, (std::vector<std::string>{"/Cartscope/version.txt", "/Cartscope/nds-rom.dat",
                                               "/Cartscope/Cartscope%20CMD.exe", "/Cartscope/Cartscope.dll?cpu=x64"}));
}

TEST_F(UpdaterTest, NoMeansNothingMore) {
    writeText(www / "version.txt", kAllNewer);
    answer = IDNO;
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.4");
    EXPECT_EQ(requests().size(), 1u);
}

TEST_F(UpdaterTest, NothingNewerAndNoVersionFile) {
    writeText(www / "version.txt", "database:12\r\ncmd_exe:1.0.0.4\r\ndll:1, 0, 0, 4\r\n");
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"No new Updates available."});

    boxes.clear();
    runUpdateCommand(true, false, setup);
    EXPECT_TRUE(boxes.empty()) << "an automatic run shows nothing";
    EXPECT_TRUE(g_balloons.empty()) << "and has no tray icon";
    EXPECT_TRUE(slept.empty()) << "and ends at once";
    EXPECT_EQ(checkedAt.size(), 2u) << "the check is recorded whatever comes of it";

    setup.server = "http://localhost:1";
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Database Update ERROR\n\nCan't get Version-Info!"});
    boxes.clear();
    runUpdateCommand(true, false, setup);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(UpdaterTest, AutomaticRunTellsTheTrayAndStaysToBeRead) {
    writeText(www / "version.txt", "database:13\r\n");
    testing = true;
    runUpdateCommand(true, false, setup);
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(g_balloons.size(), 2u) << (g_balloons.empty() ? std::string()
                                                            : std::string(g_balloons[0].begin(), g_balloons[0].end()));
    EXPECT_EQ(g_balloons[0], L"An update is aviable!\n\nDatabase\n    v12 --> v13\n\n");
    EXPECT_EQ(g_balloons[1], L"\nDatabase:\tUpdate ok (v13)");
    EXPECT_EQ(slept, std::vector<unsigned>{41u}) << "40 s after success, and one more";
    EXPECT_EQ(requests().at(0), "/Cartscope/version.txt?forTesting=yes");
}

TEST_F(UpdaterTest, UrlsFromTheVersionFileAndTheLibrarysBuild) {
    fs::copy_file(www / "Cartscope.dll", www / "library.bin");
    writeText(www / "version.txt", "dll:1.0.0.5\r\ndll_url:" + setup.server + "/Cartscope/library.bin?a=b\r\ncmd_exe_url:\r\n");
    fs::remove(install / "Cartscope.dll");  // missing: version 0, the x86 build, no lock
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(requests().at(1), "/Cartscope/library.bin?a=b?cpu=x86");
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.5");
    EXPECT_EQ(boxes.at(0), L"An update is aviable!\n\nCartscope.dll\n    v --> v1.0.0.5\n\n\n\nDo you wish update now?");
}

TEST_F(UpdaterTest, DownloadsThatAreNotUsableAreDropped) {
    writeText(www / "version.txt", "database:13\r\ncmd_exe:1.0.0.5\r\ndll:1.0.0.5\r\n");
    fs::remove(www / "nds-rom.dat");  // 404: an error page is no database
    writeText(www / "Cartscope CMD.exe", "not a program");
    fs::remove(install / "Cartscope.dll");  // missing, and its download is no library either
    writeText(www / "Cartscope.dll", "not a library");
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1),
              L"\nDatabase:\tUpdate failed! (HTTP status 404)\nCartscope CMD.exe:\tUpdate failed! (not a Windows program file)"
              L"\nCartscope.dll:\tUpdate failed! (not a Windows program file)");
    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 12) << "unchanged";
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.4");
    EXPECT_FALSE(fs::exists(install / "Cartscope CMD.exe.new"));
    EXPECT_FALSE(fs::exists(install / "Cartscope.dll")) << "nothing unusable in the library's place";
}

TEST_F(UpdaterTest, FilesInUse) {
    writeText(www / "version.txt", "cmd_exe:1.0.0.5\r\ndll:1.0.0.5\r\n");
    // The library is loaded (as by the Explorer; this 32-bit test loads a
    // 32-bit one); the program file is held without leave to rename it.
    replaceFile(besideThisProgram(L"v1004.dll"), install / "Cartscope.dll");
    cartscope::win::Library loaded((install / "Cartscope.dll").wstring().c_str(), DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(loaded.get(), nullptr);
    const cartscope::win::Handle held(CreateFileW((install / "Cartscope CMD.exe").wstring().c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    runUpdateCommand(false, false, setup);
    loaded = cartscope::win::Library();
    EXPECT_EQ(
        boxes.at(1),
        L"\nCartscope CMD.exe:\tUpdate failed! (the file in use could not be replaced)\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.4") << "still in place after the failed rename";
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.5");
    EXPECT_EQ(cleanups, 1) << "the old copies are left for the clean-up";
}

TEST_F(UpdaterTest, AFolderThatCannotBeWrittenAsksForElevation) {
    writeText(www / "version.txt", kAllNewer);
    fs::create_directories(install / "Cartscope CMD.exe.tmp");  // the writability probe cannot be created
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(elevated, std::vector<std::wstring>{L"/command:update_admin"});
    EXPECT_TRUE(boxes.empty()) << "the elevated copy does the talking";
    runUpdateCommand(true, false, setup);
    EXPECT_EQ(elevated.back(), L"/command:auto_update_admin");

    // The elevated copy skips the probe and installs.
    elevated.clear();
    runUpdateCommand(false, true, setup);
    EXPECT_TRUE(elevated.empty());
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.5");
}

TEST_F(UpdaterTest, FilesThatCannotBeCreatedAreReported) {
    writeText(www / "version.txt", "database:13\r\n");
    fs::remove(data / "nds-rom.dat");
    fs::remove(data);
    // A fresh user's data folder is made by the first database ...
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1), L"\nDatabase:\tUpdate ok (v13)");
    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 13);

    // ... but not a folder whose parent is missing too.
    boxes.clear();
    const fs::path nowhere = dir.path() / "missing" / "data";
    setup.dataFolder = nowhere.wstring() + L"\\";
    runUpdateCommand(false, false, setup);
    const std::wstring target = nowhere.wstring() + L"\\nds-rom.dat";
    EXPECT_EQ(boxes.at(1), L"\nDatabase:\tCan't create \"" + target + L"\"\n3\n3\n");

    boxes.clear();
    setup.dataFolder.reset();
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1), L"\nDatabase:\tCan't get Data-Path");
}

// Hostile update servers: each ends within the (shortened) limits, in the
// ordinary failure path, with nothing installed.

namespace {

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Seconds a call takes.
template <class Call>
double secondsOf(Call call) {
    const ULONGLONG start = GetTickCount64();
    call();
    return static_cast<double>(GetTickCount64() - start) / 1000.0;
}

// Far below the default limits (a minute without progress) and far above the
// shortened ones of these tests (two seconds): a run that ends in between was
// ended by the limits under test, not by the test's own time-out.
constexpr double kWithinLimits = 40.0;

const std::wstring kVersionFileError = L"Database Update ERROR\n\nCan't get Version-Info!";

}  // namespace

TEST_F(UpdaterTest, AVersionFileThatCannotBeHadIsAnErrorNeverUpToDate) {
    writeText(www / "version.txt", std::string("database:13\r\n") + std::string(70 * 1024, '#'));  // over 64 KiB
    const std::string base = setup.server;
    for (const std::string& server : {base + "/silent", base + "/trickle", base + "/loop", base + "/missing", base}) {
        SCOPED_TRACE(server);
        setup.server = server;
        boxes.clear();
        EXPECT_LT(secondsOf([&] { runUpdateCommand(false, false, setup); }), kWithinLimits);
        EXPECT_EQ(boxes, std::vector<std::wstring>{kVersionFileError});
    }
    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 12);

    // Quiet when automatic, and still nothing installed.
    setup.server = base + "/missing";
    boxes.clear();
    runUpdateCommand(true, false, setup);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(g_balloons.empty());

    // The check as a whole is bounded too, however the server keeps it alive.
    setup.server = base + "/trickle";
    setup.versionFileLimits.lowSpeedBytesPerSecond = 1;  // one byte a second is fast enough now
    setup.versionFileLimits.totalSeconds = 3;
    boxes.clear();
    EXPECT_LT(secondsOf([&] { runUpdateCommand(false, false, setup); }), kWithinLimits);
    EXPECT_EQ(boxes, std::vector<std::wstring>{kVersionFileError});
}

TEST_F(UpdaterTest, HostileDownloadsInstallNothing) {
    setup.downloadLimits.maxBytes = 1024 * 1024;  // /endless ends at a MiB here
    const std::string base = setup.server;
    const struct {
        std::string path;
        std::wstring reason;  // the start of the reason shown
    } cases[] = {
        {"/silent", L"Operation too slow"},
        {"/trickle", L"Operation too slow"},
        {"/loop", L"Maximum (10) redirects followed"},
        {"/endless", L"the answer is larger than 1048576 bytes"},
        {"/huge?n=70000000", L"the answer is larger than 1048576 bytes"},
        {"/Cartscope/missing.dat", L"HTTP status 404"},
    };
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.path);
        writeText(www / "version.txt", "database:13\r\ndatabase_url:" + base + hostile.path + "\r\n");
        boxes.clear();
        EXPECT_LT(secondsOf([&] { runUpdateCommand(false, false, setup); }), kWithinLimits);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].rfind(L"\nDatabase:\tUpdate failed! (" + hostile.reason, 0), 0u)
            << std::string(boxes[1].begin(), boxes[1].end());
        EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 12);
        EXPECT_FALSE(fs::exists(data / "nds-rom.dat.new")) << "no partial download left behind";
    }

    // The default limit of 64 MiB, from the length the server announces.
    setup.downloadLimits = defaultDownloadLimits();
    writeText(www / "version.txt", "database:13\r\ndatabase_url:" + base + "/huge?n=67108865\r\n");
    boxes.clear();
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1), L"\nDatabase:\tUpdate failed! (the answer is larger than 67108864 bytes)");
}

TEST_F(UpdaterTest, OnlyWhatWasOfferedIsInstalled) {
    // A 32-bit library, a 64-bit program, a library of another version than
    // offered, a database of another version than offered.
    replaceFile(besideThisProgram(L"v1005.dll"), www / "Cartscope.dll");
    replaceFile(besideThisProgram(L"v1005_x64.dll"), www / "Cartscope CMD.exe");
    writeText(www / "version.txt", kAllNewer);
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1),
              L"\nDatabase:\tUpdate ok (v13)\nCartscope CMD.exe:\tUpdate failed! (not a 32-bit (x86) file)"
              L"\nCartscope.dll:\tUpdate failed! (not a 64-bit (x64) file)");

    replaceFile(besideThisProgram(L"v1005_x64.dll"), www / "Cartscope.dll");
    writeBytes(www / "nds-rom.dat", database(15));
    writeText(www / "version.txt", "database:14\r\ndll:1.0.0.6\r\n");
    boxes.clear();
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1),
              L"\nDatabase:\tUpdate failed! (its version is v15, not v14)"
              L"\nCartscope.dll:\tUpdate failed! (its version is v1.0.0.5, not v1.0.0.6)");

    // A file that looks like a database at first but is cut short.
    std::vector<std::uint8_t> cut = database(14);
    cut.resize(cut.size() - 3);
    writeBytes(www / "nds-rom.dat", cut);
    boxes.clear();
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1).rfind(L"\nDatabase:\tUpdate failed! (not a release database", 0), 0u);

    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 13);
    EXPECT_EQ(fileVersion(install / "Cartscope CMD.exe"), L"1.0.0.4");
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.4");
    EXPECT_EQ(peMachineBits(install / "Cartscope.dll"), 64);
}

TEST_F(UpdaterTest, OverHttpsEndToEndWithHostNamesChecked) {
    setup.server = environment("CARTSCOPE_TEST_HTTPS");
    setup.trustedAuthorities = readText(environment("CARTSCOPE_TEST_CA"));
    ASSERT_FALSE(setup.trustedAuthorities.empty());
    writeText(www / "version.txt", kAllNewer);
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1),
              L"\nDatabase:\tUpdate ok (v13)\nCartscope CMD.exe:\tUpdate ok (v1.0.0.5)\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.5");

    // A certificate of the same authority, but for another host name.
    setup.server = environment("CARTSCOPE_TEST_HTTPS_OTHER_NAME");
    boxes.clear();
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes, std::vector<std::wstring>{kVersionFileError});
}

TEST_F(UpdaterTest, AnHttpsServerNeverLeadsToPlainHttp) {
    const std::string http = setup.server;
    setup.server = environment("CARTSCOPE_TEST_HTTPS");
    setup.trustedAuthorities = readText(environment("CARTSCOPE_TEST_CA"));
    // A plain link in the version file, and a redirect to plain HTTP.
    writeText(www / "version.txt", "database:13\r\ndatabase_url:" + http + "/Cartscope/nds-rom.dat\r\ndll:1.0.0.5\r\ndll_url:" +
                                       setup.server + "/goto?to=" + http + "/Cartscope/Cartscope.dll\r\n");
    runUpdateCommand(false, false, setup);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind(L"\nDatabase:\tUpdate failed! (refused to fetch " + std::wstring(http.begin(), http.end()), 0), 0u);
    EXPECT_NE(boxes[1].find(L"\nCartscope.dll:\tUpdate failed! ("), std::wstring::npos);
    for (const std::string& request : requests()) {
        EXPECT_NE(request, "/Cartscope/nds-rom.dat") << "nothing is fetched over plain HTTP";
        EXPECT_EQ(request.rfind("/Cartscope/Cartscope.dll", 0), std::string::npos) << "the redirect is not followed";
    }
    EXPECT_EQ(cartscope::databaseVersion((data / "nds-rom.dat").u16string(), true), 12);
    EXPECT_EQ(fileVersion(install / "Cartscope.dll"), L"1.0.0.4");
}

TEST_F(UpdaterTest, AFileThatExistsButCannotBeReadIsNeverReplacedByAFirstInstallation) {
    writeText(www / "version.txt", "dll:1.0.0.5\r\n");
    const std::string before = readText(install / "Cartscope.dll");
    {
        // Held without sharing: the updater cannot read it and takes it for missing.
        const cartscope::win::Handle held(
            CreateFileW((install / "Cartscope.dll").wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
        runUpdateCommand(false, false, setup);
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind(L"\nCartscope.dll:\tCan't create \"", 0), 0u);
    EXPECT_EQ(readText(install / "Cartscope.dll"), before) << "not truncated, not replaced";
}

TEST(UpdateServer, TheElevatedRunIgnoresTheEnvironment) {
    const std::string built = updateServer(true);
    EXPECT_EQ(built.rfind("https://", 0), 0u) << built;
    SetEnvironmentVariableA("CARTSCOPE_UPDATE_SERVER", "http://localhost:9/elsewhere");
    _putenv("CARTSCOPE_UPDATE_SERVER=http://localhost:9/elsewhere");
    EXPECT_EQ(updateServer(true), built) << "an administrator's process is not steered by a user's environment";
    EXPECT_EQ(updateServer(false), "http://localhost:9/elsewhere") << "the test hook of this build";
    _putenv("CARTSCOPE_UPDATE_SERVER=");
    SetEnvironmentVariableA("CARTSCOPE_UPDATE_SERVER", nullptr);
    EXPECT_EQ(updateServer(false), built);
}

// Signed version files: with an update key, the version file counts only
// with its valid signature, and each download only with the SHA-256 it gives.

namespace {

class SignedUpdaterTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        if (IsSkipped()) return;
        setup.publicKey = readText(environment("CARTSCOPE_TEST_UPDATE_KEY"));
        ASSERT_FALSE(setup.publicKey.empty());
        before = installed();
    }

    // Asks the test server's control paths (which its log leaves out).
    std::string control(const std::string& what) {
        CcURLClient client;
        std::string answer;
        EXPECT_TRUE(client.fetchToString(answer, setup.server + "/control/" + what)) << what << ": " << client.lastError();
        return answer;
    }
    std::string sha256(const std::string& file) { return control("sha256?file=" + file); }
    // The version file and its signature by `key` ("update" or "foreign").
    void publish(const std::string& text, const std::string& key = "update") {
        writeText(www / "version.txt", text);
        EXPECT_EQ(control("sign?key=" + key + "&file=version.txt"), "signed");
    }
    // kAllNewer with the SHA-256 of each offered file.
    std::string allNewerWithHashes() {
        return kAllNewer + "database_sha256:" + sha256("nds-rom.dat") + "\r\ncmd_exe_sha256:" + sha256("Cartscope%20CMD.exe") +
               "\r\ndll_sha256:" + sha256("Cartscope.dll") + "\r\n";
    }

    // Every file of the install and data folders with its bytes: what a
    // failed update must leave exactly as it was, leaving nothing beside it.
    std::map<std::string, std::string> installed() const {
        std::map<std::string, std::string> files;
        for (const fs::path& folder : {install, data})
            for (const auto& entry : fs::directory_iterator(folder))
                files[entry.path().filename().string()] = readText(entry.path());
        return files;
    }

    void clearRequests() { fs::remove(www / "requests.log"); }

    std::map<std::string, std::string> before;
};

std::string flipped(std::string bytes, std::size_t at) {
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x01);
    return bytes;
}

// Another hexadecimal digit at `at` (flipping a bit of 'a' or 'f' would give
// a character that is no digit).
std::string otherDigit(std::string hex, std::size_t at) {
    hex.at(at) = hex.at(at) == '0' ? '1' : '0';
    return hex;
}

}  // namespace

TEST_F(SignedUpdaterTest, ASignedVersionFileAndMatchingDownloadsInstall) {
    // The signature covers the bytes as sent, entities not decoded.
    std::string text = allNewerWithHashes() + "note:this &amp; that\r\n";
    // Upper-case digits are read as well.
    const std::size_t hash = text.find("database_sha256:") + 16;
    for (std::size_t i = hash; i < hash + 64; ++i) text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    publish(text);
    runUpdateCommand(false, false, setup);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1],
              L"\nDatabase:\tUpdate ok (v13)\nCartscope CMD.exe:\tUpdate ok (v1.0.0.5)\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_EQ(readText(install / "Cartscope CMD.exe"), readText(www / "Cartscope CMD.exe"));
    EXPECT_EQ(readText(install / "Cartscope.dll"), readText(www / "Cartscope.dll"));
    EXPECT_EQ(readText(data / "nds-rom.dat"), readText(www / "nds-rom.dat"));
    EXPECT_EQ(requests(),
              (std::vector<std::string>{"/Cartscope/version.txt", "/Cartscope/version.txt.sig", "/Cartscope/nds-rom.dat",
                                        "/Cartscope/Cartscope%20CMD.exe", "/Cartscope/Cartscope.dll?cpu=x64"}));

    // An automatic run for testing asks for the signature for testing too.
    writeBytes(www / "nds-rom.dat", database(14));
    publish("database:14\r\ndatabase_sha256:" + sha256("nds-rom.dat") + "\r\n");
    clearRequests();
    testing = true;
    runUpdateCommand(true, false, setup);
    EXPECT_EQ(g_balloons.at(1), L"\nDatabase:\tUpdate ok (v14)");
    EXPECT_EQ(requests(), (std::vector<std::string>{"/Cartscope/version.txt?forTesting=yes",
                                                    "/Cartscope/version.txt.sig?forTesting=yes", "/Cartscope/nds-rom.dat"}));
}

TEST_F(SignedUpdaterTest, AVersionFileThatDoesNotVerifyInstallsNothing) {
    const std::string text = allNewerWithHashes();
    const fs::path signature = www / "version.txt.sig";
    const struct {
        const char* what;
        std::function<void()> spoil;  // after the version file is published
        std::wstring reason;
    } cases[] = {
        {"no signature", [&] { fs::remove(signature); }, L"the signature could not be fetched: HTTP status 404"},
        {"a bit of r flipped", [&] { writeText(signature, flipped(readText(signature), 10)); }, L"the signature does not match"},
        {"a bit of s flipped", [&] { writeText(signature, flipped(readText(signature), readText(signature).size() - 1)); },
         L"the signature does not match"},
        {"its tag flipped", [&] { writeText(signature, flipped(readText(signature), 0)); },
         L"the signature is damaged: unexpected tag"},
        {"cut short", [&] { writeText(signature, readText(signature).substr(0, readText(signature).size() - 1)); },
         L"the signature is damaged: cut short"},
        {"a byte after it", [&] { writeText(signature, readText(signature) + '\0'); },
         L"the signature is damaged: bytes after the signature"},
        {"garbage", [&] { writeText(signature, "not a signature"); }, L"the signature is damaged: unexpected tag"},
        {"empty", [&] { writeText(signature, ""); }, L"the signature is damaged: cut short"},
        {"over 1 KiB", [&] { writeText(signature, readText(signature) + std::string(1024, '\0')); },
         L"the signature could not be fetched: the answer is larger than 1024 bytes"},
        {"signed by another key", [&] { publish(text, "foreign"); }, L"the signature does not match"},
        {"changed after signing", [&] { writeText(www / "version.txt", text + "dll_url:" + setup.server + "/elsewhere\r\n"); },
         L"the signature does not match"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        publish(text);
        test.spoil();
        clearRequests();
        boxes.clear();
        runUpdateCommand(false, false, setup);
        EXPECT_EQ(boxes,
                  std::vector<std::wstring>{L"Database Update ERROR\n\nCan't verify Version-Info! (" + test.reason + L")"});
        EXPECT_EQ(installed(), before);
        EXPECT_EQ(requests(), (std::vector<std::string>{"/Cartscope/version.txt", "/Cartscope/version.txt.sig"}))
            << "nothing downloaded";
    }

    // An automatic run tells the tray.
    publish(text, "foreign");
    boxes.clear();
    runUpdateCommand(true, false, setup);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(g_balloons,
              std::vector<std::wstring>{L"Database Update ERROR\n\nCan't verify Version-Info! (the signature does not match)"});
    EXPECT_EQ(slept, std::vector<unsigned>{21u});
    EXPECT_EQ(installed(), before);
}

TEST_F(SignedUpdaterTest, EachDownloadMustHaveTheSignedSha256) {
    const std::string database = sha256("nds-rom.dat"), program = sha256("Cartscope%20CMD.exe"),
                      library = sha256("Cartscope.dll");
    const struct {
        const char* what;
        std::string hashes;   // the lines after kAllNewer
        bool libraryMissing;  // a first installation of the library
        std::wstring results;
        bool downloaded;
    } cases[] = {
        {"no hashes", "", false,
         L"\nDatabase:\tUpdate failed! (the version file gives no database_sha256)"
         L"\nCartscope CMD.exe:\tUpdate failed! (the version file gives no cmd_exe_sha256)"
         L"\nCartscope.dll:\tUpdate failed! (the version file gives no dll_sha256)",
         false},
        {"hashes that are not 64 digits",
         "database_sha256:" + database.substr(1) + "\r\ncmd_exe_sha256:" + program.substr(1) + "g\r\ndll_sha256:" + library +
             " \r\n",
         false,
         L"\nDatabase:\tUpdate failed! (database_sha256 is not 64 hexadecimal digits)"
         L"\nCartscope CMD.exe:\tUpdate failed! (cmd_exe_sha256 is not 64 hexadecimal digits)"
         L"\nCartscope.dll:\tUpdate failed! (dll_sha256 is not 64 hexadecimal digits)",
         false},
        {"each the hash of another file",
         "database_sha256:" + program + "\r\ncmd_exe_sha256:" + library + "\r\ndll_sha256:" + database + "\r\n", false,
         L"\nDatabase:\tUpdate failed! (its SHA-256 is not the signed one)"
         L"\nCartscope CMD.exe:\tUpdate failed! (its SHA-256 is not the signed one)"
         L"\nCartscope.dll:\tUpdate failed! (its SHA-256 is not the signed one)",
         true},
        {"a first installation with a wrong hash", "dll_sha256:" + otherDigit(library, 63) + "\r\n", true,
         L"\nDatabase:\tUpdate failed! (the version file gives no database_sha256)"
         L"\nCartscope CMD.exe:\tUpdate failed! (the version file gives no cmd_exe_sha256)"
         L"\nCartscope.dll:\tUpdate failed! (its SHA-256 is not the signed one)",
         true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        if (test.libraryMissing) fs::remove(install / "Cartscope.dll");
        const auto unchanged = installed();
        publish(kAllNewer + test.hashes);
        clearRequests();
        boxes.clear();
        runUpdateCommand(false, false, setup);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1], test.results);
        EXPECT_EQ(installed(), unchanged) << "the targets as they were, and nothing beside them";
        EXPECT_EQ(requests().size(), test.downloaded ? (test.libraryMissing ? 3u : 5u) : 2u);
    }
}

TEST_F(UpdaterTest, WithoutAKeyNeitherSignaturesNorHashesCount) {
    writeText(www / "version.txt", kAllNewer + "database_sha256:" + std::string(64, '0') + "\r\ncmd_exe_sha256:x\r\n");
    writeText(www / "version.txt.sig", "not a signature");
    runUpdateCommand(false, false, setup);
    EXPECT_EQ(boxes.at(1),
              L"\nDatabase:\tUpdate ok (v13)\nCartscope CMD.exe:\tUpdate ok (v1.0.0.5)\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_EQ(requests().at(1), "/Cartscope/nds-rom.dat") << "no signature asked for";
}
