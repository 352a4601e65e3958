// The context menu of .nds files: trim, untrim and rename inside the library,
// the batch commands through the command program with a path file.
#include <windows.h>
#include <uxtheme.h>

#include <algorithm>
#include <optional>
#include <string>

#include "core/command_request.h"
#include "shellext/file_icon_ext.h"
#include "shellext/module.h"
#include "core/rename_pattern.h"
#include "core/rom_edit.h"
#include "core/settings.h"
#include "win/errors.h"
#include "win/file_operation.h"
#include "win/handle.h"
#include "win/system_version.h"
#include "win/text.h"

namespace cartscope::shell {

namespace {

using win::guarded;
using win::moveFiles;
using win::toWide;
using win::windowsVersion;

constexpr int kItemIcon = 214;
constexpr std::size_t kMaxRenameItems = 15;

// Slots of the command table.
enum Slot : std::size_t {
    TrimOne = 0,
    TrimSelection = 1,
    UntrimOne = 2,
    UntrimSelection = 3,
    RenameFirst = 4,     // to 18
    LanguageFirst = 20,  // to 25
    Settings = 26,
    Info = 27,
};

struct Language {
    const wchar_t* text;
    int icon;
};
const Language kLanguages[] = {{L"Japanese", 220}, {L"English", 216}, {L"French", 218},
                               {L"German", 215},   {L"Italian", 219}, {L"Spanish", 217}};

HICON loadIcon16(int icon) {
    return static_cast<HICON>(LoadImageW(moduleHandle(), MAKEINTRESOURCEW(icon), IMAGE_ICON, 16, 16, 0));
}

HRESULT itemCount(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count); }

// Moves files with one shell operation owned by `owner`.
void moveAll(HWND owner, const std::vector<FileMove>& moves) {
    std::wstring from, to;
    for (const auto& [source, target] : moves) {
        from += toWide(source) + L'\0';
        to += toWide(target) + L'\0';
    }
    moveFiles(owner, from, to);
}

// The system's text for an error code, without its closing line break.
std::wstring systemErrorText(DWORD error) {
    wchar_t text[512] = {};
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) --length;
    if (length == 0) return L"Error " + std::to_wstring(error);
    return std::wstring(text, length);
}

}  // namespace

HBITMAP CFileIconExt::menuBitmap(int icon) {
    if (const auto cached = menuBitmaps_.find(icon); cached != menuBitmaps_.end()) return cached->second;
    if (!getBufferedPaintBits_ || !beginBufferedPaint_ || !endBufferedPaint_) return nullptr;
    HICON picture = loadIcon16(icon);
    if (!picture) return nullptr;

    const int width = GetSystemMetrics(SM_CXSMICON), height = GetSystemMetrics(SM_CYSMICON);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        RECT area = {0, 0, width, height};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        BP_PAINTPARAMS params = {};
        params.cbSize = sizeof params;
        params.dwFlags = BPPF_ERASE;
        params.pBlendFunction = &blend;
        HDC bufferDc = nullptr;
        HPAINTBUFFER buffer = beginBufferedPaint_(dc, &area, BPBF_DIB, &params, &bufferDc);
        if (buffer) {
            if (DrawIconEx(bufferDc, 0, 0, picture, width, height, 0, nullptr, DI_NORMAL)) {
                RGBQUAD* pixels = nullptr;
                int rowWidth = 0;
                if (SUCCEEDED(getBufferedPaintBits_(buffer, &pixels, &rowWidth)) && pixels) {
                    bool hasAlpha = false;
                    for (int y = 0; y < height && !hasAlpha; ++y)
                        for (int x = 0; x < width && !hasAlpha; ++x) hasAlpha = pixels[y * rowWidth + x].rgbReserved != 0;
                    ICONINFO iconInfo = {};
                    if (!hasAlpha && GetIconInfo(picture, &iconInfo)) {
                        // No alpha drawn: the icon's mask says what is transparent.
                        std::vector<DWORD> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
                        BITMAPINFO maskInfo = info;
                        if (iconInfo.hbmMask && GetDIBits(dc, iconInfo.hbmMask, 0, static_cast<UINT>(height), mask.data(),
                                                          &maskInfo, DIB_RGB_COLORS) == height) {
                            for (int y = 0; y < height; ++y) {
                                for (int x = 0; x < width; ++x) {
                                    RGBQUAD& pixel = pixels[y * rowWidth + x];
                                    if (mask[static_cast<std::size_t>(y * width + x)] != 0)
                                        pixel = RGBQUAD{0, 0, 0, 0};
                                    else
                                        pixel.rgbReserved = 0xFF;
                                }
                            }
                        }
                        if (iconInfo.hbmColor) DeleteObject(iconInfo.hbmColor);
                        if (iconInfo.hbmMask) DeleteObject(iconInfo.hbmMask);
                    }
                }
            }
            endBufferedPaint_(buffer, TRUE);
        }
        SelectObject(dc, previous);
    }
    if (dc) DeleteDC(dc);
    DestroyIcon(picture);
    if (bitmap) menuBitmaps_[icon] = bitmap;
    return bitmap;
}

