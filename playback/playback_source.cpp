#include "playback/playback_source.h"

#include <algorithm>
#include <cstring>

#include "playback/source_formats.h"

namespace {

// The settings' RecordFormat bits; playback does not see the settings.
constexpr uint8_t kMp3Bit = 1, kOggBit = 4, kFlacBit = 8, kWavBit = 16, kOpusBit = 32;

std::wstring LowerExtension(const std::wstring& path) {
  size_t dot = path.find_last_of(L'.');
  size_t separator = path.find_last_of(L"/\\");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && separator > dot)) return L"";
  std::wstring extension = path.substr(dot + 1);
  for (wchar_t& c : extension)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return extension;
}

}  // namespace

std::unique_ptr<PlaybackSource> OpenPlaybackSource(const std::wstring& path) {
  const std::wstring extension = LowerExtension(path);
  std::unique_ptr<PlaybackSource> source;
  if (extension == L"wav")
    source = OpenWaveSource(path);
  else if (extension == L"flac")
    source = OpenFlacSource(path);
  else if (extension == L"ogg")
    source = OpenVorbisSource(path);
  else if (extension == L"opus")
    source = OpenOpusSource(path);
  else if (extension == L"mp3")
    source = OpenMp3Source(path);
  // What the sound output and the player take: one or two channels.
  if (source && (source->channels() < 1 || source->channels() > 2 || source->rate() == 0)) source.reset();
  return source;
}

uint8_t PlayableFormats() { return kMp3Bit | kOggBit | kFlacBit | kWavBit | kOpusBit; }

size_t BlockSource::Read(int16_t* samples, size_t frames) {
  size_t done = 0;
  const size_t channels = channels_;
  while (done < frames && position_ < frames_ && !ended_) {
    const int64_t blockFrames = static_cast<int64_t>(block_.size() / channels);
    const int64_t offset = static_cast<int64_t>(position_) - blockAt_;
    if (offset >= 0 && offset < blockFrames) {
      size_t n = std::min<uint64_t>({static_cast<uint64_t>(blockFrames - offset), frames - done, frames_ - position_});
      std::memcpy(samples + done * channels, block_.data() + static_cast<size_t>(offset) * channels,
                  n * channels * sizeof(int16_t));
      done += n;
      position_ += n;
      continue;
    }
    // A block that lies wholly after the position means the stream has a
    // gap there: what is missing plays as silence.
    if (offset < 0) {
      size_t n = std::min<uint64_t>({static_cast<uint64_t>(-offset), frames - done, frames_ - position_});
      std::memset(samples + done * channels, 0, n * channels * sizeof(int16_t));
      done += n;
      position_ += n;
      continue;
    }
    if (!DecodeBlock(block_, blockAt_)) {
      block_.clear();
      ended_ = true;
    }
  }
  return done;
}

bool BlockSource::Seek(uint64_t frame) {
  if (frame > frames_) return false;
  block_.clear();
  blockAt_ = 0;
  position_ = frame;
  ended_ = !Restart(frame);
  return !ended_;
}
