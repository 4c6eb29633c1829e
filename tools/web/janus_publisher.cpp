#include "tools/web/janus_publisher.h"

#include <glib.h>
#include <libsoup/soup.h>

#include <cinttypes>
#include <cstdio>
#include <utility>

#include "tools/web/glib_ptr.h"

namespace vantorel::web {
namespace {

struct GBytesUnref {
  void operator()(GBytes* p) const { g_bytes_unref(p); }
};
using SessionPtr = std::unique_ptr<SoupSession, GObjectUnref>;
using MessagePtr = std::unique_ptr<SoupMessage, GObjectUnref>;
using CancellablePtr = std::unique_ptr<GCancellable, GObjectUnref>;
using BytesPtr = std::unique_ptr<GBytes, GBytesUnref>;
using ErrorPtr = GErrorPtr;

// The goodbye requests of the destructor wait no longer than this each.
constexpr unsigned kGoodbyeTimeoutSeconds = 1;

// A GLib timeout on the thread-default main context, removed when this is dropped.
class TimerSource {
 public:
  TimerSource() = default;
  TimerSource(const TimerSource&) = delete;
  TimerSource& operator=(const TimerSource&) = delete;
  ~TimerSource() { Stop(); }

  void Start(std::chrono::seconds period, GSourceFunc callback, gpointer data) {
    Stop();
    id_ = g_timeout_add_seconds(static_cast<guint>(period.count()), callback, data);
  }
  void Stop() {
    if (id_ != 0) g_source_remove(std::exchange(id_, 0));
  }
  // The callback is about to return G_SOURCE_REMOVE: GLib removes the source itself.
  void Fired() { id_ = 0; }

 private:
  guint id_ = 0;
};

void Log(const std::string& line) {
  std::fprintf(stderr, "vantorel-web: %s\n", line.c_str());
}

// What one answered HTTP exchange gave: the body, or why there is none.
struct Exchange {
  std::string body;
  std::string error;  // empty when the server answered 200 with a body
};

Exchange Finish(SoupSession* session, SoupMessage* message, GAsyncResult* result) {
  GError* raw = nullptr;
  BytesPtr bytes(result != nullptr ? soup_session_send_and_read_finish(session, result, &raw)
                                   : nullptr);
  ErrorPtr error(raw);
  Exchange e;
  if (error) {
    e.error = error->message;
    return e;
  }
  const guint status = soup_message_get_status(message);
  if (status != SOUP_STATUS_OK) {
    const char* reason = soup_message_get_reason_phrase(message);
    e.error =
        "HTTP " + std::to_string(status) + (reason != nullptr ? " " + std::string(reason) : "");
    return e;
  }
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
  e.body.assign(data != nullptr ? data : "", size);
  return e;
}

}  // namespace

struct JanusPublisher::Impl {
  enum class Step { kCreateSession, kAttach, kCreateMountpoint, kDestroyStale, kKeepalive };

  // One request on its way. The pending callback owns it; the publisher only borrows it, and
  // clears `owner` when it goes first.
  struct Call {
    Impl* owner;
    Step step;
    std::string transaction;
    MessagePtr message;
  };

  Impl(Options o, Ready r) : options(std::move(o)), ready(std::move(r)) {}
  ~Impl();

  std::string Url(Step step) const;
  std::string Body(Step step, const std::string& transaction) const;
  std::string NewTransaction();
  void Send(Step step);
  static void OnSent(GObject* source, GAsyncResult* result, gpointer data);
  void OnReply(Step step, const Exchange& exchange, const std::string& transaction);
  void OnMountpoint(const janus::Reply& reply);
  void Fail(const std::string& what, const std::string& why);
  void Goodbye(const std::string& url, const std::string& body, const char* what);
  static const char* Failure(Step step);
  static gboolean OnRetry(gpointer data);
  static gboolean OnKeepalive(gpointer data);