void CFileIconExt::insertIconItem(HMENU menu, UINT position, UINT id, const wchar_t* text, int icon, HMENU submenu) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_BITMAP | MIIM_DATA | MIIM_FTYPE | (submenu ? MIIM_SUBMENU : 0);
    item.fType = MFT_STRING;
    item.fState = 0;
    item.wID = id;
    item.hSubMenu = submenu;
    item.dwItemData = static_cast<ULONG_PTR>(icon);
    item.dwTypeData = const_cast<wchar_t*>(text);
    item.cch = static_cast<UINT>(wcslen(text));
    item.hbmpItem = windowsVersion() >= 0x0600 ? menuBitmap(icon) : HBMMENU_CALLBACK;
    InsertMenuItemW(menu, position, TRUE, &item);
}

HRESULT CFileIconExt::QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT flags) {
    return guarded([&]() -> HRESULT {
        if (flags & CMF_DEFAULTONLY) return itemCount(0);
        if ((flags & (CMF_DEFAULTONLY | CMF_VERBSONLY | CMF_EXPLORE | CMF_NOVERBS)) && !(flags & (CMF_EXPLORE | CMF_VERBSONLY)))
            return itemCount(0);
        menuCommands_.fill(kNoMenuItem);
        if (selection_.empty()) return itemCount(0);

        if (selection_.size() == 1) {
            rom_.load(selection_.front(), RomLoadFlags::CollectRenameNames | RomLoadFlags::LookUpDatabase, renamePattern());
            if (!rom_.headerValid) return itemCount(0);
            InsertMenuW(menu, index, MF_BYPOSITION | MF_SEPARATOR, first + 32, nullptr);
            const bool full = rom_.fileSize == rom_.capacity;
            menuCommands_[full ? TrimOne : UntrimOne] = 33;
            insertIconItem(menu, index + 1, first + 33, full ? L"Trim ROM" : L"Untrim ROM", kItemIcon, nullptr);
            if (rom_.renameNames.empty()) {
                InsertMenuW(menu, index + 2, MF_BYPOSITION | MF_SEPARATOR, first + 34, nullptr);
                return itemCount(35);
            }
            HMENU submenu = CreatePopupMenu();
            const UINT k = static_cast<UINT>(std::min(rom_.renameNames.size(), kMaxRenameItems));
            UINT i = 0;
            for (auto name = rom_.renameNames.begin(); i < k; ++name, ++i) {
                const std::wstring text = toWide(*name) + L".nds";
                InsertMenuW(submenu, i, MF_BYPOSITION | MF_STRING, first + 34 + i, text.c_str());
                menuCommands_[RenameFirst + i] = 34 + i;
            }
            InsertMenuW(submenu, k, MF_BYPOSITION | MF_SEPARATOR, first + 34 + k, nullptr);
            InsertMenuW(submenu, k + 1, MF_BYPOSITION | MF_STRING, first + 35 + k, L"Settings...");
            menuCommands_[Settings] = 35 + k;
            InsertMenuW(submenu, k + 2, MF_BYPOSITION | MF_STRING, first + 36 + k, L"Info...");
            menuCommands_[Info] = 36 + k;
            insertIconItem(menu, index + 2, first + 37 + k, L"Rename to ...", kItemIcon, submenu);
            InsertMenuW(menu, index + 3, MF_BYPOSITION | MF_SEPARATOR, first + 38 + k, nullptr);
            return itemCount(39 + k);
        }

        InsertMenuW(menu, index, MF_BYPOSITION | MF_SEPARATOR, first + 32, nullptr);
        insertIconItem(menu, index + 1, first + 33, L"Trim selected ROMSs", kItemIcon, nullptr);
        menuCommands_[TrimSelection] = 33;
        insertIconItem(menu, index + 2, first + 34, L"UN-Trim selected ROMs", kItemIcon, nullptr);
        menuCommands_[UntrimSelection] = 34;
        HMENU submenu = CreatePopupMenu();
        for (UINT i = 0; i < 6; ++i) {
            insertIconItem(submenu, i, first + 35 + i, kLanguages[i].text, kLanguages[i].icon, nullptr);
            menuCommands_[LanguageFirst + i] = 35 + i;
        }
        InsertMenuW(submenu, 6, MF_BYPOSITION | MF_SEPARATOR, first + 41, nullptr);
        InsertMenuW(submenu, 7, MF_BYPOSITION | MF_STRING, first + 42, L"Settings...");
        menuCommands_[Settings] = 42;
        InsertMenuW(submenu, 8, MF_BYPOSITION | MF_STRING, first + 43, L"Info...");
        menuCommands_[Info] = 43;
        insertIconItem(menu, index + 3, first + 44, L"Rename selected ROMs with Bannertext ...", kItemIcon, submenu);
        InsertMenuW(menu, index + 4, MF_BYPOSITION | MF_SEPARATOR, first + 45, nullptr);
        return itemCount(46);
    });
}

