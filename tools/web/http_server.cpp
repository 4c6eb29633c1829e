#include "tools/web/http_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdio>
#include <optional>
#include <utility>

#include <libsoup/soup.h>

#include "tools/web/glib_ptr.h"
#include "tools/web/qr_svg.h"
#include "tools/web/sdp_offer.h"

namespace vantorel::web {
namespace {

// A refused connection stays half open this long, so that the refusal is read before the
// socket closes.
constexpr guint kRefusalLingerSeconds = 1;
constexpr char kWatchKey[] = "vantorel-web-watch";

struct IfAddrsFree {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

// The IPv4 addresses of the interface named, or of every interface but loopback ones.
std::vector<std::string> Ipv4Addresses(const std::string& interfaceName) {
  std::vector<std::string> addresses;
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) return addresses;
  const std::unique_ptr<ifaddrs, IfAddrsFree> list(raw);
  for (const ifaddrs* a = list.get(); a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if (interfaceName.empty() ? (a->ifa_flags & IFF_LOOPBACK) != 0 : interfaceName != a->ifa_name) {
      continue;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) addresses.push_back(text);
  }
  return addresses;
}

HttpRequest RequestOf(SoupServerMessage* msg, const char* path) {
  HttpRequest request;
  request.method = soup_server_message_get_method(msg);
  request.path = path != nullptr ? path : "";
  SoupMessageHeaders* headers = soup_server_message_get_request_headers(msg);
  soup_message_headers_foreach(
      headers,
      [](const char* name, const char* value, gpointer list) {
        static_cast<HeaderList*>(list)->emplace_back(name, value);
      },
      &request.headers);
  if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH) {
    request.declaredLength =
        static_cast<std::uint64_t>(soup_message_headers_get_content_length(headers));
  }
  return request;
}

void Respond(SoupServerMessage* msg, const HttpReply& reply) {
  soup_server_message_set_status(msg, static_cast<guint>(reply.status), nullptr);
  SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
  for (const auto& [name, value] : reply.headers) {
    soup_message_headers_append(headers, name.c_str(), value.c_str());
  }
  if (!reply.contentType.empty()) {
    soup_server_message_set_response(msg, reply.contentType.c_str(), SOUP_MEMORY_COPY,
                                     reply.body.data(), reply.body.size());
  }
}

// Writes the reply on a connection taken from the server and closes it, without reading what
// the client still sends.
void RespondAndClose(GObjectPtr<GIOStream> stream, const HttpReply& reply) {
  std::string text =
      "HTTP/1.1 " + std::to_string(reply.status) + " " +
      soup_status_get_phrase(static_cast<guint>(reply.status)) +
      "\r\nConnection: close\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n";
  if (!reply.contentType.empty()) text += "Content-Type: " + reply.contentType + "\r\n";
  text += "\r\n" + reply.body;
  GOutputStream* out = g_io_stream_get_output_stream(stream.get());
  g_output_stream_write_all(out, text.data(), text.size(), nullptr, nullptr, nullptr);
  g_output_stream_flush(out, nullptr, nullptr);
  if (G_IS_SOCKET_CONNECTION(stream.get())) {
    GSocket* socket = g_socket_connection_get_socket(G_SOCKET_CONNECTION(stream.get()));
    g_socket_shutdown(socket, FALSE, TRUE, nullptr);
  }
  GSource* linger = g_timeout_source_new_seconds(kRefusalLingerSeconds);
  g_source_set_callback(
      linger,
      [](gpointer data) -> gboolean {
        g_io_stream_close(static_cast<GIOStream*>(data), nullptr, nullptr);
        return G_SOURCE_REMOVE;
      },
      stream.release(), g_object_unref);
  g_source_attach(linger, g_main_context_get_thread_default());
  g_source_unref(linger);
}

}  // namespace

// What the server knows of one request while it is read: the timer that closes a connection
// whose request does not arrive in time, and how much body came without a declared length.
// Attached to its message and freed with it; every callback runs on the main thread.
struct RequestWatch {
  SoupServerMessage* msg = nullptr;  // the owner
  guint timer = 0;
  std::size_t bodyBytes = 0;
  bool cutOff = false;  // the body grew too large and the connection was shut
  bool finished = false;

