#include "record/builtin_encoders.h"

#include <algorithm>
#include <system_error>

#include "formats/audio_encoder.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "record/wave_file.h"

namespace {

constexpr uint8_t kFormatOrder[] = {kFormatMp3, kFormatWma, kFormatOgg, kFormatFlac, kFormatOpus};

// What a format costs to encode, relative to the others: an hour of a call
// (full-scale noise) on one core here takes Opus about 50 s, LAME 14 s, Vorbis
// at quality 10 6 s and FLAC at level 8 1.5 s.
int EncodingCost(uint8_t format) {
  switch (format) {
    case kFormatOpus:
      return 35;
    case kFormatMp3:
      return 10;
    case kFormatOgg:
      return 4;
    default:
      return 1;
  }
}

}  // namespace

BuiltInEncoders::BuiltInEncoders(const std::wstring& wavName, uint8_t formats, uint16_t channels, uint32_t rate)
    : formats_(formats & BuiltInCodecFormats()), channels_(channels), rate_(rate) {
  std::vector<uint8_t> chosen;
  for (uint8_t format : kFormatOrder)
    if (formats_ & format) chosen.push_back(format);
  if (chosen.empty()) return;
  // The costliest format first, each to the thread with the least work so far.
  std::stable_sort(chosen.begin(), chosen.end(), [](uint8_t a, uint8_t b) { return EncodingCost(a) > EncodingCost(b); });
  const size_t threads = std::min<size_t>(chosen.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<int> load(threads, 0);
  for (size_t k = 0; k < threads; ++k) workers_.push_back(std::make_unique<Worker>());
  for (uint8_t format : chosen) {
    size_t least = static_cast<size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    load[least] += EncodingCost(format);
    workers_[least]->outputs.push_back({format, EncodedFileName(wavName, format), false});
  }
  for (auto& worker : workers_) {
    Worker* w = worker.get();
    try {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running_;
      }
      w->thread = std::thread([this, w] { Run(*w); });
    } catch (const std::system_error&) {
      // Without its thread its formats are not made; the others go on.
      DebugTrace(L"No thread to encode %s\n", {w->outputs.front().name});
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
    }
  }
}

BuiltInEncoders::~BuiltInEncoders() {
  if (!finished_) Abandon();
}

void BuiltInEncoders::Feed(const int16_t* samples, size_t count) {
  if (workers_.empty()) return;
  const size_t block = kEncodeBlockSamples - kEncodeBlockSamples % channels_;
  for (size_t at = 0; at < count; at += block) PushBlock(samples + at, std::min(block, count - at));
}

void BuiltInEncoders::PushBlock(const int16_t* samples, size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Blocks every encoder has taken go; a full window waits for the slowest.
  changed_.wait(lock, [&] {
    while (!blocks_.empty() && blocks_.front().readers == 0) {
      blocks_.pop_front();
      ++first_;
    }
    return blocks_.size() < kEncodeBlocksInFlight || running_ == 0;
  });
  frames_ += count / channels_;
  if (running_ == 0) return;
  blocks_.push_back(Block{std::vector<int16_t>(samples, samples + count), running_});
  changed_.notify_all();
}

