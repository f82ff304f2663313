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

bool OpenForReading(std::wstring_view path, File::Handle& handle) {
  int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
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

std::vector<FolderEntry> FolderEntriesOf(std::wstring_view folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(NativePath(folder).c_str());
  if (!dir) return entries;
  int fd = dirfd(dir);
  while (dirent* found = readdir(dir)) {
    const char* name = found->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    struct stat st;
    // Relative to the open folder: no path is built per entry. A link is
    // followed, as the Windows listing reports what it points to.
    if (fstatat(fd, name, &st, 0) != 0) continue;
    FolderEntry entry;
    entry.name = WideFromUtf8(name);
    entry.directory = S_ISDIR(st.st_mode);
    entry.size = entry.directory ? 0 : static_cast<uint64_t>(st.st_size);
    entry.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    entries.push_back(std::move(entry));
  }
  closedir(dir);
  return entries;
}

bool SetFileModified(std::wstring_view path, int64_t secondsSince1970) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, NativePath(path).c_str(), times, 0) == 0;
}
