// A file opened for a decoder, a checker or a header reader: its size, and
// its position kept for the codec libraries' tell and seek callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

class InputFile {
 public:
  // Shared with every other opener: a recording being written or played
  // stays readable (File::OpenForReading).
  bool Open(const std::wstring& path) { return file_.OpenForReading(path) && file_.Size(size_); }
  // A file of the pipeline's own, which no one else may hold meanwhile
  // (File::OpenExisting): an encoder's output as it is checked.
  bool OpenExclusive(const std::wstring& path) { return file_.OpenExisting(path) && file_.Size(size_); }

  // Up to n bytes from the position; `got` is below n only at the end.
  bool Read(void* data, size_t n, size_t& got) {
    got = 0;
    const bool ok = file_.Read(data, n, got);
    position_ += got;
    return ok;
  }
  bool Seek(uint64_t offset) {
    if (!file_.Seek(offset)) return false;
    position_ = offset;
    return true;
  }
  // Exactly n bytes at `offset`.
  bool ReadAt(uint64_t offset, void* data, size_t n) { return ReadUpTo(offset, data, n) == n; }
  // Up to n bytes at `offset`: what was read (0 past the end or on an error).
  size_t ReadUpTo(uint64_t offset, void* data, size_t n) {
    size_t got = 0;
    if (offset >= size_ || !Seek(offset) || !Read(data, n, got)) return 0;
    return got;
  }
  std::vector<uint8_t> Bytes(uint64_t offset, size_t n) {
    std::vector<uint8_t> bytes(n);
    bytes.resize(ReadUpTo(offset, bytes.data(), n));
    return bytes;
  }

  uint64_t size() const { return size_; }
  uint64_t position() const { return position_; }
  bool AtEnd() const { return position_ >= size_; }

 private:
  File file_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};
