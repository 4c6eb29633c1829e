// Lunnet's start-up: checks what the program needs, runs the main window until it closes,
// and cleans up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "receiver/app/receiver_main_window.h"

namespace vantorel::receiver::app {

class ReceiverApp {
 public:
  // The application folder is the folder of the running program unless one is given.
  explicit ReceiverApp(ReceiverWindowOptions options = {});

  // The text of the message box that ends the program before any window opens, or nothing
  // when the program can run.
  std::optional<std::string> CheckPrerequisites() const;
  // Runs the whole start-up and the window; returns the process exit code. Needs a
  // QApplication.
  int Run();

  const std::filesystem::path& ApplicationFolder() const { return folder_; }
  std::filesystem::path ResourceLibraryPath() const;

 private:
  ReceiverWindowOptions options_;
  std::filesystem::path folder_;
};

}  // namespace vantorel::receiver::app
