// The page's HTTP routes as plain request handling, apart from any server library: the page
// and its scripts, /status, the QR code of the page's address, and the viewers' signalling
// (an offer posted to /whep is answered from the media side, a DELETE of the viewer's resource
// ends it). Runs on the main thread; the HTTP server adapts it to its connections.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/web/viewer_host.h"

namespace vantorel::web {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // without the query
  HeaderList headers;
  std::string body;
  std::optional<std::uint64_t> declaredLength;  // the Content-Length header, when given

  // The first header of that name (ASCII case ignored); empty when there is none.
  std::string_view Header(std::string_view name) const;
};

struct HttpReply {
  int status = 200;
  std::string contentType;  // empty: no body
  HeaderList headers;
  std::string body;
  // The reply comes later, through the callback given with the request.
  bool deferred = false;
};

struct WhepServiceOptions {
  std::size_t maxViewers = 20;
  std::filesystem::path pageFolder;  // the page and its scripts
  std::uint16_t httpPort = 8080;     // the port bound, for the page's address
  // The address a viewer on another machine reaches us by, for the QR code when the browser
  // asked by a loopback name.
  std::string fallbackHost;
};

class WhepService {
 public:
  // The /status document for that many viewers.
  using StatusSource = std::function<std::string(std::size_t viewers)>;
  // The QR code of a text, as an SVG document.
  using QrSource = std::function<std::string(const std::string& text)>;
  // One line, for the log.
  using Log = std::function<void(const std::string& line)>;
  // The reply to a deferred request, on the main thread; false when it cannot be delivered
  // (the browser went away), and then the viewer it made is removed.
  using Later = std::function<bool(HttpReply reply)>;

  // `host` is borrowed and must outlive the service. A null log writes to stderr.
  WhepService(WhepServiceOptions options, ViewerHost& host, StatusSource status, QrSource qr,
              Log log = nullptr);
  ~WhepService();
  WhepService(const WhepService&) = delete;
  WhepService& operator=(const WhepService&) = delete;

  // The reply to a request that its headers alone refuse (an offer declared too large), before
  // its body is read; nothing when the body is wanted.
  std::optional<HttpReply> Early(const HttpRequest& request) const;
  // The reply to a whole request, or a deferred one that `later` delivers (an offer whose
  // answer the media side is making).
  HttpReply Handle(const HttpRequest& request, Later later);

  // The page's address as a browser that sent this Host header reaches it.
  std::string PageUrl(std::string_view hostHeader) const;

 private:
  HttpReply Page(const HttpRequest& request, std::string_view file, std::string_view type) const;
  HttpReply Post(const HttpRequest& request, Later later);
  HttpReply Delete(const std::string& id);
  HttpReply Answered(const std::string& id, const OfferResult& result);
  HttpReply Refuse(const HttpRequest& request, int status, const std::string& why) const;

  const WhepServiceOptions options_;
  ViewerHost& host_;
  StatusSource status_;
  QrSource qr_;
  Log log_;
  // Tells the media side's late answers whether the service still exists.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A fresh viewer id: 16 lower-case hex digits from std::random_device.
std::string NewViewerId();

}  // namespace vantorel::web
