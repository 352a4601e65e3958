#include "shellext/file_icon_ext.h"

#include <gdiplus.h>

#include <cwchar>

#include "shellext/guids.h"
#include "core/info_tip.h"
#include "shellext/module.h"
#include "shellext/stream_source.h"
#include "shellext/update_trigger.h"
#include "win/errors.h"
#include "win/system_version.h"
#include "win/text.h"

namespace cartscope::shell {

namespace {

using win::guarded;

constexpr int kFallbackIcon = 208;

// What the object answers, and through which of its bases.
const win::InterfaceEntry kInterfaces[] = {
    win::interfaceEntry<CFileIconExt, IPersistFile>(IID_IPersistFile),
    win::interfaceEntry<CFileIconExt, IExtractIconW>(IID_IExtractIconW),
    win::interfaceEntry<CFileIconExt, IQueryInfo>(IID_IQueryInfo),
    win::interfaceEntry<CFileIconExt, IShellExtInit>(IID_IShellExtInit),
    win::interfaceEntry<CFileIconExt, IContextMenu3>(IID_IContextMenu3),
    win::interfaceEntry<CFileIconExt, IContextMenu3>(IID_IContextMenu2),
    win::interfaceEntry<CFileIconExt, IContextMenu3>(IID_IContextMenu),
    win::interfaceEntry<CFileIconExt, IColumnProvider>(IID_IColumnProvider),
    win::interfaceEntry<CFileIconExt, IInitializeWithStream>(IID_IInitializeWithStream),
    win::interfaceEntry<CFileIconExt, IPropertyStore>(IID_IPropertyStore),
    win::interfaceEntry<CFileIconExt, IPropertyStoreCapabilities>(IID_IPropertyStoreCapabilities),
};

// The four properties, in the order of GetAt and GetColumnInfo.
struct PropertyRow {
    PROPERTYKEY key;
    const wchar_t* title;
    DWORD columnFlags;
};

constexpr GUID kMusicGenre = {0x56A3372E, 0xCE9C, 0x11D2, {0x9F, 0x0E, 0x00, 0x60, 0x97, 0xC6, 0x86, 0xF6}};
constexpr GUID kMediaPublisher = {0x64440492, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}};

const PropertyRow kProperties[] = {
    {{kClsidFileIconExt, 1}, L"Subsongs", SHCOLSTATE_TYPE_INT | SHCOLSTATE_SLOW},
    {{kClsidFileIconExt, 3}, L"ROM-Code", SHCOLSTATE_TYPE_STR | SHCOLSTATE_SLOW},
    {{kMusicGenre, 11}, L"Genre", SHCOLSTATE_TYPE_STR | SHCOLSTATE_SLOW},
    {{kMediaPublisher, 30}, L"Publisher", SHCOLSTATE_TYPE_STR | SHCOLSTATE_SLOW},
};
constexpr DWORD kPropertyCount = 4;

bool sameKey(const PROPERTYKEY& a, const GUID& fmtid, DWORD pid) { return IsEqualGUID(a.fmtid, fmtid) && a.pid == pid; }

// A property's value: none, a number or a text.
struct PropertyValue {
    enum class Kind { None, Number, Text } kind = Kind::None;
    ULONG number = 0;
    const std::u16string* text = nullptr;
};

PropertyValue propertyValue(const RomInfo& rom, const GUID& fmtid, DWORD pid) {
    PropertyValue value;
    if (!rom.headerValid) return value;
    if (sameKey(kProperties[0].key, fmtid, pid)) {
        value.kind = PropertyValue::Kind::Number;
        value.number = 2;
    } else if (sameKey(kProperties[1].key, fmtid, pid)) {
        value.kind = PropertyValue::Kind::Text, value.text = &rom.romCode;
    } else if (sameKey(kProperties[2].key, fmtid, pid)) {
        value.kind = PropertyValue::Kind::Text, value.text = &rom.genre;
    } else if (sameKey(kProperties[3].key, fmtid, pid)) {
        value.kind = PropertyValue::Kind::Text, value.text = &rom.publisher;
    }
    return value;
}

// Fills a variant (VARIANT or PROPVARIANT, which agree for these types).
template <class Variant>
HRESULT fillVariant(const PropertyValue& value, Variant* out) {
    if (value.kind == PropertyValue::Kind::Number) {
        out->vt = VT_UI4;
        out->ulVal = value.number;
        return S_OK;
    }
    BSTR text = SysAllocStringLen(win::wideChars(*value.text), static_cast<UINT>(value.text->size()));
    if (!text) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = text;
    return S_OK;
}

// A GDI+ bitmap, disposed of when the holder goes.
struct GdipBitmap {
    Gdiplus::GpBitmap* bitmap = nullptr;
    ~GdipBitmap() {
        if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
};

HICON fallbackIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(moduleHandle(), MAKEINTRESOURCEW(kFallbackIcon), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

CFileIconExt::CFileIconExt() {
    menuCommands_.fill(kNoMenuItem);
    if (win::windowsVersion() >= 0x0600) {
        uxtheme_ = win::Library(L"UXTHEME.DLL");
        getBufferedPaintBits_ = uxtheme_.procedure<GetBufferedPaintBitsFn>("GetBufferedPaintBits");
        beginBufferedPaint_ = uxtheme_.procedure<BeginBufferedPaintFn>("BeginBufferedPaint");
        endBufferedPaint_ = uxtheme_.procedure<EndBufferedPaintFn>("EndBufferedPaint");
    }
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread, codecs
    Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
    runUpdateTrigger();
}

CFileIconExt::~CFileIconExt() {
    stream_.reset();
    if (gdiplusToken_) Gdiplus::GdiplusShutdown(gdiplusToken_);
    for (const auto& entry : menuBitmaps_) DeleteObject(entry.second);
}

win::InterfaceTable CFileIconExt::interfaces() noexcept { return win::interfaceTable(kInterfaces); }

RomInfo CFileIconExt::loadForJob(RomLoadFlags flags) const {
    RomInfo rom;
    if (stream_) {
        StreamSource source(stream_.get());
        if (source.ok()) rom.load(source, flags);
    } else {
        rom.load(std::u16string(win::utf16Chars(path_.data())), flags);
    }
    return rom;
}

// IPersistFile

HRESULT CFileIconExt::GetClassID(CLSID*) { return E_NOTIMPL; }
HRESULT CFileIconExt::IsDirty() { return E_NOTIMPL; }
HRESULT CFileIconExt::Save(LPCOLESTR, BOOL) { return E_NOTIMPL; }
HRESULT CFileIconExt::SaveCompleted(LPCOLESTR) { return E_NOTIMPL; }
HRESULT CFileIconExt::GetCurFile(LPOLESTR*) { return E_NOTIMPL; }

HRESULT CFileIconExt::Load(LPCOLESTR path, DWORD) {
    if (!path) return E_INVALIDARG;
    const std::size_t length = std::wcslen(path);
    // The path and its terminator must fit the buffer; a longer one changes nothing.
    if (length >= path_.size()) return E_INVALIDARG;
    std::wmemcpy(path_.data(), path, length + 1);
    return S_OK;
}

// IExtractIconW

HRESULT CFileIconExt::GetIconLocation(UINT flags, LPWSTR iconFile, UINT size, int* index, UINT* outFlags) {
    return guarded([&]() -> HRESULT {
        if (flags & GIL_ASYNC) return E_PENDING;
        if (flags & GIL_DEFAULTICON) {
            if (iconFile && size > 0) {
                const DWORD length = GetModuleFileNameW(moduleHandle(), iconFile, size < MAX_PATH ? size : MAX_PATH);
                if (length >= size) iconFile[size - 1] = L'\0';
            }
            if (index) *index = 1;
            if (outFlags) *outFlags = GIL_DONTCACHE;
            return S_OK;
        }
        if (iconFile && size > 0) iconFile[0] = L'\0';
        if (outFlags) *outFlags = GIL_NOTFILENAME | GIL_DONTCACHE;
        return S_OK;
    });
}

HRESULT CFileIconExt::Extract(LPCWSTR, UINT, HICON* large, HICON* small, UINT sizes) {
    return guarded([&]() -> HRESULT {
        const RomInfo rom = loadForJob(RomLoadFlags::ReadBanner);
        if (rom.bannerValid) {
            GdipBitmap bitmap;
            if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(kIconSide, kIconSide, 0, PixelFormat32bppARGB, nullptr,
                                                               &bitmap.bitmap) != Gdiplus::Ok)
                return S_OK;
            const IconPixels pixels = rom.icon();
            for (int y = 0; y < kIconSide; ++y)
                for (int x = 0; x < kIconSide; ++x)
                    Gdiplus::DllExports::GdipBitmapSetPixel(bitmap.bitmap, x, y,
                                                            pixels[static_cast<std::size_t>(y * kIconSide + x)]);
            if (large) Gdiplus::DllExports::GdipCreateHICONFromBitmap(bitmap.bitmap, large);
            if (small) Gdiplus::DllExports::GdipCreateHICONFromBitmap(bitmap.bitmap, small);
            return S_OK;
        }
        if (large) *large = fallbackIcon(LOWORD(sizes));
        if (small) *small = fallbackIcon(HIWORD(sizes));
        return S_OK;
    });
}

// IQueryInfo

HRESULT CFileIconExt::GetInfoTip(DWORD, WCHAR** tip) {
    return guarded([&]() -> HRESULT {
        win::ComPtr<IMalloc> shell;
        if (FAILED(SHGetMalloc(shell.put())) || !shell) return E_FAIL;
        const RomInfo rom = loadForJob(RomLoadFlags::LookUpDatabase | RomLoadFlags::ComputeCrc32);
        if (!rom.headerValid) return E_FAIL;
        const std::u16string text = formatInfoTip(rom);
        auto* buffer = static_cast<WCHAR*>(shell->Alloc((text.size() + 1) * sizeof(WCHAR)));
        if (!buffer) return E_OUTOFMEMORY;
        std::wmemcpy(buffer, win::wideChars(text), text.size() + 1);
        if (tip)
            *tip = buffer;
        else
            shell->Free(buffer);
        return S_OK;
    });
}

HRESULT CFileIconExt::GetInfoFlags(DWORD*) { return E_NOTIMPL; }

// IShellExtInit

HRESULT CFileIconExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    return guarded([&]() -> HRESULT {
        if (!data) return E_INVALIDARG;
        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
        struct MediumHolder {
            STGMEDIUM* medium;
            ~MediumHolder() { ReleaseStgMedium(medium); }
        } holdMedium{&medium};
        auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
        if (!drop) return E_INVALIDARG;
        struct LockHolder {
            HGLOBAL global;
            ~LockHolder() { GlobalUnlock(global); }
        } holdLock{medium.hGlobal};

        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        if (count == 0) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            if (length == 0) continue;
            std::wstring name(length + 1, L'\0');
            if (DragQueryFileW(drop, i, name.data(), length + 1) == 0) continue;
            name.resize(length);
            selection_.emplace_back(win::utf16View(name));
        }
        return S_OK;
    });
}

