#include "cmd/framework/balloon_msg.h"

#include <commctrl.h>

#include <cwchar>
#include <iterator>

#include "win/reg_key.h"

namespace cartscope::ui {

namespace {

const wchar_t kOwnerClass[] = L"XBalloonMsg";
constexpr UINT_PTR kTimeoutTimer = 1;

// The one balloon of the process.
struct Balloon {
    wchar_t text[4000] = {};
    wchar_t title[500] = {};
    HWND control = nullptr;
    HWND parent = nullptr;
    HWND owner = nullptr;  // 10 x 10, off the screen; owns the tool tip's life
    HWND tip = nullptr;
    WNDPROC parentProcedure = nullptr;  // while the parent's is replaced
    HHOOK keyboardHook = nullptr;
    HHOOK mouseHook = nullptr;
    unsigned timeout = 0;  // seconds; 0: none
    int titleIcon = TTI_INFO;
    bool shown = false;
    bool otherWindowActivated = false;  // the last activation message named another window
    bool hiding = false;
};
Balloon g_balloon;

LRESULT CALLBACK balloonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void restoreParentProcedure() {
    if (g_balloon.parentProcedure && IsWindow(g_balloon.parent))
        SetWindowLongPtrW(g_balloon.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_balloon.parentProcedure));
    g_balloon.parentProcedure = nullptr;
}

void removeHooks() {
    if (g_balloon.keyboardHook) UnhookWindowsHookEx(g_balloon.keyboardHook);
    if (g_balloon.mouseHook) UnhookWindowsHookEx(g_balloon.mouseHook);
    g_balloon.keyboardHook = g_balloon.mouseHook = nullptr;
}

void hideWhenShown() {
    if (g_balloon.shown && IsWindow(g_balloon.control) && IsWindow(g_balloon.parent)) CXBalloonMsg::hide();
}

LRESULT CALLBACK keyboardHook(int code, WPARAM key, LPARAM flags) {
    const bool keyDown = (flags & 0x80000000) == 0;
    if (code != HC_ACTION || !keyDown) return CallNextHookEx(nullptr, code, key, flags);
    switch (key) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
            return CallNextHookEx(nullptr, code, key, flags);
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            CXBalloonMsg::hide();
            return 1;  // swallowed: the key only closes the balloon
        default:
            if (key >= VK_F1 && key <= VK_F24) {
                CXBalloonMsg::hide();
                return 1;
            }
            const LRESULT result = CallNextHookEx(nullptr, code, key, flags);
            CXBalloonMsg::hide();
            return result;
    }
}

LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM data) {
    const LRESULT result = CallNextHookEx(nullptr, code, message, data);
    if (code == HC_ACTION) {
        switch (message) {
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_NCLBUTTONDOWN:
            case WM_NCRBUTTONDOWN:
            case WM_NCMBUTTONDOWN:
            case WM_MOUSEWHEEL:
                CXBalloonMsg::hide();
                break;
            default:
                break;
        }
    }
    return result;
}

// The owner window has just been shown: make the tool tip and show it.
void createToolTip() {
    const bool balloon = CXBalloonMsg::balloonTipsEnabled();
    DWORD style = WS_POPUP | WS_VISIBLE | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOANIMATE | TTS_NOFADE | TTS_CLOSE;
    if (balloon) style |= TTS_BALLOON;
    g_balloon.tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, g_balloon.parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!g_balloon.tip) return;
    if (!g_balloon.parentProcedure) {
        g_balloon.parentProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(g_balloon.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(balloonProcedure)));
    }

    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | (balloon ? TTF_CENTERTIP : 0);
    tool.hwnd = g_balloon.parent;
    tool.uId = CXBalloonMsg::kToolId;
    tool.hinst = GetModuleHandleW(nullptr);
    tool.lpszText = g_balloon.text;
    SendMessageW(g_balloon.tip, TTM_SETMAXTIPWIDTH, 0, 32000);
    SendMessageW(g_balloon.tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 1);
    SendMessageW(g_balloon.tip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);
    SendMessageW(g_balloon.tip, TTM_SETDELAYTIME, TTDT_RESHOW, 1);
    SendMessageW(g_balloon.tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(g_balloon.tip, TTM_SETTITLEW, static_cast<WPARAM>(g_balloon.titleIcon),
                 reinterpret_cast<LPARAM>(g_balloon.title));

    // A balloon points at the control's middle; a plain tip hangs below its
    // left edge.
    RECT area = {};
    GetWindowRect(g_balloon.control, &area);
    const int x = balloon ? (area.left + area.right) / 2 : area.left;
    const int y = balloon ? (area.top + area.bottom) / 2 : area.bottom;
    SendMessageW(g_balloon.tip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    SendMessageW(g_balloon.tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));

    const DWORD thread = GetCurrentThreadId();
    g_balloon.keyboardHook = SetWindowsHookExW(WH_KEYBOARD, keyboardHook, nullptr, thread);
    g_balloon.mouseHook = SetWindowsHookExW(WH_MOUSE, mouseHook, nullptr, thread);
    if (g_balloon.timeout > 0) SetTimer(g_balloon.owner, kTimeoutTimer, g_balloon.timeout * 1000, nullptr);
    g_balloon.shown = true;
}

