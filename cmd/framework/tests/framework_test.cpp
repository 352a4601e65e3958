// The dialog framework under test for real: every dialog is shown modally on
// the test's main thread and driven from a second thread the way a user
// would drive it (find the window, read texts, press buttons). Handlers run
// on the main thread, so what they record is checked after doModal returns.
//
// Waits in the driver only have deadlines as safety nets: a dialog that never
// shows or never closes fails the test instead of hanging it, and a watchdog
// ends any dialog that is still open when its driver is done.

#include "cmd/framework/framework.h"
#include "cmd/framework/tests/framework_test_resource.h"
#include "win/handle.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui = cartscope::ui;

namespace {

constexpr wchar_t kDialogCaption[] = L"Framework Test Dialog";
constexpr auto kDeadline = std::chrono::seconds(20);

class CommonControls : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
    }
};
::testing::Environment* const g_commonControls = ::testing::AddGlobalTestEnvironment(new CommonControls);

// Polls until the condition holds; false when the deadline passes first.
bool waitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

// Reads a window's text with WM_GETTEXT, as another program would.
std::wstring windowText(HWND hwnd) {
    const auto length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

bool isOwnWindow(HWND hwnd) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    return process == GetCurrentProcessId();
}

HWND findTestDialog() {
    HWND hwnd = FindWindowW(L"#32770", kDialogCaption);
    return hwnd != nullptr && isOwnWindow(hwnd) && IsWindowVisible(hwnd) ? hwnd : nullptr;
}

struct BoxSearch {
    HWND found = nullptr;
};

BOOL CALLBACK findMessageBoxProc(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    if (isOwnWindow(hwnd) && IsWindowVisible(hwnd) && className(hwnd) == L"#32770" &&
        windowText(hwnd) == ui::kMessageBoxCaption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The framework's message box of this process, or null.
HWND findMessageBox() {
    BoxSearch search;
    EnumWindows(findMessageBoxProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK endOwnDialogsProc(HWND hwnd, LPARAM) {
    if (isOwnWindow(hwnd) && className(hwnd) == L"#32770") {
        EndDialog(hwnd, -2);
        PostMessageW(hwnd, WM_NULL, 0, 0);
    }
    return TRUE;
}

// Presses a dialog button as a user would. Wine would click a disabled
// button too, so that is refused here.
void click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    ASSERT_TRUE(IsWindowEnabled(button)) << "button " << id << " is disabled";
    // Posted, never sent: the click may open a message box, which would block
    // a sent message until the box closes.
    PostMessageW(button, BM_CLICK, 0, 0);
}

// Runs 'modal' on this thread while 'steps' drive it from another.
INT_PTR runDriven(const std::function<INT_PTR()>& modal, const std::function<void()>& steps) {
    std::atomic<bool> ended{false};
    std::thread driver([&] {
        steps();
        if (!waitFor([&] { return ended.load(); })) {
            ADD_FAILURE() << "the dialog did not close; the watchdog ends it";
            EnumWindows(endOwnDialogsProc, 0);
        }
    });
    const INT_PTR result = modal();
    ended = true;
    driver.join();
    return result;
}

// The test dialog: records its handlers' calls and lets each test add to them.
class TestDialog : public ui::Dialog {
public:
    TestDialog() : Dialog(IDD_FRAMEWORK_TEST) {}

    ui::ProgressBar progress;
    ui::Static title;
    ui::Static counter;
    ui::Edit log;
    ui::Button action;

    std::vector<std::wstring> events;
    std::function<void()> initHook;
    // Returns true when it handled the command itself.
    std::function<bool(UINT)> commandHook;
    std::function<void(UINT_PTR)> timerHook;

protected:
    bool onInitDialog() override {
        events.push_back(L"init");
        EXPECT_TRUE(progress.bindItem(handle(), IDC_PROGRESS));
        EXPECT_TRUE(title.bindItem(handle(), IDC_TITLE));
        EXPECT_TRUE(counter.bindItem(handle(), IDC_COUNTER));
        EXPECT_TRUE(log.bindItem(handle(), IDC_LOG));
        EXPECT_TRUE(action.bindItem(handle(), IDC_ACTION));
        if (initHook) {
            initHook();
        }
        return Dialog::onInitDialog();
    }

    bool onCommand(UINT id, UINT code, HWND control) override {
        // Notifications of the edit control (focus, changes) are left out.
        if (code == BN_CLICKED) {
            events.push_back(L"command " + std::to_wstring(id));
        }
        if (commandHook && commandHook(id)) {
            return true;
        }
        return Dialog::onCommand(id, code, control);
    }

    void onClose() override {
        events.push_back(L"close");
        Dialog::onClose();
    }

    void onTimer(UINT_PTR id) override {
        if (timerHook) {
            timerHook(id);
        }
    }
};

using Events = std::vector<std::wstring>;

}  // namespace

TEST(Dialog, ShowsModallyRunsItsInitHandlerAndEndsWithTheButtonsId) {
    TestDialog dialog;
    dialog.initHook = [&] { dialog.title.setText(L"initialised"); };
    std::atomic<HWND> seen{nullptr};

    const INT_PTR result = runDriven([&] { return dialog.doModal(); },
                                     [&] {
                                         HWND hwnd = nullptr;
                                         ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }))
                                             << "no dialog shown";
                                         seen = hwnd;
                                         EXPECT_EQ(windowText(GetDlgItem(hwnd, IDC_TITLE)), L"initialised");
                                         click(hwnd, IDOK);
                                     });

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.events, (Events{L"init", L"command 1"}));
    EXPECT_NE(seen.load(), nullptr);
    EXPECT_FALSE(IsWindow(seen.load()));
    EXPECT_EQ(dialog.handle(), nullptr);
}

