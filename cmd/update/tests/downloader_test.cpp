// The downloader against local HTTP and HTTPS servers (run_with_servers.sh):
// query joining, error pages, redirects with the referrer they leave, cookies,
// content decoding, POST, files and memory as receivers, failing writes,
// certificate checks, libcurl's global state; the bounds of hostile servers
// (silence, trickles, redirect loops, downgrades, endless answers); and the
// entity decoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "cmd/update/downloader.h"
#include "core/tests/support/temp_dir.h"

using cartscope::update::CcURLClient;
using cartscope::update::CcURLContent_CFile;
using cartscope::update::isHttpsUrl;
using cartscope::update::TransferLimits;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string http(const std::string& path) { return environment("CARTSCOPE_TEST_HTTP") + path; }
std::string https(const std::string& path) { return environment("CARTSCOPE_TEST_HTTPS") + path; }

// The paths the test servers were asked for.
std::string requestLog() {
    std::ifstream file(environment("CARTSCOPE_TEST_WWW") + "\\requests.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

double secondsOf(const std::function<void()>& call) {
    const ULONGLONG start = GetTickCount64();
    call();
    return static_cast<double>(GetTickCount64() - start) / 1000.0;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (environment("CARTSCOPE_TEST_HTTP").empty()) GTEST_SKIP() << "no test server (run through run_with_servers.sh)";
    }

    std::string fetch(CcURLClient& client, const std::string& url, const std::string& query = {}, const std::string& post = {}) {
        std::string text = "(failed)";
        client.fetchToString(text, url, query, post);
        return text;
    }
};

// A file that takes `room` bytes and then fails, as a full disk does.
class FullDisk : public cartscope::ui::File {
public:
    explicit FullDisk(std::size_t room) : m_room(room) {}
    void write(const void*, std::size_t count) override {
        if (count > m_room) throw cartscope::ui::FileException(ERROR_DISK_FULL, L"full");
        m_room -= count;
        written += count;
    }
    std::size_t written = 0;

private:
    std::size_t m_room;
};

}  // namespace

TEST_F(DownloaderTest, QueryIsJoinedWithQuestionMarkOrAmpersand) {
    CcURLClient client;
    ASSERT_TRUE(client.valid());
    EXPECT_EQ(fetch(client, http("/echo"), "v=2"), "/echo?v=2");
    EXPECT_EQ(fetch(client, http("/echo?cpu=x64"), "v=2"), "/echo?cpu=x64&v=2");
    EXPECT_EQ(fetch(client, http("/echo?cpu=x64")), "/echo?cpu=x64");
}

TEST_F(DownloaderTest, AnHttpErrorStatusFailsTheTransfer) {
    CcURLClient client;
    EXPECT_EQ(fetch(client, http("/missing")), "(failed)") << "an error page is not what was asked for";
    EXPECT_EQ(client.lastError(), "HTTP status 404");
    EXPECT_EQ(fetch(client, http("/landing")), "landed");
    EXPECT_EQ(client.lastError(), "") << "a success clears the reason";
}

TEST_F(DownloaderTest, RedirectsAreFollowedAndTheLastUrlBecomesTheReferrer) {
    CcURLClient client;
    EXPECT_EQ(fetch(client, http("/referer")), "(none)");
    EXPECT_EQ(fetch(client, http("/redirect")), "landed");
    EXPECT_EQ(fetch(client, http("/referer")), http("/landing"));
    EXPECT_EQ(fetch(client, http("/referer")), http("/referer")) << "each success sets it anew";
}

TEST_F(DownloaderTest, CookiesStayWithTheirClient) {
    CcURLClient client;
    EXPECT_EQ(fetch(client, http("/cookie/set")), "set");
    EXPECT_EQ(fetch(client, http("/cookie/get")), "session=42");
    CcURLClient other;
    EXPECT_EQ(fetch(other, http("/cookie/get")), "(none)");
}

TEST_F(DownloaderTest, CompressedAnswersArriveDecoded) {
    CcURLClient client;
    std::string expected;
    for (int i = 0; i < 64; ++i) expected += "compressed text ";
    EXPECT_EQ(fetch(client, http("/gzip")), expected);
}

TEST_F(DownloaderTest, PostDataIsSentAndGetFollowsAgain) {
    CcURLClient client;
    EXPECT_EQ(fetch(client, http("/post"), {}, "a=1&b=2"), "POST:a=1&b=2");
    EXPECT_EQ(fetch(client, http("/echo")), "/echo") << "a later transfer without post data is a GET";
}

