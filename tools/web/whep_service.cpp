#include "tools/web/whep_service.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "tools/web/sdp_offer.h"

namespace vantorel::web {
namespace {

constexpr std::string_view kWhepPath = "/whep";
constexpr std::string_view kResourcePrefix = "/whep/";
constexpr std::string_view kSdpType = "application/sdp";
constexpr std::size_t kViewerIdLength = 16;
// Larger than any page file we ship; a bigger one is not served.
constexpr std::uintmax_t kMaxPageFileSize = 4 * 1024 * 1024;

struct PageFile {
  std::string_view path;
  std::string_view file;
  std::string_view type;
};

// Every file the page is made of: nothing else in the folder is ever served.
constexpr std::array<PageFile, 4> kPageFiles{{
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/player.js", "player.js", "text/javascript; charset=utf-8"},
    {"/style.css", "style.css", "text/css; charset=utf-8"},
    {"/janus.js", "janus.js", "text/javascript; charset=utf-8"},
}};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsViewerId(std::string_view id) {
  if (id.size() != kViewerIdLength) return false;
  for (const char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool IsGet(const HttpRequest& request) {
  return request.method == "GET" || request.method == "HEAD";
}

HttpReply Reply(int status, std::string type = {}, std::string body = {}) {
  HttpReply reply;
  reply.status = status;
  reply.contentType = std::move(type);
  reply.body = std::move(body);
  return reply;
}

HttpReply NotAllowed(std::string_view allowed) {
  HttpReply reply = Reply(405);
  reply.headers.emplace_back("Allow", allowed);
  return reply;
}

HttpReply TooManyViewers(std::size_t maxViewers) {
  const std::string n = std::to_string(maxViewers);
  return Reply(503, "text/html; charset=utf-8",
               "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Too many viewers"
               "</title></head>\n<body><p>This receiver already serves " +
                   n + " viewer" + (maxViewers == 1 ? "" : "s") +
                   ", as many as it was started for; try again when one of them leaves."
                   "</p></body></html>\n");
}

std::optional<std::string> ReadPageFile(const std::filesystem::path& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxPageFileSize || !std::filesystem::is_regular_file(path, error)) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names a browser uses for this machine itself, which another machine cannot use.
bool IsLoopbackHost(std::string_view host) {
  return host.empty() || SameText(host, "localhost") || host.starts_with("127.") ||
         host == "[::1]" || host == "0.0.0.0" || host == "[::]" ||
         (host.size() > 10 && SameText(host.substr(host.size() - 10), ".localhost"));
}

// A Host header of a name or address and an optional port, nothing else.
bool IsPlainHost(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  for (const char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

// "[::1]:8080" -> "[::1]", "host:80" -> "host", "host" -> "host".
std::string_view HostName(std::string_view hostHeader) {
  if (hostHeader.starts_with('[')) {
    const std::size_t close = hostHeader.find(']');
    return close == std::string_view::npos ? hostHeader : hostHeader.substr(0, close + 1);
  }
  return hostHeader.substr(0, hostHeader.find(':'));
}

}  // namespace

std::string_view HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (SameText(key, name)) return value;
  }
  return {};
}

std::string NewViewerId() {
  std::random_device random;
  std::uniform_int_distribution<std::uint64_t> any;
  char text[kViewerIdLength + 1];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(any(random)));
  return text;
}

WhepService::WhepService(WhepServiceOptions options, ViewerHost& host, StatusSource status,
                         QrSource qr, Log log)
    : options_(std::move(options)),
      host_(host),
      status_(std::move(status)),
      qr_(std::move(qr)),
      log_(std::move(log)) {
  if (!log_) {
    log_ = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  }
}

WhepService::~WhepService() {
  *alive_ = false;
}

std::optional<HttpReply> WhepService::Early(const HttpRequest& request) const {
  if (request.path == kWhepPath && request.method == "POST" && request.declaredLength &&
      *request.declaredLength > kMaxOfferSize) {
    return Refuse(request, 413,
                  "an offer of " + std::to_string(*request.declaredLength) + " bytes declared");
  }
  return std::nullopt;
}

HttpReply WhepService::Handle(const HttpRequest& request, Later later) {
  for (const PageFile& page : kPageFiles) {
    if (request.path != page.path) continue;
    if (!IsGet(request)) return NotAllowed("GET, HEAD");
    return Page(request, page.file, page.type);
  }
  if (request.path == "/status" || request.path == "/qr.svg") {
    if (!IsGet(request)) return NotAllowed("GET, HEAD");
    const bool status = request.path == "/status";
    HttpReply reply = status ? Reply(200, "application/json", status_(host_.Viewers()))
                             : Reply(200, "image/svg+xml", qr_(PageUrl(request.Header("Host"))));
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
  }
  if (request.path == kWhepPath) {
    if (request.method == "POST") return Post(request, std::move(later));
    if (request.method == "OPTIONS") {
      HttpReply reply = Reply(204);
      reply.headers.emplace_back("Accept-Post", kSdpType);
      reply.headers.emplace_back("Allow", "OPTIONS, POST");
      return reply;
    }
    return NotAllowed("OPTIONS, POST");
  }
  if (request.path.starts_with(kResourcePrefix) &&
      IsViewerId(std::string_view(request.path).substr(kResourcePrefix.size()))) {
    if (request.method == "DELETE") return Delete(request.path.substr(kResourcePrefix.size()));
    // PATCH included: candidates are all in the offer and the answer, none trickle.
    return NotAllowed("DELETE");
  }
  return Refuse(request, 404, "no such page");
}

std::string WhepService::PageUrl(std::string_view hostHeader) const {
  hostHeader = Trimmed(hostHeader);
  if (IsPlainHost(hostHeader) && !IsLoopbackHost(HostName(hostHeader))) {
    return "http://" + std::string(hostHeader) + "/";
  }
  const std::string host = options_.fallbackHost.empty() ? "localhost" : options_.fallbackHost;
  return "http://" + host + ":" + std::to_string(options_.httpPort) + "/";
}

HttpReply WhepService::Page(const HttpRequest& request, std::string_view file,
                            std::string_view type) const {
  std::optional<std::string> bytes = ReadPageFile(options_.pageFolder / file);
  if (!bytes) return Refuse(request, 404, "cannot read " + (options_.pageFolder / file).string());
  HttpReply reply = Reply(200, std::string(type), std::move(*bytes));
  reply.headers.emplace_back("Cache-Control", "no-cache");
  return reply;
}

HttpReply WhepService::Post(const HttpRequest& request, Later later) {
  const std::uint64_t length =
      std::max<std::uint64_t>(request.declaredLength.value_or(0), request.body.size());
  if (length > kMaxOfferSize) {
    return Refuse(request, 413, "an offer of " + std::to_string(length) + " bytes");
  }
  const std::string_view type = request.Header("Content-Type");
  if (!SameText(Trimmed(type.substr(0, type.find(';'))), kSdpType)) {
    return Refuse(request, 415, "content type \"" + std::string(type) + "\"");
  }
  if (host_.Viewers() >= options_.maxViewers) {
    Refuse(request, 503, std::to_string(host_.Viewers()) + " viewers already");
    return TooManyViewers(options_.maxViewers);
  }
  const OfferCheck offer = ReadOffer(request.body);
  if (!offer.ok) return Refuse(request, 400, offer.error);

  // The media side may answer before Offer returns (then the reply goes back at once) or
  // later on the main thread (then through `later`).
  struct Pending {
    bool returned = false;
    std::optional<HttpReply> early;
  };
  const auto pending = std::make_shared<Pending>();
  const std::string id = NewViewerId();
  std::weak_ptr<bool> alive = alive_;
  host_.Offer(id, request.body, offer.codecs,
              [this, alive, pending, id, later = std::move(later)](OfferResult result) {
                const auto living = alive.lock();
                if (!living || !*living) return;
                HttpReply reply = Answered(id, result);
                if (!pending->returned) {
                  pending->early = std::move(reply);
                } else if (!later || !later(std::move(reply))) {
                  host_.Remove(id);
                }
              });
  pending->returned = true;
  if (pending->early) return std::move(*pending->early);
  HttpReply deferred;
  deferred.deferred = true;
  return deferred;
}

HttpReply WhepService::Answered(const std::string& id, const OfferResult& result) {
  if (!result.ok) {
    host_.Remove(id);
    log_("vantorel-web: 500 POST /whep: " + result.error);
    return Reply(500, "text/plain; charset=utf-8", "The viewer could not be added.\n");
  }
  HttpReply reply = Reply(201, std::string(kSdpType), result.sdp);
  reply.headers.emplace_back("Location", std::string(kResourcePrefix) + id);
  return reply;
}

HttpReply WhepService::Delete(const std::string& id) {
  if (host_.Remove(id)) return Reply(200);
  log_("vantorel-web: 404 DELETE /whep/" + id + ": no such viewer");
  return Reply(404);
}

HttpReply WhepService::Refuse(const HttpRequest& request, int status,
                              const std::string& why) const {
  std::string line = "vantorel-web: " + std::to_string(status) + " " + request.method + " " +
                     request.path + ": " + why;
  // What a client sent stays on one line of the log.
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  log_(line);
  if (status == 413 || status == 415 || status == 400) {
    return Reply(status, "text/plain; charset=utf-8", why + "\n");
  }
  return Reply(status);
}

}  // namespace vantorel::web
