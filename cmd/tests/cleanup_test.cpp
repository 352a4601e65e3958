// After an update: the restart mutex between two instances, the removal of
// the old copies with the restart question, and ending processes by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "cmd/cleanup.h"
#include "core/tests/support/temp_dir.h"
#include "win/handle.h"
#include "win/module_path.h"
#include "win/path.h"
#include "win/process.h"

using namespace cartscope::cmd;

namespace {

using cartscope::win::Handle;

std::wstring besideThisProgram(const std::wstring& name) { return cartscope::win::besideModule(nullptr, name); }

// A clean-up environment in a folder of its own that records what it is asked.
struct FakeEnvironment {
    explicit FakeEnvironment(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder / "data");
        environment.dataFolder = (folder / "data").wstring() + L"\\";
        environment.programPath = (folder / "Cartscope CMD.exe").wstring();
        environment.askRestart = [this] {
            ++questions;
            return answer;
        };
        environment.closeExplorer = [this] {
            ++explorerClosed;
            if (onCloseExplorer) onCloseExplorer();
        };
        environment.startProcess = [this](const std::wstring& path) {
            started.push_back(path);
            return true;
        };
        environment.deleteAtReboot = [this](const std::wstring& path) { atReboot.push_back(path); };
    }

    std::wstring data() const { return *environment.dataFolder + L"nds-rom.dat.old"; }
    std::wstring program() const { return environment.programPath + L".old"; }
    std::wstring library() const { return cartscope::win::besidePath(environment.programPath, L"Cartscope.dll.old"); }

    CleanupEnvironment environment;
    bool answer = false;
    int questions = 0;
    int explorerClosed = 0;
    std::function<void()> onCloseExplorer;
    std::vector<std::wstring> started;
    std::vector<std::wstring> atReboot;
};

void create(const std::wstring& path) { std::ofstream(std::filesystem::path(path)) << "old"; }
bool exists(const std::wstring& path) { return std::filesystem::exists(std::filesystem::path(path)); }

// Holds a file open the way a loaded library is held: it cannot be deleted.
Handle hold(const std::wstring& path) {
    return Handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::wstring windowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

// Starts quit_target.exe (copied under `name` into `folder`) with `mode`.
Handle startTarget(const std::filesystem::path& folder, const std::wstring& name, const std::wstring& mode) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / name;
    if (!std::filesystem::exists(copy)) std::filesystem::copy_file(besideThisProgram(L"quit_target.exe"), copy);
    cartscope::win::StartedProcess started = cartscope::win::startProcess(nullptr, L"\"" + copy.wstring() + L"\" " + mode);
    if (!started) return Handle();
    WaitForInputIdle(started.process.get(), 5000);
    return std::move(started.process);
}

bool running(const Handle& process) { return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; }

}  // namespace

TEST(CleanupCommandLine, QuotedWhenThePathHoldsBlanks) {
    EXPECT_EQ(cleanupCommandLine(L"C:\\Program Files\\Cartscope\\Cartscope CMD.exe"),
              L"\"C:\\Program Files\\Cartscope\\Cartscope CMD.exe\" /command:cleanup");
    EXPECT_EQ(cleanupCommandLine(L"C:\\Tools\\cmd.exe"), L"C:\\Tools\\cmd.exe /command:cleanup");
}

TEST(CleanupAfterUpdate, RemovesTheOldCopiesWithoutAsking) {
    cartscope::testing::TempDir dir;
    FakeEnvironment fake(dir.path());
    cleanupAfterUpdate(fake.environment);  // nothing there: nothing happens
    EXPECT_EQ(fake.questions, 0);
    EXPECT_TRUE(fake.atReboot.empty());

    for (const auto& path : {fake.data(), fake.program(), fake.library()}) create(path);
    cleanupAfterUpdate(fake.environment);
    for (const auto& path : {fake.data(), fake.program(), fake.library()}) EXPECT_FALSE(exists(path));
    EXPECT_EQ(fake.questions, 0) << "a library copy not in use needs no restart";
    EXPECT_TRUE(fake.atReboot.empty());

    fake.environment.dataFolder.reset();  // no data folder: the database copy is skipped
    create(fake.program());
    cleanupAfterUpdate(fake.environment);
    EXPECT_FALSE(exists(fake.program()));
}

TEST(CleanupAfterUpdate, CopiesInUseWaitForTheNextStartOfWindows) {
    cartscope::testing::TempDir dir;
    FakeEnvironment fake(dir.path());
    create(fake.program());
    const Handle held = hold(fake.program());
    cleanupAfterUpdate(fake.environment);
    EXPECT_TRUE(exists(fake.program()));
    EXPECT_EQ(fake.atReboot, std::vector<std::wstring>{fake.program()});
    EXPECT_EQ(fake.questions, 0) << "only the library asks for a restart";
}