TEST(Manifest, AsksForCommonControlsSixAndNoElevation) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(data, nullptr);
    const std::string manifest(data, SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);

    // The program's activation context sends comctl32.dll to the version 6
    // assembly. (Wine's version 6 DLL reports 5.81 from DllGetVersion, so the
    // redirection is what is checked.)
    ACTCTX_SECTION_KEYED_DATA redirection{};
    redirection.cbSize = sizeof(redirection);
    EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &redirection));
}

TEST(Dialog, DoModalFailsForAMissingTemplate) {
    ui::Dialog dialog(4711);
    EXPECT_EQ(dialog.doModal(), -1);
}

TEST(Controls, WrappersSetWhatTheControlsReportBack) {
    TestDialog dialog;
    int previousPosition = -1;
    std::wstring readBack;
    DWORD start = 0;
    DWORD end = 0;
    dialog.initHook = [&] {
        dialog.title.setText(L"Trim");
        dialog.counter.setText(L"3 from 12");
        dialog.progress.setRange32(5, 4200);
        dialog.progress.setPos(17);
        previousPosition = dialog.progress.setPos(1234);
        dialog.log.setText(L"first\r\n");
        dialog.log.appendText(L"second\r\n");
        dialog.log.sendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        dialog.action.setText(L"Close");
        dialog.action.enable(false);
        readBack = dialog.log.text();
    };

    runDriven([&] { return dialog.doModal(); },
              [&] {
                  HWND hwnd = nullptr;
                  ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                  EXPECT_EQ(windowText(GetDlgItem(hwnd, IDC_TITLE)), L"Trim");
                  EXPECT_EQ(windowText(GetDlgItem(hwnd, IDC_COUNTER)), L"3 from 12");

                  HWND progress = GetDlgItem(hwnd, IDC_PROGRESS);
                  EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 1234);
                  PBRANGE range{};
                  SendMessageW(progress, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
                  EXPECT_EQ(range.iLow, 5);
                  EXPECT_EQ(range.iHigh, 4200);

                  HWND log = GetDlgItem(hwnd, IDC_LOG);
                  EXPECT_EQ(windowText(log), L"first\r\nsecond\r\n");

                  HWND action = GetDlgItem(hwnd, IDC_ACTION);
                  EXPECT_EQ(windowText(action), L"Close");
                  EXPECT_FALSE(IsWindowEnabled(action));
                  click(hwnd, IDCANCEL);
              });

    EXPECT_EQ(previousPosition, 17);
    // appendText leaves the caret, with nothing selected, behind the last
    // character. (Read at once: the dialog manager selects all of an edit
    // control's text when it gives it the focus.)
    EXPECT_EQ(start, 15u);
    EXPECT_EQ(end, 15u);
    EXPECT_EQ(readBack, L"first\r\nsecond\r\n");
}

