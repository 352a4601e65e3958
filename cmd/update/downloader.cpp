// libcurl's header brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "cmd/update/downloader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace cartscope::update {

namespace {

// All clients live on the program's main thread, so plain counters do.
int g_liveClients = 0;
int g_globalSetups = 0;

std::string sizeLimitText(std::uint64_t bytes) { return "the answer is larger than " + std::to_string(bytes) + " bytes"; }

}  // namespace

// libcurl's write callback: hands the bytes to the receiver, but never more
// than the client's limit in all (a server may send no length, or a wrong
// one, and compressed answers grow when decoded). Anything other than
// size * count ends the transfer with a write error.
std::size_t receive(char* data, std::size_t size, std::size_t count, void* receiver) {
    auto* content = static_cast<CcURLContent*>(receiver);
    try {
        if (CcURLClient* client = content->client; client && client->m_limits.maxBytes != 0) {
            const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
            if (bytes > client->m_limits.maxBytes - std::min<std::uint64_t>(content->total, client->m_limits.maxBytes)) {
                client->m_overLimit = true;
                return 0;
            }
        }
        return content->write(data, size, count);
    } catch (...) {
        return 0;
    }
}

std::size_t CcURLContent_CFile::write(const void* data, std::size_t size, std::size_t count) {
    if (size != 0 && count > SIZE_MAX / size) return 0;
    const std::size_t bytes = size * count;
    try {
        file->write(data, bytes);
    } catch (const ui::FileException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    total += static_cast<std::uint32_t>(bytes);
    return bytes;
}

CcURLClient::CcURLClient() {
    if (g_liveClients++ == 0) {
        if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
            g_liveClients = 0;
            return;
        }
        ++g_globalSetups;
    }
    m_curl = curl_easy_init();
    if (!m_curl) return;
    // Certificates and host names are checked: the updater installs programs
    // from what it downloads. A revocation server that cannot be reached does
    // not fail the download (a revoked certificate does).
    const bool set =
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT)) == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_COOKIEFILE, "") == CURLE_OK &&
        curl_easy_setopt(m_curl, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
    if (!set) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
}

CcURLClient::~CcURLClient() {
    if (m_curl) curl_easy_cleanup(m_curl);
    // A client whose global set-up failed set the count back to 0 already.
    if (g_liveClients > 0 && --g_liveClients == 0) curl_global_cleanup();
}

int CcURLClient::liveClients() { return g_liveClients; }
int CcURLClient::globalSetups() { return g_globalSetups; }

bool CcURLClient::trustOnly(const std::string& pem) {
    if (!m_curl) return false;
    m_authorities = pem;
    curl_blob blob{m_authorities.data(), m_authorities.size(), CURL_BLOB_NOCOPY};
    return curl_easy_setopt(m_curl, CURLOPT_CAINFO_BLOB, &blob) == CURLE_OK;
}

bool CcURLClient::transfer(CcURLContent& receiver, std::uint32_t* bytesOut, const std::string& url, const std::string& query,
                           const std::string& postData) {
    m_lastError.clear();
    m_overLimit = false;
    if (!m_curl) {
        m_lastError = "no transfer client";
        return false;
    }
    std::string request = url;
    if (!query.empty()) request += (url.find('?') == std::string::npos ? "?" : "&") + query;

    char errorText[CURL_ERROR_SIZE] = {};
    const curl_off_t maxBytes = static_cast<curl_off_t>(std::min<std::uint64_t>(m_limits.maxBytes, INT64_MAX));
    // A request that starts on HTTPS stays on HTTPS through every redirect.
    const char* redirectSchemes = isHttpsUrl(request) ? "https" : "http,https";
    bool set = curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, receive) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &receiver) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, redirectSchemes) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_MAXREDIRS, m_limits.maxRedirects) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, m_limits.connectSeconds) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, m_limits.lowSpeedBytesPerSecond) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, m_limits.lowSpeedSeconds) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, m_limits.totalSeconds) == CURLE_OK &&
               curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE, maxBytes) == CURLE_OK;
    if (!postData.empty()) {
        set = set && curl_easy_setopt(m_curl, CURLOPT_POST, 1L) == CURLE_OK &&
              curl_easy_setopt(m_curl, CURLOPT_COPYPOSTFIELDS, postData.c_str()) == CURLE_OK;
    } else {
        set = set && curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    }
    set = set && curl_easy_setopt(m_curl, CURLOPT_URL, request.c_str()) == CURLE_OK;
    if (!set) {
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, nullptr);
        m_lastError = "the transfer could not be set up";
        return false;
    }

    receiver.total = 0;
    receiver.client = this;
    const CURLcode result = curl_easy_perform(m_curl);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, nullptr);  // the buffer ends here
    if (result != CURLE_OK) {
        long status = 0;
        if (m_overLimit || result == CURLE_FILESIZE_EXCEEDED) {
            m_lastError = sizeLimitText(m_limits.maxBytes);
        } else if (result == CURLE_HTTP_RETURNED_ERROR &&
                   curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
            m_lastError = "HTTP status " + std::to_string(status);
        } else {
            m_lastError = errorText[0] ? errorText : curl_easy_strerror(result);
        }
        return false;
    }

    // Later transfers on this handle name the last URL reached as referrer.
    char* effective = nullptr;
    if (curl_easy_getinfo(m_curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        curl_easy_setopt(m_curl, CURLOPT_REFERER, effective);
    if (bytesOut) *bytesOut = receiver.total;
    return true;
}

bool CcURLClient::fetchToMemory(unsigned char** bufferOut, std::size_t* lengthOut, const std::string& url,
                                const std::string& query, const std::string& postData) {
    ui::MemFile memory(1024);
    CcURLContent_CFile receiver(&memory);
    if (!transfer(receiver, nullptr, url, query, postData)) return false;
    *lengthOut = static_cast<std::size_t>(memory.length());
    *bufferOut = memory.detach();
    return true;
}

bool CcURLClient::fetchToString(std::string& textOut, const std::string& url, const std::string& query,
                                const std::string& postData) {
    unsigned char* block = nullptr;
    std::size_t length = 0;
    if (!fetchToMemory(&block, &length, url, query, postData)) return false;
    std::string text(reinterpret_cast<const char*>(block), length);
    std::free(block);
    textOut = decodeEntities(text);
    return true;
}

bool isHttpsUrl(const std::string& url) {
    static const char kScheme[] = "https://";
    if (url.size() < sizeof kScheme - 1) return false;
    for (std::size_t i = 0; i < sizeof kScheme - 1; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
    return true;
}

}  // namespace cartscope::update
