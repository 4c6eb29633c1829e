#include "tools/web/http_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <future>
#include <set>
#include <string>
#include <thread>

#include <glib.h>

#include "tests/tools/web/chromium_offer.h"
#include "tools/web/qr_svg.h"

namespace vantorel::web {
namespace {

// Answers every offer from the main loop, after the request's handler has returned, as the
// WebRTC output does. Used on the server's thread only.
class LaterHost : public ViewerHost {
 public:
  void Offer(const std::string& id, const std::string&, const OfferCodecs&, Done done) override {
    viewers_.insert(id);
    auto answer = std::make_unique<std::pair<std::string, Done>>(id, std::move(done));
    GSource* idle = g_idle_source_new();
    g_source_set_callback(
        idle,
        [](gpointer data) -> gboolean {
          auto* answer = static_cast<std::pair<std::string, Done>*>(data);
          answer->second(OfferResult{true, "v=0\r\nanswer=" + answer->first + "\r\n", {}});
          return G_SOURCE_REMOVE;
        },
        answer.release(),
        [](gpointer data) {
          std::unique_ptr<std::pair<std::string, Done>>(
              static_cast<std::pair<std::string, Done>*>(data));
        });
    g_source_attach(idle, g_main_context_get_thread_default());
    g_source_unref(idle);
  }
  bool Remove(const std::string& id) override { return viewers_.erase(id) == 1; }
  std::size_t Viewers() const override { return viewers_.size(); }

 private:
  std::set<std::string> viewers_;
};

struct MainContextUnref {
  void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
struct MainLoopUnref {
  void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};

// The server on 127.0.0.1 at a free port, run by a main loop on a thread of its own.
class WebServerTest : public testing::Test {
 protected:
  WebServerTest() {
    std::promise<std::uint16_t> started;
    std::future<std::uint16_t> port = started.get_future();
    thread_ = std::thread([this, &started] { Serve(started); });
    port_ = port.get();
  }

  ~WebServerTest() override {
    g_main_context_invoke(
        context_.get(),
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_.get());
    thread_.join();
  }

  void Serve(std::promise<std::uint16_t>& started) {
    g_main_context_push_thread_default(context_.get());
    {
      LaterHost host;
      WebServerOptions options;
      options.port = 0;
      options.interfaceName = "lo";
      options.idleTimeout = std::chrono::seconds(1);
      options.pageFolder = "/nonexistent";
      WebServer server(options, host, [](std::size_t viewers) {
        return "{\"viewers\":" + std::to_string(viewers) + "}";
      });
      std::string error;
      if (!server.Start(error)) {
        ADD_FAILURE() << error;
        started.set_value(0);
      } else {
        urls_ = server.Urls();
        started.set_value(server.Port());
        g_main_loop_run(loop_.get());
      }
    }
    g_main_context_pop_thread_default(context_.get());
  }

  // A connection to the server; reads give up after a generous while rather than hang.
  int Connect() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval guard{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  }

  // Everything the server sends until it closes; "timeout" when it never does.
  static std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n == 0) break;
      if (n < 0) return text + "timeout";
      text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
  }

  std::string Exchange(const std::string& request) const {
    const int fd = Connect();
    EXPECT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    return ReadToEnd(fd);
  }

  static std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  }

