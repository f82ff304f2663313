// Native builds only: an in-memory stand-in for the user's Run key, which
// the tests read back.

#include <map>
#include <mutex>

#include "platform/autorun.h"

namespace {
std::mutex runMutex;
std::map<std::wstring, std::wstring, std::less<>> runValues;
}  // namespace

bool SetAutorunValue(std::wstring_view name, std::wstring_view data) {
  std::lock_guard<std::mutex> lock(runMutex);
  runValues[std::wstring(name)] = std::wstring(data);
  return true;
}

bool DeleteAutorunValue(std::wstring_view name) {
  std::lock_guard<std::mutex> lock(runMutex);
  auto it = runValues.find(name);
  if (it != runValues.end()) runValues.erase(it);
  return true;
}

bool ReadAutorunValue(std::wstring_view name, std::wstring& data) {
  std::lock_guard<std::mutex> lock(runMutex);
  auto it = runValues.find(name);
  if (it == runValues.end()) return false;
  data = it->second;
  return true;
}
