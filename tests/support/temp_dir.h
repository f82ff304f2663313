// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, in the platform's own form (backslashes on Windows), without a
  // trailing separator.
  const std::wstring& path() const { return path_; }
  // path() + separator + name.
  std::wstring file(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Whole-file helpers for checks byte for byte.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
