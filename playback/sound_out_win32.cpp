// The sound output through waveOut: four buffers of 100 ms, queued in turn;
// the device signals an event (CALLBACK_EVENT) whenever it has played one,
// and a writer waiting for a free buffer waits on that event.
// waveOutGetPosition in samples gives the frames heard; waveOutReset drops
// what is queued, marks every buffer done and counts from 0 again.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "playback/sound_out.h"

namespace {

constexpr size_t kBuffers = 4;
constexpr uint32_t kBufferMs = 100;

class WaveOutSound : public SoundOut {
 public:
  WaveOutSound() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~WaveOutSound() override {
    Close();
    if (event_) CloseHandle(event_);
  }

  bool Open(uint16_t channels, uint32_t rate) override {
    Close();
    if (!event_ || channels < 1 || channels > 2 || rate == 0) return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    HWAVEOUT wave = nullptr;
    if (waveOutOpen(&wave, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR)
      return false;
    channels_ = channels;
    bufferFrames_ = std::max<size_t>(1, rate * kBufferMs / 1000);
    for (size_t k = 0; k < kBuffers; ++k) {
      data_[k].assign(bufferFrames_ * channels, 0);
      WAVEHDR& header = headers_[k];
      header = WAVEHDR{};
      header.lpData = reinterpret_cast<LPSTR>(data_[k].data());
      header.dwBufferLength = static_cast<DWORD>(data_[k].size() * sizeof(int16_t));
      if (waveOutPrepareHeader(wave, &header, sizeof header) != MMSYSERR_NOERROR) {
        for (size_t j = 0; j < k; ++j) waveOutUnprepareHeader(wave, &headers_[j], sizeof headers_[j]);
        waveOutClose(wave);
        return false;
      }
      // Prepared and free: the done flag marks a buffer that may be filled.
      header.dwFlags |= WHDR_DONE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    wave_ = wave;
    next_ = 0;
    return true;
  }

  bool Write(const int16_t* samples, size_t frames) override {
    const uint32_t resets = resets_.load();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!wave_) return false;
    }
    while (frames > 0) {
      WAVEHDR& header = headers_[next_];
      // The device sets the done flag from its own thread.
      while (!(InterlockedOr(reinterpret_cast<volatile LONG*>(&header.dwFlags), 0) & WHDR_DONE)) {
        if (resets_.load() != resets) return false;
        // The event may have been signalled for an earlier buffer; the time
        // limit covers a signal that came between the check and the wait.
        WaitForSingleObject(event_, kBufferMs);
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (!wave_ || resets_.load() != resets) return false;
      const size_t n = std::min(frames, bufferFrames_);
      std::memcpy(header.lpData, samples, n * channels_ * sizeof(int16_t));
      header.dwBufferLength = static_cast<DWORD>(n * channels_ * sizeof(int16_t));
      header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
      if (waveOutWrite(wave_, &header, sizeof header) != MMSYSERR_NOERROR) {
        header.dwFlags |= WHDR_DONE;
        return false;
      }
      next_ = (next_ + 1) % kBuffers;
      samples += n * channels_;
      frames -= n;
    }
    return true;
  }

  uint64_t PlayedFrames() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!wave_) return 0;
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(wave_, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    // A driver may answer in another unit than asked for.
    if (time.wType == TIME_SAMPLES) return time.u.sample;
    if (time.wType == TIME_BYTES) return time.u.cb / (channels_ * 2u);
    return 0;
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    resets_.fetch_add(1);
    if (wave_) waveOutReset(wave_);
    // Wakes a writer that waits for a buffer.
    if (event_) SetEvent(event_);
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!wave_) return;
    waveOutReset(wave_);
    for (WAVEHDR& header : headers_) waveOutUnprepareHeader(wave_, &header, sizeof header);
    waveOutClose(wave_);
    wave_ = nullptr;
  }

 private:
  HANDLE event_;
  std::mutex mutex_;
  HWAVEOUT wave_ = nullptr;
  std::atomic<uint32_t> resets_{0};
  uint16_t channels_ = 1;
  size_t bufferFrames_ = 0;
  size_t next_ = 0;
  WAVEHDR headers_[kBuffers]{};
  std::vector<int16_t> data_[kBuffers];
};

}  // namespace

std::unique_ptr<SoundOut> MakeSystemSoundOut() { return std::make_unique<WaveOutSound>(); }