// IColumnProvider

HRESULT CFileIconExt::Initialize(LPCSHCOLUMNINIT) { return S_OK; }

HRESULT CFileIconExt::GetColumnInfo(DWORD index, SHCOLUMNINFO* info) {
    if (index >= kPropertyCount) return S_FALSE;
    if (!info) return E_POINTER;
    const PropertyRow& row = kProperties[index];
    *info = SHCOLUMNINFO{};
    info->scid.fmtid = row.key.fmtid;
    info->scid.pid = row.key.pid;
    info->vt = VT_LPWSTR;
    info->fmt = LVCFMT_LEFT;
    info->cChars = 8;
    info->csFlags = row.columnFlags;
    lstrcpynW(info->wszTitle, row.title, MAX_COLUMN_NAME_LEN);
    lstrcpynW(info->wszDescription, row.title, MAX_COLUMN_DESC_LEN);
    return S_OK;
}

HRESULT CFileIconExt::GetItemData(LPCSHCOLUMNID column, LPCSHCOLUMNDATA data, VARIANT* value) {
    return guarded([&]() -> HRESULT {
        if (!column || !data || !value) return E_POINTER;
        if (data->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE)) return S_FALSE;
        if (!data->pwszExt || lstrcmpiW(data->pwszExt, L".nds") != 0) return S_FALSE;
        const std::u16string path(win::utf16Chars(data->wszFile));
        const bool reuse = !(data->dwFlags & SHCDF_UPDATEITEM) && rom_.headerValid && rom_.path == path;
        if (!reuse) {
            rom_.load(path, RomLoadFlags::CollectRenameNames | RomLoadFlags::LookUpDatabase);
            if (!rom_.headerValid) return S_FALSE;
        }
        const PropertyValue found = propertyValue(rom_, column->fmtid, column->pid);
        if (found.kind == PropertyValue::Kind::None) return S_FALSE;
        return fillVariant(found, value);
    });
}

