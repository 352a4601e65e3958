#include "cmd/update/signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "win/handle.h"

namespace cartscope::update {

namespace {

// --- DER ---

constexpr std::uint8_t kInteger = 0x02, kBitString = 0x03, kObjectIdentifier = 0x06, kSequence = 0x30;

// The object identifiers of an elliptic-curve public key (id-ecPublicKey,
// 1.2.840.10045.2.1) and of the curve P-256 (prime256v1, 1.2.840.10045.3.1.7).
constexpr std::string_view kEcPublicKey("\x2a\x86\x48\xce\x3d\x02\x01", 7);
constexpr std::string_view kPrime256v1("\x2a\x86\x48\xce\x3d\x03\x01\x07", 8);

std::uint8_t byteAt(std::string_view bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

// Reads DER elements one after the other from a block of bytes. Lengths must
// be definite and in their shortest form; the structures read here are small,
// so a length of more than two bytes is refused too.
class DerReader {
public:
    explicit DerReader(std::string_view bytes) : rest_(bytes) {}

    bool atEnd() const { return rest_.empty(); }

    // Reads the next element, which must have the tag `tag`, and gives its
    // contents. Gives the empty text, or why not.
    std::wstring read(std::uint8_t tag, std::string_view& contents) {
        if (rest_.size() < 2) return L"cut short";
        if (byteAt(rest_, 0) != tag) return L"unexpected tag";
        std::size_t header = 2;
        std::size_t length = byteAt(rest_, 1);
        if (length >= 0x80) {
            const std::size_t bytes = length & 0x7F;
            if (bytes == 0) return L"indefinite length";
            if (bytes > 2) return L"length too long";
            if (rest_.size() < header + bytes) return L"cut short";
            if (byteAt(rest_, 2) == 0) return L"length not in its shortest form";
            length = 0;
            for (std::size_t i = 0; i < bytes; ++i) length = length << 8 | byteAt(rest_, header + i);
            if (length < 0x80) return L"length not in its shortest form";
            header += bytes;
        }
        if (rest_.size() - header < length) return L"cut short";
        contents = rest_.substr(header, length);
        rest_.remove_prefix(header + length);
        return {};
    }

private:
    std::string_view rest_;
};

// Reads the contents of an INTEGER that must be a positive number of at most
// 32 bytes into `out`, right-aligned.
std::wstring readNumber(std::string_view contents, std::uint8_t* out) {
    if (contents.empty()) return L"empty number";
    if (byteAt(contents, 0) & 0x80) return L"negative number";
    if (contents.size() > 1 && byteAt(contents, 0) == 0) {
        if (!(byteAt(contents, 1) & 0x80)) return L"number not in its shortest form";
        contents.remove_prefix(1);
    }
    if (contents.size() > 32) return L"number longer than 32 bytes";
    if (std::all_of(contents.begin(), contents.end(), [](char c) { return c == 0; })) return L"zero";
    std::memset(out, 0, 32);
    std::memcpy(out + (32 - contents.size()), contents.data(), contents.size());
    return {};
}

// --- CNG ---

// CNG handles: null means none; each kind has its own release function.
template <class Handle, auto release>
struct CngTraits {
    using Type = Handle;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type handle) noexcept { return handle != nullptr; }
    static void close(Type handle) noexcept { release(handle); }
};
void closeAlgorithm(BCRYPT_ALG_HANDLE handle) noexcept { BCryptCloseAlgorithmProvider(handle, 0); }
using Algorithm = win::UniqueHandle<CngTraits<BCRYPT_ALG_HANDLE, closeAlgorithm>>;
using Key = win::UniqueHandle<CngTraits<BCRYPT_KEY_HANDLE, BCryptDestroyKey>>;
using Hash = win::UniqueHandle<CngTraits<BCRYPT_HASH_HANDLE, BCryptDestroyHash>>;

// STATUS_INVALID_SIGNATURE (ntstatus.h cannot be included after windows.h).
constexpr NTSTATUS kInvalidSignature = static_cast<NTSTATUS>(0xC000A000L);

std::wstring statusText(NTSTATUS status) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof *text, L"0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// SHA-256 over data given in parts.
class Sha256Hasher {
public:
    Sha256Hasher() {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
        // No hash object buffer: CNG allocates one itself (Windows 7 and later).
        if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0))) hash_.reset();
    }

    bool add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (hash_ && size > 0) {
            const ULONG part = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
            if (!BCRYPT_SUCCESS(BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes), part, 0))) hash_.reset();
            bytes += part;
            size -= part;
        }
        return static_cast<bool>(hash_);
    }

    bool finish(Sha256& out) {
        const bool done = hash_ && BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), out.data(), static_cast<ULONG>(out.size()), 0));
        hash_.reset();
        return done;
    }