HRESULT CFileIconExt::HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleMenuMsg2(message, wParam, lParam, nullptr);
}

HRESULT CFileIconExt::HandleMenuMsg2(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    LRESULT handled = 0;
    if (message == WM_MEASUREITEM) {
        if (auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)) {
            measure->itemWidth += 2;
            if (measure->itemHeight < 16) measure->itemHeight = 16;
            handled = 1;
        }
    } else if (message == WM_DRAWITEM) {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (draw && draw->CtlType == ODT_MENU) {
            if (HICON icon = loadIcon16(static_cast<int>(draw->itemData))) {
                DrawIconEx(draw->hDC, draw->rcItem.left - 16,
                           draw->rcItem.top + (draw->rcItem.bottom - draw->rcItem.top - 16) / 2, icon, 16, 16, 0, nullptr,
                           DI_NORMAL);
                DestroyIcon(icon);
                handled = 1;
            }
        }
    }
    if (result) *result = handled;
    return S_OK;
}

HRESULT CFileIconExt::GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) { return E_NOTIMPL; }

void CFileIconExt::editWithRetry(HWND owner, bool trim) const {
    for (;;) {
        EditStatus outcome = EditStatus::Done;
        const int error = trim ? trimRom(rom_, OpenOrder::TestFirst, &outcome) : untrimRom(rom_);
        if (error == 0) {
            // Nothing to cut: a trim never makes a file longer.
            if (outcome == EditStatus::AlreadyTrimmed) {
                const std::wstring text = toWide(rom_.fileName) + L"\nalready trimmed";
                MessageBoxW(owner, text.c_str(), L"Cartscope", MB_OK | MB_ICONINFORMATION);
            }
            return;
        }
        std::wstring text = toWide(rom_.fileName) + L"\n" + toWide(editErrorText(error).substr(0, 511));
        if (MessageBoxW(owner, text.c_str(), L"Cartscope", MB_ABORTRETRYIGNORE | MB_ICONWARNING) != IDRETRY) return;
    }
}

