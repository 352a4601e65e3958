// The shell object as the Explorer uses it: through DllGetClassObject and the
// interfaces, with files and streams of the test's own making.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <propsys.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "testing/com_support.h"
#include "core/crc.h"
#include "shellext/guids.h"
#include "core/info_tip.h"
#include "core/platform/data_folder.h"
#include "core/release_database.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using namespace cartscope::shell;
using cartscope::shell::testing::ComPtr;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

std::u16string narrow16(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }

class ShellObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_NE(shell::testing::library().module, nullptr) << "Cartscope.dll beside the tests";
        removeDatabase();  // whatever an earlier run left in the prefix
    }
    void TearDown() override {
        removeDatabase();
        CoUninitialize();
    }

    std::u16string put(const std::string& name, const RomSpec& card) {
        const auto path = dir.file(name);
        cartscope::testing::writeFile(path, buildRom(card));
        return path;
    }

    // The release database where the library looks for it.
    void installDatabase(std::uint16_t version, const std::vector<Release>& releases) {
        const auto folder = platform::dataFolder();
        ASSERT_TRUE(folder);
        std::filesystem::create_directories(std::filesystem::path(*folder));
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(buildDatabase(version, releases, bytes), "");
        cartscope::testing::writeFile(*folder + kDatabaseFileName, bytes);
    }
    void removeDatabase() {
        if (const auto folder = platform::dataFolder()) {
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::path(*folder + kDatabaseFileName), ignored);
        }
    }

    // What GetInfoTip gives for a file: its result and text.
    std::pair<HRESULT, std::u16string> infoTip(const std::u16string& path) {
        ComPtr<IPersistFile> file;
        EXPECT_EQ(shell::testing::createObject(IID_IPersistFile, file.putVoid()), S_OK);
        EXPECT_EQ(file->Load(reinterpret_cast<LPCOLESTR>(path.c_str()), STGM_READ), S_OK);
        ComPtr<IQueryInfo> info;
        EXPECT_EQ(file->QueryInterface(IID_IQueryInfo, info.putVoid()), S_OK);
        WCHAR* tip = nullptr;
        const HRESULT result = info->GetInfoTip(0, &tip);
        std::u16string text;
        if (tip) {
            text = narrow16(tip);
            CoTaskMemFree(tip);
        }
        return {result, text};
    }

    cartscope::testing::TempDir dir;
};

Release release(const std::string& code, const std::string& crc) {
    Release r;
    r.gameCode = code;
    r.fields = {"NTR-" + code + "-USA", "Known Game", "USA", "Puzzle", "Velmora", "1", "No", "0042", "GRP", crc};
    r.hasCrc = !crc.empty();
    return r;
}

std::string hexCrc(const std::vector<std::uint8_t>& bytes) {
    const std::u16string text = hex8(crc32(bytes.data(), bytes.size()));
    return std::string(text.begin(), text.end());
}

// The pixels of an icon, ARGB, row by row; the size in `side`.
std::vector<std::uint32_t> iconPixels(HICON icon, int& side) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return {};
    struct Bitmaps {
        ICONINFO& info;
        ~Bitmaps() {
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
    } holder{info};
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    side = bitmap.bmWidth;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = bitmap.bmWidth;
    header.bmiHeader.biHeight = -bitmap.bmWidth;  // top-down
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.bmWidth) * static_cast<std::size_t>(bitmap.bmWidth));
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(bitmap.bmWidth), pixels.data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return pixels;
}

}  // namespace

TEST_F(ShellObjectTest, InfoTipWithoutDatabase) {
    RomSpec card;
    card.usedSize = 0x3FF;  // trimmed size 1535 bytes: 1KB
    card.fileSize = 1023;   // shorter than a KiB: 0KB
    card.bannerOffset = 0;
    const auto path = put("Small.nds", card);
    const auto bytes = buildRom(card);
    const auto [result, tip] = infoTip(path);
    EXPECT_EQ(result, S_OK);
    const std::string crc = hexCrc(bytes);
    EXPECT_EQ(tip, u"Small.nds\nROM-Size: 0MB (0Mbit)\nTrimmed: 1KB\nFile-Size: 0KB\nCRC32 (File): " +
                       std::u16string(crc.begin(), crc.end()) + u"\n\n");
}