private:
    Algorithm algorithm_;  // outlives the hash made from it
    Hash hash_;
};

}  // namespace

std::wstring readSignature(std::string_view der, P256Pair& rs) {
    DerReader outer(der);
    std::string_view sequence, r, s;
    if (std::wstring why = outer.read(kSequence, sequence); !why.empty()) return why;
    if (!outer.atEnd()) return L"bytes after the signature";
    DerReader numbers(sequence);
    if (std::wstring why = numbers.read(kInteger, r); !why.empty()) return why;
    if (std::wstring why = numbers.read(kInteger, s); !why.empty()) return why;
    if (!numbers.atEnd()) return L"more than two numbers";
    if (std::wstring why = readNumber(r, rs.data()); !why.empty()) return why;
    return readNumber(s, rs.data() + 32);
}

std::wstring readP256PublicKey(std::string_view der, P256Pair& xy) {
    DerReader outer(der);
    std::string_view info, algorithm, point, type, curve;
    if (std::wstring why = outer.read(kSequence, info); !why.empty()) return why;
    if (!outer.atEnd()) return L"bytes after the key";
    DerReader parts(info);
    if (std::wstring why = parts.read(kSequence, algorithm); !why.empty()) return why;
    if (std::wstring why = parts.read(kBitString, point); !why.empty()) return why;
    if (!parts.atEnd()) return L"bytes after the key";
    DerReader identifiers(algorithm);
    if (std::wstring why = identifiers.read(kObjectIdentifier, type); !why.empty()) return why;
    if (type != kEcPublicKey) return L"not an elliptic-curve key";
    if (std::wstring why = identifiers.read(kObjectIdentifier, curve); !why.empty()) return why;
    if (curve != kPrime256v1) return L"not a P-256 key";
    if (!identifiers.atEnd()) return L"bytes after the curve";
    // No unused bits, then 04 for an uncompressed point, then X and Y.
    if (point.size() != 2 + xy.size() || byteAt(point, 0) != 0 || byteAt(point, 1) != 4) return L"not an uncompressed point";
    std::memcpy(xy.data(), point.data() + 2, xy.size());
    return {};
}

bool sha256Of(std::string_view bytes, Sha256& hash) {
    Sha256Hasher hasher;
    return hasher.add(bytes.data(), bytes.size()) && hasher.finish(hash);
}

std::wstring sha256OfFile(const std::wstring& path, Sha256& hash) {
    const win::Handle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return L"the download cannot be read (error " + std::to_wstring(GetLastError()) + L")";
    Sha256Hasher hasher;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return L"the download cannot be read (error " + std::to_wstring(GetLastError()) + L")";
        if (read == 0) break;
        if (!hasher.add(buffer.data(), read)) return L"SHA-256 is not available";
    }
    return hasher.finish(hash) ? std::wstring() : L"SHA-256 is not available";
}

std::wstring verifySignature(std::string_view key, std::string_view message, std::string_view signature) {
    P256Pair xy, rs;
    Sha256 digest;
    if (std::wstring why = readP256PublicKey(key, xy); !why.empty()) return L"the update key is not usable: " + why;
    if (std::wstring why = readSignature(signature, rs); !why.empty()) return L"the signature is damaged: " + why;
    if (!sha256Of(message, digest)) return L"SHA-256 is not available";

    Algorithm ecdsa;
    if (const NTSTATUS status = BCryptOpenAlgorithmProvider(ecdsa.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
        !BCRYPT_SUCCESS(status))
        return L"ECDSA P-256 is not available (" + statusText(status) + L")";
    std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + xy.size());
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, xy.data(), xy.size());
    Key publicKey;
    if (const NTSTATUS status = BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, publicKey.put(), blob.data(),
                                                    static_cast<ULONG>(blob.size()), 0);
        !BCRYPT_SUCCESS(status))
        return L"the update key is not usable (" + statusText(status) + L")";
    const NTSTATUS status = BCryptVerifySignature(publicKey.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                                  rs.data(), static_cast<ULONG>(rs.size()), 0);
    if (BCRYPT_SUCCESS(status)) return {};
    if (status == kInvalidSignature) return L"the signature does not match";
    return L"the signature does not match (" + statusText(status) + L")";
}

}  // namespace cartscope::update
