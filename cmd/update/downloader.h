// The downloader: fetches one URL at a time over HTTP(S) with libcurl and hands
// the received bytes to a receiver (an open file, or memory turned into an
// 8-bit string). One client per task; no progress, cancellation or retries.
// Every transfer is bounded (time, speed, size, redirects) and speaks only
// HTTP and HTTPS; an HTTP error status fails it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "cmd/framework/file.h"
#include "core/version_file.h"

typedef void CURL;

namespace cartscope::update {

class CcURLClient;

// Where downloaded bytes go.
class CcURLContent {
public:
    virtual ~CcURLContent() = default;
    // Consumes size * count bytes and returns how many it consumed; 0 on failure.
    virtual std::size_t write(const void* data, std::size_t size, std::size_t count) = 0;

    CcURLClient* client = nullptr;  // the client transferring into this receiver
    std::uint32_t total = 0;        // bytes received in the current transfer
};

// Bytes into an open file of the framework (a disk file or one in memory).
class CcURLContent_CFile : public CcURLContent {
public:
    explicit CcURLContent_CFile(ui::File* file) : file(file) {}
    std::size_t write(const void* data, std::size_t size, std::size_t count) override;

    ui::File* file;  // not owned
};

class CcURLClient {
public:
    CcURLClient();
    CcURLClient(const CcURLClient&) = delete;
    CcURLClient& operator=(const CcURLClient&) = delete;
    ~CcURLClient();

    // Whether the client has a usable libcurl handle; transfers of a client
    // without one fail.
    bool valid() const { return m_curl != nullptr; }

    // Fetches `url` (with "?query" or "&query" appended when `query` is not
    // empty; a POST of `postData` when that is not empty) into `receiver`. True
    // on success, with the byte count in *bytesOut when given. An answer with
    // an HTTP error status (400 and above) fails; so does a redirect from HTTPS
    // to HTTP, or to any scheme but these two. lastError() tells why.
    bool transfer(CcURLContent& receiver, std::uint32_t* bytesOut, const std::string& url, const std::string& query = {},
                  const std::string& postData = {});

    // Fetches into a block from malloc that belongs to the caller on success.
    bool fetchToMemory(unsigned char** bufferOut, std::size_t* lengthOut, const std::string& url, const std::string& query = {},
                       const std::string& postData = {});

    // Fetches into an 8-bit string, HTML entities decoded; `textOut` stays as
    // it was on failure.
    bool fetchToString(std::string& textOut, const std::string& url, const std::string& query = {},
                       const std::string& postData = {});

    // The bounds of the following transfers.
    void setLimits(const TransferLimits& limits) { m_limits = limits; }
    const TransferLimits& limits() const { return m_limits; }

    // Why the last transfer failed (empty after a success).
    const std::string& lastError() const { return m_lastError; }

    // Trusts only the certificate authorities in `pem` (PEM text) from now on,
    // instead of the system's store; for tests against a local server.
    bool trustOnly(const std::string& pem);

    // Live clients in this process (libcurl's global state exists while > 0),
    // and how often that state has been set up.
    static int liveClients();
    static int globalSetups();

private:
    friend std::size_t receive(char* data, std::size_t size, std::size_t count, void* receiver);

    CURL* m_curl = nullptr;
    std::string m_authorities;  // kept alive for libcurl while the handle lives
    TransferLimits m_limits;
    bool m_overLimit = false;  // the receive callback refused bytes past maxBytes
    std::string m_lastError;
};

// Whether `url` names the scheme "https" (in any case).
bool isHttpsUrl(const std::string& url);

}  // namespace cartscope::update