// IInitializeWithStream

HRESULT CFileIconExt::Initialize(IStream* stream, DWORD) {
    return guarded([&]() -> HRESULT {
        stream_.reset();
        rom_ = RomInfo{};
        if (!stream) return E_INVALIDARG;
        StreamSource source(stream);
        if (source.ok()) rom_.load(source, RomLoadFlags::CollectRenameNames | RomLoadFlags::LookUpDatabase);
        if (!rom_.headerValid) return E_UNEXPECTED;
        stream_ = win::ComPtr<IStream>::shared(stream);
        return S_OK;
    });
}

// IPropertyStore

HRESULT CFileIconExt::GetCount(DWORD* count) {
    if (!count) return E_POINTER;
    *count = rom_.headerValid ? kPropertyCount : 0;
    return S_OK;
}

HRESULT CFileIconExt::GetAt(DWORD index, PROPERTYKEY* key) {
    if (!rom_.headerValid || index >= kPropertyCount) return E_INVALIDARG;
    if (!key) return E_POINTER;
    *key = kProperties[index].key;
    return S_OK;
}

HRESULT CFileIconExt::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    return guarded([&]() -> HRESULT {
        if (!value) return E_POINTER;
        PropVariantInit(value);
        const PropertyValue found = propertyValue(rom_, key.fmtid, key.pid);
        if (found.kind == PropertyValue::Kind::None) return S_OK;
        return fillVariant(found, value);
    });
}

HRESULT CFileIconExt::SetValue(REFPROPERTYKEY, REFPROPVARIANT) { return E_FAIL; }
HRESULT CFileIconExt::Commit() { return STG_E_ACCESSDENIED; }
HRESULT CFileIconExt::IsPropertyWritable(REFPROPERTYKEY) { return S_FALSE; }

}  // namespace cartscope::shell
