// A small HTTP/1.1 server for tests, on 127.0.0.1 and a free port, that serves fixed
// responses by path and records every request it gets (method, target, headers in
// arrival order, body). Plain sockets, so the same server runs on Linux and inside a
// Windows test program under Wine. One connection at a time; every answer closes it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace test_http {

#if defined(_WIN32)
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
inline void CloseSocket(Socket s) { closesocket(s); }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
inline void CloseSocket(Socket s) { close(s); }
#endif

struct Request {
  std::string method, target;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name, ignoring ASCII case.
  std::optional<std::string> Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
      if (key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(),
                                                  [](char a, char b) { return tolower(a) == tolower(b); }))
        return value;
    }
    return std::nullopt;
  }
};

struct Response {
  int status = 200;
  std::string reason = "OK";
  std::string content_type = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // Chunked, with chunks of `body` that never end, until the client goes away.
  bool endless = false;
};

inline Response Page(std::string body, int status = 200, std::string reason = "OK") {
  Response response;
  response.status = status;
  response.reason = std::move(reason);
  response.body = std::move(body);
  return response;
}

class Server {
 public:
  Server() {
#if defined(_WIN32)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 16);
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() {
    stop_ = true;
    thread_.join();
    CloseSocket(listener_);
#if defined(_WIN32)
    WSACleanup();
#endif
  }

  int port() const { return port_; }
  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }

  void Serve(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
  }
  std::vector<Request> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // A port on which nothing listens: connecting to it is refused.
  int ClosedPort() const {
    Socket s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    CloseSocket(s);
    return ntohs(address.sin_port);
  }

 private:
  void Loop() {
    while (!stop_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener_, &readable);
      timeval wait{0, 50 * 1000};
      if (select(static_cast<int>(listener_ + 1), &readable, nullptr, nullptr, &wait) <= 0) continue;
      Socket client = accept(listener_, nullptr, nullptr);
      if (client == kNoSocket) continue;
      Handle(client);
      CloseSocket(client);
    }
  }

  static bool ReadMore(Socket client, std::string& data) {
    char buffer[4096];
    const auto n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
    return true;
  }

  void Handle(Socket client) {
    std::string data;
    size_t end = std::string::npos;
    while ((end = data.find("\r\n\r\n")) == std::string::npos) {
      if (!ReadMore(client, data)) return;
    }
    Request request;
    std::string_view head(data.data(), end);
    const size_t line_end = head.find("\r\n");
    const std::string_view line = head.substr(0, line_end);
    const size_t space = line.find(' ');
    request.method = line.substr(0, space);
    request.target = line.substr(space + 1, line.rfind(' ') - space - 1);
    size_t length = 0;
    for (size_t pos = line_end; pos != std::string_view::npos && pos < head.size();) {
      const size_t start = pos + 2;
      pos = head.find("\r\n", start);
      const auto header =
          head.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
      const size_t colon = header.find(':');
      if (colon == std::string_view::npos) continue;
      std::string value(header.substr(colon + 1));
      value.erase(0, value.find_first_not_of(' '));
      request.headers.emplace_back(std::string(header.substr(0, colon)), value);
    }
    if (auto value = request.Header("Content-Length")) length = std::stoul(*value);
    request.body = data.substr(end + 4);
    while (request.body.size() < length) {
      if (!ReadMore(client, request.body)) break;
    }
    Response response;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      const std::string path = request.target.substr(0, request.target.find('?'));
      if (const auto it = responses_.find(path); it != responses_.end()) {
        response = it->second;
      } else {
        response = Page("<html><body>not found</body></html>", 404, "Not Found");
      }
    }
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    out += "Content-Type: " + response.content_type + "\r\n";
    if (response.endless) {
      out += "Transfer-Encoding: chunked\r\n";
    } else {
      out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    for (const auto& [key, value] : response.headers) out += key + ": " + value + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!response.endless) {
      SendAll(client, out + response.body);
      return;
    }
    std::string chunk = out;
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", response.body.size());
    chunk += size + response.body + "\r\n";
    while (!stop_ && SendAll(client, chunk)) chunk = size + response.body + "\r\n";
  }

  // False once the client has gone.
  static bool SendAll(Socket client, const std::string& out) {
#if defined(_WIN32)
    constexpr int kFlags = 0;
#else
    constexpr int kFlags = MSG_NOSIGNAL;
#endif
    for (size_t sent = 0; sent < out.size();) {
      const auto n = send(client, out.data() + sent, static_cast<int>(out.size() - sent), kFlags);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  Socket listener_ = kNoSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::string, Response> responses_;
  std::vector<Request> requests_;
};

// A server that takes connections (the system's backlog does) and never answers: a
// transfer to it waits until it is aborted.
class SilentListener {
 public:
  SilentListener() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(socket_, 16);
    socklen_t size = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  ~SilentListener() { CloseSocket(socket_); }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  Socket socket_ = kNoSocket;
  int port_ = 0;
};

}  // namespace test_http
