// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace vantorel::lang::test_support {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorel_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // A copy of a fixture folder inside this one, so that tests may write into it.
  std::filesystem::path CopyOf(const std::filesystem::path& fixture) const {
    const auto copy = path_ / fixture.filename();
    std::filesystem::copy(fixture, copy, std::filesystem::copy_options::recursive);
    return copy;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vantorel::lang::test_support
