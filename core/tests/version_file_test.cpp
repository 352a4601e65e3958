// The version file as the updaters read it: values, numbers, versions,
// entities and SHA-256 texts; and the bounds of their transfers.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/version_file.h"

using namespace cartscope::update;

namespace {

std::string toHex(const Sha256& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
    return hex;
}

}  // namespace

TEST(VersionFile, Values) {
    const std::string text = "database:13\r\ncmd_exe:1.0.0.5\r\ndll:1.0.0.5\r\ndll_url:\r\n";
    const struct {
        const char* what;
        std::string text;
        const char* key;
        bool found;
        const char* value;
    } cases[] = {
        {"a number", text, "database", true, "13"},
        {"a version", text, "dll", true, "1.0.0.5"},
        {"an empty value is not present", text, "dll_url", false, ""},
        {"a missing key", text, "database_url", false, ""},
        {"up to the end without a final line end", "database:13", "database", true, "13"},
        {"bare line feeds do not end a value", "x_url:http://a/b\ndll:1\n", "x_url", true, "http://a/b\ndll:1\n"},
        {"found anywhere in the text", "mydatabase:7\r\n", "database", true, "7"},
        {"the first one counts", "database:3\r\ndatabase:4\r\n", "database", true, "3"},
        {"a colon in the value stays", "database_url:https://host/x\r\n", "database_url", true, "https://host/x"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::string value = "stale";
        EXPECT_EQ(versionFileValue(test.text, test.key, value), test.found);
        EXPECT_EQ(value, test.value);
    }
}

TEST(VersionFile, Numbers) {
    const struct {
        const char* text;
        std::int32_t number;
    } cases[] = {
        {" 0013", 13},
        {"13\ncmd_exe:1", 13},
        {"-4", -4},
        {"+5", 5},
        {"new", 0},
        {"", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        EXPECT_EQ(readDecimal(test.text), test.number);
    }
}

TEST(VersionFile, Versions) {
    const struct {
        const char* remote;
        std::u16string local;
        int sign;  // of the result
        const char* what;
    } cases[] = {
        {"1.2.0.10", u"1.2.0.9", 1, "numbers, not text"},
        {"1.2.0.9", u"1, 2, 0, 9", 0, "one separator and white space"},
        {"1.0.0.4", u"1.0.0.5", -1, "older"},
        {"1.0.0.0", u"", 1, "no installed version"},
        {"0.0.0.0", u"", 0, "nothing against nothing"},
        {"2", u"2.0.0.0", 0, "missing numbers count as 0"},
        {"1.2", u"1.2", 0, "two numbers"},
        {"2.0.0.0", u"1.9.9.9", 1, "the first differing number decides"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const int result = compareVersions(test.remote, test.local);
        EXPECT_EQ((result > 0) - (result < 0), test.sign);
    }
    EXPECT_EQ(compareVersions("1.0.0.5", u"1.0.0.4"), 1) << "remote minus local";
    EXPECT_EQ(compareVersions("99999999999", u"-99999999999"), INT_MAX) << "saturates";
}

TEST(VersionFile, EightEntitiesInOnePass) {
    const struct {
        const char* text;
        const char* decoded;
        const char* what;
    } cases[] = {
        {"&amp;&Auml;&auml;&Ouml;&ouml;&Uuml;&uuml;&szlig;", "&\xC4\xE4\xD6\xF6\xDC\xFC\xDF", "all eight"},
        {"&amp;auml;", "&auml;", "the replaced text is not scanned again"},
        {"&amp;amp;", "&amp;", "once"},
        {"&AMP; &Szlig; &amp &lt; & ;", "&AMP; &Szlig; &amp &lt; & ;", "others stay"},
        {"a&&amp;b&", "a&&b&", "lone ampersands stay"},
        {"", "", "nothing"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        EXPECT_EQ(decodeEntities(test.text), test.decoded);
    }
}

TEST(VersionFile, Sha256Texts) {
    const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const struct {
        std::string text;
        bool read;
    } cases[] = {
        {lower, true},
        {"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true},
        {"Ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015aD", true},
        {lower.substr(1), false},
        {lower + "0", false},
        {lower.substr(1) + "g", false},
        {lower.substr(1) + " ", false},
        {" " + lower.substr(1), false},
        {"", false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        Sha256 hash{};
        EXPECT_EQ(readSha256Hex(test.text, hash), test.read);
        if (test.read) {
            EXPECT_EQ(toHex(hash), lower);
        }
    }
}

TEST(VersionFile, TransferBounds) {
    const TransferLimits file = versionFileLimits(), download = downloadLimits();
    EXPECT_EQ(file.totalSeconds, 120);
    EXPECT_EQ(file.maxBytes, 64u * 1024);
    EXPECT_EQ(download.totalSeconds, 0) << "a large download on a slow line may take long, as long as it moves";
    EXPECT_EQ(download.maxBytes, 64u * 1024 * 1024);
    for (const TransferLimits& limits : {file, download}) {
        EXPECT_EQ(limits.connectSeconds, 30);
        EXPECT_EQ(limits.lowSpeedBytesPerSecond, 1000);
        EXPECT_EQ(limits.lowSpeedSeconds, 60);
        EXPECT_EQ(limits.maxRedirects, 10);
    }
}