  Options options;
  Ready ready;
  janus::ServerUrl server;
  SessionPtr session;
  CancellablePtr cancellable{g_cancellable_new()};
  Call* inFlight = nullptr;
  std::int64_t sessionId = 0;
  std::int64_t handleId = 0;
  bool published = false;
  bool staleDestroyed = false;  // this attempt destroyed a mountpoint of an earlier run
  std::string lastError;        // said once, not again every retry
  std::string transactionPrefix;
  std::uint64_t transactions = 0;
  TimerSource retryTimer;
  TimerSource keepaliveTimer;
};

JanusPublisher::Impl::~Impl() {
  retryTimer.Stop();
  keepaliveTimer.Stop();
  if (inFlight != nullptr) inFlight->owner = nullptr;
  g_cancellable_cancel(cancellable.get());
  if (!session || sessionId == 0) return;
  soup_session_set_timeout(session.get(), kGoodbyeTimeoutSeconds);
  // The mountpoint outlives the session on the server: destroy it first.
  if (handleId != 0) {
    const std::string transaction = NewTransaction();
    Goodbye(Url(Step::kDestroyStale),
            janus::DestroyMountpointRequest(options.settings, transaction),
            "destroy the mountpoint");
  }
  const std::string transaction = NewTransaction();
  Goodbye(Url(Step::kKeepalive), janus::DestroySessionRequest(options.settings, transaction),
          "close the session");
}

// Called from the destructor only: a synchronous request whose failure only goes to the log.
void JanusPublisher::Impl::Goodbye(const std::string& url, const std::string& body,
                                   const char* what) {
  MessagePtr message(soup_message_new("POST", url.c_str()));
  if (!message) return;
  BytesPtr bytes(g_bytes_new(body.data(), body.size()));
  soup_message_set_request_body_from_bytes(message.get(), "application/json", bytes.get());
  GError* raw = nullptr;
  BytesPtr reply(soup_session_send_and_read(session.get(), message.get(), nullptr, &raw));
  ErrorPtr error(raw);
  if (error) Log("Janus at " + server.base + ": cannot " + what + ": " + error->message);
}

std::string JanusPublisher::Impl::Url(Step step) const {
  switch (step) {
    case Step::kCreateSession:
      return server.base;
    case Step::kAttach:
    case Step::kKeepalive:
      return server.base + "/" + std::to_string(sessionId);
    case Step::kCreateMountpoint:
    case Step::kDestroyStale:
      return server.base + "/" + std::to_string(sessionId) + "/" + std::to_string(handleId);
  }
  return server.base;
}

std::string JanusPublisher::Impl::Body(Step step, const std::string& transaction) const {
  const janus::PublishSettings& s = options.settings;
  switch (step) {
    case Step::kCreateSession:
      return janus::CreateSessionRequest(s, transaction);
    case Step::kAttach:
      return janus::AttachRequest(s, transaction);
    case Step::kCreateMountpoint:
      return janus::CreateMountpointRequest(s, transaction);
    case Step::kDestroyStale:
      return janus::DestroyMountpointRequest(s, transaction);
    case Step::kKeepalive:
      return janus::KeepaliveRequest(s, transaction);
  }
  return {};
}

std::string JanusPublisher::Impl::NewTransaction() {
  return transactionPrefix + std::to_string(++transactions);
}

void JanusPublisher::Impl::Send(Step step) {
  const std::string transaction = NewTransaction();
  const std::string body = Body(step, transaction);
  MessagePtr message(soup_message_new("POST", Url(step).c_str()));
  if (!message) {
    Fail("cannot make a request", "the URL is unusable");
    return;
  }
  BytesPtr bytes(g_bytes_new(body.data(), body.size()));
  soup_message_set_request_body_from_bytes(message.get(), "application/json", bytes.get());
  SoupMessage* borrowed = message.get();
  auto call = std::make_unique<Call>(Call{this, step, transaction, std::move(message)});
  inFlight = call.get();
  // The callback takes the call back into a unique_ptr.
  soup_session_send_and_read_async(session.get(), borrowed, G_PRIORITY_DEFAULT, cancellable.get(),
                                   &Impl::OnSent, call.release());
}

// Called on the main context's thread, also after the publisher is gone (then `owner` is null).
void JanusPublisher::Impl::OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Call> call(static_cast<Call*>(data));
  const Exchange exchange = Finish(SOUP_SESSION(source), call->message.get(), result);
  Impl* self = call->owner;
  if (self == nullptr) return;
  self->inFlight = nullptr;
  self->OnReply(call->step, exchange, call->transaction);
}

// What failed when `step` did, for the log.
const char* JanusPublisher::Impl::Failure(Step step) {
  switch (step) {
    case Step::kCreateSession:
      return "cannot create a session";
    case Step::kAttach:
      return "cannot attach the streaming plugin";
    case Step::kCreateMountpoint:
      return "cannot create the mountpoint";
    case Step::kDestroyStale:
      return "cannot destroy the earlier mountpoint";
    case Step::kKeepalive:
      return "lost the session";
  }
  return "failed";
}