void CFileIconExt::renameOne(HWND owner, std::size_t entry) const {
    if (entry >= rom_.renameNames.size()) return;
    const std::u16string& name = *std::next(rom_.renameNames.begin(), static_cast<std::ptrdiff_t>(entry));
    const std::u16string target = rom_.folder + name + u".nds";
    if (target == rom_.path) return;
    moveAll(owner, {{rom_.path, target}});
}

void CFileIconExt::renameSelection(HWND owner, unsigned language) const {
    const std::u16string pattern = renamePattern();
    std::vector<RomInfo> roms;
    for (const auto& path : selection_) {
        RomInfo rom;
        if (rom.load(path, RomLoadFlags::KeepShortTitles | RomLoadFlags::LookUpDatabase, pattern)) roms.push_back(std::move(rom));
    }
    renameByBannerTitles(roms, language, pattern, [owner](const std::vector<FileMove>& moves) { moveAll(owner, moves); });
}

void CFileIconExt::startProgram(HWND owner, Command command) {
    std::wstring pathFile;
    std::optional<std::u16string> named;  // the path file the command line names
    if (!selection_.empty()) {
        const DWORD length = GetTempPathW(0, nullptr);
        std::wstring folder(length + 1, L'\0');
        GetTempPathW(length + 1, folder.data());
        pathFile.assign(length + 100, L'\0');
        if (!GetTempFileNameW(folder.c_str(), L"nds.tmp", 0, pathFile.data())) pathFile[0] = L'\0';
        pathFile.resize(wcslen(pathFile.c_str()));
        if (!pathFile.empty()) {
            const win::Handle file(
                CreateFileW(pathFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file.get() != INVALID_HANDLE_VALUE) {
                const std::vector<std::uint8_t> content = encodePathFile(selection_);
                DWORD written = 0;
                WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
            }
        }
        named = win::toUtf16(pathFile);
    }
    const DWORD error = startCommandProgram(command, named);
    if (error == ERROR_SUCCESS) return;
    // Nobody will read the path file now; the user learns why nothing happens.
    if (!pathFile.empty()) DeleteFileW(pathFile.c_str());
    const std::wstring text = commandProgramPath() + L"\n" + systemErrorText(error);
    MessageBoxW(owner, text.c_str(), L"Cartscope", MB_OK | MB_ICONERROR);
}

HRESULT CFileIconExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    return guarded([&]() -> HRESULT {
        if (!info) return E_INVALIDARG;
        const auto verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
        if ((verb >> 16) != 0) return E_INVALIDARG;
        const UINT offset = static_cast<UINT>(verb & 0xFFFF);
        const auto slot = std::find(menuCommands_.begin(), menuCommands_.end(), offset);
        if (slot == menuCommands_.end()) return E_INVALIDARG;
        const std::size_t action = static_cast<std::size_t>(slot - menuCommands_.begin());
        HWND owner = info->hwnd;
        if (action == TrimOne)
            editWithRetry(owner, true);
        else if (action == UntrimOne)
            editWithRetry(owner, false);
        else if (action >= RenameFirst && action < RenameFirst + kMaxRenameItems)
            renameOne(owner, action - RenameFirst);
        else if (action >= LanguageFirst && action < LanguageFirst + 6)
            renameSelection(owner, static_cast<unsigned>(action - LanguageFirst));
        else if (action == TrimSelection)
            startProgram(owner, Command::Trim);
        else if (action == UntrimSelection)
            startProgram(owner, Command::Untrim);
        else if (action == Settings) {
            selection_.clear();
            startProgram(owner, Command::Settings);
        } else if (action == Info) {
            selection_.clear();
            startProgram(owner, Command::Info);
        }
        return S_OK;
    });
}

}  // namespace cartscope::shell
