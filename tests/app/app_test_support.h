// What the application's tests share: a recorder's events as the dialogs'
// tests hear them. Each change of the settings in force is counted; from
// NoteCaptions on, the main window's caption in the language then in force
// is noted with it (what the main window would show after an apply).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/recorder_events.h"
#include "settings/language.h"

class SettingsEvents : public RecorderEvents {
 public:
  void NoteCaptions(const LanguageTable* language) { language_.store(language); }

  void OnSettingsChanged() override {
    ++changed;
    if (const LanguageTable* language = language_.load()) {
      std::lock_guard<std::mutex> lock(mutex_);
      captions_.push_back(language->Text(L"Main_Caption"));
    }
  }
  std::vector<std::wstring> captionsWhenApplied() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captions_;
  }

  std::atomic<int> changed{0};

 private:
  std::atomic<const LanguageTable*> language_{nullptr};
  mutable std::mutex mutex_;
  std::vector<std::wstring> captions_;
};
