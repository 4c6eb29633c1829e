#include "tools/web/whep_service.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/tools/web/chromium_offer.h"
#include "tests/tools/web/fake_viewer_host.h"
#include "tools/web/sdp_offer.h"

namespace vantorel::web {
namespace {

using test::FakeViewerHost;

std::string HeaderOf(const HttpReply& reply, const std::string& name) {
  for (const auto& [key, value] : reply.headers) {
    if (key == name) return value;
  }
  return {};
}

class WhepServiceTest : public testing::Test {
 protected:
  WhepServiceTest() {
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "index.html") << "<!DOCTYPE html><title>page</title>";
    std::ofstream(folder_ / "player.js") << "// player";
    std::ofstream(folder_ / "secret.txt") << "not served";
  }
  ~WhepServiceTest() override { std::filesystem::remove_all(folder_); }

  WhepServiceOptions Options() {
    WhepServiceOptions options;
    options.maxViewers = 2;
    options.pageFolder = folder_;
    options.httpPort = 8080;
    options.fallbackHost = "192.0.2.7";
    return options;
  }

  HttpReply Send(std::string method, std::string path, std::string body = {},
                 std::string type = "application/sdp") {
    HttpRequest request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.headers = {{"Host", "192.0.2.7:8080"}, {"content-type", std::move(type)}};
    request.declaredLength = body.size();
    request.body = std::move(body);
    return service_.Handle(request, [this](HttpReply reply) {
      later_.push_back(std::move(reply));
      return deliver_;
    });
  }

  HttpReply PostOffer() { return Send("POST", "/whep", test::ChromiumOffer()); }

  static std::filesystem::path Folder() {
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    return std::filesystem::temp_directory_path() /
           ("whep_service_test_" + std::to_string(getpid()) + "_" + name);
  }

