#include "sender/gst/screencast_portal.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace vantorel::sender::gst {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequestPathPrefix = "/org/freedesktop/portal/desktop/request/";
constexpr const char* kScreenCastInterface = "org.freedesktop.portal.ScreenCast";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
// Source types and cursor modes are bit masks.
constexpr guint32 kMonitorSource = 1;
constexpr guint32 kWindowSource = 2;
constexpr guint32 kEmbeddedCursor = 2;
constexpr guint32 kResponseSuccess = 0;  // 1: cancelled by the user, 2: ended otherwise
// Closing is not worth a long wait: the portal ends the session anyway once our connection is.
constexpr gint kCloseTimeoutMs = 5000;

constexpr const char* kNoSessionBus = "no D-Bus session bus is reachable";
constexpr const char* kNoPortal = "the desktop offers no screen-cast portal (xdg-desktop-portal)";
constexpr const char* kRefused = "the screen capture was refused";

struct VariantUnref {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
struct ErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};
struct CharFree {
  void operator()(gchar* s) const { g_free(s); }
};
struct ObjectUnref {
  void operator()(gpointer o) const { g_object_unref(o); }
};
struct BuilderUnref {
  void operator()(GVariantBuilder* b) const { g_variant_builder_unref(b); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using CharPtr = std::unique_ptr<gchar, CharFree>;
using FdListPtr = std::unique_ptr<GUnixFDList, ObjectUnref>;
using BuilderPtr = std::unique_ptr<GVariantBuilder, BuilderUnref>;

// A main context of our own, the calling thread's default while it lives: the portal's answers
// are dispatched in it, and only while we wait for them, whatever loop the thread runs.
class OwnContext {
 public:
  OwnContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
  ~OwnContext() {
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  OwnContext(const OwnContext&) = delete;
  OwnContext& operator=(const OwnContext&) = delete;

 private:
  GMainContext* context_;
};

// Why a call to the portal failed, in the user's words.
std::string CallFailure(GError* raw) {
  ErrorPtr error(raw);
  for (GDBusError absent :
       {G_DBUS_ERROR_SERVICE_UNKNOWN, G_DBUS_ERROR_NAME_HAS_NO_OWNER, G_DBUS_ERROR_UNKNOWN_METHOD,
        G_DBUS_ERROR_UNKNOWN_INTERFACE, G_DBUS_ERROR_UNKNOWN_OBJECT}) {
    if (g_error_matches(error.get(), G_DBUS_ERROR, absent)) return kNoPortal;
  }
  g_dbus_error_strip_remote_error(error.get());
  return std::string("the screen-cast portal failed: ") + error->message;
}

// The options of a call; a request's carry its handle token, which names the request object.
BuilderPtr NewOptions(const std::string& token) {
  BuilderPtr options(g_variant_builder_new(G_VARIANT_TYPE_VARDICT));
  if (!token.empty()) {
    g_variant_builder_add(options.get(), "{sv}", "handle_token",
                          g_variant_new_string(token.c_str()));
  }
  return options;
}

// Unguessable, and a valid element of an object path.
std::string NewToken() {
  return "vantorel" + std::to_string(g_random_int());
}

// A request's answer, the Response signal on the request object.
struct Answer {
  std::string path;  // the request object
  bool arrived = false;
  guint32 response = 0;
  VariantPtr results;  // a{sv}
};

// Called in the context that was the thread's default when the signal was subscribed to.
void OnResponse(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
  auto* answer = static_cast<Answer*>(data);
  if (answer->arrived || answer->path != path ||
      !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    return;
  }
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &answer->response, &results);
  answer->results.reset(results);
  answer->arrived = true;
}

gboolean OnTimeout(gpointer late) {
  *static_cast<bool*>(late) = true;
  return G_SOURCE_REMOVE;
}

// Waits in the thread's default context until the answer arrives or `timeout` has passed.
bool WaitForAnswer(const Answer& answer, std::chrono::milliseconds timeout) {
  GMainContext* context = g_main_context_get_thread_default();
  bool late = false;
  GSource* timer = g_timeout_source_new(static_cast<guint>(timeout.count()));
  g_source_set_callback(timer, &OnTimeout, &late, nullptr);
  g_source_attach(timer, context);
  while (!answer.arrived && !late) g_main_context_iteration(context, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
  return answer.arrived;
}

// Calls `method` of the screen-cast interface with `arguments`, whose options carry `token`,
// and waits for the request's answer. Empty when the portal granted it, else why not.
std::string Ask(GDBusConnection* connection, const char* method, GVariant* arguments,
                const std::string& token, std::chrono::milliseconds timeout, Answer& answer) {
  // Since xdg-desktop-portal 0.9 the request's path follows from our name and the token, so
  // that the answer cannot come before we listen for it.
  std::string sender = g_dbus_connection_get_unique_name(connection) + 1;  // without ':'
  std::replace(sender.begin(), sender.end(), '.', '_');
  answer.path = kRequestPathPrefix + sender + "/" + token;
  const guint subscription = g_dbus_connection_signal_subscribe(
      connection, kPortalName, kRequestInterface, "Response", nullptr, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &OnResponse, &answer, nullptr);
  GError* error = nullptr;
  VariantPtr reply(g_dbus_connection_call_sync(
      connection, kPortalName, kPortalPath, kScreenCastInterface, method, arguments,
      G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error));
  std::string whyNot;
  if (!reply) {
    whyNot = CallFailure(error);
  } else {
    const gchar* handle = nullptr;
    g_variant_get(reply.get(), "(&o)", &handle);
    answer.path = handle;  // an older portal names the request itself
    if (!WaitForAnswer(answer, timeout)) {
      // Takes the dialog away.
      VariantPtr closed(g_dbus_connection_call_sync(
          connection, kPortalName, handle, kRequestInterface, "Close", nullptr, nullptr,
          G_DBUS_CALL_FLAGS_NONE, kCloseTimeoutMs, nullptr, nullptr));
      whyNot = "the desktop did not answer within " + std::to_string(timeout.count() / 1000) +
               " seconds";
    } else if (answer.response != kResponseSuccess) {
      whyNot = kRefused;
    }
  }
  g_dbus_connection_signal_unsubscribe(connection, subscription);
  return whyNot;
}

// A property of the screen-cast interface, 0 when the portal does not have it.
guint32 PortalProperty(GDBusConnection* connection, const char* name) {
  VariantPtr reply(g_dbus_connection_call_sync(
      connection, kPortalName, kPortalPath, kPropertiesInterface, "Get",
      g_variant_new("(ss)", kScreenCastInterface, name), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
  if (!reply) return 0;
  VariantPtr value;
  {
    GVariant* v = nullptr;
    g_variant_get(reply.get(), "(v)", &v);
    value.reset(v);
  }
  return g_variant_is_of_type(value.get(), G_VARIANT_TYPE_UINT32)
             ? g_variant_get_uint32(value.get())
             : 0;
}

}  // namespace

void ScreenCastPortal::ConnectionClose::operator()(_GDBusConnection* connection) const {
  g_dbus_connection_close_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
}

ScreenCastPortal::ScreenCastPortal(ConnectionPtr connection) : connection_(std::move(connection)) {}

ScreenCastPortal::~ScreenCastPortal() {
  if (pipeWireFd_ >= 0) ::close(pipeWireFd_);
  if (!session_.empty()) {
    VariantPtr closed(g_dbus_connection_call_sync(
        connection_.get(), kPortalName, session_.c_str(), kSessionInterface, "Close", nullptr,
        nullptr, G_DBUS_CALL_FLAGS_NONE, kCloseTimeoutMs, nullptr, nullptr));
  }
}

std::unique_ptr<ScreenCastPortal> ScreenCastPortal::Open(std::string& whyNot,
                                                         std::chrono::milliseconds timeout) {
  OwnContext context;
  GError* error = nullptr;
  CharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error));
  GDBusConnection* connection = nullptr;
  if (address) {
    connection = g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
  }
  if (connection == nullptr) {
    ErrorPtr owned(error);
    whyNot = kNoSessionBus;
    if (owned) whyNot += std::string(" (") + owned->message + ")";
    return nullptr;
  }
  // Created before the session, so that the session is closed whichever step fails.
  std::unique_ptr<ScreenCastPortal> portal(new ScreenCastPortal(ConnectionPtr(connection)));
  whyNot = portal->CreateSession(timeout);
  if (whyNot.empty()) whyNot = portal->SelectSources(timeout);
  if (whyNot.empty()) whyNot = portal->Start(timeout);
  if (whyNot.empty()) whyNot = portal->OpenPipeWireRemote();
  if (!whyNot.empty()) return nullptr;
  return portal;
}

std::string ScreenCastPortal::CreateSession(std::chrono::milliseconds timeout) {
  const std::string token = NewToken();
  BuilderPtr options = NewOptions(token);
  g_variant_builder_add(options.get(), "{sv}", "session_handle_token",
                        g_variant_new_string(NewToken().c_str()));
  Answer answer;
  std::string whyNot = Ask(connection_.get(), "CreateSession",
                           g_variant_new("(a{sv})", options.get()), token, timeout, answer);
  if (!whyNot.empty()) return whyNot;
  // A string in the portal's documentation, an object path in some portals.
  VariantPtr handle(g_variant_lookup_value(answer.results.get(), "session_handle", nullptr));
  if (!handle ||
      (!g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_STRING) &&
       !g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_OBJECT_PATH)) ||
      !g_variant_is_object_path(g_variant_get_string(handle.get(), nullptr))) {
    return "the screen-cast portal failed: it gave no session";
  }
  session_ = g_variant_get_string(handle.get(), nullptr);
  return {};
}

