#include "testing/gui_driver.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace cartscope::gui_testing {

namespace {

struct Search {
    const wchar_t* caption;
    int item;
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (search->process ? process != search->process : process == GetCurrentProcessId()) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770" || windowText(window) != search->caption) return TRUE;
    if (search->item && !GetDlgItem(window, search->item)) return TRUE;
    search->found = window;
    return FALSE;
}

struct ButtonSearch {
    std::wstring text;  // empty: the first button
    HWND found = nullptr;
};

BOOL CALLBACK matchButton(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ButtonSearch*>(parameter);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (std::wstring(className) != L"Button") return TRUE;
    if (!search->text.empty() && windowText(window) != search->text) return TRUE;
    search->found = window;
    return FALSE;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

}  // namespace

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000, &copied);
    text.resize(copied);
    return text;
}

HWND findDialog(const wchar_t* caption, int item, DWORD process) {
    Search search{caption, item, process};
    EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND firstButton(HWND dialog) {
    ButtonSearch search;
    EnumChildWindows(dialog, matchButton, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND buttonWithText(HWND dialog, const std::wstring& text) {
    ButtonSearch search{text};
    EnumChildWindows(dialog, matchButton, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void press(HWND button, HWND dialog) {
    if (!button) return;
    PostMessageW(button, BM_CLICK, 0, 0);
    for (int i = 0; dialog && i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void screenshot(HWND window, const std::string& name) {
    const char* folder = std::getenv("CARTSCOPE_SCREENSHOT_DIR");
    if (!folder) return;
    RECT area;
    if (!GetWindowRect(window, &area)) return;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    std::vector<unsigned char> rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const auto* bgra = static_cast<const unsigned char*>(bits);
    for (std::size_t i = 0; bgra && i < rgba.size(); i += 4) {
        rgba[i] = bgra[i + 2];
        rgba[i + 1] = bgra[i + 1];
        rgba[i + 2] = bgra[i];
        rgba[i + 3] = 255;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::vector<unsigned char> png;
    if (!stbi_write_png_to_func(appendBytes, &png, width, height, 4, rgba.data(), width * 4)) return;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ofstream(std::filesystem::path(folder) / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

}  // namespace cartscope::gui_testing
