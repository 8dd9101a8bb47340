#pragma once

#include <filesystem>
#include <string>

namespace zepa::testing {

// A fresh directory that is the current directory for the test's lifetime, removed after.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The whole content of a file below the directory ("" when it does not exist).
  std::string read(const std::string& name) const;
  void write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace zepa::testing
