#include "app/recordings_player.h"

#include <commctrl.h>

#include <algorithm>

#include "app/recording_files.h"
#include "common/text_format.h"
#include "formats/audio_length.h"
#include "formats/playback_source.h"
#include "playback/audio_player.h"
#include "record/recording_list.h"

namespace {

// The position bar's steps.
constexpr int kPositionSteps = 1000;
constexpr UINT kPositionEveryMs = 200;

std::wstring TimeText(uint64_t frames, uint32_t rate) { return FormatDuration(DurationMs(frames, rate).value_or(0)); }

std::wstring NameOf(const std::wstring& file) { return file.substr(file.find_last_of(L"\\/") + 1); }

}  // namespace

RecordingsPlayer::RecordingsPlayer(const LanguageTable& language) : language_(language) {}

RecordingsPlayer::~RecordingsPlayer() {
  if (player_) LetGo(std::move(player_));
}

void RecordingsPlayer::Attach(HWND window, HWND positionBar, HWND time, HWND stopButton) {
  window_ = window;
  bar_ = positionBar;
  time_ = time;
  stopButton_ = stopButton;
  SendMessageW(bar_, TBM_SETRANGE, FALSE, MAKELPARAM(0, kPositionSteps));
  SendMessageW(bar_, TBM_SETPAGESIZE, 0, kPositionSteps / 20);
  SetWindowTextW(time_, L"0:00 / 0:00");
  EnableWindow(stopButton_, FALSE);
}

void RecordingsPlayer::LetGo(std::shared_ptr<AudioPlayer> player) {
  work_.Run([player] { player->Stop(); });
}

bool RecordingsPlayer::Plays(const std::wstring& stem) const { return player_ && stem == playingStem_; }

void RecordingsPlayer::Play(const RecordingEntry& entry) {
  const std::wstring file = PlayableFile(entry);
  if (file.empty()) {
    if (onStatus)
      onStatus(language_.TextOr(L"Recordings_Cannot_Play_Format",
                                L"This recording's formats do not play here: click Open to play it in your player."),
               true);
    return;
  }
  // Played again from where the bar stands when it is this recording's.
  uint64_t startFrame = 0;
  if (file == playing_ || (playing_.empty() && entry.stem == playingStem_)) {
    const int at = static_cast<int>(SendMessageW(bar_, TBM_GETPOS, 0, 0));
    if (at < kPositionSteps) startFrame = lengthFrames_ * static_cast<uint64_t>(at) / kPositionSteps;
  }
  std::shared_ptr<AudioPlayer> previous = std::move(player_);
  auto player = std::make_shared<AudioPlayer>(makeSoundOut);
  player_ = player;
  playing_.clear();
  playingStem_ = entry.stem;
  HWND window = window_;
  RecordingsPlayer* self = this;
  AudioPlayer* played = player.get();
  player->onEnded = [window, self, played] { PostToWindow(window, [self, played] { self->OnPlayEnded(played); }); };
  work_.Run([previous, player, file, startFrame, window, self] {
    if (previous) previous->Stop();
    std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(file);
    const bool started = source && player->Play(std::move(source), startFrame);
    PostToWindow(window, [self, started, file, played = player.get()] { self->OnPlayStarted(started, file, played); });
  });
}

void RecordingsPlayer::OnPlayStarted(bool started, const std::wstring& file, const AudioPlayer* player) {
  // Another recording was asked for meanwhile: its own start follows.
  if (player_.get() != player) return;
  if (!started) {
    LetGo(std::move(player_));
    if (onStatus)
      onStatus(FormatText(language_.TextOr(L"Recordings_Cannot_Play",
                                           L"%s cannot be played here (no sound device, or the file cannot be read)."),
                          {NameOf(file)}),
               true);
    return;
  }
  playing_ = file;
  lengthFrames_ = player_->LengthFrames();
  rate_ = player_->Rate();
  EnableWindow(stopButton_, TRUE);
  if (onStatus) onStatus(FormatText(language_.TextOr(L"Recordings_Playing", L"Playing %s"), {NameOf(file)}), false);
  ShowPosition();
  SetTimer(window_, kPositionTimer, kPositionEveryMs, nullptr);
}

void RecordingsPlayer::Stop() {
  KillTimer(window_, kPositionTimer);
  if (player_) LetGo(std::move(player_));
  playing_.clear();
  EnableWindow(stopButton_, FALSE);
  if (onIdle) onIdle();
}

void RecordingsPlayer::Close() {
  if (player_) LetGo(std::move(player_));
  playing_.clear();
}

void RecordingsPlayer::OnPlayEnded(const AudioPlayer* player) {
  if (!player_ || player_.get() != player) return;
  KillTimer(window_, kPositionTimer);
  LetGo(std::move(player_));
  playing_.clear();
  EnableWindow(stopButton_, FALSE);
  SendMessageW(bar_, TBM_SETPOS, TRUE, kPositionSteps);
  ShowTime(lengthFrames_);
  if (onIdle) onIdle();
}

void RecordingsPlayer::ShowTime(uint64_t at) {
  SetWindowTextW(time_, (TimeText(at, rate_) + L" / " + TimeText(lengthFrames_, rate_)).c_str());
}

void RecordingsPlayer::ShowPosition() {
  if (!player_) return;
  const uint64_t at = std::min(player_->PositionFrames(), lengthFrames_);
  if (!dragging_ && lengthFrames_ > 0)
    SendMessageW(bar_, TBM_SETPOS, TRUE, static_cast<LPARAM>(at * kPositionSteps / lengthFrames_));
  ShowTime(at);
}

bool RecordingsPlayer::OnTimer(UINT_PTR id) {
  if (id != kPositionTimer) return false;
  ShowPosition();
  return true;
}

bool RecordingsPlayer::OnScroll(HWND bar, WORD code) {
  if (bar != bar_) return false;
  if (code == TB_THUMBTRACK) {
    dragging_ = true;
    return true;
  }
  if (code != TB_ENDTRACK && code != TB_THUMBPOSITION && code != TB_PAGEUP && code != TB_PAGEDOWN &&
      code != TB_LINEUP && code != TB_LINEDOWN && code != TB_TOP && code != TB_BOTTOM)
    return true;
  dragging_ = false;
  if (!player_ || lengthFrames_ == 0) return true;
  const int at = static_cast<int>(SendMessageW(bar_, TBM_GETPOS, 0, 0));
  const uint64_t frame = lengthFrames_ * static_cast<uint64_t>(at) / kPositionSteps;
  std::shared_ptr<AudioPlayer> player = player_;
  work_.Run([player, frame] { player->Seek(frame); });
  return true;
}
