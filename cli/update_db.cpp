// The database updater of the command line. The version file and the
// download come over HTTP(S) with libcurl, bounded as the Windows updater's
// transfers are; the download goes to nds-rom.dat.new beside the database,
// is checked whole, and is renamed over the database under the database's
// write lock.
#include "cli/update_db.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "cartscope_update_key.h"
#include "cartscope_version.h"
#include "cli/files.h"
#include "cli/url.h"
#include "core/platform/data_folder.h"
#include "core/platform/database_lock.h"
#include "core/release_database.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/version_file.h"

namespace cartscope::cli {

using update::TransferLimits;

namespace {

constexpr int kFailed = 1;

int fail(const std::string& reason) {
    std::fprintf(stderr, "cartscope: update-db: %s\n", reason.c_str());
    return kFailed;
}

bool isHttpsUrl(const std::string& url) { return hasScheme(url, "https://"); }

// --- libcurl ---

// libcurl's global state, set up for the lifetime of the object.
class CurlGlobal {
public:
    CurlGlobal() : ready_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
    ~CurlGlobal() {
        if (ready_) curl_global_cleanup();
    }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
    bool ready() const { return ready_; }

private:
    bool ready_;
};

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using Curl = std::unique_ptr<CURL, CurlFree>;

// Takes received bytes; false ends the transfer.
using Sink = std::function<bool(const char* data, std::size_t size)>;

struct Receiver {
    const Sink& sink;
    std::uint64_t maxBytes;  // 0: no bound
    std::uint64_t total = 0;
    bool overLimit = false;
};

// libcurl's write callback: hands the bytes on, but never more than the
// limit in all (a server may send no length, or a wrong one, and compressed
// answers grow when decoded). Anything but size * count ends the transfer.
std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
    auto* receiver = static_cast<Receiver*>(context);
    const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
    if (receiver->maxBytes != 0 && bytes > receiver->maxBytes - std::min(receiver->total, receiver->maxBytes)) {
        receiver->overLimit = true;
        return 0;
    }
    try {
        if (!receiver->sink(data, size * count)) return 0;
    } catch (...) {
        return 0;
    }
    receiver->total += bytes;
    return size * count;
}

// Fetches `url` into `sink` within `limits`. Gives the empty text, or why not.
// Only HTTP and HTTPS; a request that starts on HTTPS stays on it through
// every redirect; an HTTP error status fails. Certificates and host names are
// checked against the system's authorities, or those of the file named by
// CURL_CA_BUNDLE (as the curl program reads it).
std::string fetch(const std::string& url, const TransferLimits& limits, const Sink& sink) {
    const Curl curl(curl_easy_init());
    if (!curl) return "libcurl could not be set up";
    CURL* handle = curl.get();
    char errorText[CURL_ERROR_SIZE] = {};
    Receiver receiver{sink, limits.maxBytes};
    const curl_off_t maxBytes = static_cast<curl_off_t>(std::min<std::uint64_t>(limits.maxBytes, INT64_MAX));
    const char* redirectSchemes = isHttpsUrl(url) ? "https" : "http,https";
    bool set = curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, redirectSchemes) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_MAXREDIRS, limits.maxRedirects) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_USERAGENT, "cartscope/" CARTSCOPE_VERSION_TEXT) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.totalSeconds) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, maxBytes) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_WRITEDATA, &receiver) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK;
    if (const char* authorities = std::getenv("CURL_CA_BUNDLE"); authorities && *authorities)
        set = set && curl_easy_setopt(handle, CURLOPT_CAINFO, authorities) == CURLE_OK;
    if (!set) return "the transfer could not be set up";

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK) return {};
    long status = 0;
    if (receiver.overLimit || result == CURLE_FILESIZE_EXCEEDED)
        return "the answer is larger than " + std::to_string(limits.maxBytes) + " bytes";
    if (result == CURLE_HTTP_RETURNED_ERROR && curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        return "HTTP status " + std::to_string(status);
    return errorText[0] ? errorText : curl_easy_strerror(result);
}

// --- OpenSSL ---

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestFree>;