// Serves the owner window and, while its procedure is replaced, the parent.
LRESULT CALLBACK balloonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool isParent = window == g_balloon.parent && g_balloon.parentProcedure;
    const WNDPROC parentProcedure = g_balloon.parentProcedure;  // hide() may give it back meanwhile
    const auto passOn = [&]() -> LRESULT {
        return isParent ? CallWindowProcW(parentProcedure, window, message, wParam, lParam)
                        : DefWindowProcW(window, message, wParam, lParam);
    };

    // The owner window reports its first position change while it is being
    // made, before CreateWindowExW has returned its handle.
    if (message == WM_NCCREATE && window != g_balloon.parent) g_balloon.owner = window;
    if (window == g_balloon.owner) {
        if (message == WM_WINDOWPOSCHANGED && !g_balloon.tip && !g_balloon.hiding) {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            createToolTip();
            return result;
        }
        if (message == WM_TIMER && wParam == kTimeoutTimer) {
            CXBalloonMsg::hide();
            return 0;
        }
        if (message == WM_DESTROY) {
            removeHooks();
            if (IsWindow(g_balloon.parent)) {
                InvalidateRect(g_balloon.parent, nullptr, TRUE);
                UpdateWindow(g_balloon.parent);
                if (g_balloon.otherWindowActivated)
                    RedrawWindow(g_balloon.parent, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
            }
        }
    }

    switch (message) {
        case WM_ACTIVATE:
            g_balloon.otherWindowActivated = lParam != 0;
            hideWhenShown();
            break;
        case WM_KILLFOCUS:
        case WM_MOUSEACTIVATE:
        case WM_SYSCOMMAND:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_MENUCOMMAND:
        case WM_ENTERMENULOOP:
            hideWhenShown();
            break;
        default:
            break;
    }
    return passOn();
}

}  // namespace

CXBalloonMsg::~CXBalloonMsg() { restoreParentProcedure(); }

void CXBalloonMsg::show(const wchar_t* text, HWND control, HWND parent) {
    if (!text || !control || !parent || !IsWindow(control) || !IsWindow(parent)) return;
    hide();
    g_balloon.control = control;
    g_balloon.parent = parent;
    g_balloon.titleIcon = TTI_INFO;
    g_balloon.timeout = 0;

    if (IS_INTRESOURCE(text)) {
        if (LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)), g_balloon.text,
                        static_cast<int>(std::size(g_balloon.text))) <= 0)
            g_balloon.text[0] = L'\0';
    } else {
        std::wcsncpy(g_balloon.text, text, std::size(g_balloon.text) - 2);
        g_balloon.text[std::size(g_balloon.text) - 2] = L'\0';
    }
    std::wcsncpy(g_balloon.title, kTitle, std::size(g_balloon.title) - 2);
    if (g_balloon.text[0] == L'\0') return;

    WNDCLASSW ownerClass = {};
    ownerClass.style = CS_DBLCLKS;
    ownerClass.lpfnWndProc = balloonProcedure;
    ownerClass.hInstance = GetModuleHandleW(nullptr);
    ownerClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    ownerClass.lpszClassName = kOwnerClass;
    RegisterClassW(&ownerClass);  // a registration from an earlier balloon is fine
    // The tool tip comes once this window reports its first position change.
    g_balloon.owner = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP | WS_VISIBLE, 30000, 30000, 10, 10, parent, nullptr,
                                      ownerClass.hInstance, nullptr);
}

void CXBalloonMsg::hide() {
    // Destroying the windows sends messages that would ask for this again.
    if (g_balloon.hiding) return;
    g_balloon.hiding = true;
    g_balloon.shown = false;
    if (g_balloon.owner) KillTimer(g_balloon.owner, kTimeoutTimer);
    restoreParentProcedure();
    if (g_balloon.tip) {
        SendMessageW(g_balloon.tip, TTM_TRACKACTIVATE, FALSE, 0);
        PostMessageW(g_balloon.tip, WM_CLOSE, 0, 0);
        g_balloon.tip = nullptr;
    }
    if (g_balloon.owner) DestroyWindow(g_balloon.owner);  // its WM_DESTROY removes the hooks
    g_balloon.owner = nullptr;
    removeHooks();
    g_balloon.hiding = false;
}

bool CXBalloonMsg::balloonTipsEnabled() {
    win::RegKey key;
    if (key.open(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", KEY_QUERY_VALUE) !=
        ERROR_SUCCESS)
        return true;
    // Not set, or not a DWORD: on.
    return key.readDword(L"EnableBalloonTips").value_or(1) != 0;
}

HWND CXBalloonMsg::toolTip() { return g_balloon.shown ? g_balloon.tip : nullptr; }

std::wstring CXBalloonMsg::text() { return g_balloon.text; }

}  // namespace cartscope::ui
