#include "tools/web/janus_request.h"
#include "tools/web/glib_ptr.h"

#include <gtest/gtest.h>
#include <json-glib/json-glib.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace vantorel::web::janus {
namespace {

// A request read back with json-glib, so that the tests check what it says, not its spelling.
class Json {
 public:
  explicit Json(const std::string& text) : parser_(json_parser_new()) {
    GError* error = nullptr;
    if (!json_parser_load_from_data(parser_.get(), text.c_str(), -1, &error)) {
      ADD_FAILURE() << "not JSON: " << error->message << "\n" << text;
      g_error_free(error);
      return;
    }
    JsonNode* root = json_parser_get_root(parser_.get());
    if (JSON_NODE_HOLDS_OBJECT(root)) root_ = json_node_get_object(root);
  }
  JsonObject* Root() const { return root_; }

 private:
  GObjectPtr<JsonParser> parser_;
  JsonObject* root_ = nullptr;
};

JsonObject* Object(JsonObject* o, const char* name) {
  return o != nullptr && json_object_has_member(o, name) ? json_object_get_object_member(o, name)
                                                         : nullptr;
}
std::string String(JsonObject* o, const char* name) {
  return o != nullptr && json_object_has_member(o, name) ? json_object_get_string_member(o, name)
                                                         : "<missing>";
}
std::int64_t Int(JsonObject* o, const char* name) {
  return o != nullptr && json_object_has_member(o, name) ? json_object_get_int_member(o, name) : -1;
}

// --- Where the server is.

struct UrlCase {
  const char* name;
  const char* url;
  bool ok;
  const char* base;
  const char* host;
};

void PrintTo(const UrlCase& c, std::ostream* os) {
  *os << c.name;
}

class ServerUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(ServerUrlTest, TakesHttpUrlsWithAHost) {
  const UrlCase& c = GetParam();
  std::string error;
  const auto server = ParseServerUrl(c.url, error);
  ASSERT_EQ(server.has_value(), c.ok) << error;
  if (!c.ok) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(server->base, c.base);
  EXPECT_EQ(server->host, c.host);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ServerUrlTest,
    testing::Values(UrlCase{"Loopback", "http://127.0.0.1:8088/janus", true,
                            "http://127.0.0.1:8088/janus", "127.0.0.1"},
                    UrlCase{"TrailingSlashes", "http://10.0.0.2:8088/janus//", true,
                            "http://10.0.0.2:8088/janus", "10.0.0.2"},
                    UrlCase{"HostName", "https://media.lan:8089/janus", true,
                            "https://media.lan:8089/janus", "media.lan"},
                    UrlCase{"Ipv6", "http://[::1]:8088/janus", true, "http://[::1]:8088/janus",
                            "::1"},
                    UrlCase{"RootOnly", "http://10.0.0.2/", true, "http://10.0.0.2", "10.0.0.2"},
                    UrlCase{"NoScheme", "127.0.0.1:8088/janus", false, "", ""},
                    UrlCase{"OtherScheme", "ws://127.0.0.1:8188/", false, "", ""},
                    UrlCase{"NoHost", "http:///janus", false, "", ""},
                    UrlCase{"Query", "http://127.0.0.1:8088/janus?x=1", false, "", ""},
                    UrlCase{"Empty", "", false, "", ""}),
    [](const auto& info) { return info.param.name; });

// --- Requests.

using Builder = std::function<std::string(const PublishSettings&, std::string_view)>;

struct RequestCase {
  const char* name;
  Builder build;
  const char* verb;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
  *os << c.name;
}

class RequestTest : public testing::TestWithParam<RequestCase> {};

TEST_P(RequestTest, CarriesVerbTransactionAndSecretOnlyWhenSet) {
  const RequestCase& c = GetParam();
  PublishSettings settings;
  Json plain(c.build(settings, "t-1"));
  EXPECT_EQ(String(plain.Root(), "janus"), c.verb);
  EXPECT_EQ(String(plain.Root(), "transaction"), "t-1");
  EXPECT_FALSE(json_object_has_member(plain.Root(), "apisecret"));

  settings.apiSecret = "s\"cret";
  Json secret(c.build(settings, "t-2"));
  EXPECT_EQ(String(secret.Root(), "apisecret"), "s\"cret");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestTest,
    testing::Values(RequestCase{"Create", CreateSessionRequest, "create"},
                    RequestCase{"Attach", AttachRequest, "attach"},
                    RequestCase{"Keepalive", KeepaliveRequest, "keepalive"},
                    RequestCase{"Destroy", DestroySessionRequest, "destroy"},
                    RequestCase{"Mountpoint", CreateMountpointRequest, "message"},
                    RequestCase{"Unmount", DestroyMountpointRequest, "message"}),
    [](const auto& info) { return info.param.name; });

TEST(RequestTest, AttachesTheStreamingPlugin) {
  Json attach(AttachRequest({}, "t"));
  EXPECT_EQ(String(attach.Root(), "plugin"), "janus.plugin.streaming");
}

TEST(RequestTest, MountpointTakesOurVideoAndAudioOnPortsThePluginPicks) {
  PublishSettings settings;
  settings.mountpoint = 77;
  settings.description = "Hall \"A\"\n\xc3\xa9t\xc3\xa9";
  Json create(CreateMountpointRequest(settings, "t"));
  JsonObject* body = Object(create.Root(), "body");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(String(body, "request"), "create");
  EXPECT_EQ(String(body, "type"), "rtp");
  EXPECT_EQ(Int(body, "id"), 77);
  EXPECT_EQ(String(body, "description"), settings.description);
  EXPECT_FALSE(json_object_get_boolean_member(body, "permanent"));
  EXPECT_FALSE(json_object_has_member(body, "admin_key"));
  JsonArray* media = json_object_get_array_member(body, "media");
  ASSERT_EQ(json_array_get_length(media), 2u);
  JsonObject* video = json_array_get_object_element(media, 0);
  EXPECT_EQ(String(video, "type"), "video");
  EXPECT_EQ(String(video, "codec"), "h264");
  EXPECT_EQ(Int(video, "pt"), 96);
  EXPECT_EQ(Int(video, "port"), 0);
  EXPECT_NE(String(video, "fmtp").find("packetization-mode=1"), std::string::npos);
  EXPECT_NE(String(video, "fmtp").find("profile-level-id=42e01f"), std::string::npos);
  JsonObject* audio = json_array_get_object_element(media, 1);
  EXPECT_EQ(String(audio, "type"), "audio");
  EXPECT_EQ(String(audio, "codec"), "opus");
  EXPECT_EQ(Int(audio, "pt"), 111);
  EXPECT_EQ(Int(audio, "port"), 0);
  EXPECT_NE(String(video, "mid"), String(audio, "mid"));
}

TEST(RequestTest, MountpointRequestsNameTheMountpointAndTheAdminKey) {
  PublishSettings settings;
  settings.mountpoint = 5938;
  settings.adminKey = "key";
  for (const std::string& text :
       {CreateMountpointRequest(settings, "t"), DestroyMountpointRequest(settings, "t")}) {
    Json request(text);
    JsonObject* body = Object(request.Root(), "body");
    EXPECT_EQ(Int(body, "id"), 5938);
    EXPECT_EQ(String(body, "admin_key"), "key");
  }
  Json destroy(DestroyMountpointRequest(settings, "t"));
  EXPECT_EQ(String(Object(destroy.Root(), "body"), "request"), "destroy");
}

// --- Replies, as the server of the Debian package writes them.

struct ReplyCase {
  const char* name;
  const char* json;
  Reply::Status status;
  int code = 0;
  std::int64_t id = 0;
  int videoPort = 0;
  int audioPort = 0;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
  *os << c.name;
}

class ReplyTest : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTest, SaysWhatTheServerDid) {
  const ReplyCase& c = GetParam();
  const Reply reply = ReadReply(c.json, "t7");
  EXPECT_EQ(reply.status, c.status) << reply.error;
  EXPECT_EQ(reply.code, c.code);
  EXPECT_EQ(reply.id, c.id);
  EXPECT_EQ(reply.videoPort, c.videoPort);
  EXPECT_EQ(reply.audioPort, c.audioPort);
  EXPECT_EQ(reply.error.empty(), c.status == Reply::Status::kOk);
}

