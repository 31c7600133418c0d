#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace testsupport {

namespace {

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

std::string RequestPath(const std::string& head) {
  const size_t start = head.find(' ');
  if (start == std::string::npos) return "";
  const size_t end = head.find_first_of(" ?", start + 1);
  return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, const std::string& host, int port)
    : handler_(std::move(handler)), host_(host) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0 ||
      pipe2(wake_, O_CLOEXEC) != 0) {
    close(fd);
    return;
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listener_ = fd;
  acceptor_ = std::thread([this] { Accept(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  if (listener_ < 0) return;
  stopping_ = true;
  const char byte = 0;
  (void)!write(wake_[1], &byte, 1);
  acceptor_.join();
  for (std::thread& connection : connections_) connection.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

std::string LoopbackHttpServer::Url() const {
  return "http://" + host_ + ":" + std::to_string(port_);
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

std::vector<std::string> LoopbackHttpServer::RequestsFor(const std::string& path) const {
  std::vector<std::string> found;
  for (const std::string& head : Requests()) {
    if (RequestPath(head) == path) found.push_back(head);
  }
  return found;
}

void LoopbackHttpServer::Accept() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) break;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    std::lock_guard<std::mutex> guard(lock_);
    connections_.emplace_back([this, connection] { Serve(connection); });
  }
}

void LoopbackHttpServer::Serve(int connection) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd fds[2] = {{connection, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, 10000) <= 0 || fds[1].revents != 0) break;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  const size_t end = head.find("\r\n\r\n");
  if (end != std::string::npos) {
    head.resize(end + 2);
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(head);
    }
    const HttpAnswer answer = handler_(RequestPath(head));
    if (answer.hang) {
      pollfd wake = {wake_[0], POLLIN, 0};
      poll(&wake, 1, -1);
    } else {
      SendAll(connection, answer.raw);
    }
  }
  close(connection);
}

HttpAnswer LoopbackHttpServer::Answer(int status, const std::string& body,
                                      const std::string& contentType) {
  HttpAnswer answer;
  answer.raw = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\nContent-Type: " +
               contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
  return answer;
}

HttpAnswer LoopbackHttpServer::Redirect(int status, const std::string& location) {
  HttpAnswer answer;
  answer.raw = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\nLocation: " +
               location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  return answer;
}

LoopbackHttpServer::Handler LoopbackHttpServer::Folder(const std::string& root) {
  return [root](const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) {
      return Answer(404, "not found");
    }
    const std::string file = root + (path == "/" ? "/index.html" : path);
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) return Answer(404, "not found");
    const std::string body((std::istreambuf_iterator<char>(in)), {});
    const bool html = file.size() > 4 && (file.compare(file.size() - 4, 4, ".htm") == 0 ||
                                          file.compare(file.size() - 5, 5, ".html") == 0);
    return Answer(200, body, html ? "text/html; charset=utf-8" : "text/plain");
  };
}

int LoopbackHttpServer::ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);  // nothing listens here now; another process taking it at once is unlikely
  return ntohs(address.sin_port);
}

}  // namespace testsupport
