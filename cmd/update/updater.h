// The updater: keeps the release database, this program and the shell
// extension current from the update server. One run of an update command
// checks the version file, asks (manual runs) or announces in the tray
// (automatic runs), downloads and swaps each newer file, reports, and hands
// the removal of old copies to the clean-up instance.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "cmd/update/downloader.h"
#include "cmd/framework/system_tray.h"

namespace cartscope::update {

enum UpdateItem : std::uint32_t { UpdateDatabase = 1, UpdateProgram = 2, UpdateLibrary = 4 };
enum CheckResult { CheckDone = 0, CheckNeedsElevation = 3 };
enum InstallResult { InstallOk = 0, InstallFailed = 2 };

// The update server this build was made for. Builds with test hooks take
// another from the environment (the tests run their own servers), except in
// the elevated run: a user's environment never steers what an administrator's
// process installs.
std::string updateServer(bool adminMode);

// The bounds of the version file's transfer (64 KiB, two minutes in all) and
// of each download (64 MiB).
TransferLimits defaultVersionFileLimits();
TransferLimits defaultDownloadLimits();

// What a run works with; the program's real ones by default, but for
// startCleanup.
struct UpdaterEnvironment {
    std::string server;                            // base URL, without a trailing slash
    std::wstring programPath;                      // the running program file
    std::optional<std::wstring> dataFolder;        // ending in a backslash
    std::function<std::wstring()> programVersion;  // FileVersion of the running program
    std::function<int(const std::wstring& text, UINT type)> messageBox;
    std::function<void(const wchar_t* parameters)> startElevated;  // "runas" on the program
    // Hands the removal of old copies to the clean-up instance; the program
    // fills it in (the updater has no start-up code of its own).
    std::function<bool()> startCleanup;
    std::function<std::int64_t()> now;  // seconds since 1970 (UTC)
    std::function<void(unsigned seconds)> sleep;
    std::function<void(std::uint64_t seconds)> recordCheck;  // writes last_update
    std::function<bool()> forTesting;
    std::string trustedAuthorities;  // PEM; empty: the system's store
    // The update key: an ECDSA P-256 public key (SubjectPublicKeyInfo, DER).
    // With one, a version file is used only with its valid signature
    // (version.txt.sig) and every file offered must have the SHA-256 it
    // gives. Empty: version files are taken as they come.
    std::string publicKey;
    TransferLimits versionFileLimits = defaultVersionFileLimits();
    TransferLimits downloadLimits = defaultDownloadLimits();
};
// The program's environment: its update key is the one built in.
UpdaterEnvironment programUpdaterEnvironment(bool adminMode);

class CUpdater {
public:
    // Checks a downloaded file before it is installed: gives an empty text and
    // the file's version in `versionText`, or why the file is not installed.
    using Validator = std::function<std::wstring(const std::wstring& path, std::wstring& versionText)>;

    CUpdater(bool autoMode, bool adminMode, UpdaterEnvironment environment);
    // Keeps the tray icon until keepAliveUntil, then removes it.
    ~CUpdater();
    CUpdater(const CUpdater&) = delete;
    CUpdater& operator=(const CUpdater&) = delete;

    CheckResult checkForUpdates();
    InstallResult installDatabase();
    InstallResult installProgram();
    InstallResult installLibrary();
    InstallResult installFile(const std::wstring& target, const std::string& url, const Validator& validator);
    void showTrayMessage(unsigned seconds);
    bool needsElevation() const;

    std::wstring libraryPath() const;

    std::uint32_t pending = 0;
    std::string databaseUrl;
    std::string programUrl;
    std::string libraryUrl;
    // The versions the version file offers; a download must carry exactly these.
    std::int32_t databaseOffer = 0;
    std::string programOffer;
    std::string libraryOffer;
    // The SHA-256 values (hexadecimal) the signed version file gives for the
    // offered files; used only with an update key.
    std::string databaseSha256;
    std::string programSha256;
    std::string librarySha256;
    std::unique_ptr<ui::CSystemTray> tray;
    std::int64_t keepAliveUntil = 0;
    bool autoMode;
    bool adminMode;
    bool cleanupNeeded = false;
    std::wostringstream message;

private:
    enum class Download { Done, Failed, NotCreated };
    // Downloads `url` into the file at `path`, made anew (`createNew`: only
    // when no file of that name exists); a file that cannot be created is
    // reported in `message`, why a transfer failed in `reason`.
    Download download(CcURLClient& client, const std::wstring& path, const std::string& url, bool createNew,
                      std::wstring& reason);
    void useTrust(CcURLClient& client) const;
    // Fetches the signature of the version file `text` (from `url` + ".sig")
    // and checks it. Gives the empty text, or why the version file is not
    // to be used.
    std::wstring verifyVersionFile(CcURLClient& client, const std::string& url, const std::string& query,
                                   const std::string& text);
    // installFile, with an update key only for a download whose SHA-256 is
    // the one the version file gives under `hashKey` (`hash`).
    InstallResult installSigned(const std::wstring& target, const std::string& url, const char* hashKey, const std::string& hash,
                                const Validator& validator);
    InstallResult succeeded(const std::wstring& versionText);
    InstallResult failed(const std::wstring& reason);
    void writeCreateFailure(const std::wstring& path, DWORD error);

    UpdaterEnvironment m_environment;
};

// The update commands: "auto_update", "auto_update_admin", "update" and
// "update_admin".
void runUpdateCommand(bool autoMode, bool adminMode, const UpdaterEnvironment& environment);

}  // namespace cartscope::update
