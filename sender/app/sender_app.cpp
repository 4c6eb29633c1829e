#include "sender/app/sender_app.h"

#include <QApplication>
#include <QFileInfo>

#include "platform/net/udp_socket.h"
#include "platform/profile/program_folder.h"
#include "sender/app/sender_desktop.h"
#include "sender/app/string_table.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::sender::app {
namespace {

// A datagram socket can be made: the sockets the program needs are there.
bool SocketsAvailable() {
  return net::UdpSocket().Valid();
}

QString LibraryPath(const std::filesystem::path& folder) {
  return QString::fromStdString((folder / skin::kResourceLibraryName).string());
}

}  // namespace

SenderApp::SenderApp(SenderAppOptions options, SenderDesktop& desktop,
                     lang::LanguageManager& languages)
    : options_(std::move(options)), desktop_(desktop), languages_(languages) {}

SenderApp::~SenderApp() = default;

StartupResult SenderApp::InitInstance() {
  if (!SocketsAvailable()) {
    desktop_.ShowMessage(nullptr, Strings().String(IDS_SOCKET_ERROR), MessageIcon::kError, {});
    return StartupResult::kNoSockets;
  }
  appFolder_ = options_.appFolder.empty() ? profile::ProgramFolder() : options_.appFolder;
  // The library is only probed here; the window loads it again for its pictures.
  if (!skin::ResourceLibrary::Load(LibraryPath(appFolder_))) {
    desktop_.ShowMessage(nullptr, Strings().String(IDS_RESOURCE_ERROR), MessageIcon::kError, {});
    return StartupResult::kNoResources;
  }
  return StartupResult::kRun;
}

void SenderApp::CreateMainWindow() {
  SenderWindowOptions windowOptions = options_.window;
  windowOptions.appFolder = appFolder_;
  // The window takes its pictures while it is made; the library is freed afterwards.
  const auto library = skin::ResourceLibrary::Load(LibraryPath(appFolder_));
  window_ = std::make_unique<SenderMainWindow>(library.get(), windowOptions, desktop_, languages_);
}

int SenderApp::Run() {
  if (InitInstance() != StartupResult::kRun) return 1;
  CreateMainWindow();
  window_->RestoreGeometry(QStringLiteral("strovan"));
  window_->show();
  // One file is opened as the Open command opens it (a failure is told in a box); several, or
  // a folder, become the list.
  const QStringList& files = options_.filesToOpen;
  if (files.size() == 1 && !QFileInfo(files.front()).isDir()) {
    window_->OpenFile(files.front());
  } else if (!files.isEmpty()) {
    window_->OpenFiles(files);
  }
  // The window's close ends the loop: it is the program's only window. It may have been closed
  // already, while the message about the file was showing.
  if (window_->isVisible()) QApplication::exec();
  window_->SaveGeometry(QStringLiteral("strovan"));
  window_.reset();
  languages_.Save();
  return 0;
}

}  // namespace vantorel::sender::app
