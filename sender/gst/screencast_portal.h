// The screen of a Wayland desktop, as its screen-cast portal gives it: the user picks a screen
// or a window in the desktop's own dialog, and the portal hands over a PipeWire connection that
// carries that picture alone. Free of GStreamer: the portal is asked over D-Bus with GIO.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct _GDBusConnection;

namespace vantorel::sender::gst {

class ScreenCastPortal {
 public:
  // How long the user has to answer the desktop's dialog.
  static constexpr std::chrono::milliseconds kAnswerTimeout{60'000};

  // Asks the portal on the session bus for one screen or window (the pointer drawn in where the
  // desktop can), and blocks the calling thread until the user has answered or `timeout` has
  // passed; the thread's own main loop does not run meanwhile. Null when nothing is shared, and
  // `whyNot` says why in words the user understands: no session bus, no screen-cast portal on
  // it, the capture was refused, no answer came.
  static std::unique_ptr<ScreenCastPortal> Open(std::string& whyNot,
                                                std::chrono::milliseconds timeout = kAnswerTimeout);
  // Closes the portal's session, so that the desktop stops sharing, and the PipeWire connection.
  ~ScreenCastPortal();
  ScreenCastPortal(const ScreenCastPortal&) = delete;
  ScreenCastPortal& operator=(const ScreenCastPortal&) = delete;

  // The connection to PipeWire that carries the picture; owned here, valid while this lives.
  int PipeWireFd() const { return pipeWireFd_; }
  // The PipeWire node of the shared screen or window.
  std::uint32_t NodeId() const { return nodeId_; }

 private:
  struct ConnectionClose {
    void operator()(_GDBusConnection* connection) const;
  };
  using ConnectionPtr = std::unique_ptr<_GDBusConnection, ConnectionClose>;

  explicit ScreenCastPortal(ConnectionPtr connection);
  // Each step leaves the session, the node and the descriptor set, or returns why not.
  std::string CreateSession(std::chrono::milliseconds timeout);
  std::string SelectSources(std::chrono::milliseconds timeout);
  std::string Start(std::chrono::milliseconds timeout);
  std::string OpenPipeWireRemote();

  ConnectionPtr connection_;  // a connection of our own: the portal ends what it started on it
  std::string session_;       // the portal session's object path; empty until created
  std::uint32_t nodeId_ = 0;
  int pipeWireFd_ = -1;
};

}  // namespace vantorel::sender::gst
