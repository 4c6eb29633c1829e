// Points GIO at desktop folders of the test's own before GIO reads them (GLib keeps the XDG
// folders it reads first). With a handler, text/html opens a script that records its
// arguments in a file, one per line, so no real browser can start; the terminal handler is that
// recorder with a desktop entry that asks for a terminal.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/ui/lang/temp_folder.h"

namespace vantorel::lang::test_support {

class FakeDesktop {
 public:
  enum class Handler { kRecorder, kTerminalRecorder, kNone };

  explicit FakeDesktop(Handler handler) {
    for (const char* dir : {"data/applications", "sysdata", "config", "sysconfig"}) {
      std::filesystem::create_directories(root_.Path() / dir);
    }
    setenv("XDG_DATA_HOME", (root_.Path() / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root_.Path() / "sysdata").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_.Path() / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root_.Path() / "sysconfig").c_str(), 1);
    if (handler != Handler::kNone) WriteRecorder(handler == Handler::kTerminalRecorder);
  }

  std::filesystem::path Record() const { return root_.Path() / "arguments.txt"; }

 private:
  void WriteRecorder(bool inTerminal) {
    const auto script = root_.Path() / "record-arguments";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << Record().string()
                          << ".part' && mv '" << Record().string() << ".part' '"
                          << Record().string() << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    std::ofstream(root_.Path() / "data/applications/vantorel-recorder.desktop")
        << "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" << script.string()
        << " --new-window %u --dropped\nMimeType=text/html;\n"
        << (inTerminal ? "Terminal=true\n" : "");
    std::ofstream(root_.Path() / "config/mimeapps.list")
        << "[Default Applications]\ntext/html=vantorel-recorder.desktop\n";
  }

  TempFolder root_;
};

}  // namespace vantorel::lang::test_support