TEST(Controls, EditSelectionAndEnablingWorkInTheDialogsThread) {
    TestDialog dialog;
    std::wstring afterEnable;
    DWORD start = 0;
    DWORD end = 0;
    bool disabled = true;
    bool enabled = false;
    dialog.initHook = [&] {
        dialog.log.setText(L"0123456789");
        dialog.log.setSel(2, 5);
        dialog.log.sendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        dialog.action.enable(false);
        disabled = dialog.action.isEnabled();
        dialog.action.enable();
        enabled = dialog.action.isEnabled();
    };
    runDriven([&] { return dialog.doModal(); },
              [&] {
                  HWND hwnd = nullptr;
                  ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                  click(hwnd, IDCANCEL);
              });
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 5u);
    EXPECT_FALSE(disabled);
    EXPECT_TRUE(enabled);
}

TEST(Closing, CancelEscapeAndTheCloseBoxAllEndAsCancel) {
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        Events events;
    };
    const std::vector<Case> cases = {
        {"Cancel button", [](HWND hwnd) { click(hwnd, IDCANCEL); }, {L"init", L"command 2"}},
        // Escape reaches the dialog manager through the modal loop, which turns
        // it into IDCANCEL. Sent to a button: a multi-line edit wants the key.
        {"Escape key",
         [](HWND hwnd) {
             HWND ok = GetDlgItem(hwnd, IDOK);
             PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
             PostMessageW(ok, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001));
         },
         {L"init", L"command 2"}},
        {"close box", [](HWND hwnd) { PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }, {L"init", L"close", L"command 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dialog;
        const INT_PTR result = runDriven([&] { return dialog.doModal(); },
                                         [&] {
                                             HWND hwnd = nullptr;
                                             ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                                             c.act(hwnd);
                                         });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(dialog.events, c.events);
    }
}

TEST(Closing, AnOverriddenCancelKeepsTheDialogOpen) {
    TestDialog dialog;
    std::atomic<int> refused{0};
    dialog.commandHook = [&](UINT id) {
        // Like a dialog whose work still runs: the first Cancel only asks to stop.
        if (id == IDCANCEL && refused == 0) {
            ++refused;
            return true;
        }
        return false;
    };
    const INT_PTR result = runDriven([&] { return dialog.doModal(); },
                                     [&] {
                                         HWND hwnd = nullptr;
                                         ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                                         click(hwnd, IDCANCEL);
                                         ASSERT_TRUE(waitFor([&] { return refused.load() == 1; }));
                                         EXPECT_TRUE(IsWindowVisible(hwnd));
                                         PostMessageW(hwnd, WM_CLOSE, 0, 0);
                                     });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.events, (Events{L"init", L"command 2", L"close", L"command 2"}));
}

namespace {

// A dialog that runs a worker thread and reaps it from a 10 ms timer, ending
// with the worker's exit code.
class WorkerDialog : public TestDialog {
public:
    static constexpr UINT_PTR kTimer = 101;
    static constexpr int kSteps = 3;

    WorkerDialog() : m_release(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        initHook = [this] {
            m_worker = std::make_unique<ui::WorkerThread>(&WorkerDialog::work, this);
            EXPECT_TRUE(m_worker->resume());
            EXPECT_TRUE(setTimer(kTimer, 10));
        };
        timerHook = [this](UINT_PTR id) { tick(id); };
    }

    void release() { SetEvent(m_release.get()); }

    std::atomic<bool> sawStillActive{false};
    std::atomic<DWORD> workerThreadId{0};
    bool reaped = false;
    int ticksAfterReaping = 0;

private:
    static unsigned __stdcall work(void* argument) {
        auto* self = static_cast<WorkerDialog*>(argument);
        self->workerThreadId = GetCurrentThreadId();
        self->progress.setRange32(0, kSteps);
        for (int i = 1; i <= kSteps; ++i) {
            self->counter.setText(std::to_wstring(i) + L" from " + std::to_wstring(kSteps));
            self->progress.setPos(i);
            self->log.appendText(L"step " + std::to_wstring(i) + L"\r\n");
        }
        // Held until the driver has seen the updates, so the timer must see the
        // thread running. The time-out is only a safety net.
        WaitForSingleObject(self->m_release.get(), 30000);
        return 7;
    }

