#include "cmd/log_dialog.h"

#include <cwchar>

#include "cmd/resources/resource.h"
#include "core/rom_edit.h"
#include "win/text.h"

namespace cartscope::cmd {

namespace {

constexpr UINT_PTR kReapTimer = 101;
constexpr UINT kAboutCommand = 0x10;

using win::toWide;

#ifdef CARTSCOPE_TEST_HOOKS
// A seam for the tests, whose Cancel would otherwise race with the worker:
// CARTSCOPE_TEST_HOLD_FOR_CANCEL_AT=N makes the worker wait, once it has taken
// up the N-th file (counted from 1; its log line written), until Cancel has
// been pressed before it changes that file. 0 when not asked for.
int fileHeldForCancel() {
    wchar_t value[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"CARTSCOPE_TEST_HOLD_FOR_CANCEL_AT", value, 16);
    if (length == 0 || length >= 16) return 0;
    return static_cast<int>(std::wcstol(value, nullptr, 10));
}
#endif

}  // namespace

CCartscopeCMDDlg::CCartscopeCMDDlg(std::wstring command, const std::vector<RomInfo>& roms)
    : ui::Dialog(IDD_CARTSCOPE_CMD_DIALOG), m_command(std::move(command)), m_roms(roms) {
    m_icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

CCartscopeCMDDlg::~CCartscopeCMDDlg() = default;

bool CCartscopeCMDDlg::onInitDialog() {
    m_progress.bindItem(handle(), IDC_PROGRESS);
    m_title.bindItem(handle(), IDC_TITLE);
    m_path.bindItem(handle(), IDC_PATH);
    m_counter.bindItem(handle(), IDC_COUNTER);
    m_log.bindItem(handle(), IDC_LOG);
    m_cancel.bindItem(handle(), IDCANCEL);

    wchar_t about[128] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
        if (HMENU menu = GetSystemMenu(handle(), FALSE)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutCommand, about);
        }
    }
    sendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    sendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));

    m_worker = std::make_unique<ui::WorkerThread>(&CCartscopeCMDDlg::runBatch, this);
    m_worker->resume();
    setTimer(kReapTimer, 10);
    return true;
}

unsigned __stdcall CCartscopeCMDDlg::runBatch(void* dialog) { return static_cast<CCartscopeCMDDlg*>(dialog)->batch(); }

unsigned CCartscopeCMDDlg::batch() {
    const bool trim = m_command == L"trim";
    const std::wstring prefix = trim ? L"trim:\t" : L"untrim:\t";
    m_title.setText(trim ? L"Trim" : L"UnTrim");
    const int count = static_cast<int>(m_roms.size());
    m_progress.setRange32(0, count);
#ifdef CARTSCOPE_TEST_HOOKS
    const int heldFile = fileHeldForCancel();
#endif
    for (int i = 1; i <= count; ++i) {
        const RomInfo& rom = m_roms[static_cast<std::size_t>(i - 1)];
        m_counter.setText(std::to_wstring(i) + L" from " + std::to_wstring(count));
        m_path.setText(toWide(rom.path));
        m_progress.setPos(i);
        if (m_cancelRequested) return 1;

        std::wstring status = L"\t--> done";
        appendLog(prefix + toWide(rom.fileName) + L"\r\n");
#ifdef CARTSCOPE_TEST_HOOKS
        while (i == heldFile && !m_cancelRequested) Sleep(10);
#endif
        EditStatus outcome = EditStatus::Done;
        const int error = trim ? trimRom(rom, OpenOrder::OpenFirst, &outcome) : untrimRom(rom, OpenOrder::OpenFirst);
        if (outcome == EditStatus::AlreadyTrimmed) status = L"\t--> already trimed";
        if (error != 0) {
            appendLog(L"\t--> " + toWide(editErrorText(error).substr(0, 511)) + L"\r\n");
            m_hadError = true;
        } else {
            appendLog(status + L"\r\n");
        }
    }
    if (m_hadError) m_cancel.setText(L"Close");
    return 0;
}

void CCartscopeCMDDlg::appendLog(const std::wstring& text) { m_log.appendText(text); }

bool CCartscopeCMDDlg::onCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDCANCEL) {
        if (m_worker)
            m_cancelRequested = true;
        else
            endDialog(IDCANCEL);
        return true;
    }
    // Enter must not end the dialog while the worker uses its controls; the
    // dialog has no OK button, so Enter does nothing at all.
    if (id == IDOK) return true;
    return ui::Dialog::onCommand(id, notifyCode, control);
}

void CCartscopeCMDDlg::onTimer(UINT_PTR id) {
    if (id != kReapTimer || !m_worker) return;
    const auto code = m_worker->exitCode();
    if (code && *code == STILL_ACTIVE) return;
    const DWORD result = code.value_or(0);
    m_worker.reset();
    killTimer(kReapTimer);
    if (!m_hadError) endDialog(static_cast<INT_PTR>(result));
}

bool CCartscopeCMDDlg::onSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) != kAboutCommand) return false;
    ui::Dialog about(IDD_ABOUTBOX, handle());
    about.doModal();
    return true;
}

bool CCartscopeCMDDlg::onPaint() {
    if (!IsIconic(handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle(), &paint);
    sendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT area;
    GetClientRect(handle(), &area);
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (area.right - area.left - cx + 1) / 2, (area.bottom - area.top - cy + 1) / 2, m_icon);
    EndPaint(handle(), &paint);
    return true;
}

}  // namespace cartscope::cmd
