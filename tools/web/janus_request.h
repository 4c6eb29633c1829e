// The requests vantorel-web sends to a Janus server's HTTP API and what its replies say, as
// JSON text in and out: no network here, so the tests read and write them directly. The
// publisher (janus_publisher.h) carries them over HTTP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorel::web::janus {

inline constexpr std::int64_t kDefaultMountpoint = 5937;
// What the mountpoint receives: the RTP our viewers get too.
inline constexpr int kVideoPayload = 96;   // H.264, packetization mode 1, constrained baseline
inline constexpr int kAudioPayload = 111;  // Opus, 48000 Hz, 2 channels
inline constexpr char kVideoFmtp[] = "profile-level-id=42e01f;packetization-mode=1";
inline constexpr char kStreamingPlugin[] = "janus.plugin.streaming";

// Error codes of the server and of its streaming plugin that change what we do next.
inline constexpr int kErrorNoSuchSession = 458;
inline constexpr int kErrorNoSuchHandle = 459;
inline constexpr int kErrorNoSuchMountpoint = 455;
inline constexpr int kErrorMountpointExists = 456;

// Where the server's API is: the URL as given without trailing slashes, and its host, which
// the RTP is sent to.
struct ServerUrl {
  std::string base;  // e.g. "http://127.0.0.1:8088/janus"
  std::string host;  // e.g. "127.0.0.1" (an IPv6 address without brackets)
};
// An http or https URL with a host; nullopt otherwise, `error` then says why.
std::optional<ServerUrl> ParseServerUrl(std::string_view url, std::string& error);

struct PublishSettings {
  std::int64_t mountpoint = kDefaultMountpoint;
  std::string description = "Vantorel broadcast";
  std::string apiSecret;  // the server's api_secret, when it asks for one
  std::string adminKey;   // the streaming plugin's admin_key, when it asks for one
};

// Request bodies. `transaction` comes back in the reply and ties it to its request.
std::string CreateSessionRequest(const PublishSettings& settings, std::string_view transaction);
std::string AttachRequest(const PublishSettings& settings, std::string_view transaction);
std::string KeepaliveRequest(const PublishSettings& settings, std::string_view transaction);
std::string DestroySessionRequest(const PublishSettings& settings, std::string_view transaction);
// An RTP mountpoint with a video and an audio stream, on ports the plugin picks.
std::string CreateMountpointRequest(const PublishSettings& settings, std::string_view transaction);
std::string DestroyMountpointRequest(const PublishSettings& settings, std::string_view transaction);

// What one reply says.
struct Reply {
  enum class Status {
    kOk,           // success or ack, and the plugin (if it answered) did what was asked
    kSessionGone,  // the session or handle is unknown: the server restarted or timed us out
    kRefused,      // the server or the plugin refused; `code` and `error` say why
    kMalformed,    // not a reply we understand, or one to another request
  };
  Status status = Status::kMalformed;
  int code = 0;         // the server's or the plugin's error code when refused
  std::string error;    // when not ok, in a few words for the log
  std::int64_t id = 0;  // the new session's or handle's id ("data": {"id"})
  // A created mountpoint's ports, 0 where it has none.
  int videoPort = 0;
  int audioPort = 0;
};
Reply ReadReply(std::string_view json, std::string_view transaction);

}  // namespace vantorel::web::janus