using S = Reply::Status;
INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    testing::Values(
        ReplyCase{"Session",
                  R"({"janus":"success","transaction":"t7","data":{"id":8707604962775746}})",
                  S::kOk, 0, 8707604962775746},
        ReplyCase{"Ack", R"({"janus":"ack","session_id":1,"transaction":"t7"})", S::kOk},
        ReplyCase{
            "Created",
            R"({"janus":"success","session_id":7,"transaction":"t7","sender":8,)"
            R"("plugindata":{"plugin":"janus.plugin.streaming","data":{"streaming":"created",)"
            R"("created":"mp-5937","permanent":false,"stream":{"id":5937,"type":"live",)"
            R"("ports":[{"type":"video","mid":"v","port":20000},)"
            R"({"type":"audio","mid":"a","port":20001}]}}}})",
            S::kOk, 0, 0, 20000, 20001},
        ReplyCase{"Destroyed",
                  R"({"janus":"success","transaction":"t7","plugindata":{"plugin":"janus.plugin.)"
                  R"(streaming","data":{"streaming":"destroyed","destroyed":5937}}})",
                  S::kOk},
        ReplyCase{
            "Exists",
            R"({"janus":"success","transaction":"t7","plugindata":{"data":{"streaming":)"
            R"("event","error_code":456,"error":"A stream with the provided ID already exists"}}})",
            S::kRefused, kErrorMountpointExists},
        ReplyCase{"NoMountpoint",
                  R"({"janus":"success","transaction":"t7","plugindata":{"data":{"streaming":)"
                  R"("event","error_code":455,"error":"No such mountpoint/stream 5937"}}})",
                  S::kRefused, kErrorNoSuchMountpoint},
        ReplyCase{"NoSession",
                  R"({"janus":"error","session_id":123,"transaction":"t7","error":{"code":458,)"
                  R"("reason":"No such session 123"}})",
                  S::kSessionGone, kErrorNoSuchSession},
        ReplyCase{
            "NoHandle",
            R"({"janus":"error","transaction":"t7","error":{"code":459,"reason":"No such handle"}})",
            S::kSessionGone, kErrorNoSuchHandle},
        ReplyCase{
            "Unauthorized",
            R"({"janus":"error","transaction":"t7","error":{"code":403,"reason":"Unauthorized"}})",
            S::kRefused, 403},
        // The server cannot read the request, so it cannot echo the transaction.
        ReplyCase{"UnreadableRequest",
                  R"({"janus":"error","error":{"code":454,"reason":"JSON error"}})", S::kRefused,
                  454},
        ReplyCase{"ErrorWithoutDetails", R"({"janus":"error","transaction":"t7"})", S::kRefused},
        ReplyCase{"OtherTransaction", R"({"janus":"success","transaction":"t6","data":{"id":1}})",
                  S::kMalformed},
        ReplyCase{"NoTransaction", R"({"janus":"success","data":{"id":1}})", S::kMalformed},
        ReplyCase{"NoVerb", R"({"transaction":"t7"})", S::kMalformed},
        ReplyCase{"VerbNotAString", R"({"janus":5,"transaction":"t7"})", S::kMalformed},
        ReplyCase{"Event", R"({"janus":"event","transaction":"t7"})", S::kMalformed},
        ReplyCase{"NotJson", "<html>Bad gateway</html>", S::kMalformed},
        ReplyCase{"Truncated", R"({"janus":"success","transaction":"t7","da)", S::kMalformed},
        ReplyCase{"Empty", "", S::kMalformed}, ReplyCase{"Array", "[1,2]", S::kMalformed},
        ReplyCase{"PluginWithoutData", R"({"janus":"success","transaction":"t7","plugindata":{}})",
                  S::kMalformed},
        // Ids and ports of the wrong type or out of range are not taken.
        ReplyCase{"IdAsString", R"({"janus":"success","transaction":"t7","data":{"id":"12"}})",
                  S::kOk},
        ReplyCase{"BadPorts",
                  R"({"janus":"success","transaction":"t7","plugindata":{"data":{"stream":)"
                  R"({"ports":[{"type":"video","port":"20000"},{"type":"video","port":70000},)"
                  R"({"type":"audio","port":-4},{"type":"audio"},7,{"port":20002},)"
                  R"({"type":"audio","port":20003}]}}}})",
                  S::kOk, 0, 0, 0, 20003}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vantorel::web::janus