TEST(CleanupAfterUpdate, ALibraryInUseAsksToRestartTheExplorer) {
    cartscope::testing::TempDir dir;
    {
        // No: deletion at the next start, requested once more.
        FakeEnvironment fake(dir.path() / "no");
        create(fake.library());
        const Handle held = hold(fake.library());
        cleanupAfterUpdate(fake.environment);
        EXPECT_EQ(fake.questions, 1);
        EXPECT_EQ(fake.explorerClosed, 0);
        EXPECT_TRUE(fake.started.empty());
        EXPECT_EQ(fake.atReboot, (std::vector<std::wstring>{fake.library(), fake.library()}));
    }
    {
        // Yes: the Explorer ends (and lets go of the library), starts again,
        // and the copy is deleted.
        FakeEnvironment fake(dir.path() / "yes");
        fake.answer = true;
        create(fake.library());
        Handle held = hold(fake.library());
        fake.onCloseExplorer = [&held] { held.reset(); };
        cleanupAfterUpdate(fake.environment);
        EXPECT_EQ(fake.explorerClosed, 1);
        EXPECT_EQ(fake.started, std::vector<std::wstring>{windowsFolder() + L"\\explorer.exe"});
        EXPECT_FALSE(exists(fake.library()));
        EXPECT_EQ(fake.atReboot, std::vector<std::wstring>{fake.library()});
    }
    {
        // Yes, but the copy stays in use: requested for the next start again.
        FakeEnvironment fake(dir.path() / "still");
        fake.answer = true;
        create(fake.library());
        const Handle held = hold(fake.library());
        cleanupAfterUpdate(fake.environment);
        EXPECT_EQ(fake.atReboot, (std::vector<std::wstring>{fake.library(), fake.library()}));
    }
}

TEST(RestartMutex, CleanupInstanceStartsWhileThisInstanceOwnsTheMutex) {
    cartscope::testing::TempDir dir;
    const std::wstring record = (dir.path() / "record.txt").wstring();
    SetEnvironmentVariableW(L"CARTSCOPE_RECORD", record.c_str());
    const std::wstring target = (dir.path() / "quit target.exe").wstring();
    std::filesystem::copy_file(besideThisProgram(L"quit_target.exe"), target);

    // The updating instance: a thread that starts the clean-up and then ends,
    // which abandons the mutex as the end of the process would.
    std::atomic<bool> started{false};
    std::atomic<bool> updaterDone{false};
    std::thread updater([&] {
        started = startCleanupInstance(target);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        updaterDone = true;
        closeRestartMutex();  // the handle goes; the ownership stays until the thread ends
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    waitForRestartMutex();  // the clean-up instance's first step
    EXPECT_TRUE(updaterDone) << "the wait ended only after the owner had gone";
    updater.join();
    EXPECT_TRUE(started);

    for (int i = 0; i < 500 && !std::filesystem::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream file(std::filesystem::path(record), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_EQ(line, L"\"" + target + L"\" /command:cleanup");
}

TEST(RestartMutex, ASecondUpdaterWaitsAndStartsNothing) {
    std::atomic<bool> firstDone{false};
    std::thread first([&] {
        const Handle mutex(CreateMutexW(nullptr, TRUE, L"Cartscope-RESTART_MUTEX"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        firstDone = true;
        ReleaseMutex(mutex.get());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(startCleanupInstance(besideThisProgram(L"no_such_program.exe")));
    EXPECT_TRUE(firstDone);
    first.join();
}

TEST(EndingProcesses, NamesMatchExactlyAndEveryProcessEnds) {
    cartscope::testing::TempDir dir;
    const std::wstring name = L"cleanup-target-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    std::wstring upper = name;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    upper.replace(upper.size() - 4, 4, L".exe");

    const Handle polite = startTarget(dir.path() / "a", name, L"window");
    const Handle queue = startTarget(dir.path() / "b", name, L"thread");
    const Handle stubborn = startTarget(dir.path() / "c", name, L"stubborn");
    const Handle other = startTarget(dir.path() / "d", upper, L"window");
    ASSERT_TRUE(polite && queue && stubborn && other);

    const std::vector<DWORD> found = findProcessesNamed(name);
    EXPECT_EQ(found.size(), 3u);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
    EXPECT_EQ(findProcessesNamed(upper), std::vector<DWORD>{GetProcessId(other.get())}) << "case-sensitive";

    const auto start = std::chrono::steady_clock::now();
    closeProcessesNamed(name);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(running(polite));
    EXPECT_FALSE(running(queue));
    EXPECT_FALSE(running(stubborn)) << "terminated at last";
    EXPECT_TRUE(running(other)) << "another name";
    EXPECT_GE(seconds, 10) << "the stubborn one had its passes first";
    TerminateProcess(other.get(), 0);

    EXPECT_TRUE(waitForProcessEnd(GetProcessId(polite.get()), 0));
    EXPECT_TRUE(waitForProcessEnd(0xFFFFFFF0u, 1000)) << "a process that cannot be opened";
    EXPECT_FALSE(waitForProcessEnd(GetCurrentProcessId(), 200));
}
