#include "platform/http_fetch.h"

#include <curl/curl.h>

#include <mutex>
#include <new>

namespace platform {

const char* const FetchUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

namespace {

struct Client {
  CURL* handle = nullptr;
  curl_slist* headers = nullptr;
  std::mutex lock;
};

Client& TheClient() {
  // Opened once and kept for the life of the process.
  static Client* client = [] {
    auto* created = new Client;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    created->handle = curl_easy_init();
    for (const char* header : {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"}) {
      created->headers = curl_slist_append(created->headers, header);
    }
    return created;
  }();
  return *client;
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::vector<uint8_t>*>(user);
  const size_t bytes = size * count;
  if (bytes > FetchBodyLimit - body->size()) return 0;  // aborts the transfer, keeps what came
  try {
    body->insert(body->end(), data, data + bytes);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return bytes;
}

}  // namespace

std::vector<uint8_t> FetchUrlBytesOverHttp(const std::string& url, long stallSeconds) {
  std::vector<uint8_t> body;
  if (url.empty()) return body;
  Client& client = TheClient();
  std::lock_guard<std::mutex> guard(client.lock);
  CURL* curl = client.handle;
  if (curl == nullptr || client.headers == nullptr) return body;

  curl_easy_reset(curl);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, FetchUserAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, client.headers);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // A server that goes silent would otherwise keep the caller waiting for ever.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);  // the body so far is the answer, whatever the outcome
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  return body;
}

}  // namespace platform