TEST_F(ShellObjectTest, InfoTipWithDatabase) {
    RomSpec card;
    card.gameCode = "KNWE";
    const auto bytes = buildRom(card);
    const auto path = put("Known.nds", card);
    const std::string crc = hexCrc(bytes);

    installDatabase(11, {release("KNWE", crc)});
    auto [result, tip] = infoTip(path);
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(tip.rfind(u"Known.nds\nROM-Code: NTR-KNWE-USA\nName: Known Game\nGenre: Puzzle\nPublisher: Velmora\n"
                        u"Maker-Code: 00\nCountry: USA\nRegion: USA\nLanguage: eng\nWiFi: No\n\n",
                        0),
              0u);
    EXPECT_NE(tip.find(u"\nCRC32: " + std::u16string(crc.begin(), crc.end()) + u"\n\nRelease-Nr.: 0042\n"), std::u16string::npos);
    EXPECT_EQ(tip.substr(tip.size() - 19), u"Release-Group: GRP\n");

    std::string lower = crc;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    installDatabase(12, {release("KNWE", lower)});
    std::tie(result, tip) = infoTip(path);
    EXPECT_NE(tip.find(u"CRC32 (Database): " + std::u16string(lower.begin(), lower.end()) + u"\nCRC32 (File): " +
                       std::u16string(crc.begin(), crc.end()) + u"\n"),
              std::u16string::npos)
        << "lower-case never equals the file's CRC";

    installDatabase(13, {release("KNWE", "00000000")});
    std::tie(result, tip) = infoTip(path);
    EXPECT_NE(tip.find(u"CRC32 (Database): 00000000\nCRC32 (File): "), std::u16string::npos);
}

TEST_F(ShellObjectTest, NoInfoTipForFilesThatAreNotRoms) {
    cartscope::testing::writeFile(dir.file("empty.nds"), {});
    EXPECT_EQ(infoTip(dir.file("empty.nds")).first, E_FAIL);
    EXPECT_EQ(infoTip(dir.file("missing.nds")).first, E_FAIL);
    ComPtr<IQueryInfo> info;
    ASSERT_EQ(shell::testing::createObject(IID_IQueryInfo, info.putVoid()), S_OK);
    DWORD flags = 0;
    EXPECT_EQ(info->GetInfoFlags(&flags), E_NOTIMPL);
}

TEST_F(ShellObjectTest, IconLocation) {
    ComPtr<IExtractIconW> icon;
    ASSERT_EQ(shell::testing::createObject(IID_IExtractIconW, icon.putVoid()), S_OK);
    wchar_t file[MAX_PATH] = L"x";
    int index = 7;
    UINT flags = 0;
    EXPECT_EQ(icon->GetIconLocation(GIL_ASYNC, file, MAX_PATH, &index, &flags), E_PENDING);
    EXPECT_EQ(icon->GetIconLocation(GIL_DEFAULTICON, file, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(std::wstring(file), shell::testing::library().path);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_DONTCACHE));
    index = 7;
    EXPECT_EQ(icon->GetIconLocation(0, file, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(file[0], L'\0');
    EXPECT_EQ(index, 7) << "left unchanged";
    EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME | GIL_DONTCACHE));
}

