// Publishes the broadcast through a Janus server: makes an RTP mountpoint in its streaming
// plugin, tells the owner where to send the RTP, and keeps the session alive, so that the server
// fans the broadcast out to any number of viewers. Speaks the server's HTTP API with libsoup on
// GLib's default main context (vantorel-web's main loop, on the main thread); every callback runs
// there. While the server is unreachable or refuses, it says so once and tries again every few
// seconds; vantorel-web serves its own viewers meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/web/janus_request.h"

namespace vantorel::web {

class JanusPublisher {
 public:
  // Where the mountpoint takes the RTP: video (payload type 96) to host:videoPort, audio
  // (payload type 111) to host:audioPort.
  struct Target {
    std::string host;
    std::uint16_t videoPort = 0;
    std::uint16_t audioPort = 0;
  };
  // Called each time a mountpoint is made: once at first, and again with new ports after the
  // server restarted or forgot the session. Runs on the main context's thread.
  using Ready = std::function<void(const Target&)>;

  struct Options {
    std::string url;  // the server's HTTP API, e.g. http://127.0.0.1:8088/janus
    janus::PublishSettings settings;
    std::chrono::seconds retry{5};       // after a failure
    std::chrono::seconds keepalive{25};  // the server drops a session idle for 60 s
    std::chrono::seconds timeout{10};    // of one request
  };

  JanusPublisher(Options options, Ready ready);
  // Destroys the mountpoint and the session, best effort: waits at most about two seconds.
  ~JanusPublisher();
  JanusPublisher(const JanusPublisher&) = delete;
  JanusPublisher& operator=(const JanusPublisher&) = delete;

  // Checks the URL and sends the first request; false with `error` set when the URL is unusable.
  bool Start(std::string& error);
  // A mountpoint is made and `ready` has been told where it is.
  bool Published() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantorel::web
