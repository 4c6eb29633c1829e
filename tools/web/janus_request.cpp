#include "tools/web/janus_request.h"

#include <glib-object.h>
#include <glib.h>
#include <json-glib/json-glib.h>

#include <memory>

#include "tools/web/glib_ptr.h"

namespace vantorel::web::janus {
namespace {

struct JsonNodeUnref {
  void operator()(JsonNode* p) const { json_node_unref(p); }
};
struct GUriUnref {
  void operator()(GUri* p) const { g_uri_unref(p); }
};
using BuilderPtr = std::unique_ptr<JsonBuilder, GObjectUnref>;
using ParserPtr = std::unique_ptr<JsonParser, GObjectUnref>;
using NodePtr = std::unique_ptr<JsonNode, JsonNodeUnref>;
using CharPtr = std::unique_ptr<gchar, GFree>;
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using UriPtr = std::unique_ptr<GUri, GUriUnref>;

constexpr int kMaxPort = 65535;

void AddString(JsonBuilder* b, const char* name, std::string_view value) {
  json_builder_set_member_name(b, name);
  json_builder_add_string_value(b, std::string(value).c_str());
}
void AddInt(JsonBuilder* b, const char* name, std::int64_t value) {
  json_builder_set_member_name(b, name);
  json_builder_add_int_value(b, value);
}

// Opens a request object: {"janus": verb, "transaction": ..., "apisecret": ...}; the caller
// adds its members and closes it with Finish.
BuilderPtr Begin(const char* verb, const PublishSettings& settings, std::string_view transaction) {
  BuilderPtr b(json_builder_new());
  json_builder_begin_object(b.get());
  AddString(b.get(), "janus", verb);
  AddString(b.get(), "transaction", transaction);
  if (!settings.apiSecret.empty()) AddString(b.get(), "apisecret", settings.apiSecret);
  return b;
}
std::string Finish(JsonBuilder* b) {
  json_builder_end_object(b);
  NodePtr root(json_builder_get_root(b));
  CharPtr text(json_to_string(root.get(), FALSE));
  return text.get();
}

// {"janus": "message", ..., "body": {"request": request, "id": mountpoint, "admin_key": ...
// and what `members` adds}}.
template <typename Members>
std::string PluginMessage(const PublishSettings& settings, std::string_view transaction,
                          const char* request, Members members) {
  BuilderPtr b = Begin("message", settings, transaction);
  json_builder_set_member_name(b.get(), "body");
  json_builder_begin_object(b.get());
  AddString(b.get(), "request", request);
  AddInt(b.get(), "id", settings.mountpoint);
  if (!settings.adminKey.empty()) AddString(b.get(), "admin_key", settings.adminKey);
  members(b.get());
  json_builder_end_object(b.get());
  return Finish(b.get());
}

void AddStream(JsonBuilder* b, const char* type, const char* mid, int payload, const char* codec,
               const char* fmtp) {
  json_builder_begin_object(b);
  AddString(b, "type", type);
  AddString(b, "mid", mid);
  AddString(b, "label", type);
  AddInt(b, "port", 0);  // the plugin picks one from its rtp_port_range
  AddInt(b, "pt", payload);
  AddString(b, "codec", codec);
  if (fmtp != nullptr) AddString(b, "fmtp", fmtp);
  json_builder_end_object(b);
}

// Members read with their type checked: a reply is outside input.
JsonObject* ObjectMember(JsonObject* o, const char* name) {
  JsonNode* n = o != nullptr ? json_object_get_member(o, name) : nullptr;
  return n != nullptr && JSON_NODE_HOLDS_OBJECT(n) ? json_node_get_object(n) : nullptr;
}
JsonArray* ArrayMember(JsonObject* o, const char* name) {
  JsonNode* n = o != nullptr ? json_object_get_member(o, name) : nullptr;
  return n != nullptr && JSON_NODE_HOLDS_ARRAY(n) ? json_node_get_array(n) : nullptr;
}
std::optional<std::string> StringMember(JsonObject* o, const char* name) {
  JsonNode* n = o != nullptr ? json_object_get_member(o, name) : nullptr;
  if (n == nullptr || json_node_get_value_type(n) != G_TYPE_STRING) return std::nullopt;
  return std::string(json_node_get_string(n));
}
std::optional<std::int64_t> IntMember(JsonObject* o, const char* name) {
  JsonNode* n = o != nullptr ? json_object_get_member(o, name) : nullptr;
  if (n == nullptr || json_node_get_value_type(n) != G_TYPE_INT64) return std::nullopt;
  return json_node_get_int(n);
}

Reply Malformed(std::string error) {
  Reply r;
  r.error = std::move(error);
  return r;
}

// {"error": {"code": N, "reason": "..."}} of the server.
Reply ServerError(JsonObject* root) {
  JsonObject* e = ObjectMember(root, "error");
  Reply r;
  r.code = static_cast<int>(IntMember(e, "code").value_or(0));
  r.error = StringMember(e, "reason").value_or("an error without a reason");
  const bool gone = r.code == kErrorNoSuchSession || r.code == kErrorNoSuchHandle;
  r.status = gone ? Reply::Status::kSessionGone : Reply::Status::kRefused;
  return r;
}

// "plugindata": {"data": {...}}: a refusal with its error_code, or the created stream's ports.
Reply PluginReply(JsonObject* data) {
  Reply r;
  if (auto code = IntMember(data, "error_code")) {
    r.status = Reply::Status::kRefused;
    r.code = static_cast<int>(*code);
    r.error = StringMember(data, "error").value_or("the streaming plugin refused");
    return r;
  }
  r.status = Reply::Status::kOk;
  JsonArray* ports = ArrayMember(ObjectMember(data, "stream"), "ports");
  const guint n = ports != nullptr ? json_array_get_length(ports) : 0;
  for (guint i = 0; i < n; ++i) {
    JsonNode* node = json_array_get_element(ports, i);
    JsonObject* entry = JSON_NODE_HOLDS_OBJECT(node) ? json_node_get_object(node) : nullptr;
    const auto type = StringMember(entry, "type");
    const auto port = IntMember(entry, "port");
    if (!type || !port || *port <= 0 || *port > kMaxPort) continue;
    if (*type == "video" && r.videoPort == 0) r.videoPort = static_cast<int>(*port);
    if (*type == "audio" && r.audioPort == 0) r.audioPort = static_cast<int>(*port);
  }
  return r;
}

}  // namespace

std::optional<ServerUrl> ParseServerUrl(std::string_view url, std::string& error) {
  GError* raw = nullptr;
  UriPtr uri(g_uri_parse(std::string(url).c_str(), G_URI_FLAGS_NONE, &raw));
  ErrorPtr failure(raw);
  if (!uri) {
    error = failure ? failure->message : "not a URL";
    return std::nullopt;
  }
  const std::string scheme = g_uri_get_scheme(uri.get());
  if (scheme != "http" && scheme != "https") {
    error = "not an http or https URL";
    return std::nullopt;
  }
  const char* host = g_uri_get_host(uri.get());
  if (host == nullptr || *host == '\0') {
    error = "the URL names no host";
    return std::nullopt;
  }
  if (g_uri_get_query(uri.get()) != nullptr || g_uri_get_fragment(uri.get()) != nullptr) {
    error = "the URL must not have a query or a fragment";
    return std::nullopt;
  }
  ServerUrl server{std::string(url), host};
  while (server.base.size() > scheme.size() + 3 && server.base.back() == '/') {
    server.base.pop_back();
  }
  return server;
}

std::string CreateSessionRequest(const PublishSettings& settings, std::string_view transaction) {
  return Finish(Begin("create", settings, transaction).get());
}

std::string AttachRequest(const PublishSettings& settings, std::string_view transaction) {
  BuilderPtr b = Begin("attach", settings, transaction);
  AddString(b.get(), "plugin", kStreamingPlugin);
  return Finish(b.get());
}

std::string KeepaliveRequest(const PublishSettings& settings, std::string_view transaction) {
  return Finish(Begin("keepalive", settings, transaction).get());
}

std::string DestroySessionRequest(const PublishSettings& settings, std::string_view transaction) {
  return Finish(Begin("destroy", settings, transaction).get());
}

std::string CreateMountpointRequest(const PublishSettings& settings, std::string_view transaction) {
  return PluginMessage(settings, transaction, "create", [&](JsonBuilder* b) {
    AddString(b, "type", "rtp");
    AddString(b, "description", settings.description);
    json_builder_set_member_name(b, "permanent");
    json_builder_add_boolean_value(b, FALSE);
    json_builder_set_member_name(b, "media");
    json_builder_begin_array(b);
    AddStream(b, "video", "v", kVideoPayload, "h264", kVideoFmtp);
    AddStream(b, "audio", "a", kAudioPayload, "opus", nullptr);
    json_builder_end_array(b);
  });
}

std::string DestroyMountpointRequest(const PublishSettings& settings,
                                     std::string_view transaction) {
  return PluginMessage(settings, transaction, "destroy", [](JsonBuilder*) {});
}

Reply ReadReply(std::string_view json, std::string_view transaction) {
  ParserPtr parser(json_parser_new());
  GError* raw = nullptr;
  const bool parsed =
      json_parser_load_from_data(parser.get(), json.data(), static_cast<gssize>(json.size()), &raw);
  ErrorPtr failure(raw);
  if (!parsed) return Malformed(std::string("not JSON: ") + failure->message);
  JsonNode* rootNode = json_parser_get_root(parser.get());
  if (rootNode == nullptr || !JSON_NODE_HOLDS_OBJECT(rootNode)) {
    return Malformed("not a JSON object");
  }
  JsonObject* root = json_node_get_object(rootNode);
  const auto verb = StringMember(root, "janus");
  if (!verb) return Malformed("no \"janus\" member");
  // A reply to an unreadable request carries no transaction: it is still the server's word.
  const auto echoed = StringMember(root, "transaction");
  if (echoed && *echoed != transaction) return Malformed("a reply to another request");
  if (*verb == "error") return ServerError(root);
  if (!echoed) return Malformed("a reply without its transaction");
  if (*verb == "ack") {
    Reply r;
    r.status = Reply::Status::kOk;
    return r;
  }
  if (*verb != "success") return Malformed("an unexpected \"" + *verb + "\" reply");
  if (JsonObject* plugin = ObjectMember(root, "plugindata")) {
    JsonObject* data = ObjectMember(plugin, "data");
    if (data == nullptr) return Malformed("plugin data without \"data\"");
    return PluginReply(data);
  }
  Reply r;
  r.status = Reply::Status::kOk;
  r.id = IntMember(ObjectMember(root, "data"), "id").value_or(0);
  return r;
}

}  // namespace vantorel::web::janus
