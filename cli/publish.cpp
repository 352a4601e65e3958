#include "cli/publish.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <vector>

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "cli/files.h"
#include "core/byte_source.h"
#include "core/little_endian.h"
#include "core/pe_file.h"
#include "core/release_database.h"
#include "core/text.h"

namespace cartscope::cli {

namespace {

constexpr int kFailed = 1;

void complain(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "cartscope: %s: %s\n", shownName(path).c_str(), what.c_str());
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using SigningKey = std::unique_ptr<EVP_PKEY, KeyFree>;

std::string toHex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    return hex;
}

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return {};
    return toHex(digest, size);
}

// A key file never asks for a passphrase: a protected key is refused.
int noPassphrase(char*, int, int, void*) { return -1; }

// An ECDSA private key on the curve P-256 from PEM text; empty with the
// reason in `problem` otherwise.
SigningKey readSigningKey(const std::string& pem, std::string& problem) {
    const std::unique_ptr<BIO, BioFree> input(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    SigningKey key(input ? PEM_read_bio_PrivateKey(input.get(), nullptr, noPassphrase, nullptr) : nullptr);
    ERR_clear_error();
    if (!key) {
        problem = "not an ECDSA P-256 private key: no unencrypted private key in PEM form";
        return nullptr;
    }
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC ||
        EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) != 1 ||
        std::string(group, length) != "prime256v1") {
        ERR_clear_error();
        problem = "not an ECDSA P-256 private key";
        return nullptr;
    }
    return key;
}

// The DER-encoded ECDSA signature (ECDSA-Sig-Value) of the SHA-256 of `bytes`.
bool sign(EVP_PKEY* key, const std::string& bytes, std::string& signature) {
    const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    std::size_t size = 0;
    const auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    bool done = context && EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
                EVP_DigestSign(context.get(), nullptr, &size, data, bytes.size()) == 1;
    if (done) {
        signature.resize(size);
        done = EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size, data, bytes.size()) == 1;
        signature.resize(size);
    }
    ERR_clear_error();
    return done;
}

std::string machineName(std::uint16_t machine) {
    if (machine == kPeMachineI386) return "x86 (32-bit)";
    if (machine == kPeMachineAmd64) return "x64 (64-bit)";
    char name[32];
    std::snprintf(name, sizeof name, "machine type 0x%04X", machine);
    return name;
}

// A program or library fit to be offered: a PE file for `machine` whose
// version resource names one version of four numbers in every string table
// (each user's updater reads the table of the user's language). Gives an
// empty string and the version, or what is wrong.
std::string checkBinary(const std::string& bytes, std::uint16_t machine, std::string& version) {
    MemorySource source(bytes.data(), bytes.size());
    PeFileInfo info;
    if (const std::string problem = readPeFile(source, info); !problem.empty()) return problem;
    if (info.machine != machine)
        return std::string(machine == kPeMachineI386 ? "not a 32-bit (x86) program" : "not a 64-bit (x64) library") +
               ": it is built for " + machineName(info.machine);
    if (!info.hasVersionResource) return "no version resource";
    if (info.fileVersions.empty()) return "no version resource strings (no translation list)";
    std::optional<std::array<std::uint16_t, 4>> first;
    for (const std::u16string& text : info.fileVersions) {
        if (text.empty()) return "no FileVersion in one of its version resource's string tables";
        const auto numbers = readVersionNumbers(text);
        if (!numbers) return "its FileVersion \"" + shownName(text) + "\" is not four numbers";
        if (!first) first = numbers;
        if (*numbers != *first)
            return "its version resource names two versions: " + versionNumbersText(*first) + " and " +
                   versionNumbersText(*numbers);
    }
    version = versionNumbersText(*first);
    return {};
}

// A release database as the updater takes it: every record readable and the
// stored length the real one. Gives an empty string and the version, or what
// is wrong.
std::string checkDatabase(const std::string& bytes, std::uint16_t& version) {
    MemorySource source(bytes.data(), bytes.size());
    std::vector<Release> releases;
    if (const std::string problem = readReleases(source, releases, version); !problem.empty()) {
        // The reader names damaged records by their game codes, whatever their bytes.
        const std::string shown = shownName(std::string_view(problem));
        return shown.rfind("not a release database", 0) == 0 ? shown : "not a release database: " + shown;
    }
    if (bytes.size() < 8 || get32(reinterpret_cast<const std::uint8_t*>(bytes.data())) != bytes.size())
        return "not a release database (its stored length is not its length)";
    if (version == 0) return "its version is 0; a database to offer has a version of 1 or more";
    return {};
}

