// The readers of signatures, update keys and SHA-256 values, and hashing and
// verification through CNG (under Wine: its bcrypt on GnuTLS).
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "core/tests/support/temp_dir.h"
#include "cmd/update/signature.h"

using namespace cartscope::update;

namespace {

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

template <std::size_t N>
std::string toHex(const std::array<std::uint8_t, N>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
    return hex;
}

std::string repeat(const std::string& hex, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += hex;
    return out;
}

const std::string kZeros31 = repeat("00", 31);

// A throwaway key made with OpenSSL for these tests, its X beginning with a
// zero byte, and its signatures of kMessage (openssl dgst -sha256 -sign).
const std::string kKey =
    "3059301306072a8648ce3d020106082a8648ce3d0301070342000400942006c50db5eb1f4347f6a0d1b43260da84117dc07e3c95f20ec42a53af51b9"
    "23762edb6cb03ea37cbbd7f5b0f28877624089d61b7f5d38d9640ab6977cf6";
const std::string kMessage = "database:13\r\n";
// r and s both with a leading zero byte (their top bits are set).
const std::string kSignature =
    "304602210094ab313205aeb97d4ef875693f225e35e3451ecffd80336c0f66452c3dfcf4b9022100c16c232668e7f4f0d7c2c2e63e13baff0fb47e3c"
    "64cb00135ffe3c011a5d5ce2";
// r of 31 bytes only.
const std::string kShortSignature =
    "3043021f2909d591801ac89419e0280d5150143d99b5683a69963a46d3ad2a041f7a18022017e80075b5c66d061fbe75085f8d3ac92b0e864caa945f"
    "a30a633095f02e851b";

}  // namespace

