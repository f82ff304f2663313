#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifndef _WIN32
#include "platform/paths_posix.h"
#endif

namespace fs = std::filesystem;

namespace {

// A file system path for an engine path: on POSIX the engine's own conversion
// (UTF-8, backslashes as separators), which does not depend on the locale.
fs::path FsPath(const std::wstring& path) {
#ifdef _WIN32
  return fs::path(path);
#else
  return fs::path(NativePath(path));
#endif
}

#ifdef _WIN32
const wchar_t kSeparator = L'\\';
#else
const wchar_t kSeparator = L'/';
#endif
}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / (L"calvoro-test-" + std::to_wstring(random() % 1000000) + L"-" +
                                 std::to_wstring(counter++));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.wstring();
      break;
    }
  }
  while (!path_.empty() && (path_.back() == L'\\' || path_.back() == L'/')) path_.pop_back();
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(fs::path(path_), error);
}

std::wstring TempDir::file(const std::wstring& name) const { return path_ + kSeparator + name; }

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool FileExists(const std::wstring& path) {
  std::error_code error;
  return fs::exists(FsPath(path), error);
}