  ~RequestWatch() { StopTimer(); }
  void StopTimer() {
    if (timer != 0) g_source_remove(timer);
    timer = 0;
  }
  // Shutting the socket down ends the connection through the server's own error path.
  void Close() {
    if (GSocket* socket = soup_server_message_get_socket(msg)) {
      g_socket_shutdown(socket, TRUE, TRUE, nullptr);
    }
  }
};

struct WebServer::Soup {
  GObjectPtr<SoupServer> server;
  std::unique_ptr<WhepService> service;
  std::chrono::seconds idleTimeout{};
  // Tells replies that come after the server is gone to do nothing.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  ~Soup() {
    *alive = false;
    if (!server) return;
    g_signal_handlers_disconnect_by_data(server.get(), this);
    soup_server_remove_handler(server.get(), nullptr);
    soup_server_disconnect(server.get());
  }

  static void OnRequestStarted(SoupServer*, SoupServerMessage* msg, gpointer data);
  static void OnEarly(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*,
                      gpointer data);
  static void OnRequest(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*,
                        gpointer data);
};

void WebServer::Soup::OnRequestStarted(SoupServer*, SoupServerMessage* msg, gpointer data) {
  auto& soup = *static_cast<Soup*>(data);
  if (GSocket* socket = soup_server_message_get_socket(msg)) {
    // Closes a connection on which nothing moves for that long (waiting for a first or a next
    // request, or a stalled transfer).
    g_socket_set_timeout(socket, static_cast<guint>(soup.idleTimeout.count()));
  }
  auto owned = std::make_unique<RequestWatch>();
  owned->msg = msg;
  RequestWatch* watch = owned.get();
  g_object_set_data_full(G_OBJECT(msg), kWatchKey, owned.release(), [](gpointer w) {
    std::unique_ptr<RequestWatch>(static_cast<RequestWatch*>(w));
  });
  // A request, body included, must arrive within the timeout however slowly it trickles.
  watch->timer = g_timeout_add_seconds(
      static_cast<guint>(soup.idleTimeout.count()),
      [](gpointer w) -> gboolean {
        auto* watch = static_cast<RequestWatch*>(w);
        watch->timer = 0;
        std::fprintf(stderr, "vantorel-web: a request did not arrive in time; connection closed\n");
        watch->Close();
        return G_SOURCE_REMOVE;
      },
      watch);
  g_signal_connect(msg, "got-chunk", G_CALLBACK(+[](SoupServerMessage*, GBytes* chunk, gpointer w) {
                     auto* watch = static_cast<RequestWatch*>(w);
                     watch->bodyBytes += g_bytes_get_size(chunk);
                     if (watch->bodyBytes > kMaxOfferSize && !watch->cutOff) {
                       watch->cutOff = true;
                       std::fprintf(stderr,
                                    "vantorel-web: 413 a body over 64 KB; connection closed\n");
                       watch->StopTimer();
                       watch->Close();
                     }
                   }),
                   watch);
  g_signal_connect(msg, "got-body", G_CALLBACK(+[](SoupServerMessage*, gpointer w) {
                     static_cast<RequestWatch*>(w)->StopTimer();
                   }),
                   watch);
  g_signal_connect(msg, "finished", G_CALLBACK(+[](SoupServerMessage*, gpointer w) {
                     auto* watch = static_cast<RequestWatch*>(w);
                     watch->StopTimer();
                     watch->finished = true;
                   }),
                   watch);
}

void WebServer::Soup::OnEarly(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*,
                              gpointer data) {
  auto& soup = *static_cast<Soup*>(data);
  const std::optional<HttpReply> refusal = soup.service->Early(RequestOf(msg, path));
  if (!refusal) return;
  if (auto* watch = static_cast<RequestWatch*>(g_object_get_data(G_OBJECT(msg), kWatchKey))) {
    watch->StopTimer();
  }
  RespondAndClose(GObjectPtr<GIOStream>(soup_server_message_steal_connection(msg)), *refusal);
}

