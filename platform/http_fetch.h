#pragma once
// The HTTP client: one GET of a URL into bytes, over libcurl.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

extern const char* const FetchUserAgent;

// Largest body kept; a longer one is cut there, as a broken transfer would be.
constexpr size_t FetchBodyLimit = 16u << 20;

// GET with HTTP/1.0, the user agent, "Accept: */*" and the no-cache headers; redirects
// followed; proxy from the system's (libcurl's) settings. Returns the body whatever the status,
// the bytes so far when the transfer breaks, nothing for an empty URL or a failed request.
// A server that sends nothing for stallSeconds in a row counts as a broken transfer.
// One libcurl handle serves the whole process.
std::vector<uint8_t> FetchUrlBytesOverHttp(const std::string& url, long stallSeconds = 60);

}  // namespace platform