    void tick(UINT_PTR id) {
        EXPECT_EQ(id, kTimer);
        if (!m_worker) {
            ++ticksAfterReaping;
            return;
        }
        const auto code = m_worker->exitCode();
        ASSERT_TRUE(code.has_value());
        if (*code == STILL_ACTIVE) {
            sawStillActive = true;
            return;
        }
        m_worker.reset();
        reaped = true;
        killTimer(kTimer);
        endDialog(static_cast<INT_PTR>(*code));
    }

    cartscope::win::Handle m_release;
    std::unique_ptr<ui::WorkerThread> m_worker;
};

}  // namespace

TEST(WorkerThread, UpdatesControlsDuringTheModalLoopAndIsReapedByTheTimer) {
    WorkerDialog dialog;
    const INT_PTR result = runDriven([&] { return dialog.doModal(); },
                                     [&] {
                                         HWND hwnd = nullptr;
                                         ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                                         HWND progress = GetDlgItem(hwnd, IDC_PROGRESS);
                                         HWND log = GetDlgItem(hwnd, IDC_LOG);
                                         const bool done =
                                             waitFor([&] { return windowText(log) == L"step 1\r\nstep 2\r\nstep 3\r\n"; });
                                         EXPECT_TRUE(done) << "log reads: " << testing::PrintToString(windowText(log));
                                         EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), WorkerDialog::kSteps);
                                         EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, FALSE, 0), WorkerDialog::kSteps);
                                         EXPECT_EQ(windowText(GetDlgItem(hwnd, IDC_COUNTER)), L"3 from 3");
                                         EXPECT_TRUE(waitFor([&] { return dialog.sawStillActive.load(); }));
                                         EXPECT_TRUE(IsWindowVisible(hwnd));
                                         dialog.release();
                                     });
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(dialog.reaped);
    EXPECT_EQ(dialog.ticksAfterReaping, 0);
    EXPECT_NE(dialog.workerThreadId.load(), 0u);
    EXPECT_NE(dialog.workerThreadId.load(), GetCurrentThreadId());
}

namespace {

std::atomic<int> g_runs{0};

unsigned __stdcall countRun(void* argument) {
    ++g_runs;
    return *static_cast<unsigned*>(argument);
}

}  // namespace

