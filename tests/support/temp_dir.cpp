#include "support/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>

namespace zepa::testing {

TempDir::TempDir() : previous_(std::filesystem::current_path()) {
  // A random name made fresh by create_directory: mkdtemp is POSIX only.
  std::random_device random;
  do {
    path_ = std::filesystem::temp_directory_path() / ("zepa-test-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(path_));
  std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream(path_ / name, std::ios::binary) << bytes;
}

}  // namespace zepa::testing