TEST_F(DownloaderTest, TextsAreDecodedAndKeptOnFailure) {
    CcURLClient client;
    std::string text;
    ASSERT_TRUE(client.fetchToString(text, http("/text")));
    EXPECT_EQ(text, "1.2.3\r\nM\xFCller & S\xF6hne &amp;\r\n");
    text = "unchanged";
    EXPECT_FALSE(client.fetchToString(text, "http://localhost:1/nothing-listens-here"));
    EXPECT_EQ(text, "unchanged");

    unsigned char* block = nullptr;
    std::size_t length = 0;
    ASSERT_TRUE(client.fetchToMemory(&block, &length, http("/big"), "n=3000"));
    ASSERT_EQ(length, 3000u);
    for (std::size_t i = 0; i < length; ++i) ASSERT_EQ(block[i], i % 251) << i;
    std::free(block);
}

TEST_F(DownloaderTest, DownloadsIntoAFileAndCountsTheBytes) {
    cartscope::testing::TempDir dir;
    const std::wstring path = (dir.path() / "download.bin").wstring();
    cartscope::ui::File file;
    ASSERT_TRUE(file.open(path, cartscope::ui::File::modeCreate | cartscope::ui::File::modeWrite));
    CcURLContent_CFile receiver(&file);
    CcURLClient client;
    std::uint32_t bytes = 0;
    const std::size_t size = 3 * 1024 * 1024 + 17;
    ASSERT_TRUE(client.transfer(receiver, &bytes, http("/big"), "n=" + std::to_string(size)));
    EXPECT_EQ(bytes, size);
    EXPECT_EQ(receiver.total, size);
    EXPECT_EQ(receiver.client, &client);
    EXPECT_EQ(file.length(), size);
    file.close();
    const std::string content = readText((dir.path() / "download.bin").string());
    ASSERT_EQ(content.size(), size);
    for (std::size_t i = 0; i < size; i += 4099) ASSERT_EQ(static_cast<unsigned char>(content[i]), i % 251) << i;

    // A second transfer into the same receiver counts from 0 again.
    cartscope::ui::MemFile memory;
    CcURLContent_CFile again(&memory);
    ASSERT_TRUE(client.transfer(again, &bytes, http("/landing")));
    EXPECT_EQ(bytes, 6u);
}

TEST_F(DownloaderTest, AFailingWriteFailsTheTransfer) {
    CcURLClient client;
    FullDisk disk(100000);
    CcURLContent_CFile receiver(&disk);
    std::uint32_t bytes = 12345;
    EXPECT_FALSE(client.transfer(receiver, &bytes, http("/big"), "n=1000000"));
    EXPECT_EQ(bytes, 12345u) << "nothing is stored on failure";
    EXPECT_EQ(receiver.total, disk.written) << "bytes already written stay, and are counted";
    EXPECT_LE(disk.written, 100000u);

    cartscope::ui::File closed;  // never opened: every write fails
    CcURLContent_CFile nowhere(&closed);
    EXPECT_FALSE(client.transfer(nowhere, nullptr, http("/landing")));
    EXPECT_EQ(fetch(client, http("/landing")), "landed") << "the client stays usable";
}

TEST_F(DownloaderTest, CertificatesAreChecked) {
    const std::string ca = readText(environment("CARTSCOPE_TEST_CA"));
    const std::string other = readText(environment("CARTSCOPE_TEST_OTHER_CA"));
    ASSERT_FALSE(ca.empty());
    ASSERT_FALSE(other.empty());
    {
        CcURLClient client;
        ASSERT_TRUE(client.trustOnly(ca));
        EXPECT_EQ(fetch(client, https("/landing")), "landed");
    }
    {
        CcURLClient client;
        ASSERT_TRUE(client.trustOnly(other));
        EXPECT_EQ(fetch(client, https("/landing")), "(failed)") << "a server whose authority is not trusted";
    }
    {
        CcURLClient client;
        ASSERT_TRUE(client.trustOnly(ca));
        EXPECT_EQ(fetch(client, environment("CARTSCOPE_TEST_HTTPS_OTHER_NAME") + "/landing"), "(failed)")
            << "a trusted authority's certificate for another host name";
        EXPECT_EQ(fetch(client, https("/landing")), "landed");
    }
}

