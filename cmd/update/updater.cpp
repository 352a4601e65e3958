#include "cmd/update/updater.h"

#include <shellapi.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "cmd/framework/application.h"
#include "cmd/update/downloader.h"
#include "cmd/update/signature.h"
#include "core/command_request.h"
#include "core/platform/data_folder.h"
#include "core/platform/database_lock.h"
#include "core/release_database.h"
#include "core/settings.h"
#include "core/text.h"
#include "cmd/update/version_file.h"
#include "win/handle.h"
#include "win/module_path.h"
#include "win/path.h"
#include "win/pe_image.h"
#include "win/text.h"
#include "win/version_info.h"

#include "cartscope_update_key.h"

namespace cartscope::update {

namespace {

using win::CFileVersionInfo;
using win::peMachineBits;

constexpr int kProgramIcon = 128;

// Fetches `url` as it comes, byte for byte.
bool fetchBytes(CcURLClient& client, const std::string& url, std::string& bytes) {
    unsigned char* block = nullptr;
    std::size_t length = 0;
    if (!client.fetchToMemory(&block, &length, url)) return false;
    const std::unique_ptr<unsigned char, decltype(&std::free)> owned(block, &std::free);
    bytes.assign(reinterpret_cast<const char*>(block), length);
    return true;
}

// Texts from the server and libcurl: ASCII, any other byte taken as Latin-1.
std::wstring widen(const std::string& text) { return win::toWide(cartscope::widen(text)); }

bool canBeOpenedForReading(const std::wstring& path) {
    return static_cast<bool>(
        win::Handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

// A program or library fit to be installed: a PE image for the expected
// machine whose version resource names exactly the offered version.
CUpdater::Validator peImageValidator(int machineBits, const std::string& offered) {
    return [machineBits, offered](const std::wstring& path, std::wstring& versionText) -> std::wstring {
        const int bits = peMachineBits(path);
        if (bits == 0) return L"not a Windows program file";
        if (bits != machineBits) return machineBits == 64 ? L"not a 64-bit (x64) file" : L"not a 32-bit (x86) file";
        CFileVersionInfo info;
        if (!info.loadFromFile(path) || info.fileVersionText().empty()) return L"no version resource";
        versionText = info.fileVersionText();
        if (compareVersions(offered, versionText) != 0) return L"its version is v" + versionText + L", not v" + widen(offered);
        return {};
    };
}

}  // namespace

std::string updateServer([[maybe_unused]] bool adminMode) {
#ifdef CARTSCOPE_TEST_HOOKS
    if (!adminMode)
        if (const char* server = std::getenv("CARTSCOPE_UPDATE_SERVER"); server && *server) return server;
#endif
    return CARTSCOPE_UPDATE_SERVER;
}

TransferLimits defaultVersionFileLimits() { return versionFileLimits(); }

TransferLimits defaultDownloadLimits() { return downloadLimits(); }

UpdaterEnvironment programUpdaterEnvironment(bool adminMode) {
    UpdaterEnvironment environment;
    environment.server = updateServer(adminMode);
    environment.programPath = win::modulePath();
    if (const auto folder = platform::dataFolder()) environment.dataFolder = win::toWide(*folder);
    environment.programVersion = [] {
        CFileVersionInfo info;
        info.loadFromProgram();
        return info.fileVersionText();
    };
    environment.messageBox = [](const std::wstring& text, UINT type) { return ui::messageBox(text, type); };
    environment.startElevated = [program = environment.programPath](const wchar_t* parameters) {
        SHELLEXECUTEINFOW execute = {};
        execute.cbSize = sizeof execute;
        execute.lpVerb = L"runas";
        execute.lpFile = program.c_str();
        execute.lpParameters = parameters;
        execute.nShow = SW_SHOWNORMAL;
        ShellExecuteExW(&execute);  // a declined prompt is not reported
    };
    environment.now = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    environment.sleep = [](unsigned seconds) { Sleep(seconds * 1000); };
    environment.recordCheck = [](std::uint64_t seconds) { writeLastUpdate(seconds); };
    environment.forTesting = [] { return cartscope::forTesting(); };
    environment.publicKey.assign(kBuiltInUpdateKey, kBuiltInUpdateKeySize);
    return environment;
}

CUpdater::CUpdater(bool autoMode, bool adminMode, UpdaterEnvironment environment)
    : autoMode(autoMode), adminMode(adminMode), m_environment(std::move(environment)) {}

CUpdater::~CUpdater() {
    if (tray) {
        const std::int64_t now = m_environment.now();
        if (now < keepAliveUntil) m_environment.sleep(static_cast<unsigned>(keepAliveUntil - now));
    }
    tray.reset();
}

std::wstring CUpdater::libraryPath() const { return win::besidePath(m_environment.programPath, L"Cartscope.dll"); }

bool CUpdater::needsElevation() const {
    const std::wstring probe = m_environment.programPath + L".tmp";
    {
        const win::Handle file(
            CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return true;
    }
    DeleteFileW(probe.c_str());
    return false;
}

CheckResult CUpdater::checkForUpdates() {
    CcURLClient client;
    useTrust(client);
    client.setLimits(m_environment.versionFileLimits);
    message << L"An update is aviable!\n\n";

    const std::string url = m_environment.server + "/Cartscope/version.txt";
    const std::string query = m_environment.forTesting() ? "?forTesting=yes" : "";
    std::string text;
    const bool fetched =
        m_environment.publicKey.empty() ? client.fetchToString(text, url + query) : fetchBytes(client, url + query, text);
    if (!fetched) {
        if (!autoMode) m_environment.messageBox(L"Database Update ERROR\n\nCan't get Version-Info!", MB_OK);
        return CheckDone;
    }
    if (!m_environment.publicKey.empty()) {
        // The signature covers the bytes as sent; they are read as any
        // version file once it holds.
        if (const std::wstring why = verifyVersionFile(client, url, query, text); !why.empty()) {
            const std::wstring error = L"Database Update ERROR\n\nCan't verify Version-Info! (" + why + L")";
            if (autoMode) {
                message.str(error);
                showTrayMessage(20);
            } else {
                m_environment.messageBox(error, MB_OK);
            }
            return CheckDone;
        }
        text = decodeEntities(text);
    }

    const auto urlOr = [&](const char* key, const char* path) {
        std::string value;
        return versionFileValue(text, key, value) ? value : m_environment.server + path;
    };

    // The writability probe is the same for the program and the library.
    std::optional<bool> elevation;
    const auto mustElevate = [&] {
        if (!elevation) elevation = !adminMode && needsElevation();
        return *elevation;
    };

    std::string value;
    if (versionFileValue(text, "database", value)) {
        const std::int32_t remote = readDecimal(value);
        const std::int32_t local =
            m_environment.dataFolder ? databaseVersion(win::toUtf16(*m_environment.dataFolder) + u"nds-rom.dat", true) : 0;
        if (remote > local) {
            databaseOffer = remote;
            databaseUrl = urlOr("database_url", "/Cartscope/nds-rom.dat");
            versionFileValue(text, "database_sha256", databaseSha256);
            pending |= UpdateDatabase;
            message << L"Database\n    v" << local << L" --> v" << remote << L"\n\n";
        }
    }

    if (versionFileValue(text, "cmd_exe", value)) {
        const std::wstring local = m_environment.programVersion();
        if (compareVersions(value, local) > 0) {
            if (mustElevate()) return CheckNeedsElevation;
            programOffer = value;
            programUrl = urlOr("cmd_exe_url", "/Cartscope/Cartscope%20CMD.exe");
            versionFileValue(text, "cmd_exe_sha256", programSha256);
            pending |= UpdateProgram;
            message << L"Cartscope CMD.exe\n    v" << local << L" --> v" << widen(value) << L"\n\n";
        }
    }

    if (versionFileValue(text, "dll", value)) {
        const std::wstring library = libraryPath();
        CFileVersionInfo info;
        info.loadFromFile(library);  // a missing file or resource: an empty version
        const std::wstring local = info.fileVersionText();
        if (compareVersions(value, local) > 0) {
            if (mustElevate()) return CheckNeedsElevation;
            libraryOffer = value;
            libraryUrl = urlOr("dll_url", "/Cartscope/Cartscope.dll") + (peMachineBits(library) == 64 ? "?cpu=x64" : "?cpu=x86");
            versionFileValue(text, "dll_sha256", librarySha256);
            pending |= UpdateLibrary;
            message << L"Cartscope.dll\n    v" << local << L" --> v" << widen(value) << L"\n\n";
        }
    }

    if (pending != 0) {
        if (autoMode) {
            showTrayMessage(20);
        } else {
            message << L"\n\nDo you wish update now?";
            if (m_environment.messageBox(message.str(), MB_YESNO | MB_ICONQUESTION) != IDYES) pending = 0;
        }
    } else if (!autoMode) {
        m_environment.messageBox(L"No new Updates available.", MB_OK);
    }
    return CheckDone;
}

InstallResult CUpdater::installDatabase() {
    message << L"\n" << L"Database:\t";
    if (!m_environment.dataFolder) {
        message << L"Can't get Data-Path";
        showTrayMessage(20);
        return InstallFailed;
    }
    // A fresh user has no data folder yet: the first database makes it (its
    // parent, the profile's application data, is the system's).
    CreateDirectoryW(m_environment.dataFolder->c_str(), nullptr);
    const std::int32_t offered = databaseOffer;
    return installSigned(*m_environment.dataFolder + L"nds-rom.dat", databaseUrl, "database_sha256", databaseSha256,
                         [offered](const std::wstring& path, std::wstring& versionText) -> std::wstring {
                             const std::u16string name = win::toUtf16(path);
                             std::vector<Release> releases;
                             std::uint16_t version = 0;
                             const std::string wrong = readReleases(name, releases, version);
                             if (!wrong.empty()) return L"not a release database: " + widen(wrong);
                             if (databaseVersion(name, true) == 0) return L"not a release database: its length is wrong";
                             versionText = std::to_wstring(version);
                             if (version != offered)
                                 return L"its version is v" + versionText + L", not v" + std::to_wstring(offered);
                             return {};
                         });
}

InstallResult CUpdater::installProgram() {
    message << L"\n" << L"Cartscope CMD.exe:\t";
    return installSigned(m_environment.programPath, programUrl, "cmd_exe_sha256", programSha256,
                         peImageValidator(32, programOffer));
}

InstallResult CUpdater::installLibrary() {
    message << L"\n" << L"Cartscope.dll:\t";
    return installSigned(libraryPath(), libraryUrl, "dll_sha256", librarySha256, peImageValidator(64, libraryOffer));
}

InstallResult CUpdater::failed(const std::wstring& reason) {
    message << L"Update failed!";
    if (!reason.empty()) message << L" (" << reason << L")";
    showTrayMessage(20);
    return InstallFailed;
}

void CUpdater::writeCreateFailure(const std::wstring& path, DWORD error) {
    message << L"Can't create \"" << path << L"\"\n" << ui::FileException::causeOf(error) << L"\n" << error << L"\n";
    showTrayMessage(20);
}

void CUpdater::useTrust(CcURLClient& client) const {
    if (!m_environment.trustedAuthorities.empty()) client.trustOnly(m_environment.trustedAuthorities);
}

std::wstring CUpdater::verifyVersionFile(CcURLClient& client, const std::string& url, const std::string& query,
                                         const std::string& text) {
    TransferLimits limits = m_environment.versionFileLimits;
    limits.maxBytes = kMaxSignatureBytes;
    client.setLimits(limits);
    std::string signature;
    if (!fetchBytes(client, url + ".sig" + query, signature))
        return L"the signature could not be fetched: " + widen(client.lastError());
    return verifySignature(m_environment.publicKey, text, signature);
}

InstallResult CUpdater::installSigned(const std::wstring& target, const std::string& url, const char* hashKey,
                                      const std::string& hash, const Validator& validator) {
    if (m_environment.publicKey.empty()) return installFile(target, url, validator);
    Sha256 expected;
    if (hash.empty()) return failed(L"the version file gives no " + widen(hashKey));
    if (!readSha256Hex(hash, expected)) return failed(widen(hashKey) + L" is not 64 hexadecimal digits");
    // The download's bytes are checked before anything else looks at them.
    return installFile(target, url, [expected, validator](const std::wstring& path, std::wstring& versionText) {
        Sha256 actual;
        if (std::wstring why = sha256OfFile(path, actual); !why.empty()) return why;
        if (actual != expected) return std::wstring(L"its SHA-256 is not the signed one");
        return validator(path, versionText);
    });
}

InstallResult CUpdater::succeeded(const std::wstring& versionText) {
    message << L"Update ok (v" << versionText << L")";
    showTrayMessage(40);
    return InstallOk;
}

CUpdater::Download CUpdater::download(CcURLClient& client, const std::wstring& path, const std::string& url, bool createNew,
                                      std::wstring& reason) {
    ui::File file;
    DWORD error = 0;
    if (!file.open(path, (createNew ? ui::File::modeCreateNew : ui::File::modeCreate) | ui::File::modeWrite, &error)) {
        writeCreateFailure(path, error);
        return Download::NotCreated;
    }
    CcURLContent_CFile receiver(&file);
    const bool downloaded = client.transfer(receiver, nullptr, url);
    file.close();
    if (!downloaded) reason = widen(client.lastError());
    return downloaded ? Download::Done : Download::Failed;
}

InstallResult CUpdater::installFile(const std::wstring& target, const std::string& url, const Validator& validator) {
    // What came over HTTPS never sends us on to plain HTTP.
    if (isHttpsUrl(m_environment.server) && !isHttpsUrl(url))
        return failed(L"refused to fetch " + widen(url) + L" without HTTPS");
    CcURLClient client;
    useTrust(client);
    client.setLimits(m_environment.downloadLimits);
    const std::wstring fresh = target + L".new", old = target + L".old";
    DeleteFileW(fresh.c_str());
    std::wstring versionText, reason;

    if (!canBeOpenedForReading(target)) {
        // A first installation: straight into place, without a work file or
        // lock. Only a file made here is written: a target that exists but
        // cannot be read is never replaced this way.
        const Download result = download(client, target, url, true, reason);
        if (result == Download::NotCreated) return InstallFailed;
        // A partial or unusable download is not left in the target's place.
        if (result == Download::Done) reason = validator(target, versionText);
        if (!reason.empty()) {
            DeleteFileW(target.c_str());
            return failed(reason);
        }
        return succeeded(versionText);
    }

    const Download result = download(client, fresh, url, false, reason);
    if (result == Download::NotCreated) return InstallFailed;
    if (result == Download::Failed) {
        DeleteFileW(fresh.c_str());
        return failed(reason);
    }
    reason = validator(fresh, versionText);
    if (!reason.empty()) {
        DeleteFileW(fresh.c_str());
        return failed(reason);
    }

    bool swapped = false;
    {
        // No reader may have the database open while it is swapped; the other
        // files are swapped under the same lock.
        platform::DatabaseWriteLock lock;
        DeleteFileW(old.c_str());
        if (MoveFileW(target.c_str(), old.c_str())) {
            swapped = MoveFileW(fresh.c_str(), target.c_str()) != FALSE;
            if (!swapped) MoveFileW(old.c_str(), target.c_str());
        }
        DeleteFileW(fresh.c_str());
        // A running program or a loaded library cannot be deleted: the clean-up
        // instance removes it later.
        if (!DeleteFileW(old.c_str())) cleanupNeeded = true;
    }
    return swapped ? succeeded(versionText) : failed(L"the file in use could not be replaced");
}

void CUpdater::showTrayMessage(unsigned seconds) {
    if (!autoMode) return;
    const std::wstring text = message.str();
    if (!tray) {
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon));
        tray = std::make_unique<ui::CSystemTray>();
        tray->createIcon(icon, text.c_str(), seconds);
    } else {
        tray->showBalloon(text.c_str(), seconds);
    }
    keepAliveUntil = m_environment.now() + seconds + 1;
}

void runUpdateCommand(bool autoMode, bool adminMode, const UpdaterEnvironment& environment) {
    CUpdater updater(autoMode, adminMode, environment);
    environment.recordCheck(static_cast<std::uint64_t>(environment.now()));
    if (updater.checkForUpdates() == CheckNeedsElevation && !adminMode) {
        const Command elevated = autoMode ? Command::AutoUpdateAdmin : Command::UpdateAdmin;
        environment.startElevated(win::toWide(commandSwitch(elevated)).c_str());
        return;
    }
    updater.message.str(L"");
    if (updater.pending == 0) return;
    if (updater.pending & UpdateDatabase) updater.installDatabase();
    if (updater.pending & UpdateProgram) updater.installProgram();
    if (updater.pending & UpdateLibrary) updater.installLibrary();
    if (!autoMode) environment.messageBox(updater.message.str(), MB_OK);
    if (updater.cleanupNeeded && environment.startCleanup) environment.startCleanup();
}

}  // namespace cartscope::update
