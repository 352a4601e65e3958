// CFileIconExt: the one COM class of the library. The Explorer makes one per
// job on a .nds file: its icon, its info tip, its properties and columns, its
// context menu.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <propsys.h>
#include <uxtheme.h>

#include <array>
#include <map>
#include <vector>

#include "core/command_request.h"
#include "core/rom_info.h"
#include "win/com_object.h"
#include "win/com_ptr.h"
#include "win/library.h"

namespace cartscope::shell {

class CFileIconExt final
    : public win::ComObject<CFileIconExt, IPersistFile, IExtractIconW, IQueryInfo, IShellExtInit, IContextMenu3, IColumnProvider,
                            IInitializeWithStream, IPropertyStore, IPropertyStoreCapabilities> {
public:
    // The interfaces the object answers (IUnknown through IPersistFile);
    // create(), from the base, makes objects.
    static win::InterfaceTable interfaces() noexcept;

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR path, DWORD mode) override;
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR path, BOOL remember) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR path) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* path) override;

    // IExtractIconW
    HRESULT STDMETHODCALLTYPE GetIconLocation(UINT flags, LPWSTR iconFile, UINT size, int* index, UINT* outFlags) override;
    HRESULT STDMETHODCALLTYPE Extract(LPCWSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;

    // IQueryInfo
    HRESULT STDMETHODCALLTYPE GetInfoTip(DWORD flags, WCHAR** tip) override;
    HRESULT STDMETHODCALLTYPE GetInfoFlags(DWORD* flags) override;

    // IShellExtInit
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

    // IContextMenu3 (and IContextMenu, IContextMenu2)
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name, UINT size) override;
    HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // IColumnProvider
    HRESULT STDMETHODCALLTYPE Initialize(LPCSHCOLUMNINIT init) override;
    HRESULT STDMETHODCALLTYPE GetColumnInfo(DWORD index, SHCOLUMNINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetItemData(LPCSHCOLUMNID column, LPCSHCOLUMNDATA data, VARIANT* value) override;

    // IInitializeWithStream
    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;

    // IPropertyStore
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

    // IPropertyStoreCapabilities
    HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) override;

    // Slots of the context menu's command table, one per menu action.
    static constexpr std::size_t kMenuCommands = 28;
    static constexpr UINT kNoMenuItem = 0xFFFFFFFF;

private:
    friend ComObject;
    CFileIconExt();
    ~CFileIconExt();

    // Loads a fresh record for one job: from the held stream, else the file path.
    RomInfo loadForJob(RomLoadFlags flags) const;

    // Context menu (context_menu.cpp).
    HBITMAP menuBitmap(int icon);
    void insertIconItem(HMENU menu, UINT position, UINT id, const wchar_t* text, int icon, HMENU submenu);
    void editWithRetry(HWND owner, bool trim) const;
    void renameOne(HWND owner, std::size_t entry) const;
    void renameSelection(HWND owner, unsigned language) const;
    void startProgram(HWND owner, Command command);

    using BeginBufferedPaintFn = HPAINTBUFFER(WINAPI*)(HDC, const RECT*, BP_BUFFERFORMAT, BP_PAINTPARAMS*, HDC*);
    using GetBufferedPaintBitsFn = HRESULT(WINAPI*)(HPAINTBUFFER, RGBQUAD**, int*);
    using EndBufferedPaintFn = HRESULT(WINAPI*)(HPAINTBUFFER, BOOL);

    std::array<wchar_t, MAX_PATH> path_{};
    std::vector<std::u16string> selection_;
    RomInfo rom_;
    std::array<UINT, kMenuCommands> menuCommands_;
    ULONG_PTR gdiplusToken_ = 0;
    win::Library uxtheme_;
    GetBufferedPaintBitsFn getBufferedPaintBits_ = nullptr;
    BeginBufferedPaintFn beginBufferedPaint_ = nullptr;
    EndBufferedPaintFn endBufferedPaint_ = nullptr;
    std::map<int, HBITMAP> menuBitmaps_;
    win::ComPtr<IStream> stream_;
};

}  // namespace cartscope::shell