TEST_F(ShellObjectTest, ExtractPaintsTheBannerIcon) {
    RomSpec card;
    card.palette[0] = cartscope::testing::rgb15(31, 0, 0);  // pure red, yet transparent
    card.palette[1] = cartscope::testing::rgb15(31, 31, 31);
    card.palette[2] = cartscope::testing::rgb15(16, 0, 1);
    for (int i = 0; i < 32 * 32; ++i) card.icon[static_cast<std::size_t>(i)] = 1;
    card.icon[0] = 1;
    card.icon[1] = 2;
    card.icon[2] = 0;
    card.icon[8] = 2;  // first pixel of the second tile
    const auto path = put("Icon.nds", card);

    ComPtr<IPersistFile> file;
    ASSERT_EQ(shell::testing::createObject(IID_IPersistFile, file.putVoid()), S_OK);
    ASSERT_EQ(file->Load(reinterpret_cast<LPCOLESTR>(path.c_str()), STGM_READ), S_OK);
    ComPtr<IExtractIconW> extract;
    ASSERT_EQ(file->QueryInterface(IID_IExtractIconW, extract.putVoid()), S_OK);
    HICON large = nullptr, small = nullptr;
    ASSERT_EQ(extract->Extract(L"", 0, &large, &small, MAKELONG(48, 16)), S_OK);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    for (HICON icon : {large, small}) {
        int side = 0;
        const auto pixels = iconPixels(icon, side);
        ASSERT_EQ(side, 32) << "never scaled";
        EXPECT_EQ(pixels[0], 0xFFFFFFFFu);
        EXPECT_EQ(pixels[1], 0xFF840008u);
        EXPECT_EQ(pixels[2] >> 24, 0u) << "index 0 is transparent";
        EXPECT_EQ(pixels[8], 0xFF840008u);
        DestroyIcon(icon);
    }

    small = nullptr;
    ASSERT_EQ(extract->Extract(L"", 0, nullptr, &small, MAKELONG(32, 16)), S_OK);
    EXPECT_NE(small, nullptr);
    DestroyIcon(small);
    EXPECT_EQ(extract->Extract(L"", 0, nullptr, nullptr, MAKELONG(32, 16)), S_OK);
}

TEST_F(ShellObjectTest, NonRomsGetTheLibraryIconAtTheAskedSizes) {
    cartscope::testing::writeFile(dir.file("empty.nds"), {});
    RomSpec noBanner;
    noBanner.bannerOffset = 0;
    const std::u16string paths[] = {dir.file("empty.nds"), put("plain.nds", noBanner)};
    for (const auto& path : paths) {
        ComPtr<IPersistFile> file;
        ASSERT_EQ(shell::testing::createObject(IID_IPersistFile, file.putVoid()), S_OK);
        ASSERT_EQ(file->Load(reinterpret_cast<LPCOLESTR>(path.c_str()), STGM_READ), S_OK);
        ComPtr<IExtractIconW> extract;
        ASSERT_EQ(file->QueryInterface(IID_IExtractIconW, extract.putVoid()), S_OK);
        HICON large = nullptr, small = nullptr;
        ASSERT_EQ(extract->Extract(L"", 0, &large, &small, MAKELONG(48, 16)), S_OK);
        int side = 0;
        iconPixels(large, side);
        EXPECT_EQ(side, 48);
        iconPixels(small, side);
        EXPECT_EQ(side, 16);
        DestroyIcon(large);
        DestroyIcon(small);
    }
}

