// A folder of its own for each test, removed with it.
#ifndef VERSALO_TESTS_SUPPORT_TEMP_DIR_H
#define VERSALO_TESTS_SUPPORT_TEMP_DIR_H

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace versalo::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("versalo-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::filesystem::path Path(std::string_view name) const { return path_ / name; }

  // Writes `bytes` exactly, and returns the file's path as a string.
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = Path(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace versalo::testing

#endif  // VERSALO_TESTS_SUPPORT_TEMP_DIR_H