void JanusPublisher::Impl::OnReply(Step step, const Exchange& exchange,
                                   const std::string& transaction) {
  const char* what = Failure(step);
  if (!exchange.error.empty()) return Fail(what, exchange.error);
  const janus::Reply reply = janus::ReadReply(exchange.body, transaction);
  switch (step) {
    case Step::kCreateSession:
    case Step::kAttach:
      if (reply.status != janus::Reply::Status::kOk) return Fail(what, reply.error);
      if (reply.id == 0) return Fail(what, "the reply carries no id");
      (step == Step::kCreateSession ? sessionId : handleId) = reply.id;
      return Send(step == Step::kCreateSession ? Step::kAttach : Step::kCreateMountpoint);
    case Step::kCreateMountpoint:
      return OnMountpoint(reply);
    case Step::kDestroyStale:
      if (reply.status != janus::Reply::Status::kOk &&
          reply.code != janus::kErrorNoSuchMountpoint) {
        return Fail(what, reply.error);
      }
      return Send(Step::kCreateMountpoint);
    case Step::kKeepalive:
      if (reply.status != janus::Reply::Status::kOk) return Fail(what, reply.error);
      return;
  }
}

void JanusPublisher::Impl::OnMountpoint(const janus::Reply& reply) {
  const std::string id = std::to_string(options.settings.mountpoint);
  if (reply.status == janus::Reply::Status::kRefused &&
      reply.code == janus::kErrorMountpointExists && !staleDestroyed) {
    // A mountpoint of an earlier run (or of someone else): its ports are unknown to us, so it
    // is replaced rather than reused.
    Log("Janus mountpoint " + id + " exists already: destroying it and making it anew");
    staleDestroyed = true;
    return Send(Step::kDestroyStale);
  }
  const char* what = Failure(Step::kCreateMountpoint);
  if (reply.status != janus::Reply::Status::kOk) return Fail(what, reply.error);
  if (reply.videoPort == 0 || reply.audioPort == 0) {
    return Fail(what, "the reply names no video and audio ports");
  }
  published = true;
  lastError.clear();
  // ReadReply takes ports in 1..65535 only.
  const Target target{server.host, static_cast<std::uint16_t>(reply.videoPort),
                      static_cast<std::uint16_t>(reply.audioPort)};
  Log("Janus mountpoint " + id + " at " + server.base + ": video to " + target.host + ":" +
      std::to_string(target.videoPort) + ", audio to port " + std::to_string(target.audioPort));
  keepaliveTimer.Start(options.keepalive, &Impl::OnKeepalive, this);
  if (ready) ready(target);
}

// Forgets the session (the server drops it by itself) and starts again after the retry delay.
void JanusPublisher::Impl::Fail(const std::string& what, const std::string& why) {
  std::string line = "Janus at " + server.base + ": " + what + ": " + why;
  if (line != lastError) {
    Log(line + "; trying again every " + std::to_string(options.retry.count()) + " s");
    lastError = std::move(line);
  }
  sessionId = 0;
  handleId = 0;
  published = false;
  staleDestroyed = false;
  keepaliveTimer.Stop();
  retryTimer.Start(options.retry, &Impl::OnRetry, this);
}

gboolean JanusPublisher::Impl::OnRetry(gpointer data) {
  auto* self = static_cast<Impl*>(data);
  self->retryTimer.Fired();
  self->Send(Step::kCreateSession);
  return G_SOURCE_REMOVE;
}

gboolean JanusPublisher::Impl::OnKeepalive(gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (self->inFlight == nullptr) self->Send(Step::kKeepalive);
  return G_SOURCE_CONTINUE;
}

JanusPublisher::JanusPublisher(Options options, Ready ready)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(ready))) {}

JanusPublisher::~JanusPublisher() = default;

bool JanusPublisher::Start(std::string& error) {
  auto server = janus::ParseServerUrl(impl_->options.url, error);
  if (!server) {
    error = "--janus " + impl_->options.url + ": " + error;
    return false;
  }
  impl_->server = std::move(*server);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "vw-%08" PRIx32 "-", g_random_int());
  impl_->transactionPrefix = prefix;
  impl_->session.reset(
      soup_session_new_with_options("user-agent", "vantorel-web", "timeout",
                                    static_cast<guint>(impl_->options.timeout.count()), nullptr));
  impl_->Send(Impl::Step::kCreateSession);
  return true;
}

bool JanusPublisher::Published() const {
  return impl_->published;
}

}  // namespace vantorel::web
