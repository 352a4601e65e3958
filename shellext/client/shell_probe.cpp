// Loads Cartscope.dll as the Explorer does and prints what the Explorer would
// get for the given files:
//   shellprobe [--db FILE] tip ROM...
//   shellprobe [--db FILE] props ROM...        (property store, from a stream)
//   shellprobe [--db FILE] columns ROM...      (column provider)
//   shellprobe icon ROM -o FILE.png [--size N] (the large icon of Extract)
//   shellprobe shelltip ROM...                 (asks the system's shell, which
//                                               finds the library through the registry)
// --db installs FILE as the release database in the data folder first, as
// the updater would. --library PATH loads that Cartscope.dll instead of the
// one beside the probe (an installed copy, say).
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <propsys.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "shellext/guids.h"
#include "core/platform/data_folder.h"
#include "core/release_database.h"
#include "core/text.h"
#include "win/com_ptr.h"
#include "win/library.h"
#include "win/module_path.h"
#include "win/text.h"

namespace {

using namespace cartscope;

template <class T>
using Com = win::ComPtr<T>;

void print(const std::u16string& text) {
    const std::string bytes = toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}
void print(const wchar_t* text) { print(std::u16string(win::utf16Chars(text))); }

int usage() {
    std::fprintf(stderr,
                 "usage: shellprobe [--db FILE] [--library PATH] tip|props|columns|shelltip ROM...\n"
                 "       shellprobe [--db FILE] [--library PATH] icon ROM -o FILE.png [--size N]\n");
    return 2;
}

using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

HRESULT create(GetClassObject getClassObject, REFIID iid, void** object) {
    Com<IClassFactory> factory;
    const HRESULT result = getClassObject(shell::kClsidFileIconExt, IID_IClassFactory, factory.putVoid());
    if (FAILED(result)) return result;
    return factory->CreateInstance(nullptr, iid, object);
}

void printVariantText(BSTR text) { print(text ? text : L""); }

int tip(GetClassObject get, const std::wstring& rom) {
    Com<IPersistFile> file;
    Com<IQueryInfo> info;
    if (FAILED(create(get, IID_IPersistFile, file.putVoid())) || FAILED(file->Load(rom.c_str(), STGM_READ)) ||
        FAILED(file->QueryInterface(IID_IQueryInfo, info.putVoid())))
        return 1;
    WCHAR* text = nullptr;
    const HRESULT result = info->GetInfoTip(0, &text);
    if (FAILED(result)) {
        std::fprintf(stderr, "shellprobe: no info tip (0x%08lX)\n", static_cast<unsigned long>(result));
        return 1;
    }
    print(text);
    CoTaskMemFree(text);
    return 0;
}

int props(GetClassObject get, const std::wstring& rom) {
    Com<IStream> stream;
    Com<IInitializeWithStream> init;
    Com<IPropertyStore> store;
    if (FAILED(SHCreateStreamOnFileEx(rom.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()))) return 1;
    if (FAILED(create(get, IID_IInitializeWithStream, init.putVoid()))) return 1;
    const HRESULT result = init->Initialize(stream.get(), STGM_READ);
    if (FAILED(result)) {
        std::fprintf(stderr, "shellprobe: stream refused (0x%08lX)\n", static_cast<unsigned long>(result));
        return 1;
    }
    init->QueryInterface(IID_IPropertyStore, store.putVoid());
    DWORD count = 0;
    store->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key;
        PROPVARIANT value;
        if (FAILED(store->GetAt(i, &key)) || FAILED(store->GetValue(key, &value))) continue;
        wchar_t fmtid[40] = {};
        StringFromGUID2(key.fmtid, fmtid, 40);
        print(std::wstring(fmtid).append(L" ").append(std::to_wstring(key.pid)).append(L": ").c_str());
        if (value.vt == VT_UI4)
            print(std::to_wstring(value.ulVal).c_str());
        else if (value.vt == VT_BSTR)
            printVariantText(value.bstrVal);
        print(u"\n");
        PropVariantClear(&value);
    }
    return 0;
}

int columns(GetClassObject get, const std::wstring& rom) {
    Com<IColumnProvider> provider;
    if (FAILED(create(get, IID_IColumnProvider, provider.putVoid()))) return 1;
    SHCOLUMNDATA data = {};
    data.dwFileAttributes = GetFileAttributesW(rom.c_str());
    std::wstring extension = PathFindExtensionW(rom.c_str());
    data.pwszExt = extension.data();
    GetFullPathNameW(rom.c_str(), MAX_PATH, data.wszFile, nullptr);
    SHCOLUMNINFO info;
    for (DWORD i = 0; provider->GetColumnInfo(i, &info) == S_OK; ++i) {
        VARIANT value;
        VariantInit(&value);
        const HRESULT result = provider->GetItemData(&info.scid, &data, &value);
        print(std::wstring(info.wszTitle).append(L": ").c_str());
        if (result == S_OK && value.vt == VT_UI4)
            print(std::to_wstring(value.ulVal).c_str());
        else if (result == S_OK && value.vt == VT_BSTR)
            printVariantText(value.bstrVal);
        else
            print(u"(none)");
        print(u"\n");
        VariantClear(&value);
    }
    return 0;
}