// Checks that `signature` (DER, as openssl dgst -sha256 -sign writes it)
// signs the SHA-256 of `message` under `keyDer` (a SubjectPublicKeyInfo of an
// ECDSA P-256 key). Gives the empty text, or why not.
std::string verifySignature(const std::string& keyDer, const std::string& message, const std::string& signature) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(keyDer.data());
    const unsigned char* end = bytes;
    const std::unique_ptr<EVP_PKEY, KeyFree> key(d2i_PUBKEY(nullptr, &end, static_cast<long>(keyDer.size())));
    char group[64] = {};
    std::size_t length = 0;
    const bool p256 = key && end == bytes + keyDer.size() && EVP_PKEY_get_base_id(key.get()) == EVP_PKEY_EC &&
                      EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
                      std::string(group, length) == "prime256v1";
    ERR_clear_error();
    if (!p256) return "the update key is not an ECDSA P-256 public key";
    const DigestContext context(EVP_MD_CTX_new());
    const int verified =
        context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1
            ? EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                               reinterpret_cast<const unsigned char*>(message.data()), message.size())
            : -1;
    ERR_clear_error();
    if (verified == 1) return {};
    if (verified == 0) return "the signature does not match";
    return "the signature is damaged";
}

// The update key version files must be signed with (DER); empty: none. Builds
// with test hooks take the key from the file CARTSCOPE_TEST_TRUSTED_KEY names.
std::string trustedKey(std::string& key) {
    key.assign(update::kBuiltInUpdateKey, update::kBuiltInUpdateKeySize);
#ifdef CARTSCOPE_TEST_HOOKS
    if (const char* file = std::getenv("CARTSCOPE_TEST_TRUSTED_KEY"); file && *file) {
        if (const int error = readWholeFile(file, key)) return std::string(file) + ": " + errorText(error);
    }
#endif
    return {};
}

// --- files ---

// The download's file beside the database: made anew (a file left by an
// earlier run goes first), and removed again unless it was put in place.
// Not an OutputFile: that one's work file has a new name on every run and
// it follows a link at the target, wants the target writable, copies its
// permissions and syncs the folder after the rename. This one has one name,
// nds-rom.dat.new as the Windows updater's, so a run that was killed leaves
// just that file for the next run to clear; and under the database's write
// lock nothing happens but the rename.
class NewFile {
public:
    explicit NewFile(std::string path) : path_(std::move(path)) {}
    ~NewFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!placed_) ::unlink(path_.c_str());
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // 0 or the error.
    int create() {
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT) return errno;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        return fd_ < 0 ? errno : 0;
    }
    // 0 or the error.
    int write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return 0;
    }
    // Puts the bytes on the disk and closes the file; 0 or the error.
    int finish() {
        int error = ::fsync(fd_) == 0 ? 0 : errno;
        if (::close(fd_) != 0 && error == 0) error = errno;
        fd_ = -1;
        return error;
    }
    // Renames the finished file to `target`; 0 or the error.
    int placeAs(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
        placed_ = true;
        return 0;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool placed_ = false;
};

// Makes `folder` (ending in a separator) and each missing folder above it,
// private to the user as the data folder should be. 0 or the error.
int makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        if (::mkdir(folder.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0) return errno;
    return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

// A downloaded database as the updater takes it: every record readable, the
// stored length the real one, and exactly the offered version. Gives the
// empty text, or what is wrong.
std::string checkDatabase(const std::u16string& path, std::int32_t offered) {
    std::vector<Release> releases;
    std::uint16_t version = 0;
    if (const std::string wrong = readReleases(path, releases, version); !wrong.empty())
        return wrong.rfind("not a release database", 0) == 0 ? wrong : "not a release database: " + wrong;
    if (databaseVersion(path, true) == 0) return "not a release database: its length is wrong";
    if (version != offered) return "its version is v" + std::to_string(version) + ", not v" + std::to_string(offered);
    return {};
}

}  // namespace