TEST_F(DownloaderTest, RedirectsAreBoundedAndNeverLeaveHttps) {
    CcURLClient client;
    ASSERT_TRUE(client.trustOnly(readText(environment("CARTSCOPE_TEST_CA"))));
    EXPECT_EQ(fetch(client, http("/hops"), "n=10"), "landed") << "ten redirects";
    EXPECT_EQ(fetch(client, http("/hops"), "n=11"), "(failed)");
    EXPECT_EQ(client.lastError(), "Maximum (10) redirects followed");
    EXPECT_EQ(fetch(client, http("/loop")), "(failed)");

    EXPECT_EQ(fetch(client, https("/goto"), "to=" + https("/landing")), "landed");
    EXPECT_EQ(fetch(client, http("/goto"), "to=" + https("/landing")), "landed") << "up to HTTPS is fine";
    EXPECT_EQ(fetch(client, https("/goto"), "to=" + http("/echo-after-downgrade")), "(failed)");
    EXPECT_EQ(requestLog().find("\n/echo-after-downgrade"), std::string::npos) << "the plain URL was never asked for";

    // Other schemes neither first nor after a redirect.
    EXPECT_EQ(fetch(client, http("/goto"), "to=file:///C:/windows/win.ini"), "(failed)");
    EXPECT_EQ(fetch(client, "file:///C:/windows/win.ini"), "(failed)");
    EXPECT_EQ(fetch(client, "ftp://localhost/"), "(failed)");

    EXPECT_TRUE(isHttpsUrl("https://a"));
    EXPECT_TRUE(isHttpsUrl("HTTPS://a"));
    EXPECT_FALSE(isHttpsUrl("http://a"));
    EXPECT_FALSE(isHttpsUrl("https:/a"));
    EXPECT_FALSE(isHttpsUrl("example.com/https://"));
}

TEST_F(DownloaderTest, AnswersAreBoundedInSizeWithOrWithoutALength) {
    CcURLClient client;
    TransferLimits limits;
    limits.maxBytes = 100000;
    client.setLimits(limits);
    EXPECT_EQ(fetch(client, http("/big"), "n=100000").size(), 100000u) << "up to the limit";

    const auto refused = [&](const std::string& url, std::uint32_t most) {
        SCOPED_TRACE(url);
        cartscope::ui::MemFile memory;
        CcURLContent_CFile receiver(&memory);
        EXPECT_FALSE(client.transfer(receiver, nullptr, url));
        EXPECT_EQ(client.lastError(), "the answer is larger than " + std::to_string(client.limits().maxBytes) + " bytes");
        EXPECT_LE(receiver.total, most);
    };
    refused(http("/big?n=100001"), 0);  // refused at its announced length
    refused(http("/endless"), 100000);  // no length: cut off at the limit
    limits.maxBytes = 100;
    client.setLimits(limits);
    refused(http("/gzip"), 100);  // 1,024 bytes once decoded
}

TEST_F(DownloaderTest, SilentAndTricklingServersAreGivenUp) {
    CcURLClient client;
    TransferLimits limits;
    limits.lowSpeedSeconds = 2;
    client.setLimits(limits);
    for (const char* path : {"/silent", "/trickle"}) {
        SCOPED_TRACE(path);
        EXPECT_LT(secondsOf([&] { EXPECT_EQ(fetch(client, http(path)), "(failed)"); }), 40.0);
        EXPECT_EQ(client.lastError().rfind("Operation too slow", 0), 0u) << client.lastError();
    }
    // A connection that is never accepted meets the limit for connecting.
    limits.connectSeconds = 2;
    client.setLimits(limits);
    EXPECT_LT(secondsOf([&] { EXPECT_EQ(fetch(client, environment("CARTSCOPE_TEST_STALLED") + "/landing"), "(failed)"); }), 40.0);
    EXPECT_NE(client.lastError().find("onnect"), std::string::npos) << client.lastError();

    // A server fast enough for the speed limit still meets the limit of the whole.
    limits.lowSpeedBytesPerSecond = 1;
    limits.totalSeconds = 3;
    client.setLimits(limits);
    EXPECT_LT(secondsOf([&] { EXPECT_EQ(fetch(client, http("/trickle")), "(failed)"); }), 40.0);
    EXPECT_EQ(client.lastError().rfind("Operation timed out", 0), 0u) << client.lastError();
    EXPECT_EQ(fetch(client, http("/landing")), "landed") << "the client stays usable";
}

TEST_F(DownloaderTest, GlobalStateLivesWhileAClientDoes) {
    ASSERT_EQ(CcURLClient::liveClients(), 0);
    const int before = CcURLClient::globalSetups();
    { CcURLClient a; }
    { CcURLClient b; }
    EXPECT_EQ(CcURLClient::globalSetups(), before + 2) << "two clients in turn: set up twice";
    {
        CcURLClient a;
        CcURLClient b;
        EXPECT_EQ(CcURLClient::liveClients(), 2);
        EXPECT_EQ(fetch(b, http("/landing")), "landed");
    }
    EXPECT_EQ(CcURLClient::globalSetups(), before + 3) << "two at once: set up once";
    EXPECT_EQ(CcURLClient::liveClients(), 0);
}