// The info tip as the shell gets it: through the file's folder and the
// handler registered for .nds, not through the library loaded here.
int shellTip(const std::wstring& rom) {
    wchar_t full[4 * MAX_PATH] = {};
    GetFullPathNameW(rom.c_str(), 4 * MAX_PATH, full, nullptr);
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHParseDisplayName(full, nullptr, &item, 0, nullptr))) return 1;
    Com<IShellFolder> folder;
    PCUITEMID_CHILD child = nullptr;
    HRESULT result = SHBindToParent(item, IID_IShellFolder, folder.putVoid(), &child);
    Com<IQueryInfo> info;
    if (SUCCEEDED(result)) result = folder->GetUIObjectOf(nullptr, 1, &child, IID_IQueryInfo, nullptr, info.putVoid());
    WCHAR* text = nullptr;
    if (SUCCEEDED(result)) result = info->GetInfoTip(0, &text);
    CoTaskMemFree(item);
    if (FAILED(result) || !text) {
        std::fprintf(stderr, "shellprobe: the shell gave no info tip (0x%08lX)\n", static_cast<unsigned long>(result));
        return 1;
    }
    print(text);
    CoTaskMemFree(text);
    return 0;
}

void writeToFile(void* context, void* data, int size) {
    std::fwrite(data, 1, static_cast<std::size_t>(size), static_cast<FILE*>(context));
}

int icon(GetClassObject get, const std::wstring& rom, const std::wstring& png, int size) {
    Com<IPersistFile> file;
    Com<IExtractIconW> extract;
    if (FAILED(create(get, IID_IPersistFile, file.putVoid())) || FAILED(file->Load(rom.c_str(), STGM_READ)) ||
        FAILED(file->QueryInterface(IID_IExtractIconW, extract.putVoid())))
        return 1;
    HICON large = nullptr;
    extract->Extract(L"", 0, &large, nullptr, MAKELONG(size, 16));
    if (!large) return 1;
    ICONINFO info = {};
    GetIconInfo(large, &info);
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    const int side = bitmap.bmWidth;
    BITMAPINFO header = {};
    header.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<unsigned char> bgra(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 4);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(side), bgra.data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(large);
    for (std::size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
    FILE* out = _wfopen(png.c_str(), L"wb");
    if (!out) return 1;
    const int ok = stbi_write_png_to_func(writeToFile, out, side, side, 4, bgra.data(), side * 4);
    std::fclose(out);
    return ok ? 0 : 1;
}

bool installDatabase(const std::wstring& file) {
    const auto folder = platform::dataFolder();
    if (!folder) return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(*folder), error);
    return std::filesystem::copy_file(std::filesystem::path(file), std::filesystem::path(*folder + kDatabaseFileName),
                                      std::filesystem::copy_options::overwrite_existing, error);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the texts' own line feeds, untranslated
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring database, output, libraryPath;
    int size = 32;
    std::vector<std::wstring> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--db" && i + 1 < args.size())
            database = args[++i];
        else if (args[i] == L"--library" && i + 1 < args.size())
            libraryPath = args[++i];
        else if (args[i] == L"-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == L"--size" && i + 1 < args.size())
            size = _wtoi(args[++i].c_str());
        else
            rest.push_back(args[i]);
    }
    if (rest.size() < 2 || size < 1 || size > 256) return usage();
    if (!database.empty() && !installDatabase(database)) {
        std::fprintf(stderr, "shellprobe: cannot install the database\n");
        return 1;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (libraryPath.empty()) libraryPath = win::besideModule(nullptr, L"Cartscope.dll");
    const win::Library library(libraryPath.c_str());
    if (!library) {
        std::fprintf(stderr, "shellprobe: cannot load %ls\n", libraryPath.c_str());
        return 1;
    }
    const auto get = library.procedure<GetClassObject>("DllGetClassObject");
    const std::wstring& command = rest[0];
    int status = 0;
    if (command == L"icon") {
        if (output.empty() || rest.size() != 2) return usage();
        status = icon(get, rest[1], output, size);
    } else {
        for (std::size_t i = 1; i < rest.size(); ++i) {
            if (command == L"tip")
                status |= tip(get, rest[i]);
            else if (command == L"props")
                status |= props(get, rest[i]);
            else if (command == L"columns")
                status |= columns(get, rest[i]);
            else if (command == L"shelltip")
                status |= shellTip(rest[i]);
            else
                return usage();
            if (i + 1 < rest.size()) print(u"\n");
        }
    }
    std::fflush(stdout);
    CoUninitialize();
    return status;
}