void WebServer::Soup::OnRequest(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*,
                                gpointer data) {
  auto& soup = *static_cast<Soup*>(data);
  const auto* watch = static_cast<RequestWatch*>(g_object_get_data(G_OBJECT(msg), kWatchKey));
  if (watch != nullptr && watch->cutOff) {
    soup_server_message_set_status(msg, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, nullptr);
    return;
  }
  HttpRequest request = RequestOf(msg, path);
  if (SoupMessageBody* body = soup_server_message_get_request_body(msg)) {
    GBytes* bytes = soup_message_body_flatten(body);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    if (data != nullptr) request.body.assign(data, size);
    g_bytes_unref(bytes);
  }
  // The message stays alive, and its reply welcome, until the answer comes.
  std::shared_ptr<SoupServerMessage> held(static_cast<SoupServerMessage*>(g_object_ref(msg)),
                                          g_object_unref);
  std::weak_ptr<bool> alive = soup.alive;
  const HttpReply reply = soup.service->Handle(request, [held, alive](HttpReply later) {
    const auto living = alive.lock();
    auto* watch = static_cast<RequestWatch*>(g_object_get_data(G_OBJECT(held.get()), kWatchKey));
    if (!living || !*living || (watch != nullptr && watch->finished)) return false;
    Respond(held.get(), later);
    soup_server_message_unpause(held.get());
    return true;
  });
  if (reply.deferred) {
    soup_server_message_pause(msg);
  } else {
    Respond(msg, reply);
  }
}

WebServer::WebServer(WebServerOptions options, ViewerHost& host, WhepService::StatusSource status)
    : options_(std::move(options)), host_(host), status_(std::move(status)) {}

WebServer::~WebServer() = default;

bool WebServer::Start(std::string& error) {
  auto soup = std::make_unique<Soup>();
  soup->idleTimeout = options_.idleTimeout;
  soup->server.reset(soup_server_new("server-header", "vantorel-web", nullptr));
  GError* raw = nullptr;
  bool listening = false;
  // The interface's address, or every IPv4 address.
  std::string bindAddress = "0.0.0.0";
  if (options_.interfaceName.empty()) {
    addresses_ = Ipv4Addresses({});
  } else {
    addresses_ = Ipv4Addresses(options_.interfaceName);
    if (addresses_.empty()) {
      error = "the interface " + options_.interfaceName + " has no IPv4 address";
      return false;
    }
    bindAddress = addresses_[0];
  }
  {
    const GObjectPtr<GInetAddress> address(g_inet_address_new_from_string(bindAddress.c_str()));
    const GObjectPtr<GSocketAddress> socketAddress(
        g_inet_socket_address_new(address.get(), options_.port));
    // Bound with reuse, so that a server started again at once is not refused while the
    // connections of the one before wait out their last seconds.
    const GObjectPtr<GSocket> socket(
        g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, &raw));
    listening = socket && g_socket_bind(socket.get(), socketAddress.get(), TRUE, &raw) &&
                g_socket_listen(socket.get(), &raw) &&
                soup_server_listen_socket(soup->server.get(), socket.get(),
                                          static_cast<SoupServerListenOptions>(0), &raw);
  }
  const GErrorPtr failure(raw);
  if (!listening) {
    error = "cannot listen on HTTP port " + std::to_string(options_.port) + ": " +
            (failure ? failure->message : "unknown error");
    return false;
  }
  GSList* uris = soup_server_get_uris(soup->server.get());
  port_ = uris != nullptr
              ? static_cast<std::uint16_t>(g_uri_get_port(static_cast<GUri*>(uris->data)))
              : options_.port;
  g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));

  WhepServiceOptions service;
  service.maxViewers = options_.maxViewers;
  service.pageFolder = options_.pageFolder;
  service.httpPort = port_;
  service.fallbackHost = addresses_.empty() ? std::string() : addresses_[0];
  soup->service = std::make_unique<WhepService>(
      std::move(service), host_, status_,
      [](const std::string& text) { return QrSvg(text).value_or(std::string()); });

  g_signal_connect(soup->server.get(), "request-started", G_CALLBACK(Soup::OnRequestStarted),
                   soup.get());
  soup_server_add_early_handler(soup->server.get(), nullptr, Soup::OnEarly, soup.get(), nullptr);
  soup_server_add_handler(soup->server.get(), nullptr, Soup::OnRequest, soup.get(), nullptr);
  soup_ = std::move(soup);
  return true;
}

std::vector<std::string> WebServer::Urls() const {
  std::vector<std::string> urls;
  const std::string port = std::to_string(port_);
  for (const std::string& address : addresses_)
    urls.push_back("http://" + address + ":" + port + "/");
  if (urls.empty()) urls.push_back("http://localhost:" + port + "/");
  return urls;
}

}  // namespace vantorel::web
