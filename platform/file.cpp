#include "platform/file.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/file_platform.h"

namespace {

struct ArmedFault {
  FileFault fault;
  int seen = 0;
  bool fired = false;
};

std::mutex faultMutex;
std::vector<ArmedFault> faults;
std::atomic<bool> anyFault{false};
std::atomic<int> firedCount{0};

// True when an injected fault makes this operation fail.
bool Injected(FileOp op, std::wstring_view path) {
  if (!anyFault.load(std::memory_order_acquire)) return false;
  std::function<void()> hold;
  {
    std::lock_guard<std::mutex> lock(faultMutex);
    for (ArmedFault& armed : faults) {
      if (armed.fault.op != op) continue;
      if (!armed.fault.pathContains.empty() && path.find(armed.fault.pathContains) == std::wstring_view::npos)
        continue;
      if (armed.fired && !armed.fault.persistent) continue;
      if (armed.seen++ < armed.fault.skip) continue;
      armed.fired = true;
      firedCount.fetch_add(1);
      if (!armed.fault.hold) return true;
      hold = armed.fault.hold;
      break;
    }
  }
  // Outside the lock: a held thread must not keep other threads' file
  // operations waiting.
  if (hold) hold();
  return false;
}

}  // namespace

void InjectFileFault(const FileFault& fault) {
  std::lock_guard<std::mutex> lock(faultMutex);
  faults.push_back(ArmedFault{fault});
  anyFault.store(true, std::memory_order_release);
}

void ClearFileFaults() {
  std::lock_guard<std::mutex> lock(faultMutex);
  faults.clear();
  anyFault.store(false, std::memory_order_release);
  firedCount.store(0);
}

int FiredFileFaults() { return firedCount.load(); }

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
  }
  return *this;
}

bool File::Open(std::wstring_view path, bool create) {
  Close();
  if (Injected(create ? FileOp::Create : FileOp::Open, path)) return false;
  Handle handle = kNoHandle;
  if (!file_platform::Open(path, create, handle)) return false;
  handle_ = handle;
  path_.assign(path);
  return true;
}

bool File::Create(std::wstring_view path) { return Open(path, true); }
bool File::OpenExisting(std::wstring_view path) { return Open(path, false); }

bool File::OpenForReading(std::wstring_view path) {
  Close();
  if (Injected(FileOp::Open, path)) return false;
  Handle handle = kNoHandle;
  if (!file_platform::OpenForReading(path, handle)) return false;
  handle_ = handle;
  path_.assign(path);
  return true;
}

bool File::Write(const void* data, size_t n) {
  if (!IsOpen() || Injected(FileOp::Write, path_)) return false;
  return file_platform::Write(handle_, data, n);
}

bool File::Read(void* data, size_t n, size_t& got) {
  got = 0;
  if (!IsOpen() || Injected(FileOp::Read, path_)) return false;
  return file_platform::Read(handle_, data, n, got);
}

bool File::Seek(uint64_t offset) {
  if (!IsOpen() || Injected(FileOp::Seek, path_)) return false;
  return file_platform::Seek(handle_, offset);
}

bool File::Size(uint64_t& size) {
  size = 0;
  if (!IsOpen() || Injected(FileOp::Size, path_)) return false;
  return file_platform::Size(handle_, size);
}

void File::StartWriteBack() {
  if (IsOpen()) file_platform::StartWriteBack(handle_);
}

bool File::Flush() {
  if (!IsOpen() || Injected(FileOp::Flush, path_)) return false;
  return file_platform::Flush(handle_);
}

void File::Close() {
  if (!IsOpen()) return;
  file_platform::Close(handle_);
  handle_ = kNoHandle;
}

bool MoveFileNoReplace(std::wstring_view from, std::wstring_view to) {
  if (Injected(FileOp::Move, from)) return false;
  return file_platform::Move(from, to);
}

bool RemoveFile(std::wstring_view path) {
  if (Injected(FileOp::Remove, path)) return false;
  return file_platform::Remove(path);
}

bool QueryFileSize(std::wstring_view path, uint64_t& size) {
  size = 0;
  return file_platform::SizeByName(path, size);
}

std::vector<std::wstring> FilesInFolder(std::wstring_view folder) { return file_platform::List(folder); }
