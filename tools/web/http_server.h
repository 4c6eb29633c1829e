// The page's HTTP server on libsoup 3: listens, turns each request into a WhepService call and
// its reply back into a response. Lives on the main thread, whose GLib main context (the
// thread-default one when the server starts) runs every callback.
//
// An offer declared larger than 64 KB is refused from its headers, before its body is read; a
// body sent without a length is cut off there. A connection on which no request arrives, or
// whose request does not finish arriving, within the idle timeout is closed.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/web/viewer_host.h"
#include "tools/web/whep_service.h"

namespace vantorel::web {

inline constexpr std::uint16_t kDefaultHttpPort = 8080;
inline constexpr std::size_t kDefaultMaxViewers = 20;
inline constexpr std::chrono::seconds kDefaultIdleTimeout{30};

struct WebServerOptions {
  std::uint16_t port = kDefaultHttpPort;  // 0: any free port
  std::string interfaceName;  // listens on this interface's IPv4 address; empty: every interface
  std::size_t maxViewers = kDefaultMaxViewers;
  std::filesystem::path pageFolder;  // <program folder>/web
  std::chrono::seconds idleTimeout = kDefaultIdleTimeout;
};

class WebServer {
 public:
  // `host` is borrowed and must outlive the server; `status` makes the /status document and
  // is called on the main thread.
  WebServer(WebServerOptions options, ViewerHost& host, WhepService::StatusSource status);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and listens; false with the reason in `error` (the port in use, no such interface).
  bool Start(std::string& error);
  // The page's addresses once started: one per IPv4 address it can be reached at.
  std::vector<std::string> Urls() const;
  // The IPv4 addresses of those pages.
  const std::vector<std::string>& Addresses() const { return addresses_; }
  // The port bound (the one asked for, or the free one chosen for 0); 0 before Start.
  std::uint16_t Port() const { return port_; }

 private:
  struct Soup;

  WebServerOptions options_;
  ViewerHost& host_;
  WhepService::StatusSource status_;
  std::uint16_t port_ = 0;
  std::vector<std::string> addresses_;  // the IPv4 addresses shown in Urls
  std::unique_ptr<Soup> soup_;
};

}  // namespace vantorel::web
