// A fresh folder under the system's temporary folder for one test, removed
// with everything in it at the end; optionally a copy of a fixture folder,
// so tests that write never touch the fixtures.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace tessaly::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& fixture = "") {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    if (!fixture.empty()) {
      std::filesystem::copy(std::string(TESSALY_FIXTURES) + "/" + fixture, path_,
                            std::filesystem::copy_options::recursive);
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace tessaly::testing
