// Registration of Cartscope.dll, driven the way regsvr32 and installers drive
// it: each scenario copies the library and this program into a scratch folder
// and runs the program there as a registration host (a child process, so that
// every run loads the library afresh with the per-user flag off). The host
// redirects HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE into
// scratch keys of its own, calls the library's registration exports and
// reports their results; the tests then read the scratch keys and the folder.
//
// The property system is played by fake_propsys.dll, copied into the scratch
// folder as propsys.dll: Windows (and Wine) load a DLL from the program's
// folder before the system's. Wine's own propsys.dll cannot stand in: its
// PSUnregisterPropertySchema is not implemented, and its schema registration
// does nothing that could be checked. Wine also takes WINEDLLOVERRIDES only
// from the environment that Wine itself starts with, not from a child's, so a
// missing property system is played by the fake refusing to load.
#include <gtest/gtest.h>

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/com_support.h"
#include "win/library.h"
#include "win/module_path.h"
#include "win/process.h"
#include "win/reg_key.h"

namespace fs = std::filesystem;
using cartscope::shell::testing::ComPtr;

namespace {

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring widen(const std::string& bytes) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

// ---------------------------------------------------------------------------
// What registration must write. M stands for the library's path.

constexpr wchar_t kClsid[] = L"{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}";
constexpr wchar_t kModuleMark[] = L"<M>";
constexpr wchar_t kHandlers[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{8B2F6D40-3C17-4E95-A6D2-0F4C9B71E358}\\1.0";

enum class Mode { Keep, Replace, Inside };

struct ExpectedKey {
    std::wstring path;
    Mode mode;
    std::map<std::wstring, std::wstring> values;  // "" is the default value
};

std::vector<ExpectedKey> classEntries() {
    const std::wstring clsid = kClsid;
    std::vector<ExpectedKey> keys = {
        {L"CLSID", Mode::Keep, {}},
        {L"CLSID\\" + clsid, Mode::Replace, {{L"", L"NDS Files"}}},
        {L"CLSID\\" + clsid + L"\\InprocServer32", Mode::Inside, {{L"", kModuleMark}, {L"ThreadingModel", L"Apartment"}}},
        {L"CLSID\\{5E7A3C22-B94D-4F18-9C2E-71D0A6B3F4C5}", Mode::Replace, {{L"", L"NDS Files"}}},
        {L"CLSID\\{5E7A3C22-B94D-4F18-9C2E-71D0A6B3F4C5}\\InprocServer32",
         Mode::Inside,
         {{L"", kModuleMark}, {L"ThreadingModel", L"Apartment"}}},
        {L"Folder", Mode::Keep, {}},
        {L"Folder\\Shellex", Mode::Keep, {}},
        {L"Folder\\Shellex\\ColumnHandlers", Mode::Keep, {}},
        {L"Folder\\Shellex\\ColumnHandlers\\" + clsid, Mode::Replace, {{L"", L"Cartscope column ext"}}},
        {L".nds", Mode::Keep, {{L"", L"nds_auto_file"}}},
        {L"nds_auto_file", Mode::Keep, {}},
    };
    for (const std::wstring type : {L".nds", L"nds_auto_file"}) {
        keys.push_back({type + L"\\DefaultIcon", Mode::Keep, {{L"", L"%1"}}});
        keys.push_back({type + L"\\ShellEx", Mode::Keep, {}});
        keys.push_back({type + L"\\ShellEx\\IconHandler", Mode::Replace, {{L"", clsid}}});
        keys.push_back({type + L"\\ShellEx\\{00021500-0000-0000-C000-000000000046}", Mode::Replace, {{L"", clsid}}});
        keys.push_back({type + L"\\ShellEx\\ContextMenuHandlers", Mode::Keep, {}});
        keys.push_back({type + L"\\ShellEx\\ContextMenuHandlers\\" + clsid, Mode::Replace, {}});
    }
    return keys;
}

std::vector<ExpectedKey> machineEntries() {
    return {
        {L"SOFTWARE", Mode::Keep, {}},
        {L"SOFTWARE\\Microsoft", Mode::Keep, {}},
        {L"SOFTWARE\\Microsoft\\Windows", Mode::Keep, {}},
        {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", Mode::Keep, {}},
        {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem", Mode::Keep, {}},
        {kHandlers, Mode::Keep, {}},
        {std::wstring(kHandlers) + L"\\.nds", Mode::Replace, {{L"", kClsid}}},
    };
}

// ---------------------------------------------------------------------------
// Registry access.

using Key = cartscope::win::RegKey;

Key openKey(HKEY parent, const std::wstring& path) {
    Key key;
    key.open(parent, path.c_str(), KEY_READ);
    return key;
}

Key createKey(HKEY parent, const std::wstring& path) {
    Key key;
    key.create(parent, path.c_str(), KEY_ALL_ACCESS);
    return key;
}

bool keyExists(HKEY parent, const std::wstring& path) { return static_cast<bool>(openKey(parent, path)); }

void setString(HKEY parent, const std::wstring& path, const wchar_t* name, const std::wstring& data) {
    const Key key = createKey(parent, path);
    ASSERT_TRUE(key) << "cannot create " << narrow(path);
    ASSERT_EQ(key.setString(name, data), ERROR_SUCCESS);
}

struct StoredValue {
    DWORD type = 0;
    std::wstring text;
};

// Every value of a key by name ("" for the default value).
std::map<std::wstring, StoredValue> valuesOf(HKEY key) {
    std::map<std::wstring, StoredValue> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName, &longestData, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0; index < count; ++index) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<BYTE> data(longestData + sizeof(wchar_t), 0);
        DWORD nameLength = longestName + 1, dataSize = longestData, type = 0;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            continue;
        name.resize(nameLength);
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), dataSize / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        values[name] = {type, text};
    }
    return values;
}

// The keys are where they belong, each with its values as strings. Keys
// written in replace mode hold nothing else; keys in keep mode may hold more.
void expectRegistered(HKEY root, const std::vector<ExpectedKey>& keys, const std::wstring& module) {
    for (const ExpectedKey& expected : keys) {
        SCOPED_TRACE(narrow(expected.path));
        const Key key = openKey(root, expected.path);
        ASSERT_TRUE(key) << "missing key";
        const auto values = valuesOf(key.get());
        if (expected.mode != Mode::Keep) {
            EXPECT_EQ(values.size(), expected.values.size()) << "stray values";
        }
        for (const auto& [name, data] : expected.values) {
            SCOPED_TRACE("value \"" + narrow(name) + "\"");
            const auto found = values.find(name);
            ASSERT_NE(found, values.end()) << "missing value";
            EXPECT_EQ(found->second.type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(narrow(found->second.text), narrow(data == kModuleMark ? module : data));
        }
    }
}

// After unregistration: replace-mode keys (and what they held) are gone,
// keep-mode keys stay with their values.
void expectUnregistered(HKEY root, const std::vector<ExpectedKey>& keys) {
    for (const ExpectedKey& expected : keys) {
        SCOPED_TRACE(narrow(expected.path));
        const Key key = openKey(root, expected.path);
        if (expected.mode != Mode::Keep) {
            EXPECT_FALSE(key) << "left behind";
            continue;
        }
        ASSERT_TRUE(key) << "keep-mode key removed";
        const auto values = valuesOf(key.get());
        for (const auto& [name, data] : expected.values) {
            const auto found = values.find(name);
            ASSERT_NE(found, values.end()) << "value \"" << narrow(name) << "\" removed";
            EXPECT_EQ(narrow(found->second.text), narrow(data));
        }
    }
}

void expectNoneOf(HKEY root, const std::vector<ExpectedKey>& keys) {
    for (const ExpectedKey& expected : keys) EXPECT_FALSE(keyExists(root, expected.path)) << narrow(expected.path);
}

bool runningOnWine() { return cartscope::win::procedure<FARPROC>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// ---------------------------------------------------------------------------
// The host: this program, started as
//   registration_tests --registration-host LIBRARY SCRATCHKEY RESULTS [--broken-local-machine] STEP...
// with the steps register, unregister, install[:COMMANDLINE], uninstall[:COMMANDLINE]
// ("install" alone passes no command line). For each step it writes a line
// "STEP RESULT LOCALE" (both hexadecimal; LOCALE is the thread locale after the
// call, which the host sets to German before it) to RESULTS.

constexpr LCID kHostLocale = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);

using RegisterFunction = HRESULT(__stdcall*)();
using InstallFunction = HRESULT(__stdcall*)(BOOL, LPCWSTR);

template <class Function>
Function exported(HMODULE module, const char* name) {
    return cartscope::win::procedure<Function>(module, name);
}

int runHost(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    const std::wstring library = argv[2];
    const std::wstring scratch = argv[3];
    std::unique_ptr<FILE, int (*)(FILE*)> results(_wfopen(argv[4], L"w"), &fclose);
    if (!results) return 3;
    int next = 5;
    const bool brokenMachine = next < argc && std::wstring(argv[next]) == L"--broken-local-machine";
    if (brokenMachine) ++next;

    // Redirection of the three roots into the scratch key.
    const Key classesRoot = createKey(HKEY_CURRENT_USER, scratch + L"\\ClassesRoot");
    const Key currentUser = createKey(HKEY_CURRENT_USER, scratch + L"\\CurrentUser");
    const Key localMachine = createKey(HKEY_CURRENT_USER, scratch + L"\\LocalMachine");
    if (!classesRoot || !currentUser || !localMachine) return 4;
    // A deleted key refuses every write, as HKEY_LOCAL_MACHINE does to a user
    // without administrator rights (Wine does not enforce registry
    // permissions, so that cannot be had directly).
    if (brokenMachine && cartscope::win::deleteTree(HKEY_CURRENT_USER, (scratch + L"\\LocalMachine").c_str()) != ERROR_SUCCESS)
        return 5;
    if (RegOverridePredefKey(HKEY_CLASSES_ROOT, classesRoot.get()) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, currentUser.get()) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, localMachine.get()) != ERROR_SUCCESS)
        return 6;

