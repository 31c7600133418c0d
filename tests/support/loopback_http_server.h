#pragma once
// A small real HTTP server on a loopback address, for tests: it answers each request through a
// handler and records every request head as it arrived. Each connection gets one answer and is
// then closed.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpAnswer {
  std::string raw;     // the bytes sent back, status line and headers included
  bool hang = false;   // send nothing and keep the connection open until the server stops
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpAnswer(const std::string& path)>;

  // port 0 takes a free one. Started() tells whether the address could be bound.
  explicit LoopbackHttpServer(Handler handler, const std::string& host = "127.0.0.1", int port = 0);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool Started() const { return listener_ >= 0; }
  int Port() const { return port_; }
  std::string Url() const;  // "http://host:port", no final "/"

  // Request heads (request line and headers, up to the empty line), in order of arrival.
  std::vector<std::string> Requests() const;
  // The request heads whose target is path.
  std::vector<std::string> RequestsFor(const std::string& path) const;

  static HttpAnswer Answer(int status, const std::string& body,
                           const std::string& contentType = "text/plain");
  static HttpAnswer Redirect(int status, const std::string& location);
  // Serves the files of a folder; "/" is index.html; anything else is a 404.
  static Handler Folder(const std::string& root);

  // A loopback port on which nothing listens.
  static int ClosedPort();

 private:
  void Accept();
  void Serve(int connection);

  Handler handler_;
  std::string host_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// The path of a request head's target, without its query.
std::string RequestPath(const std::string& head);

}  // namespace testsupport