void BuiltInEncoders::Run(Worker& worker) {
  struct Job {
    BuiltInOutput* output;
    File file;
    std::unique_ptr<AudioEncoder> encoder;
    bool good = false;
  };
  std::vector<Job> jobs(worker.outputs.size());
  for (size_t k = 0; k < jobs.size(); ++k) {
    Job& job = jobs[k];
    job.output = &worker.outputs[k];
    if (!job.file.Create(job.output->name)) {
      DebugTrace(L"Cannot create %s\n", {job.output->name});
      continue;
    }
    job.encoder = MakeAudioEncoder(job.output->format, job.file, channels_, rate_);
    if (!job.encoder) DebugTrace(L"No encoder for %s\n", {job.output->name});
    job.good = job.encoder != nullptr;
  }

  uint64_t next = 0;
  bool abandoned = false;
  for (;;) {
    const Block* block = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return abandoned_ || ended_ || next < first_ + blocks_.size(); });
      if (abandoned_) {
        abandoned = true;
        break;
      }
      if (next >= first_ + blocks_.size()) break;  // ended, and every block taken
      block = &blocks_[static_cast<size_t>(next - first_)];
    }
    // The block stays in place until this thread has let go of it: only
    // blocks no reader holds are removed, and a deque keeps its elements where
    // they are when others are added at the back.
    for (Job& job : jobs) {
      if (job.good && !job.encoder->Encode(block->samples.data(), block->samples.size() / channels_)) {
        DebugTrace(L"Encoding %s failed\n", {job.output->name});
        job.good = false;
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    --blocks_[static_cast<size_t>(next - first_)].readers;
    ++next;
    changed_.notify_all();
  }
  uint64_t expected = 0;
  {
    // Gone from the readers: the source no longer waits for this thread.
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint64_t k = next; k < first_ + blocks_.size(); ++k) --blocks_[static_cast<size_t>(k - first_)].readers;
    --running_;
    expected = frames_;
    changed_.notify_all();
  }
  for (Job& job : jobs) {
    BuiltInOutput& output = *job.output;
    bool good = job.good && !abandoned && job.encoder->Finish();
    job.encoder.reset();
    if (good && !job.file.Flush()) {
      DebugTrace(L"Cannot write %s to the disk\n", {output.name});
      good = false;
    }
    const bool created = job.file.IsOpen();
    job.file.Close();
    output.made = good && EncodedFileChecksOut(output.format, output.name, expected, rate_);
    if (!output.made && created && !RemoveFile(output.name)) DebugTrace(L"Cannot delete %s\n", {output.name});
  }
}

void BuiltInEncoders::End(bool abandoned) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    abandoned_ = abandoned_ || abandoned;
    changed_.notify_all();
  }
  for (auto& worker : workers_)
    if (worker->thread.joinable()) worker->thread.join();
  finished_ = true;
}

std::vector<BuiltInOutput> BuiltInEncoders::Finish() {
  End(false);
  std::vector<BuiltInOutput> outputs;
  for (auto& worker : workers_) outputs.insert(outputs.end(), worker->outputs.begin(), worker->outputs.end());
  // In the order of the format bits, whichever thread made them.
  std::sort(outputs.begin(), outputs.end(),
            [](const BuiltInOutput& a, const BuiltInOutput& b) { return a.format < b.format; });
  return outputs;
}

void BuiltInEncoders::Abandon() { End(true); }

std::vector<BuiltInOutput> EncodeWaveFile(const std::wstring& wavName, uint8_t formats) {
  formats &= BuiltInCodecFormats();
  if (!formats) return {};
  File wav;
  const uint16_t channels = wav.OpenExisting(wavName) ? ReadWaveHeaderChannels(wav) : 0;
  BuiltInEncoders encoders(wavName, channels ? formats : 0, channels ? channels : 1, kSampleRate);
  auto noneMade = [&] {
    std::vector<BuiltInOutput> outputs;
    for (uint8_t format : kFormatOrder)
      if (formats & format) outputs.push_back({format, EncodedFileName(wavName, format), false});
    return outputs;
  };
  if (encoders.empty()) {
    DebugTrace(L"%s cannot be encoded: not a WAV file the recorder made\n", {wavName});
    return noneMade();
  }
  std::vector<int16_t> samples(kEncodeBlockSamples * 8);
  for (;;) {
    size_t bytes = 0;
    if (!wav.Read(samples.data(), samples.size() * 2, bytes)) {
      DebugTrace(L"Cannot read %s\n", {wavName});
      encoders.Abandon();
      return noneMade();
    }
    // A whole number of frames: an odd byte at the end is not a sample.
    size_t count = bytes / 2 - (bytes / 2) % channels;
    encoders.Feed(samples.data(), count);
    if (bytes < samples.size() * 2) break;
  }
  return encoders.Finish();
}