    // As regsvr32 does.
    if (FAILED(OleInitialize(nullptr))) return 7;
    cartscope::win::Library loaded(library.c_str());
    const HMODULE module = loaded.get();
    if (!module) return 8;
    const auto registerServer = exported<RegisterFunction>(module, "DllRegisterServer");
    const auto unregisterServer = exported<RegisterFunction>(module, "DllUnregisterServer");
    const auto install = exported<InstallFunction>(module, "DllInstall");
    if (!registerServer || !unregisterServer || !install) return 9;

    for (; next < argc; ++next) {
        const std::wstring step = argv[next];
        const std::size_t colon = step.find(L':');
        const std::wstring verb = step.substr(0, colon);
        const std::optional<std::wstring> commandLine =
            colon == std::wstring::npos ? std::nullopt : std::optional<std::wstring>(step.substr(colon + 1));
        SetThreadLocale(kHostLocale);
        HRESULT result = E_INVALIDARG;
        if (verb == L"register")
            result = registerServer();
        else if (verb == L"unregister")
            result = unregisterServer();
        else if (verb == L"install" || verb == L"uninstall")
            result = install(verb == L"install", commandLine ? commandLine->c_str() : nullptr);
        std::fprintf(results.get(), "%ls %08lx %08lx\n", step.c_str(), static_cast<unsigned long>(result),
                     static_cast<unsigned long>(GetThreadLocale()));
    }
    loaded.reset();
    OleUninitialize();
    return 0;
}