int updateDatabase(const std::string& serverGiven) {
    std::string server = serverGiven.empty() ? std::string(CARTSCOPE_UPDATE_SERVER) : serverGiven;
    while (!server.empty() && server.back() == '/') server.pop_back();

    std::string key;
    if (const std::string why = trustedKey(key); !why.empty()) return fail("the update key cannot be read: " + why);
    const auto folder = platform::dataFolder();
    if (!folder) return fail("no data folder (neither XDG_DATA_HOME nor HOME is an absolute path)");
    const CurlGlobal curl;
    if (!curl.ready()) return fail("libcurl could not be set up");

    // The version file, and its signature when the build trusts a key: the
    // signature covers the bytes as sent, which are read only once it holds.
    const std::string url = server + "/Cartscope/version.txt";
    const std::string query = forTesting() ? "?forTesting=yes" : "";
    std::string text;
    const Sink intoText = [&text](const char* data, std::size_t size) {
        text.append(data, size);
        return true;
    };
    if (const std::string why = fetch(url + query, update::versionFileLimits(), intoText); !why.empty())
        return fail("the version file could not be fetched from " + url + ": " + why);
    if (!key.empty()) {
        TransferLimits limits = update::versionFileLimits();
        limits.maxBytes = update::kMaxSignatureBytes;
        std::string signature;
        const Sink intoSignature = [&signature](const char* data, std::size_t size) {
            signature.append(data, size);
            return true;
        };
        if (const std::string why = fetch(url + ".sig" + query, limits, intoSignature); !why.empty())
            return fail("the version file's signature could not be fetched from " + url + ".sig: " + why);
        if (const std::string why = verifySignature(key, text, signature); !why.empty())
            return fail("the version file cannot be trusted: " + why);
    }
    text = update::decodeEntities(text);

    std::string value;
    if (!update::versionFileValue(text, "database", value)) return fail("the version file from " + url + " offers no database");
    const std::int32_t offered = update::readDecimal(value);
    const std::u16string target = *folder + u"nds-rom.dat";
    const std::int32_t installed = databaseVersion(target, true);
    if (offered <= installed) {
        std::printf("up to date (v%d)\n", static_cast<int>(installed));
        return 0;
    }

    std::string downloadUrl;
    if (!update::versionFileValue(text, "database_url", downloadUrl)) downloadUrl = server + "/Cartscope/nds-rom.dat";
    if (!isHttpUrl(downloadUrl)) return fail("refused to fetch " + downloadUrl + ": not an http:// or https:// URL");
    // What came over HTTPS never sends us on to plain HTTP.
    if (isHttpsUrl(server) && !isHttpsUrl(downloadUrl)) return fail("refused to fetch " + downloadUrl + " without HTTPS");
    update::Sha256 expected{};
    if (!key.empty()) {
        std::string hash;
        if (!update::versionFileValue(text, "database_sha256", hash)) return fail("the version file gives no database_sha256");
        if (!update::readSha256Hex(hash, expected)) return fail("database_sha256 is not 64 hexadecimal digits");
    }

    // A fresh user has no data folder yet: the first database makes it.
    const std::string folderPath = toUtf8(*folder, Utf8Errors::Escape);
    if (const int error = makeFolders(folderPath)) return fail(shownName(folderPath) + ": " + errorText(error));
    const std::string targetPath = folderPath + "nds-rom.dat";
    NewFile fresh(targetPath + ".new");
    if (const int error = fresh.create()) return fail(shownName(fresh.path()) + ": " + errorText(error));

    const DigestContext hasher(EVP_MD_CTX_new());
    if (!hasher || EVP_DigestInit_ex(hasher.get(), EVP_sha256(), nullptr) != 1) return fail("SHA-256 is not available");
    int writeError = 0;
    const Sink intoFile = [&](const char* data, std::size_t size) {
        writeError = fresh.write(data, size);
        return writeError == 0 && EVP_DigestUpdate(hasher.get(), data, size) == 1;
    };
    std::string why = fetch(downloadUrl, update::downloadLimits(), intoFile);
    if (writeError != 0) return fail(shownName(fresh.path()) + ": " + errorText(writeError));
    if (!why.empty()) return fail("the database could not be fetched from " + downloadUrl + ": " + why);
    if (const int error = fresh.finish()) return fail(shownName(fresh.path()) + ": " + errorText(error));
    update::Sha256 actual{};
    unsigned int hashSize = 0;
    if (EVP_DigestFinal_ex(hasher.get(), actual.data(), &hashSize) != 1 || hashSize != actual.size())
        return fail("SHA-256 is not available");

    // The download's bytes are checked before anything else looks at them.
    if (!key.empty() && actual != expected) why = "its SHA-256 is not the signed one";
    if (why.empty()) why = checkDatabase(fromUtf8(fresh.path(), Utf8Errors::Escape), offered);
    if (!why.empty()) return fail("the database from " + downloadUrl + " is not usable: " + why);

    {
        // Readers take the database's read lock: none is between two reads
        // of one lookup while the file changes.
        platform::DatabaseWriteLock lock;
        if (const int error = fresh.placeAs(targetPath))
            return fail(shownName(targetPath) + ": cannot be replaced: " + errorText(error));
    }
    std::printf("updated v%d -> v%d\n", static_cast<int>(installed), static_cast<int>(offered));
    return 0;
}

}  // namespace cartscope::cli