std::string ScreenCastPortal::SelectSources(std::chrono::milliseconds timeout) {
  guint32 types = kMonitorSource | kWindowSource;
  if (const guint32 available = PortalProperty(connection_.get(), "AvailableSourceTypes");
      (available & types) != 0) {
    types &= available;
  }
  const std::string token = NewToken();
  BuilderPtr options = NewOptions(token);
  g_variant_builder_add(options.get(), "{sv}", "types", g_variant_new_uint32(types));
  g_variant_builder_add(options.get(), "{sv}", "multiple", g_variant_new_boolean(FALSE));
  if ((PortalProperty(connection_.get(), "AvailableCursorModes") & kEmbeddedCursor) != 0) {
    g_variant_builder_add(options.get(), "{sv}", "cursor_mode",
                          g_variant_new_uint32(kEmbeddedCursor));
  }
  Answer answer;
  return Ask(connection_.get(), "SelectSources",
             g_variant_new("(oa{sv})", session_.c_str(), options.get()), token, timeout, answer);
}

std::string ScreenCastPortal::Start(std::chrono::milliseconds timeout) {
  const std::string token = NewToken();
  BuilderPtr options = NewOptions(token);
  Answer answer;
  // No parent window: the dialog stands on its own.
  std::string whyNot =
      Ask(connection_.get(), "Start",
          g_variant_new("(osa{sv})", session_.c_str(), "", options.get()), token, timeout, answer);
  if (!whyNot.empty()) return whyNot;
  VariantPtr streams(
      g_variant_lookup_value(answer.results.get(), "streams", G_VARIANT_TYPE("a(ua{sv})")));
  if (!streams || g_variant_n_children(streams.get()) == 0) {
    return "the desktop shared no screen or window";
  }
  VariantPtr first(g_variant_get_child_value(streams.get(), 0));
  g_variant_get_child(first.get(), 0, "u", &nodeId_);
  return {};
}

std::string ScreenCastPortal::OpenPipeWireRemote() {
  BuilderPtr options = NewOptions({});
  GUnixFDList* received = nullptr;
  GError* error = nullptr;
  VariantPtr reply(g_dbus_connection_call_with_unix_fd_list_sync(
      connection_.get(), kPortalName, kPortalPath, kScreenCastInterface, "OpenPipeWireRemote",
      g_variant_new("(oa{sv})", session_.c_str(), options.get()), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &received, nullptr, &error));
  FdListPtr fds(received);
  if (!reply) return CallFailure(error);
  gint32 index = -1;
  g_variant_get(reply.get(), "(h)", &index);
  // A duplicate of the list's own descriptor, which the list closes when it goes.
  pipeWireFd_ = fds ? g_unix_fd_list_get(fds.get(), index, &error) : -1;
  if (pipeWireFd_ < 0) {
    ErrorPtr owned(error);
    return "the screen-cast portal gave no PipeWire connection";
  }
  return {};
}

}  // namespace vantorel::sender::gst
