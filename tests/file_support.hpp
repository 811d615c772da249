// SPDX-License-Identifier: MIT
// Scratch directories and temporary-file bookkeeping for the file tests.
#pragma once

#include "support.hpp"

#include <filesystem>
#include <random>
#include <set>
#include <string>

namespace pel::test {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope.
class ScratchDir {
public:
  ScratchDir() {
    std::random_device seed;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = base / ("pelc-test-" + std::to_string(seed()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const fs::path &path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
  fs::path path_;
};

// The temporary files of file-mapped storage in a directory.
inline std::set<std::string> mappingFiles(const fs::path &dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind("~pc", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".tmp")
      names.insert(it->path().string());
  }
  return names;
}

inline bool fileExists(const std::string &path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

} // namespace pel::test
