#include "receiver/app/receiver_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <gst/gst.h>

#include <memory>

#include "platform/profile/program_folder.h"
#include "receiver/app/receiver_strings.h"
#include "ui/lang/language_access.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::receiver::app {

ReceiverApp::ReceiverApp(ReceiverWindowOptions options) : options_(std::move(options)) {
  folder_ =
      options_.applicationFolder.empty() ? profile::ProgramFolder() : options_.applicationFolder;
  options_.applicationFolder = folder_;
}

std::filesystem::path ReceiverApp::ResourceLibraryPath() const {
  return folder_ / skin::kResourceLibraryName;
}

std::optional<std::string> ReceiverApp::CheckPrerequisites() const {
  // Probed and released at once; the window loads it again for its pictures.
  const auto library =
      skin::ResourceLibrary::Load(QString::fromStdString(ResourceLibraryPath().string()));
  if (!library) return std::string(Strings().Text(kIdsResourceError));
  return std::nullopt;
}

int ReceiverApp::Run() {
  // The media framework for this thread; when it cannot start, no graph is ever built and
  // the window still shows.
  gst_init_check(nullptr, nullptr, nullptr);
  // POSIX sockets need no start-up of their own.
  if (auto error = CheckPrerequisites()) {
    lang::LanguageManager& languages =
        options_.languages != nullptr ? *options_.languages : lang::TheLanguageManager();
    QMessageBox::critical(nullptr, Strings().String(kIdsMessageTitle),
                          QString::fromStdString(languages.LookUp(*error)));
    return 1;
  }
  std::unique_ptr<ReceiverMainWindow> window;
  {
    const auto library =
        skin::ResourceLibrary::Load(QString::fromStdString(ResourceLibraryPath().string()));
    window = std::make_unique<ReceiverMainWindow>(library.get(), options_);
  }
  window->RestoreGeometry(QStringLiteral("lunnet"));
  window->ShowAtStart();
  QApplication::exec();
  window->SaveGeometry(QStringLiteral("lunnet"));
  window.reset();
  return 0;
}

}  // namespace vantorel::receiver::app
