// libcurl's header brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "downloader.h"

#include <cstring>
#include <new>

namespace cartscope::update {

namespace {

// All clients live on the program's main thread, so plain counters do.
int g_liveClients = 0;
int g_globalSetups = 0;

// libcurl's write callback: hands the bytes to the receiver. Anything other
// than size * count ends the transfer with a write error.
std::size_t writeToReceiver(char* data, std::size_t size, std::size_t count, void* receiver) {
  try {
    return static_cast<CcURLContent*>(receiver)->write(data, size, count);
  } catch (...) {
    return 0;
  }
}

}  // namespace

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
  const bool set = curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
                   curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
                   curl_easy_setopt(m_curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT)) == CURLE_OK &&
                   curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
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

bool CcURLClient::transfer(CcURLContent& receiver, std::uint32_t* bytesOut, const std::string& url,
                           const std::string& query, const std::string& postData) {
  if (!m_curl) return false;
  std::string request = url;
  if (!query.empty()) request += (url.find('?') == std::string::npos ? "?" : "&") + query;

  bool set = curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, writeToReceiver) == CURLE_OK &&
             curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &receiver) == CURLE_OK;
  if (!postData.empty()) {
    set = set && curl_easy_setopt(m_curl, CURLOPT_POST, 1L) == CURLE_OK &&
          curl_easy_setopt(m_curl, CURLOPT_COPYPOSTFIELDS, postData.c_str()) == CURLE_OK;
  } else {
    set = set && curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  }
  set = set && curl_easy_setopt(m_curl, CURLOPT_URL, request.c_str()) == CURLE_OK;
  if (!set) return false;

  receiver.total = 0;
  receiver.client = this;
  if (curl_easy_perform(m_curl) != CURLE_OK) return false;

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

std::string decodeEntities(const std::string& text) {
  struct Entity {
    const char* name;
    char byte;
  };
  static const Entity kEntities[] = {
      {"&amp;", '\x26'},  {"&Auml;", '\xC4'}, {"&auml;", '\xE4'}, {"&Ouml;", '\xD6'},
      {"&ouml;", '\xF6'}, {"&Uuml;", '\xDC'}, {"&uuml;", '\xFC'}, {"&szlig;", '\xDF'},
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const Entity& entity : kEntities) {
        const std::size_t length = std::strlen(entity.name);
        if (text.compare(i, length, entity.name) == 0) {
          out += entity.byte;
          i += length;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

}  // namespace cartscope::update