  const std::filesystem::path folder_ = Folder();
  FakeViewerHost host_;
  std::vector<std::string> log_;
  std::vector<HttpReply> later_;
  bool deliver_ = true;
  WhepService service_{Options(), host_,
                       [](std::size_t viewers) { return "viewers " + std::to_string(viewers); },
                       [](const std::string& text) { return "qr of " + text; },
                       [this](const std::string& line) { log_.push_back(line); }};
};

struct Route {
  const char* name;
  const char* method;
  const char* path;
  int status;
  const char* type;  // expected content type; empty: none
};

class WhepServiceRouteTest : public WhepServiceTest, public testing::WithParamInterface<Route> {};

TEST_P(WhepServiceRouteTest, Answers) {
  const Route& route = GetParam();
  const HttpReply reply = Send(route.method, route.path);
  EXPECT_EQ(reply.status, route.status);
  EXPECT_EQ(reply.contentType, route.type);
  EXPECT_FALSE(reply.deferred);
  if (route.status == 405) {
    EXPECT_FALSE(HeaderOf(reply, "Allow").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, WhepServiceRouteTest,
    testing::Values(Route{"Page", "GET", "/", 200, "text/html; charset=utf-8"},
                    Route{"PageHead", "HEAD", "/", 200, "text/html; charset=utf-8"},
                    Route{"Script", "GET", "/player.js", 200, "text/javascript; charset=utf-8"},
                    Route{"MissingPageFile", "GET", "/style.css", 404, ""},
                    Route{"NotWhitelisted", "GET", "/secret.txt", 404, ""},
                    Route{"Traversal", "GET", "/../secret.txt", 404, ""},
                    Route{"IndexByName", "GET", "/index.html", 404, ""},
                    Route{"Status", "GET", "/status", 200, "application/json"},
                    Route{"Qr", "GET", "/qr.svg", 200, "image/svg+xml"},
                    Route{"PostToPage", "POST", "/", 405, ""},
                    Route{"PutStatus", "PUT", "/status", 405, ""},
                    Route{"GetWhep", "GET", "/whep", 405, ""},
                    Route{"Options", "OPTIONS", "/whep", 204, ""},
                    Route{"Patch", "PATCH", "/whep/0123456789abcdef", 405, ""},
                    Route{"GetResource", "GET", "/whep/0123456789abcdef", 405, ""},
                    Route{"DeleteUnknown", "DELETE", "/whep/0123456789abcdef", 404, ""},
                    Route{"NotAnId", "DELETE", "/whep/../status", 404, ""},
                    Route{"Unknown", "GET", "/favicon.ico", 404, ""}),
    [](const testing::TestParamInfo<Route>& info) { return info.param.name; });

TEST_F(WhepServiceTest, ServesTheFileAndTheStatusUnstored) {
  EXPECT_EQ(Send("GET", "/").body, "<!DOCTYPE html><title>page</title>");
  const HttpReply status = Send("GET", "/status");
  EXPECT_EQ(status.body, "viewers 0");
  EXPECT_EQ(HeaderOf(status, "Cache-Control"), "no-store");
  EXPECT_EQ(HeaderOf(Send("OPTIONS", "/whep"), "Accept-Post"), "application/sdp");
}

TEST_F(WhepServiceTest, OfferIsAnsweredWithTheViewersResource) {
  const HttpReply reply = PostOffer();
  ASSERT_EQ(reply.status, 201);
  EXPECT_EQ(reply.contentType, "application/sdp");
  const std::string location = HeaderOf(reply, "Location");
  ASSERT_EQ(location.size(), std::string("/whep/").size() + 16);
  const std::string id = location.substr(6);
  EXPECT_EQ(host_.viewers, std::set<std::string>{id});
  EXPECT_EQ(reply.body, "v=0\r\nanswer-for=" + id + "\r\n");
  EXPECT_EQ(host_.lastOffer, test::ChromiumOffer());
  EXPECT_EQ(host_.lastCodecs->h264Payload, 106);
  EXPECT_EQ(Send("GET", "/status").body, "viewers 1");

  EXPECT_EQ(Send("DELETE", location).status, 200);
  EXPECT_TRUE(host_.viewers.empty());
  EXPECT_EQ(Send("DELETE", location).status, 404);
}

TEST_F(WhepServiceTest, ViewersGetIdsOfTheirOwn) {
  const std::string first = HeaderOf(PostOffer(), "Location");
  const std::string second = HeaderOf(PostOffer(), "Location");
  EXPECT_NE(first, second);
  EXPECT_EQ(host_.Viewers(), 2u);
}

TEST_F(WhepServiceTest, AnswerMadeLaterIsDelivered) {
  host_.answer = FakeViewerHost::Answer::kLater;
  const HttpReply reply = PostOffer();
  EXPECT_TRUE(reply.deferred);
  ASSERT_EQ(host_.waiting.size(), 1u);
  const std::string id = host_.waiting.begin()->first;
  host_.AnswerLater(id);
  ASSERT_EQ(later_.size(), 1u);
  EXPECT_EQ(later_[0].status, 201);
  EXPECT_EQ(HeaderOf(later_[0], "Location"), "/whep/" + id);
  EXPECT_EQ(host_.Viewers(), 1u);
}

TEST_F(WhepServiceTest, AnswerNobodyWaitsForRemovesTheViewer) {
  host_.answer = FakeViewerHost::Answer::kLater;
  PostOffer();
  deliver_ = false;  // the browser went away
  host_.AnswerLater(host_.waiting.begin()->first);
  EXPECT_EQ(later_.size(), 1u);
  EXPECT_EQ(host_.Viewers(), 0u);
}

TEST_F(WhepServiceTest, MediaSideFailureIsAServerError) {
  host_.answer = FakeViewerHost::Answer::kFail;
  EXPECT_EQ(PostOffer().status, 500);
  EXPECT_EQ(host_.Viewers(), 0u);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("no encoder"), std::string::npos);
}

TEST_F(WhepServiceTest, FullHouseIsRefusedWithASentence) {
  PostOffer();
  PostOffer();
  const HttpReply reply = PostOffer();
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.contentType, "text/html; charset=utf-8");
  EXPECT_NE(reply.body.find("already serves 2 viewers"), std::string::npos);
  EXPECT_EQ(host_.Viewers(), 2u);
  EXPECT_EQ(log_.size(), 1u);
}

struct BadPost {
  const char* name;
  std::string body;
  const char* type;
  std::optional<std::uint64_t> declared;  // nothing: the body's length
  int status;
};

class WhepServiceBadPostTest : public WhepServiceTest,
                               public testing::WithParamInterface<BadPost> {};

TEST_P(WhepServiceBadPostTest, IsRefusedAndLoggedOnce) {
  const BadPost& post = GetParam();
  HttpRequest request;
  request.method = "POST";
  request.path = "/whep";
  request.headers = {{"Content-Type", post.type}};
  request.body = post.body;
  request.declaredLength = post.declared.value_or(post.body.size());
  EXPECT_EQ(service_.Handle(request, nullptr).status, post.status);
  EXPECT_EQ(log_.size(), 1u);
  EXPECT_EQ(host_.Viewers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Posts, WhepServiceBadPostTest,
    testing::Values(
        BadPost{"Malformed", "hello", "application/sdp", {}, 400},
        BadPost{"NoCodecWeTake",
                "v=0\r\nm=video 9 RTP/AVP 96\r\na=rtpmap:96 VP8/90000\r\n",
                "application/sdp",
                {},
                400},
        BadPost{"OtherType", test::ChromiumOffer(), "text/plain", {}, 415},
        BadPost{"NoType", test::ChromiumOffer(), "", {}, 415},
        BadPost{"DeclaredTooLarge", "", "application/sdp", kMaxOfferSize + 1, 413},
        BadPost{"BodyTooLarge", std::string(kMaxOfferSize + 1, 'v'), "application/sdp", {}, 413}),
    [](const testing::TestParamInfo<BadPost>& info) { return info.param.name; });

TEST_F(WhepServiceTest, TypeParametersAndCaseAreAccepted) {
  EXPECT_EQ(Send("POST", "/whep", test::ChromiumOffer(), "Application/SDP; charset=utf-8").status,
            201);
}

TEST_F(WhepServiceTest, OfferDeclaredTooLargeIsRefusedFromItsHeaders) {
  HttpRequest request;
  request.method = "POST";
  request.path = "/whep";
  request.declaredLength = kMaxOfferSize + 1;
  const std::optional<HttpReply> early = service_.Early(request);
  ASSERT_TRUE(early);
  EXPECT_EQ(early->status, 413);
  request.declaredLength = kMaxOfferSize;
  EXPECT_FALSE(service_.Early(request));
  request.path = "/status";
  request.declaredLength = kMaxOfferSize + 1;
  EXPECT_FALSE(service_.Early(request));
}

struct PageAddress {
  const char* host;
  const char* url;
};

class WhepServicePageUrlTest : public WhepServiceTest,
                               public testing::WithParamInterface<PageAddress> {};

TEST_P(WhepServicePageUrlTest, NamesAnAddressOtherMachinesReach) {
  EXPECT_EQ(service_.PageUrl(GetParam().host), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(Hosts, WhepServicePageUrlTest,
                         testing::Values(PageAddress{"192.168.1.20:8080",
                                                     "http://192.168.1.20:8080/"},
                                         PageAddress{"tv.local", "http://tv.local/"},
                                         PageAddress{"[fd00::5]:8080", "http://[fd00::5]:8080/"},
                                         PageAddress{"localhost:8080", "http://192.0.2.7:8080/"},
                                         PageAddress{"LOCALHOST", "http://192.0.2.7:8080/"},
                                         PageAddress{"127.0.0.1:9000", "http://192.0.2.7:8080/"},
                                         PageAddress{"[::1]:8080", "http://192.0.2.7:8080/"},
                                         PageAddress{"", "http://192.0.2.7:8080/"},
                                         PageAddress{"evil\"><script>", "http://192.0.2.7:8080/"}));

}  // namespace
}  // namespace vantorel::web
