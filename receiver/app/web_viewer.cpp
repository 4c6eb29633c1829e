#include "receiver/app/web_viewer.h"

#include <QProcess>
#include <QStringList>

#include <sys/prctl.h>

#include <csignal>

namespace vantorel::receiver::app {

WebViewer::WebViewer(WebViewerEvents events) : events_(std::move(events)) {
  killTimer_.setSingleShot(true);
  killTimer_.setInterval(kKillAfter);
  QObject::connect(&killTimer_, &QTimer::timeout, [this] {
    if (Running()) process_->kill();
  });
}

// Blocks for at most kKillAfter: the server answers a termination request at once.
WebViewer::~WebViewer() {
  if (!process_) return;
  process_->disconnect();
  if (process_->state() == QProcess::NotRunning) return;
  process_->terminate();
  if (!process_->waitForFinished(static_cast<int>(kKillAfter.count() * 1000))) {
    process_->kill();
    process_->waitForFinished();
  }
}

bool WebViewer::Running() const {
  return process_ && process_->state() != QProcess::NotRunning;
}

void WebViewer::Start(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments) {
  if (Running()) return;
  QStringList args;
  for (const std::string& argument : arguments) args << QString::fromStdString(argument);
  output_ = WebServerOutput{};
  stopAsked_ = false;
  process_ = std::make_unique<QProcess>();
  process_->setProgram(QString::fromStdString(program.string()));
  process_->setArguments(args);
  // Its totals at exit are of no use here; its stderr tells where it serves.
  process_->setStandardOutputFile(QProcess::nullDevice());
  // Lunnet killed outright must not leave a server behind.
  process_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  QObject::connect(process_.get(), &QProcess::readyReadStandardError, [this] { ReadErrors(); });
  QObject::connect(process_.get(), &QProcess::finished, [this] { OnFinished(); });
  QObject::connect(process_.get(), &QProcess::errorOccurred, [this](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart) OnFailedToStart();
  });
  process_->start();
}

void WebViewer::Stop() {
  if (!Running()) return;
  stopAsked_ = true;
  process_->terminate();
  killTimer_.start();
}

void WebViewer::ReadErrors() {
  const QByteArray bytes = process_->readAllStandardError();
  const std::vector<std::string> added = output_.Feed(std::string_view(bytes.data(), bytes.size()));
  if (!added.empty() && events_.serving) events_.serving(output_.Addresses());
}

void WebViewer::OnFinished() {
  killTimer_.stop();
  ReadErrors();
  output_.Finish();
  std::string reason;
  if (!stopAsked_) {
    reason = output_.LastLine();
    if (reason.empty()) {
      reason = process_->exitStatus() == QProcess::CrashExit
                   ? "ended by a signal"
                   : "exited with status " + std::to_string(process_->exitCode());
    }
  }
  if (events_.ended) events_.ended(reason);
}

void WebViewer::OnFailedToStart() {
  const std::string reason =
      process_->program().toStdString() + ": " + process_->errorString().toStdString();
  if (events_.ended) events_.ended(reason);
}

}  // namespace vantorel::receiver::app