  std::unique_ptr<GMainContext, MainContextUnref> context_{g_main_context_new()};
  std::unique_ptr<GMainLoop, MainLoopUnref> loop_{g_main_loop_new(context_.get(), FALSE)};
  std::vector<std::string> urls_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

TEST_F(WebServerTest, AnswersTheRoutes) {
  ASSERT_NE(port_, 0);
  EXPECT_EQ(urls_, std::vector<std::string>{"http://127.0.0.1:" + std::to_string(port_) + "/"});
  EXPECT_TRUE(Exchange(Get("/nothing")).starts_with("HTTP/1.1 404"));
  const std::string status = Exchange(Get("/status"));
  EXPECT_TRUE(status.starts_with("HTTP/1.1 200")) << status;
  EXPECT_NE(status.find("Content-Type: application/json"), std::string::npos);
  EXPECT_NE(status.find("Cache-Control: no-store"), std::string::npos);
  EXPECT_TRUE(status.ends_with("\r\n\r\n{\"viewers\":0}")) << status;
  const std::string qr = Exchange(Get("/qr.svg"));
  EXPECT_NE(qr.find("Content-Type: image/svg+xml"), std::string::npos);
  EXPECT_NE(qr.find("<svg"), std::string::npos);
}

TEST_F(WebServerTest, OfferIsAnsweredWhenTheMediaSideIsReady) {
  const std::string offer = test::ChromiumOffer();
  const std::string reply = Exchange(
      "POST /whep HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
      "Content-Type: application/sdp\r\nContent-Length: " +
      std::to_string(offer.size()) + "\r\n\r\n" + offer);
  ASSERT_TRUE(reply.starts_with("HTTP/1.1 201")) << reply;
  const std::size_t location = reply.find("Location: /whep/");
  ASSERT_NE(location, std::string::npos);
  const std::string id = reply.substr(location + 16, 16);
  EXPECT_TRUE(reply.ends_with("v=0\r\nanswer=" + id + "\r\n")) << reply;
  EXPECT_TRUE(Exchange(Get("/status")).ends_with("{\"viewers\":1}"));

  const std::string remove =
      "DELETE /whep/" + id + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  EXPECT_TRUE(Exchange(remove).starts_with("HTTP/1.1 200"));
  EXPECT_TRUE(Exchange(remove).starts_with("HTTP/1.1 404"));
}

TEST_F(WebServerTest, OversizedOfferIsRefusedBeforeItsBody) {
  // The body is never sent: a reply proves the server did not wait for it.
  const std::string reply = Exchange(
      "POST /whep HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/sdp\r\n"
      "Content-Length: 10000000\r\n\r\n");
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 413")) << reply;
}

TEST_F(WebServerTest, OversizedBodyWithoutLengthIsCutOff) {
  const int fd = Connect();
  const std::string head =
      "POST /whep HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/sdp\r\n"
      "Transfer-Encoding: chunked\r\n\r\n";
  send(fd, head.data(), head.size(), MSG_NOSIGNAL);
  const std::string chunk = "1000\r\n" + std::string(0x1000, 'a') + "\r\n";
  for (int i = 0; i < 17; ++i) {
    if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
  }
  const std::string reply = ReadToEnd(fd);
  EXPECT_EQ(reply.find("HTTP/1.1 201"), std::string::npos);
  EXPECT_EQ(reply.find("timeout"), std::string::npos) << "the connection stayed open";
}

TEST_F(WebServerTest, IdleAndSlowConnectionsAreClosed) {
  EXPECT_EQ(ReadToEnd(Connect()), "");
  const int slow = Connect();
  const std::string part = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  send(slow, part.data(), part.size(), MSG_NOSIGNAL);
  EXPECT_EQ(ReadToEnd(slow).find("timeout"), std::string::npos);
}

TEST(QrSvgTest, DrawsDarkModulesOnWhiteWithAQuietZone) {
  const std::optional<std::string> svg = QrSvg("http://192.168.1.20:8080/");
  ASSERT_TRUE(svg);
  EXPECT_NE(svg->find("shape-rendering=\"crispEdges\""), std::string::npos);
  EXPECT_NE(svg->find("fill=\"#ffffff\""), std::string::npos);
  // Version 2 (25 modules) for this length at level M, with four modules of white each side.
  EXPECT_NE(svg->find("viewBox=\"0 0 33 33\""), std::string::npos);
  // The top-left finder pattern starts inside the quiet zone with a run of seven.
  EXPECT_NE(svg->find("M4 4h7v1h-7z"), std::string::npos);
  EXPECT_FALSE(QrSvg(std::string(8000, 'x')));
}

}  // namespace
}  // namespace vantorel::web
