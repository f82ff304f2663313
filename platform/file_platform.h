// The platform half of the file seam (file_win32.cpp, file_posix.cpp). The
// shared half (file.cpp) adds the fault injection and the bookkeeping.
#pragma once

#include "platform/file.h"

namespace file_platform {
bool Open(std::wstring_view path, bool create, File::Handle& handle);
bool OpenForReading(std::wstring_view path, File::Handle& handle);
bool Write(File::Handle handle, const void* data, size_t n);
bool Read(File::Handle handle, void* data, size_t n, size_t& got);
bool Seek(File::Handle handle, uint64_t offset);
bool Size(File::Handle handle, uint64_t& size);
bool Flush(File::Handle handle);
void StartWriteBack(File::Handle handle);
void Close(File::Handle handle);
bool Move(std::wstring_view from, std::wstring_view to);
bool Remove(std::wstring_view path);
bool SizeByName(std::wstring_view path, uint64_t& size);
std::vector<std::wstring> List(std::wstring_view folder);
}  // namespace file_platform