TEST(Signature, DerReaderTakesOneEncodingOnly) {
    const std::string r = repeat("7f", 32), s = repeat("01", 32);
    const struct {
        const char* what;
        std::string der;  // hexadecimal
        std::wstring reason;
        std::string rs = {};  // r and s read, when the reason is empty
    } cases[] = {
        {"small numbers", "3006020101020102", L"", kZeros31 + "01" + kZeros31 + "02"},
        {"32 bytes each",
         "3044"
         "0220" +
             r + "0220" + s,
         L"", r + s},
        {"a zero byte before a top bit",
         "3046"
         "022100" +
             repeat("80", 32) + "022100" + repeat("ff", 32),
         L"", repeat("80", 32) + repeat("ff", 32)},
        {"OpenSSL's, short r", kShortSignature, L"", "00" + kShortSignature.substr(8, 62) + kShortSignature.substr(74, 64)},
        {"nothing", "", L"cut short"},
        {"one byte", "30", L"cut short"},
        {"a SET, not a SEQUENCE", "3106020101020102", L"unexpected tag"},
        {"a BIT STRING, not an INTEGER", "3006030101020102", L"unexpected tag"},
        {"cut by one byte", "30060201010201", L"cut short"},
        {"one number only", "3003020101", L"cut short"},
        {"the sequence longer than the data", "3007020101020102", L"cut short"},
        {"the sequence shorter than its numbers", "3005020101020102", L"bytes after the signature"},
        {"a byte after the signature", "300602010102010200", L"bytes after the signature"},
        {"a second signature after it", "30060201010201023006020101020102", L"bytes after the signature"},
        {"three numbers", "3009020101020102020103", L"more than two numbers"},
        {"long form for a short length", "308106020101020102", L"length not in its shortest form"},
        {"long form with a leading zero", "30820006020101020102", L"length not in its shortest form"},
        {"a number's length in long form", "300702810101020102", L"length not in its shortest form"},
        {"indefinite length",
         "3080020101020102"
         "0000",
         L"indefinite length"},
        {"three length bytes", "3083000006020101020102", L"length too long"},
        {"a long length past the end", "3081", L"cut short"},
        {"a long length beyond the data", "308180020101020102", L"cut short"},
        {"an empty number", "30050200020102", L"empty number"},
        {"a negative number", "3006020180020102", L"negative number"},
        {"a needless zero byte", "300702020001020102", L"number not in its shortest form"},
        {"zero", "3006020100020102", L"zero"},
        {"33 bytes",
         "3026"
         "022101" +
             r + "020102",
         L"number longer than 32 bytes"},
        {"33 bytes after a zero byte",
         "3027"
         "02220080" +
             r + "020102",
         L"number longer than 32 bytes"},
        {"s too long",
         "3026"
         "020101"
         "022101" +
             s,
         L"number longer than 32 bytes"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        P256Pair rs{};
        EXPECT_EQ(readSignature(fromHex(test.der), rs), test.reason);
        if (test.reason.empty()) {
            EXPECT_EQ(toHex(rs), test.rs);
        }
    }
}

TEST(Signature, OnlyUncompressedP256KeysAreRead) {
    const std::string point = kKey.substr(54);  // after the fixed part up to 04
    const struct {
        const char* what;
        std::string der;
        std::wstring reason;
    } cases[] = {
        {"the key", kKey, L""},
        {"another algorithm",
         "3059301306072a8648ce3d020206082a8648ce3d030107034200"
         "04" +
             point,
         L"not an elliptic-curve key"},
        {"another curve",
         "3059301306072a8648ce3d020106082a8648ce3d030108034200"
         "04" +
             point,
         L"not a P-256 key"},
        {"a compressed point",
         "3039301306072a8648ce3d020106082a8648ce3d030107032200"
         "02" +
             point.substr(0, 64),
         L"not an uncompressed point"},
        {"unused bits",
         "3059301306072a8648ce3d020106082a8648ce3d030107034201"
         "04" +
             point,
         L"not an uncompressed point"},
        {"a point too short",
         "3058301306072a8648ce3d020106082a8648ce3d030107034100"
         "04" +
             point.substr(2),
         L"not an uncompressed point"},
        {"curve parameters after the curve",
         "305b301506072a8648ce3d020106082a8648ce3d0301070500034200"
         "04" +
             point,
         L"bytes after the curve"},
        {"no curve",
         "304f300906072a8648ce3d0201034200"
         "04" +
             point,
         L"cut short"},
        {"a byte after the key", kKey + "00", L"bytes after the key"},
        {"cut by one byte", kKey.substr(0, kKey.size() - 2), L"cut short"},
        {"a signature, not a key", kSignature, L"unexpected tag"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        P256Pair xy{};
        EXPECT_EQ(readP256PublicKey(fromHex(test.der), xy), test.reason);
        if (test.reason.empty()) {
            EXPECT_EQ(toHex(xy), point);
        }
    }
}

TEST(Signature, Sha256OfBytesAndFiles) {
    // Test values of FIPS 180-2.
    Sha256 hash{};
    ASSERT_TRUE(sha256Of("abc", hash));
    EXPECT_EQ(toHex(hash), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(sha256Of("", hash));
    EXPECT_EQ(toHex(hash), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    // A million "a": read in many parts.
    cartscope::testing::TempDir dir;
    const auto file = dir.path() / "million";
    std::ofstream(file, std::ios::binary) << std::string(1000000, 'a');
    EXPECT_EQ(sha256OfFile(file.wstring(), hash), L"");
    EXPECT_EQ(toHex(hash), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const std::wstring missing = sha256OfFile((dir.path() / "missing").wstring(), hash);
    EXPECT_EQ(missing.rfind(L"the download cannot be read (error 2)", 0), 0u) << std::string(missing.begin(), missing.end());
}

TEST(Signature, VerifiedThroughCng) {
    std::string flipped = fromHex(kSignature);
    flipped[10] = static_cast<char>(flipped[10] ^ 0x01);  // a bit of r
    // s = 2^256 - 1: more than the order of the curve's group.
    const std::string beyondOrder = fromHex("3046" + kSignature.substr(4, 70) + "022100" + repeat("ff", 32));
    std::string offCurve = fromHex(kKey);
    offCurve.back() = static_cast<char>(offCurve.back() ^ 0x01);  // Y no longer fits X
    const struct {
        const char* what;
        std::string key, message, signature;
        std::wstring reason;  // its beginning
    } cases[] = {
        {"the signature", fromHex(kKey), kMessage, fromHex(kSignature), L""},
        {"a short r", fromHex(kKey), kMessage, fromHex(kShortSignature), L""},
        {"another message", fromHex(kKey), "database:14\r\n", fromHex(kSignature), L"the signature does not match"},
        {"a bit of r flipped", fromHex(kKey), kMessage, flipped, L"the signature does not match"},
        {"s beyond the group's order", fromHex(kKey), kMessage, beyondOrder, L"the signature does not match"},
        {"a damaged signature", fromHex(kKey), kMessage, fromHex(kSignature) + '\0',
         L"the signature is damaged: bytes after the signature"},
        {"no signature", fromHex(kKey), kMessage, "", L"the signature is damaged: cut short"},
        {"a key that is no P-256 key", fromHex(kKey).substr(1), kMessage, fromHex(kSignature), L"the update key is not usable: "},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const std::wstring reason = verifySignature(test.key, test.message, test.signature);
        if (test.reason.empty()) {
            EXPECT_EQ(reason, L"");
        } else {
            EXPECT_EQ(reason.rfind(test.reason, 0), 0u) << std::string(reason.begin(), reason.end());
        }
    }

    // A point that is not on the curve: Windows refuses it when the key is
    // imported; Wine 8.0 imports it, and no signature matches it.
    const std::wstring reason = verifySignature(offCurve, kMessage, fromHex(kSignature));
    EXPECT_TRUE(reason.rfind(L"the update key is not usable (", 0) == 0 || reason == L"the signature does not match")
        << std::string(reason.begin(), reason.end());
}