// ---------------------------------------------------------------------------
// Scenarios.

std::wstring programPath() { return cartscope::win::modulePath(); }

std::wstring hex(HRESULT result) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%08lx", static_cast<unsigned long>(result));
    return text;
}

enum class Propsys {
    Recording,  // the fake, answering as configured
    Missing,    // the fake, refusing to load
};

struct HostOptions {
    Propsys propsys = Propsys::Recording;
    HRESULT registerSchemaResult = S_OK;
    HRESULT unregisterSchemaResult = S_OK;
    bool brokenLocalMachine = false;
};

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        const std::wstring name =
            L"cartscope-registration-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
        folder_ = fs::temp_directory_path() / name;
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        const fs::path programFolder = fs::path(programPath()).parent_path();
        fs::copy_file(programFolder / L"Cartscope.dll", folder_ / L"Cartscope.dll");
        fs::copy_file(programPath(), folder_ / L"registration_host.exe");
        fs::copy_file(programFolder / L"fake_propsys.dll", folder_ / L"propsys.dll");
        module_ = (folder_ / L"Cartscope.dll").wstring();
        schema_ = (folder_ / L"Cartscope.propdesc").wstring();

        scratch_ = L"Software\\CartscopeTests\\" + name;
        cartscope::win::deleteTree(HKEY_CURRENT_USER, scratch_.c_str());
        classesRoot_ = createKey(HKEY_CURRENT_USER, scratch_ + L"\\ClassesRoot");
        currentUser_ = createKey(HKEY_CURRENT_USER, scratch_ + L"\\CurrentUser");
        localMachine_ = createKey(HKEY_CURRENT_USER, scratch_ + L"\\LocalMachine");
        ASSERT_TRUE(classesRoot_ && currentUser_ && localMachine_);
    }

    void TearDown() override {
        classesRoot_ = Key();
        currentUser_ = Key();
        localMachine_ = Key();
        cartscope::win::deleteTree(HKEY_CURRENT_USER, scratch_.c_str());
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs the host with `steps` and gives each step's result.
    std::vector<HRESULT> host(const std::vector<std::wstring>& steps, const HostOptions& options = {}) {
        const std::wstring resultsPath = (folder_ / L"results.txt").wstring();
        DeleteFileW(resultsPath.c_str());
        std::wstring commandLine = L"\"" + (folder_ / L"registration_host.exe").wstring() + L"\" --registration-host \"" +
                                   module_ + L"\" \"" + scratch_ + L"\" \"" + resultsPath + L"\"";
        if (options.brokenLocalMachine) commandLine += L" --broken-local-machine";
        for (const std::wstring& step : steps) commandLine += L" \"" + step + L"\"";

        std::vector<std::wstring> settings = {
            L"CARTSCOPE_FAKE_PROPSYS_LOG=" + log(),
            L"CARTSCOPE_FAKE_PROPSYS_REGISTER_RESULT=" + hex(options.registerSchemaResult),
            L"CARTSCOPE_FAKE_PROPSYS_UNREGISTER_RESULT=" + hex(options.unregisterSchemaResult),
        };
        if (options.propsys == Propsys::Missing) settings.push_back(L"CARTSCOPE_FAKE_PROPSYS_REFUSE_LOAD=1");
        std::wstring environment = environmentWith(settings);

        const cartscope::win::StartedProcess process = cartscope::win::startProcess(
            nullptr, commandLine, CREATE_UNICODE_ENVIRONMENT, environment.data(), folder_.wstring().c_str());
        if (!process) {
            ADD_FAILURE() << "cannot start the host: " << process.error;
            return {};
        }
        // Far above the fraction of a second a run takes; ends a hung host
        // before ctest ends this program and leaves the host behind.
        if (WaitForSingleObject(process.process.get(), 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.process.get(), 1);
            ADD_FAILURE() << "the host did not end";
            return {};
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(process.process.get(), &exitCode);
        EXPECT_EQ(exitCode, 0u) << "host failed to set up";

        std::vector<HRESULT> results;
        std::ifstream file(folder_ / L"results.txt");
        std::string step;
        unsigned long result = 0, locale = 0;
        while (file >> step >> std::hex >> result >> locale) {
            results.push_back(static_cast<HRESULT>(result));
            EXPECT_EQ(locale, kHostLocale) << "thread locale not restored after " << step;
        }
        EXPECT_EQ(results.size(), steps.size());
        return results;
    }

    std::wstring log() const { return (folder_ / L"propsys.log").wstring(); }

    // The fake's record, one call a line.
    std::vector<std::wstring> propsysCalls() const {
        std::vector<std::wstring> calls;
        std::ifstream file(folder_ / L"propsys.log", std::ios::binary);
        std::string line;
        while (std::getline(file, line)) calls.push_back(widen(line));
        return calls;
    }

    HKEY classesRoot() const { return classesRoot_.get(); }
    HKEY localMachine() const { return localMachine_.get(); }
    Key userClasses() const { return openKey(currentUser_.get(), L"Software\\Classes"); }
    const std::wstring& module() const { return module_; }
    const std::wstring& schema() const { return schema_; }
    bool schemaExists() const { return GetFileAttributesW(schema_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Where the type library's registration lands.
    void expectTypeLibraryRegistered(HKEY root) {
        const Key version = openKey(root, kTypeLibKey);
        ASSERT_TRUE(version) << "type library not registered";
        EXPECT_EQ(narrow(valuesOf(version.get())[L""].text), "Cartscope 1.0 Type Library");
        const Key file = openKey(version.get(), L"0\\win64");
        ASSERT_TRUE(file);
        EXPECT_EQ(narrow(valuesOf(file.get())[L""].text), narrow(module_));
    }

private:
    static std::wstring environmentWith(const std::vector<std::wstring>& settings) {
        std::wstring block;
        std::unique_ptr<wchar_t, decltype(&FreeEnvironmentStringsW)> current(GetEnvironmentStringsW(), &FreeEnvironmentStringsW);
        for (const wchar_t* entry = current.get(); *entry; entry += wcslen(entry) + 1) {
            if (std::wstring(entry).rfind(L"CARTSCOPE_FAKE_PROPSYS_", 0) == 0) continue;
            block.append(entry).push_back(L'\0');
        }
        for (const std::wstring& setting : settings) block.append(setting).push_back(L'\0');
        block.push_back(L'\0');
        return block;
    }

    fs::path folder_;
    std::wstring module_;
    std::wstring schema_;
    std::wstring scratch_;
    Key classesRoot_;
    Key currentUser_;
    Key localMachine_;
};

const HRESULT kKeyDeleted = HRESULT_FROM_WIN32(ERROR_KEY_DELETED);

// ---------------------------------------------------------------------------
// Registry entries.

TEST_F(Registration, RegisterServerWritesEveryEntryForTheMachineAndUnregisterRemovesTheHandlers) {
    EXPECT_EQ(host({L"register"}), std::vector<HRESULT>{S_OK});
    expectRegistered(classesRoot(), classEntries(), module());
    expectRegistered(localMachine(), machineEntries(), module());
    expectTypeLibraryRegistered(classesRoot());
    EXPECT_FALSE(userClasses() && keyExists(userClasses().get(), L"CLSID"));

    EXPECT_EQ(host({L"unregister"}), std::vector<HRESULT>{S_OK});
    expectUnregistered(classesRoot(), classEntries());
    expectUnregistered(localMachine(), machineEntries());
    EXPECT_FALSE(keyExists(classesRoot(), kTypeLibKey));

    // Nothing left to remove is no failure.
    EXPECT_EQ(host({L"unregister"}), std::vector<HRESULT>{S_OK});
}

TEST_F(Registration, ReplaceKeysAreWrittenAfreshWhileKeepKeysKeepWhatOthersPutThere) {
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsid;
    setString(classesRoot(), clsidKey + L"\\Stale", nullptr, L"old");
    setString(classesRoot(), clsidKey + L"\\InprocServer32", nullptr, L"C:\\old\\Cartscope.dll");
    setString(classesRoot(), clsidKey + L"\\InprocServer32", L"Extra", L"old");
    setString(classesRoot(), L".nds\\ShellEx\\IconHandler\\Stale", nullptr, L"old");
    setString(classesRoot(), L".nds", L"Content Type", L"application/x-nintendo-ds-rom");
    setString(classesRoot(), L".nds\\OpenWithProgids", L"Other.App", L"");
    setString(classesRoot(), L"CLSID\\{11111111-2222-3333-4444-555555555555}", nullptr, L"Someone else");
    setString(localMachine(), std::wstring(kHandlers) + L"\\.txt", nullptr, L"{00000000-0000-0000-0000-000000000001}");
    if (HasFatalFailure()) return;

    EXPECT_EQ(host({L"register"}), std::vector<HRESULT>{S_OK});
    expectRegistered(classesRoot(), classEntries(), module());
    EXPECT_FALSE(keyExists(classesRoot(), clsidKey + L"\\Stale"));
    EXPECT_FALSE(keyExists(classesRoot(), L".nds\\ShellEx\\IconHandler\\Stale"));

    EXPECT_EQ(host({L"unregister"}), std::vector<HRESULT>{S_OK});
    expectUnregistered(classesRoot(), classEntries());
    {
        const Key nds = openKey(classesRoot(), L".nds");
        ASSERT_TRUE(nds);
        auto values = valuesOf(nds.get());
        EXPECT_EQ(narrow(values[L"Content Type"].text), "application/x-nintendo-ds-rom");
        EXPECT_EQ(narrow(values[L""].text), "nds_auto_file");
    }
    {
        const Key icon = openKey(classesRoot(), L".nds\\DefaultIcon");
        ASSERT_TRUE(icon);
        EXPECT_EQ(narrow(valuesOf(icon.get())[L""].text), "%1");
    }
    EXPECT_TRUE(keyExists(classesRoot(), L".nds\\OpenWithProgids"));
    EXPECT_TRUE(keyExists(classesRoot(), L"CLSID\\{11111111-2222-3333-4444-555555555555}"));
    EXPECT_TRUE(keyExists(localMachine(), std::wstring(kHandlers) + L"\\.txt"));
}

TEST_F(Registration, InstallForUserWritesClassEntriesUnderTheUsersClassesButTheHandlerForTheMachine) {
    EXPECT_EQ(host({L"install:USER"}), std::vector<HRESULT>{S_OK});
    {
        const Key userRoot = userClasses();
        ASSERT_TRUE(userRoot);
        expectRegistered(userRoot.get(), classEntries(), module());
        // Wine registers a per-user type library for the machine.
        expectTypeLibraryRegistered(runningOnWine() ? classesRoot() : userRoot.get());
    }
    expectRegistered(localMachine(), machineEntries(), module());
    expectNoneOf(classesRoot(), classEntries());

    EXPECT_EQ(host({L"uninstall:user"}), std::vector<HRESULT>{S_OK});
    {
        const Key userRoot = userClasses();
        ASSERT_TRUE(userRoot);
        expectUnregistered(userRoot.get(), classEntries());
        EXPECT_FALSE(keyExists(userRoot.get(), kTypeLibKey));
    }
    EXPECT_FALSE(keyExists(classesRoot(), kTypeLibKey));
    expectUnregistered(localMachine(), machineEntries());
}

TEST_F(Registration, InstallWithAnyOtherCommandLineRegistersForTheMachine) {
    for (const wchar_t* step : {L"install:users", L"install:use", L"install:", L"install"}) {
        SCOPED_TRACE(narrow(step));
        EXPECT_EQ(host({step}), std::vector<HRESULT>{S_OK});
        expectRegistered(classesRoot(), classEntries(), module());
        EXPECT_FALSE(userClasses() && keyExists(userClasses().get(), std::wstring(L"CLSID\\") + kClsid));

        EXPECT_EQ(host({L"uninstall:users"}), std::vector<HRESULT>{S_OK});
        expectUnregistered(classesRoot(), classEntries());
    }
}

TEST_F(Registration, PerUserModeStaysOnWhileTheLibraryIsLoaded) {
    EXPECT_EQ(host({L"install:User", L"install:users", L"register"}), (std::vector<HRESULT>{S_OK, S_OK, S_OK}));
    const Key userRoot = userClasses();
    ASSERT_TRUE(userRoot);
    expectRegistered(userRoot.get(), classEntries(), module());
    expectNoneOf(classesRoot(), classEntries());
}

// ---------------------------------------------------------------------------
// The property schema.

// The descriptions in the written schema file, as "name formatID propID label".
std::vector<std::string> schemaDescriptions(const std::wstring& path) {
    constexpr CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
    constexpr IID kXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
    std::vector<std::string> found;
    ComPtr<IXMLDOMDocument2> document;
    EXPECT_EQ(CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kXmlDomDocument2, document.putVoid()), S_OK);
    if (!document) return found;
    document->put_async(VARIANT_FALSE);
    VARIANT file;
    VariantInit(&file);
    file.vt = VT_BSTR;
    file.bstrVal = SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->load(file, &loaded);
    VariantClear(&file);
    EXPECT_EQ(loaded, VARIANT_TRUE) << "schema file missing or not well-formed";
    if (loaded != VARIANT_TRUE) return found;

    VARIANT namespaces;
    VariantInit(&namespaces);
    namespaces.vt = VT_BSTR;
    namespaces.bstrVal = SysAllocString(L"xmlns:p='http://schemas.microsoft.com/windows/2006/propertydescription'");
    BSTR property = SysAllocString(L"SelectionNamespaces");
    EXPECT_EQ(document->setProperty(property, namespaces), S_OK);
    SysFreeString(property);
    VariantClear(&namespaces);

    auto text = [](IXMLDOMNode* node, const wchar_t* xpath) {
        ComPtr<IXMLDOMNode> item;
        BSTR query = SysAllocString(xpath);
        node->selectSingleNode(query, item.put());
        SysFreeString(query);
        if (!item) return std::string("<none>");
        BSTR value = nullptr;
        item->get_text(&value);
        const std::string result = narrow(value ? std::wstring(value, SysStringLen(value)) : std::wstring());
        SysFreeString(value);
        return result;
    };
    EXPECT_EQ(text(document.get(), L"/p:schema/@schemaVersion"), "1.0");
    EXPECT_EQ(text(document.get(), L"/p:schema/p:propertyDescriptionList/@publisher"), "Velmora");
    EXPECT_EQ(text(document.get(), L"/p:schema/p:propertyDescriptionList/@product"), "Cartscope");

    ComPtr<IXMLDOMNodeList> descriptions;
    BSTR query = SysAllocString(L"/p:schema/p:propertyDescriptionList/p:propertyDescription");
    document->selectNodes(query, descriptions.put());
    SysFreeString(query);
    if (!descriptions) return found;
    long count = 0;
    descriptions->get_length(&count);
    for (long index = 0; index < count; ++index) {
        ComPtr<IXMLDOMNode> description;
        descriptions->get_item(index, description.put());
        found.push_back(text(description.get(), L"@name") + " " + text(description.get(), L"@formatID") + " " +
                        text(description.get(), L"@propID") + " " + text(description.get(), L"p:labelInfo/@label"));
    }
    return found;
}

// COM for the test's own reading of the schema file.
class SchemaRegistration : public Registration {
protected:
    void SetUp() override {
        Registration::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        comReady_ = true;
    }
    void TearDown() override {
        if (comReady_) CoUninitialize();
        Registration::TearDown();
    }

private:
    bool comReady_ = false;
};

TEST_F(SchemaRegistration, IsWrittenBesideTheLibraryThenRegisteredAndDeletedOnUnregistration) {
    EXPECT_EQ(host({L"register"}), std::vector<HRESULT>{S_OK});
    const std::vector<std::string> expected = {
        "Velmora.nds.genre {5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5} 1 Genre",
        "Windows.Registry.TypeDisplay {5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5} 4 NDS-Type",
        "Windows.Registry.Data {5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5} 2 NDS-Data",
        "Velmora.nds.rom-code {5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5} 3 ROM-Code",
    };
    EXPECT_EQ(schemaDescriptions(schema()), expected);
    EXPECT_EQ(propsysCalls(), std::vector<std::wstring>{L"register " + schema() + L" present"});

    EXPECT_EQ(host({L"unregister"}), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(propsysCalls(),
              (std::vector<std::wstring>{L"register " + schema() + L" present", L"unregister " + schema() + L" present"}));
    EXPECT_FALSE(schemaExists());
}

TEST_F(SchemaRegistration, FailureToRegisterItFailsNeitherRegisterServerNorInstall) {
    const HostOptions refused{Propsys::Recording, E_ACCESSDENIED, S_OK};
    EXPECT_EQ(host({L"register"}, refused), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(host({L"install"}, refused), std::vector<HRESULT>{S_OK});
    const std::wstring call = L"register " + schema() + L" present";
    EXPECT_EQ(propsysCalls(), (std::vector<std::wstring>{call, call}));
    expectRegistered(classesRoot(), classEntries(), module());
    expectRegistered(localMachine(), machineEntries(), module());
}

TEST_F(SchemaRegistration, FailureToUnregisterItLeavesTheLibraryRegistered) {
    EXPECT_EQ(host({L"register"}), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(host({L"unregister"}, {Propsys::Recording, S_OK, E_ACCESSDENIED}), std::vector<HRESULT>{E_ACCESSDENIED});
    EXPECT_EQ(host({L"uninstall"}, {Propsys::Recording, S_OK, E_NOTIMPL}), std::vector<HRESULT>{E_NOTIMPL});
    expectRegistered(classesRoot(), classEntries(), module());
    expectRegistered(localMachine(), machineEntries(), module());
    expectTypeLibraryRegistered(classesRoot());
    EXPECT_TRUE(schemaExists());
}

TEST_F(SchemaRegistration, WithoutAPropertySystemItIsNeitherWrittenNorRequired) {
    const HostOptions missing{Propsys::Missing};
    EXPECT_EQ(host({L"register"}, missing), std::vector<HRESULT>{S_OK});
    expectRegistered(classesRoot(), classEntries(), module());
    EXPECT_FALSE(schemaExists());

    EXPECT_EQ(host({L"unregister"}, missing), std::vector<HRESULT>{S_OK});
    expectUnregistered(classesRoot(), classEntries());
    expectUnregistered(localMachine(), machineEntries());
    EXPECT_TRUE(propsysCalls().empty());
}

// ---------------------------------------------------------------------------
// Failed module registration (no write access to HKEY_LOCAL_MACHINE).

TEST_F(SchemaRegistration, FailedInstallIsRolledBack) {
    HostOptions broken;
    broken.brokenLocalMachine = true;
    EXPECT_EQ(host({L"install:user"}, broken), std::vector<HRESULT>{kKeyDeleted});
    EXPECT_EQ(propsysCalls(), std::vector<std::wstring>{L"unregister " + schema() + L" absent"});
    const Key userRoot = userClasses();
    ASSERT_TRUE(userRoot);
    expectUnregistered(userRoot.get(), classEntries());
    EXPECT_FALSE(schemaExists());
}

TEST_F(SchemaRegistration, FailedInstallKeepsItsEntriesWhenTheSchemaCannotBeUnregistered) {
    HostOptions broken;
    broken.brokenLocalMachine = true;
    broken.unregisterSchemaResult = E_FAIL;
    EXPECT_EQ(host({L"install"}, broken), std::vector<HRESULT>{kKeyDeleted});
    EXPECT_EQ(propsysCalls(), std::vector<std::wstring>{L"unregister " + schema() + L" absent"});
    expectRegistered(classesRoot(), classEntries(), module());
}

TEST_F(SchemaRegistration, FailedRegisterServerReportsTheErrorWithoutRollingBackOrWritingTheSchema) {
    HostOptions broken;
    broken.brokenLocalMachine = true;
    EXPECT_EQ(host({L"register"}, broken), std::vector<HRESULT>{kKeyDeleted});
    EXPECT_TRUE(propsysCalls().empty());
    EXPECT_FALSE(schemaExists());
    expectRegistered(classesRoot(), classEntries(), module());
}

}  // namespace

int main(int argc, char** argv) {
    // Started as the registration host by the tests above.
    int wideCount = 0;
    const std::unique_ptr<wchar_t*, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &wideCount), &LocalFree);
    if (wide && wideCount > 1 && std::wstring(wide.get()[1]) == L"--registration-host") return runHost(wideCount, wide.get());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