TEST_F(ShellObjectTest, PropertyStoreFromStreams) {
    RomSpec card;
    card.gameCode = "PROE";
    card.makerCode = "01";
    const auto path = put("Props.nds", card);
    installDatabase(21, {release("PROE", "")});

    ComPtr<IStream> stream;
    ASSERT_EQ(SHCreateStreamOnFileEx(reinterpret_cast<LPCWSTR>(path.c_str()), STGM_READ, 0, FALSE, nullptr, stream.put()), S_OK);
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(shell::testing::createObject(IID_IInitializeWithStream, init.putVoid()), S_OK);
    ASSERT_EQ(init->Initialize(stream.get(), STGM_READ), S_OK);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(init->QueryInterface(IID_IPropertyStore, store.putVoid()), S_OK);

    DWORD count = 0;
    EXPECT_EQ(store->GetCount(&count), S_OK);
    EXPECT_EQ(count, 4u);
    PROPERTYKEY key = {};
    EXPECT_EQ(store->GetAt(1, &key), S_OK);
    EXPECT_TRUE(IsEqualGUID(key.fmtid, kClsidFileIconExt));
    EXPECT_EQ(key.pid, 3u);
    EXPECT_EQ(store->GetAt(4, &key), E_INVALIDARG);

    PROPVARIANT value;
    EXPECT_EQ(store->GetValue(PROPERTYKEY{kClsidFileIconExt, 1}, &value), S_OK);
    EXPECT_EQ(value.vt, VT_UI4);
    EXPECT_EQ(value.ulVal, 2u);
    PropVariantClear(&value);
    EXPECT_EQ(store->GetValue(PROPERTYKEY{kClsidFileIconExt, 3}, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(value.bstrVal), L"NTR-PROE-USA");
    PropVariantClear(&value);
    for (DWORD pid : {2u, 4u, 5u}) {
        EXPECT_EQ(store->GetValue(PROPERTYKEY{kClsidFileIconExt, pid}, &value), S_OK);
        EXPECT_EQ(value.vt, VT_EMPTY) << pid;
    }
    store->GetAt(3, &key);  // the publisher
    EXPECT_EQ(store->GetValue(key, &value), S_OK);
    EXPECT_EQ(std::wstring(value.bstrVal), L"Velmora");
    PropVariantClear(&value);

    PROPVARIANT newValue;
    PropVariantInit(&newValue);
    EXPECT_EQ(store->SetValue(key, newValue), E_FAIL);
    EXPECT_EQ(store->Commit(), STG_E_ACCESSDENIED);
    ComPtr<IPropertyStoreCapabilities> capabilities;
    ASSERT_EQ(store->QueryInterface(IID_IPropertyStoreCapabilities, capabilities.putVoid()), S_OK);
    EXPECT_EQ(capabilities->IsPropertyWritable(key), S_FALSE);
    EXPECT_EQ(cartscope::testing::readFile(path), buildRom(card)) << "the file never changes";

    // A stream that is not a ROM: refused, and the store is empty.
    cartscope::testing::writeFile(dir.file("bad.nds"), {1, 2, 3});
    ComPtr<IStream> bad;
    ASSERT_EQ(
        SHCreateStreamOnFileEx(reinterpret_cast<LPCWSTR>(dir.file("bad.nds").c_str()), STGM_READ, 0, FALSE, nullptr, bad.put()),
        S_OK);
    EXPECT_EQ(init->Initialize(bad.get(), STGM_READ), E_UNEXPECTED);
    EXPECT_EQ(store->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(store->GetAt(0, &key), E_INVALIDARG);
    EXPECT_EQ(store->GetValue(PROPERTYKEY{kClsidFileIconExt, 1}, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
}

TEST_F(ShellObjectTest, UnknownRomHasEmptyStringsAndTheMakersName) {
    RomSpec card;
    card.makerCode = "01";
    const auto path = put("Unknown.nds", card);
    ComPtr<IStream> stream;
    ASSERT_EQ(SHCreateStreamOnFileEx(reinterpret_cast<LPCWSTR>(path.c_str()), STGM_READ, 0, FALSE, nullptr, stream.put()), S_OK);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(shell::testing::createObject(IID_IPropertyStore, store.putVoid()), S_OK);
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(store->QueryInterface(IID_IInitializeWithStream, init.putVoid()), S_OK);
    ASSERT_EQ(init->Initialize(stream.get(), 0), S_OK);
    const std::pair<DWORD, const wchar_t*> expected[] = {{1, L""}, {2, L""}, {3, L"Nintendo"}};
    for (const auto& [index, text] : expected) {
        PROPERTYKEY key;
        ASSERT_EQ(store->GetAt(index, &key), S_OK);
        PROPVARIANT value;
        ASSERT_EQ(store->GetValue(key, &value), S_OK);
        ASSERT_EQ(value.vt, VT_BSTR) << index;
        EXPECT_EQ(std::wstring(value.bstrVal), text);
        PropVariantClear(&value);
    }
}

TEST_F(ShellObjectTest, ColumnProvider) {
    ComPtr<IColumnProvider> columns;
    ASSERT_EQ(shell::testing::createObject(IID_IColumnProvider, columns.putVoid()), S_OK);
    SHCOLUMNINIT init = {};
    EXPECT_EQ(columns->Initialize(&init), S_OK);
    SHCOLUMNINFO info;
    const wchar_t* titles[] = {L"Subsongs", L"ROM-Code", L"Genre", L"Publisher"};
    const DWORD flags[] = {0x22, 0x21, 0x21, 0x21};
    for (DWORD i = 0; i < 4; ++i) {
        ASSERT_EQ(columns->GetColumnInfo(i, &info), S_OK);
        EXPECT_EQ(std::wstring(info.wszTitle), titles[i]);
        EXPECT_EQ(std::wstring(info.wszDescription), titles[i]);
        EXPECT_EQ(info.vt, VT_LPWSTR);
        EXPECT_EQ(info.fmt, LVCFMT_LEFT);
        EXPECT_EQ(info.cChars, 8u);
        EXPECT_EQ(info.csFlags, flags[i]);
    }
    EXPECT_EQ(columns->GetColumnInfo(4, &info), S_FALSE);

    RomSpec card;
    card.makerCode = "01";
    const auto path = put("Columns.NDS", card);
    SHCOLUMNDATA data = {};
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    wchar_t upper[] = L".NDS", lower[] = L".nds", gba[] = L".gba";
    data.pwszExt = upper;
    lstrcpynW(data.wszFile, reinterpret_cast<LPCWSTR>(path.c_str()), MAX_PATH);
    SHCOLUMNID publisher;
    columns->GetColumnInfo(3, &info);
    publisher = info.scid;
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(columns->GetItemData(&publisher, &data, &value), S_OK) << "capitals count as .nds";
    EXPECT_EQ(std::wstring(value.bstrVal), L"Nintendo");
    VariantClear(&value);

    // The loaded ROM serves the next column of the same file, unless told to update.
    card.makerCode = "08";
    cartscope::testing::writeFile(path, buildRom(card));
    ASSERT_EQ(columns->GetItemData(&publisher, &data, &value), S_OK);
    EXPECT_EQ(std::wstring(value.bstrVal), L"Nintendo");
    VariantClear(&value);
    data.dwFlags = SHCDF_UPDATEITEM;
    ASSERT_EQ(columns->GetItemData(&publisher, &data, &value), S_OK);
    EXPECT_EQ(std::wstring(value.bstrVal), L"Capcom");
    VariantClear(&value);

    // A folder named like a ROM is not read.
    const auto folder = dir.path() / "Folder.nds";
    std::filesystem::create_directory(folder);
    SHCOLUMNDATA folderData = {};
    folderData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    folderData.pwszExt = lower;
    lstrcpynW(folderData.wszFile, folder.wstring().c_str(), MAX_PATH);
    EXPECT_EQ(columns->GetItemData(&publisher, &folderData, &value), S_FALSE);
    SHCOLUMNDATA other = data;
    other.pwszExt = gba;
    EXPECT_EQ(columns->GetItemData(&publisher, &other, &value), S_FALSE);
}

TEST_F(ShellObjectTest, AnswersExactlyItsInterfaces) {
    ComPtr<IUnknown> object;
    ASSERT_EQ(shell::testing::createObject(IID_IUnknown, object.putVoid()), S_OK);
    for (const IID* iid : {&IID_IUnknown, &IID_IPersistFile, &IID_IExtractIconW, &IID_IQueryInfo, &IID_IShellExtInit,
                           &IID_IContextMenu, &IID_IContextMenu2, &IID_IContextMenu3, &IID_IColumnProvider,
                           &IID_IInitializeWithStream, &IID_IPropertyStore, &IID_IPropertyStoreCapabilities}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(object->QueryInterface(*iid, answer.putVoid()), S_OK);
    }
    for (const IID* iid :
         {&IID_IDispatch, &IID_IPersist, &IID_IExtractIconA, &kIidFileIconExt, &IID_IClassFactory, &IID_IPersistStream}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(object->QueryInterface(*iid, answer.putVoid()), E_NOINTERFACE);
        EXPECT_FALSE(answer);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(shell::testing::createObject(IID_IDispatch, none.putVoid()), E_NOINTERFACE);
}

TEST_F(ShellObjectTest, ClassObjectAndUnloading) {
    const auto& l = shell::testing::library();
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(l.getClassObject(kClsidSecond, IID_IClassFactory, factory.putVoid()), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(factory);
    EXPECT_EQ(l.getClassObject(kClsidFileIconExt, IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(l.getClassObject(kClsidFileIconExt, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IClassFactory> again;
    ASSERT_EQ(l.getClassObject(kClsidFileIconExt, IID_IClassFactory, again.putVoid()), S_OK);
    EXPECT_EQ(factory.get(), again.get()) << "made once and kept";

    ComPtr<IUnknown> outer, aggregated;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.putVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, aggregated.putVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(l.canUnloadNow(), S_FALSE) << "an object lives";
    outer.reset();
    EXPECT_EQ(l.canUnloadNow(), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(l.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(l.canUnloadNow(), S_OK);
}

TEST_F(ShellObjectTest, LongPathsAreRefusedAndChangeNothing) {
    RomSpec card;
    const auto path = put("Kept.nds", card);
    ComPtr<IPersistFile> file;
    ASSERT_EQ(shell::testing::createObject(IID_IPersistFile, file.putVoid()), S_OK);
    ASSERT_EQ(file->Load(reinterpret_cast<LPCOLESTR>(path.c_str()), 0), S_OK);
    const std::wstring tooLong(260, L'a'), longest(259, L'b');
    EXPECT_EQ(file->Load(tooLong.c_str(), 0), E_INVALIDARG);
    ComPtr<IQueryInfo> info;
    ASSERT_EQ(file->QueryInterface(IID_IQueryInfo, info.putVoid()), S_OK);
    WCHAR* tip = nullptr;
    ASSERT_EQ(info->GetInfoTip(0, &tip), S_OK) << "still the first path";
    EXPECT_EQ(narrow16(tip).rfind(u"Kept.nds\n", 0), 0u);
    CoTaskMemFree(tip);
    EXPECT_EQ(file->Load(longest.c_str(), 0), S_OK);
    CLSID clsid;
    EXPECT_EQ(file->GetClassID(&clsid), E_NOTIMPL);
    EXPECT_EQ(file->IsDirty(), E_NOTIMPL);
}

TEST_F(ShellObjectTest, ShellExtInitTakesTheDroppedNames) {
    ComPtr<IShellExtInit> init;
    ASSERT_EQ(shell::testing::createObject(IID_IShellExtInit, init.putVoid()), S_OK);
    shell::testing::DropData noDrop({}, false), empty({}, true), names({L"C:\\a.nds", L"C:\\folder"}, true);
    EXPECT_EQ(init->Initialize(nullptr, &noDrop, nullptr), E_INVALIDARG);
    // An empty list: Windows counts no names (E_INVALIDARG); Wine counts one
    // empty name, which is skipped, and a count that is not 0 gives S_OK.
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(empty.GetData(&format, &medium), S_OK);
    const UINT emptyCount = DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(init->Initialize(nullptr, &empty, nullptr), emptyCount == 0 ? E_INVALIDARG : S_OK);
    EXPECT_EQ(init->Initialize(nullptr, &names, nullptr), S_OK);
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
}

namespace {

std::wstring versionString(const std::vector<BYTE>& block, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
    return value;
}

BOOL CALLBACK collectIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<int>*>(list)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

}  // namespace

TEST_F(ShellObjectTest, ResourcesOfTheLibrary) {
    const auto& l = shell::testing::library();
    const DWORD size = GetFileVersionInfoSizeW(l.path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(l.path.c_str(), 0, size, block.data()));
    EXPECT_EQ(versionString(block, L"CompanyName"), L"Velmora");
    EXPECT_EQ(versionString(block, L"FileDescription"), L"Cartscope");
    EXPECT_EQ(versionString(block, L"ProductName"), L"Cartscope");
    EXPECT_EQ(versionString(block, L"InternalName"), L"Cartscope.dll");
    EXPECT_EQ(versionString(block, L"OriginalFilename"), L"Cartscope.dll");
    EXPECT_EQ(versionString(block, L"FileVersion"), L"1.2.0.0");
    EXPECT_EQ(versionString(block, L"ProductVersion"), L"1.2.0.0");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);

    wchar_t text[64] = {};
    EXPECT_GT(LoadStringW(l.module, 100, text, 64), 0);
    EXPECT_EQ(std::wstring(text), L"Cartscope");

    // 208 first, then 214: the default icon (index 1) is the second group.
    std::vector<int> groups;
    EnumResourceNamesW(l.module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, collectIconGroup, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, (std::vector<int>{208, 214, 215, 216, 217, 218, 219, 220}));
    EXPECT_NE(FindResourceW(l.module, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    EXPECT_NE(FindResourceW(l.module, MAKEINTRESOURCEW(221), MAKEINTRESOURCEW(23) /* RT_HTML */), nullptr);
}
