#include "settings/settings.h"

SettingsStore::SettingsStore() : current_(std::make_shared<const SettingsRecord>()) {}

SettingsSnapshot SettingsStore::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_;
}

void SettingsStore::Publish(SettingsRecord record) {
  // The record is complete before anybody can see it.
  SettingsSnapshot next = std::make_shared<const SettingsRecord>(std::move(record));
  SettingsSnapshot previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::move(current_);
    current_ = std::move(next);
  }
  // The old set goes here, outside the lock, unless a reader still holds it.
}

void SettingsStore::Change(const std::function<void(SettingsRecord&)>& change) {
  SettingsRecord record = *Current();
  change(record);
  Publish(std::move(record));
}

SettingsSnapshot SettingsStore::ForRecording() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pinned_ ? pinned_ : current_;
}

void SettingsStore::PinForRecording(SettingsSnapshot settings) {
  SettingsSnapshot previous;
  std::lock_guard<std::mutex> lock(mutex_);
  previous.swap(pinned_);
  pinned_ = std::move(settings);
}

SettingsSnapshot SettingsStore::PinCurrentUnlessPinned() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pinned_) pinned_ = current_;
  return pinned_;
}
