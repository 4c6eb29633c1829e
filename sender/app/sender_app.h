// Strovan's application object: checks the prerequisites, runs the main window for the
// program's life and cleans up when it has closed.
#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>

#include "sender/app/sender_main_window.h"

namespace vantorel::lang {
class LanguageManager;
}

namespace vantorel::sender::app {

class SenderDesktop;

struct SenderAppOptions {
  // Empty: the folder of the running program.
  std::filesystem::path appFolder;
  // Files (or folders) to open and broadcast at once, one after another; empty for none.
  QStringList filesToOpen;
  SenderWindowOptions window;
};

enum class StartupResult { kRun, kNoSockets, kNoResources };

class SenderApp {
 public:
  // `desktop` and `languages` are not owned and must outlive the application object.
  SenderApp(SenderAppOptions options, SenderDesktop& desktop, lang::LanguageManager& languages);
  ~SenderApp();
  SenderApp(const SenderApp&) = delete;
  SenderApp& operator=(const SenderApp&) = delete;

  // Start-up up to the main window: a failed check has been reported when this returns.
  StartupResult InitInstance();
  // Makes the main window, runs it until it closes and cleans up; the process exit code.
  int Run();

  const std::filesystem::path& AppFolder() const { return appFolder_; }
  // The main window while Run runs it.
  SenderMainWindow* MainWindow() const { return window_.get(); }

 private:
  void CreateMainWindow();

  SenderAppOptions options_;
  SenderDesktop& desktop_;
  lang::LanguageManager& languages_;
  std::filesystem::path appFolder_;
  std::unique_ptr<SenderMainWindow> window_;
};

}  // namespace vantorel::sender::app
