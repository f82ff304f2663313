// Files of the recording pipeline: the stream files, the mixed WAV file and the
// files the encoders leave. Every file is opened for reading and writing and
// shared with no other opener (CreateFileW with share mode 0; on POSIX an
// exclusive lock). Writes are ordinary buffered writes: they survive the end of
// the process at once, and reach the disk itself when the system writes its
// cache back or when Flush is called (FlushFileBuffers, fdatasync). A file that
// must survive a power cut is flushed once, when it is complete.
//
// Tests inject failures through the same seam (InjectFileFault), so that a full
// disk, a file that cannot be created or a failing move is exercised on both
// platforms by the code the product runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Creates the file, or empties an existing one (CREATE_ALWAYS). A file that
  // another opener holds is left alone and the result is false.
  bool Create(std::wstring_view path);
  // Opens an existing file (OPEN_EXISTING).
  bool OpenExisting(std::wstring_view path);
  // Opens an existing file to read it only, shared with every other opener
  // (a file being written or played stays readable, and may be renamed
  // meanwhile); for looking into recordings, never for the pipeline's own.
  bool OpenForReading(std::wstring_view path);

  bool IsOpen() const { return handle_ != kNoHandle; }
  const std::wstring& path() const { return path_; }

  // Writes all n bytes at the current position; false when they could not all
  // be written.
  bool Write(const void* data, size_t n);
  // Reads up to n bytes from the current position; `got` is below n only at the
  // end of the file. False on a read error (`got` then says what was read).
  bool Read(void* data, size_t n, size_t& got);
  bool Seek(uint64_t offset);
  bool Size(uint64_t& size);
  // Returns once everything written is on the disk.
  bool Flush();
  // Asks the system to start writing what was written so far to the disk,
  // without waiting, so that a Flush at the end has less left to do. A hint:
  // where the platform has no such call it does nothing.
  void StartWriteBack();
  void Close();

  // The platform's handle type, wide enough for a HANDLE and a descriptor.
  using Handle = intptr_t;
  static constexpr Handle kNoHandle = -1;

 private:
  bool Open(std::wstring_view path, bool create);

  Handle handle_ = kNoHandle;
  std::wstring path_;
};

// Renames a file; fails when the target exists (MoveFileW).
bool MoveFileNoReplace(std::wstring_view from, std::wstring_view to);
// Deletes a file (DeleteFileW).
bool RemoveFile(std::wstring_view path);
// The size of a file by its name; false when it does not exist.
bool QueryFileSize(std::wstring_view path, uint64_t& size);
// The names (without the folder) of the plain files in a folder, in no
// particular order; empty when the folder cannot be read.
std::vector<std::wstring> FilesInFolder(std::wstring_view folder);

// One entry of a folder listing: what a single pass over the folder tells
// without opening any file.
struct FolderEntry {
  std::wstring name;      // without the folder
  uint64_t size = 0;
  int64_t modified = 0;   // last write, seconds since 1970-01-01 UTC
  bool directory = false;
};

// Every entry of a folder but "." and "..", in no particular order, in one
// listing (FindFirstFileExW with the large fetch); empty when the folder
// cannot be read.
std::vector<FolderEntry> FolderEntriesOf(std::wstring_view folder);

// Sets a file's last write time (seconds since 1970-01-01 UTC); tests and the
// benchmark use it to make old files.
bool SetFileModified(std::wstring_view path, int64_t secondsSince1970);

// Fault injection for tests.
enum class FileOp { Create, Open, Write, Read, Seek, Size, Flush, Move, Remove };

struct FileFault {
  FileOp op = FileOp::Write;
  // Only operations on a path holding this text count; empty matches every
  // path. For Move the source path is matched.
  std::wstring pathContains;
  // This many matching operations succeed before the first one fails.
  int skip = 0;
  // Keep failing every matching operation after the first failure.
  bool persistent = false;
  // When set, the operation the fault would fail runs this instead (on the
  // calling thread, before the operation) and then goes ahead: tests use it
  // to hold a thread inside a write.
  std::function<void()> hold = nullptr;
};

void InjectFileFault(const FileFault& fault);
void ClearFileFaults();
// How many operations an injected fault has failed since the last clear.
int FiredFileFaults();