TEST(WorkerThread, StartsSuspendedRunsOnResumeAndKeepsItsExitCode) {
    g_runs = 0;
    unsigned code = 42;
    ui::WorkerThread thread(&countRun, &code);
    ASSERT_NE(thread.handle(), nullptr);
    EXPECT_NE(thread.id(), 0u);
    EXPECT_EQ(thread.exitCode(), std::optional<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(g_runs.load(), 0);

    ASSERT_TRUE(thread.resume());
    ASSERT_EQ(WaitForSingleObject(thread.handle(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(g_runs.load(), 1);
    EXPECT_EQ(thread.exitCode(), std::optional<DWORD>(42));
    EXPECT_EQ(thread.exitCode(), std::optional<DWORD>(42)) << "the code stays readable";
    EXPECT_FALSE(thread.resume()) << "a thread that runs or ran cannot be resumed";
}

TEST(WorkerThread, TakesThePriorityItIsGiven) {
    unsigned code = 0;
    ui::WorkerThread thread(&countRun, &code, THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(GetThreadPriority(thread.handle()), THREAD_PRIORITY_BELOW_NORMAL);
    ui::WorkerThread normal(&countRun, &code);
    EXPECT_EQ(GetThreadPriority(normal.handle()), THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(thread.resume());
    ASSERT_TRUE(normal.resume());
    HANDLE both[] = {thread.handle(), normal.handle()};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(thread.exitCode(), std::optional<DWORD>(0));
}

TEST(MessageBoxes, ShowsTheProgramsCaptionAndTextAndPassesTheTypeThrough) {
    struct Case {
        UINT type;
        int press;
    };
    for (const Case c : {Case{MB_OK | MB_ICONINFORMATION, IDOK}, Case{MB_OKCANCEL | MB_ICONWARNING, IDCANCEL},
                         Case{MB_YESNO | MB_ICONQUESTION, IDNO}}) {
        SCOPED_TRACE(c.type);
        const std::wstring text = L"C:\\Roms\\Star Courier (Europe).nds";
        const INT_PTR result =
            runDriven([&] { return ui::messageBox(text, c.type); },
                      [&] {
                          HWND box = nullptr;
                          ASSERT_TRUE(waitFor([&] { return (box = findMessageBox()) != nullptr; })) << "no message box";
                          EXPECT_EQ(windowText(GetDlgItem(box, 0xFFFF)), text);
                          EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "there is no main window";
                          // Only the buttons of the type given are there.
                          EXPECT_EQ(GetDlgItem(box, IDCANCEL) != nullptr, (c.type & MB_TYPEMASK) == MB_OKCANCEL);
                          EXPECT_EQ(GetDlgItem(box, IDNO) != nullptr, (c.type & MB_TYPEMASK) == MB_YESNO);
                          click(box, c.press);
                      });
        EXPECT_EQ(result, c.press);
    }
}

namespace {

class TestApplication : public ui::Application {
public:
    std::function<bool()> init;
    bool exited = false;
    int exitCode = 0;

protected:
    bool initInstance() override { return init(); }
    int exitInstance() override {
        exited = true;
        return exitCode != 0 ? exitCode : Application::exitInstance();
    }
};

}  // namespace

TEST(Application, EndsWithoutAMessageLoopWhenStartUpSaysSo) {
    EXPECT_EQ(ui::Application::current(), nullptr);
    {
        TestApplication app;
        EXPECT_EQ(ui::Application::current(), &app);
        app.init = [&] { return false; };
        app.exitCode = 3;
        // A quit message that a loop would take is left alone.
        PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
        EXPECT_EQ(app.run(GetModuleHandleW(nullptr)), 3);
        EXPECT_TRUE(app.exited);
        EXPECT_EQ(app.instance(), GetModuleHandleW(nullptr));
        MSG message;
        EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_REMOVE));
    }
    EXPECT_EQ(ui::Application::current(), nullptr);
}

TEST(Application, RunsAMessageLoopUntilQuitWhenStartUpContinues) {
    TestApplication app;
    app.init = [] {
        PostQuitMessage(5);
        return true;
    };
    EXPECT_EQ(app.run(GetModuleHandleW(nullptr)), 5);
    EXPECT_TRUE(app.exited);
}

TEST(Application, RunsADialogAsMainWindowThatOwnsTheMessageBoxes) {
    TestApplication app;
    TestDialog dialog;
    int boxResult = 0;
    ui::Window* mainDuringRun = nullptr;
    dialog.commandHook = [&](UINT id) {
        if (id != IDC_ACTION) {
            return false;
        }
        boxResult = ui::messageBox(L"Asked from the dialog", MB_OK);
        return true;
    };
    INT_PTR modalResult = 0;
    app.init = [&] {
        app.setMainWindow(&dialog);
        mainDuringRun = app.mainWindow();
        modalResult = runDriven([&] { return dialog.doModal(); },
                                [&] {
                                    HWND hwnd = nullptr;
                                    ASSERT_TRUE(waitFor([&] { return (hwnd = findTestDialog()) != nullptr; }));
                                    click(hwnd, IDC_ACTION);
                                    HWND box = nullptr;
                                    ASSERT_TRUE(waitFor([&] { return (box = findMessageBox()) != nullptr; }));
                                    EXPECT_EQ(GetWindow(box, GW_OWNER), hwnd);
                                    EXPECT_EQ(windowText(GetDlgItem(box, 0xFFFF)), L"Asked from the dialog");
                                    click(box, IDOK);
                                    ASSERT_TRUE(waitFor([&] { return findMessageBox() == nullptr; }));
                                    click(hwnd, IDOK);
                                });
        app.setMainWindow(nullptr);
        return false;
    };
    EXPECT_EQ(app.run(GetModuleHandleW(nullptr)), 0);
    EXPECT_EQ(mainDuringRun, &dialog);
    EXPECT_EQ(boxResult, IDOK);
    EXPECT_EQ(modalResult, IDOK);
    EXPECT_EQ(dialog.events, (Events{L"init", L"command 1005", L"command 1"}));
}
