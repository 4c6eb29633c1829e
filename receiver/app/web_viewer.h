// The vantorel-web process that Lunnet runs while the user shows the broadcast in browsers. It
// lives and dies with its owner: destroying a WebViewer stops the server (a termination
// request, a kill after kKillAfter), and the server is also told to end if Lunnet dies first.
// Everything here runs on the window thread, the events too.
#pragma once

#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "receiver/app/web_viewing.h"

class QProcess;

namespace vantorel::receiver::app {

struct WebViewerEvents {
  // The page is served at new addresses; carries every address so far.
  std::function<void(const std::vector<std::string>& addresses)> serving;
  // The server ended: `reason` is empty when it was asked to stop, else what it said last (or
  // why it could not start).
  std::function<void(const std::string& reason)> ended;
};

class WebViewer {
 public:
  // How long the server may take to end after a termination request before it is killed.
  static constexpr std::chrono::seconds kKillAfter{3};

  explicit WebViewer(WebViewerEvents events);
  ~WebViewer();
  WebViewer(const WebViewer&) = delete;
  WebViewer& operator=(const WebViewer&) = delete;

  // Starts `program` with `arguments` unless a server runs already.
  void Start(const std::filesystem::path& program, const std::vector<std::string>& arguments);
  // Asks the server to end, and kills it when it has not after kKillAfter. Returns at once.
  void Stop();
  // From the start until the process has ended (also while it is being stopped).
  bool Running() const;
  const std::vector<std::string>& Addresses() const { return output_.Addresses(); }

 private:
  void ReadErrors();
  void OnFinished();
  void OnFailedToStart();

  WebViewerEvents events_;
  // Kept after it ended, until the next start: it may not be deleted in its own signal.
  std::unique_ptr<QProcess> process_;
  QTimer killTimer_;
  WebServerOutput output_;
  bool stopAsked_ = false;
};

}  // namespace vantorel::receiver::app