// Reads one input whole; false (and says why) when it cannot be read.
bool readInput(const std::string& path, std::string& bytes) {
    if (const int error = readWholeFile(path, bytes)) {
        complain(path, errorText(error));
        return false;
    }
    return true;
}

// Finishes a file under its temporary name; false (and says why) on failure.
bool prepare(OutputFile& file, const std::string& path, const std::string& bytes) {
    int error = file.create();
    if (error == 0) error = file.write(bytes.data(), bytes.size());
    if (error == 0) error = file.finish();
    if (error != 0) complain(path, errorText(error));
    return error == 0;
}

bool putInPlace(OutputFile& file, const std::string& path) {
    if (const int error = file.replaceTarget()) {
        complain(path, errorText(error));
        return false;
    }
    return true;
}

bool writeWhole(const std::string& path, const std::string& bytes) {
    OutputFile file(path);
    return prepare(file, path, bytes) && putInPlace(file, path);
}

}  // namespace

int publish(const PublishRequest& request) {
    // Everything is read and checked before anything is written.
    std::string program, library, database, keyText;
    bool good = readInput(request.program, program);
    good = readInput(request.library, library) && good;
    good = readInput(request.database, database) && good;
    if (request.signingKey) good = readInput(*request.signingKey, keyText) && good;
    if (!good) return kFailed;

    std::string programVersion, libraryVersion;
    std::uint16_t databaseNumber = 0;
    if (const std::string problem = checkBinary(program, kPeMachineI386, programVersion); !problem.empty()) {
        complain(request.program, problem);
        good = false;
    }
    if (const std::string problem = checkBinary(library, kPeMachineAmd64, libraryVersion); !problem.empty()) {
        complain(request.library, problem);
        good = false;
    }
    if (const std::string problem = checkDatabase(database, databaseNumber); !problem.empty()) {
        complain(request.database, problem);
        good = false;
    }
    SigningKey key;
    if (request.signingKey) {
        std::string problem;
        key = readSigningKey(keyText, problem);
        if (!key) {
            complain(*request.signingKey, problem);
            good = false;
        }
    }
    if (!good) return kFailed;

    // The updater takes the first "key:" anywhere in the text: no key is the
    // end of another, and no value holds a colon.
    const std::string text = "database:" + std::to_string(databaseNumber) + "\r\n" +  //
                             "cmd_exe:" + programVersion + "\r\n" +                   //
                             "dll:" + libraryVersion + "\r\n" +                       //
                             "database_sha256:" + sha256Hex(database) + "\r\n" +      //
                             "cmd_exe_sha256:" + sha256Hex(program) + "\r\n" +        //
                             "dll_sha256:" + sha256Hex(library) + "\r\n";
    std::string signature;
    if (key && !sign(key.get(), text, signature)) {
        complain(*request.signingKey, "signing failed");
        return kFailed;
    }

    const std::string folder = request.site + "/Cartscope";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        complain(folder, error.message());
        return kFailed;
    }
    // The files first, version.txt (and its signature) last: a server never
    // offers a file that is not in place yet.
    if (!writeWhole(folder + "/nds-rom.dat", database) || !writeWhole(folder + "/Cartscope CMD.exe", program) ||
        !writeWhole(folder + "/Cartscope.dll", library))
        return kFailed;
    const std::string versionPath = folder + "/version.txt", signaturePath = versionPath + ".sig";
    OutputFile versionFile(versionPath);
    if (!prepare(versionFile, versionPath, text)) return kFailed;
    if (key) {
        OutputFile signatureFile(signaturePath);
        if (!prepare(signatureFile, signaturePath, signature) || !putInPlace(signatureFile, signaturePath)) return kFailed;
    } else if (unlink(signaturePath.c_str()) != 0 && errno != ENOENT) {
        // A signature of an earlier version file would no longer match.
        complain(signaturePath, "cannot remove the signature of the earlier version.txt: " + errorText(errno));
        return kFailed;
    }
    if (!putInPlace(versionFile, versionPath)) return kFailed;

    std::printf("%s: database %u, Cartscope CMD.exe %s, Cartscope.dll %s%s\n", shownName(versionPath).c_str(),
                unsigned{databaseNumber}, programVersion.c_str(), libraryVersion.c_str(), key ? ", signed" : "");
    return 0;
}

}  // namespace cartscope::cli
