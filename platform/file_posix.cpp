#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_platform.h"
#include "common/strings.h"
#include "platform/paths_posix.h"

namespace file_platform {

bool Open(std::wstring_view path, bool create, File::Handle& handle) {
  std::string native = NativePath(path);
  // The file is not emptied before the lock is held, so a file that another
  // opener holds keeps its contents.
  int fd = open(native.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) return false;
  // Share mode 0: a second opener is refused while this one holds the file.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || (create && ftruncate(fd, 0) != 0)) {
    close(fd);
    return false;
  }
  handle = fd;
  return true;
}

bool Write(File::Handle handle, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t done = write(static_cast<int>(handle), p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

bool Read(File::Handle handle, void* data, size_t n, size_t& got) {
  char* p = static_cast<char*>(data);
  got = 0;
  while (got < n) {
    ssize_t done = read(static_cast<int>(handle), p + got, n - got);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return false;
    if (done == 0) break;
    got += static_cast<size_t>(done);
  }
  return true;
}

bool Seek(File::Handle handle, uint64_t offset) {
  return lseek(static_cast<int>(handle), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool Size(File::Handle handle, uint64_t& size) {
  struct stat st;
  if (fstat(static_cast<int>(handle), &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool Flush(File::Handle handle) { return fdatasync(static_cast<int>(handle)) == 0; }

void StartWriteBack(File::Handle handle) {
#ifdef SYNC_FILE_RANGE_WRITE
  sync_file_range(static_cast<int>(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)handle;
#endif
}

void Close(File::Handle handle) { close(static_cast<int>(handle)); }

bool Move(std::wstring_view from, std::wstring_view to) {
  std::string source = NativePath(from), target = NativePath(to);
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE: a hard link fails on an existing
  // target just the same.
  if (link(source.c_str(), target.c_str()) != 0) return false;
  unlink(source.c_str());
  return true;
}

bool Remove(std::wstring_view path) { return unlink(NativePath(path).c_str()) == 0; }

bool SizeByName(std::wstring_view path, uint64_t& size) {
  struct stat st;
  if (stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

std::vector<std::wstring> List(std::wstring_view folder) {
  std::vector<std::wstring> names;
  std::string native = NativePath(folder);
  DIR* dir = opendir(native.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    struct stat st;
    std::string path = native + "/" + entry->d_name;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(WideFromUtf8(entry->d_name));
  }
  closedir(dir);
  return names;
}

}  // namespace file_platform
