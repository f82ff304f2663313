// Recordings decoded for listening: every format the recorder makes, from
// files its own writers and encoders made, read whole, positioned, and
// damaged.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/audio_length.h"
#include "formats/playback_source.h"
#include "tests/formats/formats_test_support.h"

namespace {

constexpr uint32_t kRate = 16000;
constexpr double kSeconds = 3.2;

struct Case {
  uint8_t format;
  uint16_t channels;
};

std::string Name(const ::testing::TestParamInfo<Case>& info) {
  std::wstring extension = FormatExtension(info.param.format);
  return std::string(extension.begin(), extension.end()) + (info.param.channels == 1 ? "_mono" : "_stereo");
}

bool Lossless(uint8_t format) { return format == kFormatWav || format == kFormatFlac; }

// The frames of `samples` from `from`, `count` of them.
std::vector<int16_t> Slice(const std::vector<int16_t>& samples, uint16_t channels, size_t from, size_t count) {
  from = std::min(from * channels, samples.size());
  const size_t end = std::min(from + count * channels, samples.size());
  return std::vector<int16_t>(samples.begin() + static_cast<ptrdiff_t>(from),
                              samples.begin() + static_cast<ptrdiff_t>(end));
}

class PlaybackSourceTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    format = GetParam().format;
    channels = GetParam().channels;
    tone = Sweep(channels, kRate, kSeconds);
    path = dir.file(std::wstring(L"call.") + FormatExtension(format));
    ASSERT_TRUE(MakeRecording(format, path, tone, channels, kRate));
  }

  // Source frames for a frame of the decode (Opus decodes to 48 kHz).
  uint64_t SourceFrame(const PlaybackSource& source, uint64_t frame) const { return frame * kRate / source.rate(); }

  TempDir dir;
  uint8_t format = 0;
  uint16_t channels = 0;
  std::vector<int16_t> tone;
  std::wstring path;
  const size_t toneFrames = static_cast<size_t>(kSeconds * kRate);
};

// The layout and length the file records, and every sample read in odd
// pieces: exactly the source's for WAV and FLAC, close to it (in time too:
// the codec's delay is taken off) for the lossy codecs.
TEST_P(PlaybackSourceTest, DecodesTheWholeRecordingAtItsLength) {
  // The recorder's own check, which decodes the whole file (before the
  // source holds the file: files are not shared).
  const std::optional<uint64_t> checked = DecodedFrames(format, path, format == kFormatOpus ? 48000 : kRate);
  std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(path);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->channels(), channels);
  EXPECT_EQ(source->rate(), format == kFormatOpus ? 48000u : kRate);
  if (Lossless(format)) {
    EXPECT_EQ(source->frames(), toneFrames);
  } else {
    EXPECT_TRUE(DecodedLengthMatches(format, SourceFrame(*source, source->frames()), toneFrames, kRate))
        << source->frames();
    // The length told at once agrees with the recorder's check.
    EXPECT_EQ(checked, source->frames());
  }

  std::vector<int16_t> decoded = ReadToEnd(*source);
  EXPECT_EQ(decoded.size(), source->frames() * channels);
  int16_t more[64];
  EXPECT_EQ(source->Read(more, 32 / channels), 0u);
  if (Lossless(format)) {
    EXPECT_TRUE(SameSamples(decoded, tone));
  } else {
    // The codecs' ramps at either end aside. Opus, tuned for speech at 48
    // kbit/s for two channels, shares its bits between the two unrelated
    // sweeps and keeps them less well.
    const bool shared = format == kFormatOpus && channels == 2;
    Likeness likeness = Compare(decoded, source->rate(), tone, kRate, channels, 1600, toneFrames - 3200);
    EXPECT_GT(likeness.correlation, shared ? 0.8 : 0.97) << likeness;
    EXPECT_LE(std::abs(likeness.lag), 1) << likeness;
    EXPECT_LT(likeness.relativeError, shared ? 0.6 : 0.25) << likeness;
  }
}

// A Seek anywhere, forwards and back, then reads what a read from the start
// gives there: the source's very samples for WAV and FLAC, the same decode
// for Vorbis, the same to within rounding for MP3 (whose decoder starts anew
// a few frames before the target), a decode close to it for Opus (which
// starts anew 80 ms before). The end reads nothing; beyond it is refused.
TEST_P(PlaybackSourceTest, SeeksToAnyFrame) {
  std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(path);
  ASSERT_TRUE(source);
  const std::vector<int16_t> whole = ReadToEnd(*source);
  const uint64_t frames = source->frames();
  const size_t window = source->rate() / 10;
  for (uint64_t target : {frames / 2 + 37, uint64_t{1}, frames - 10, uint64_t{0}, frames / 3, frames - 1}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(source->Seek(target));
    std::vector<int16_t> got(window * channels);
    got.resize(source->Read(got.data(), window) * channels);
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(window, frames - target));
    ASSERT_EQ(got.size(), expected * channels);
    if (Lossless(format)) {
      EXPECT_TRUE(SameSamples(got, Slice(tone, channels, target, expected)));
    } else if (format != kFormatOpus) {
      EXPECT_TRUE(SameSamples(got, Slice(whole, channels, target, expected), format == kFormatMp3 ? 2 : 0));
    } else if (expected == window) {
      Likeness likeness = Compare(got, 1, Slice(whole, channels, target, expected), 1, channels, 0, expected);
      EXPECT_GT(likeness.correlation, 0.97) << likeness;
      EXPECT_EQ(likeness.lag, 0) << likeness;
    }
  }
  ASSERT_TRUE(source->Seek(frames));
  int16_t more[64];
  EXPECT_EQ(source->Read(more, 16), 0u);
  EXPECT_FALSE(source->Seek(frames + 1));
  // Back from the end, and the rest read again to the end.
  ASSERT_TRUE(source->Seek(frames / 4));
  std::vector<int16_t> rest = ReadToEnd(*source, 1000);
  EXPECT_EQ(rest.size(), (frames - frames / 4) * channels);
  if (format != kFormatOpus) {
    EXPECT_TRUE(SameSamples(rest, Slice(whole, channels, frames / 4, frames), format == kFormatMp3 ? 2 : 0));
  }
}

// A file cut short (a writer that stopped, a copy that broke off) or damaged
// in the middle opens to nothing or reads what it holds, and never more than
// its length; what WAV and FLAC give before the cut is the source's own.
TEST_P(PlaybackSourceTest, DamagedFilesReadWhatTheyHold) {
  const std::string bytes = ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 4000u);

  const std::wstring cut = dir.file(std::wstring(L"cut.") + FormatExtension(format));
  ASSERT_TRUE(WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2)));
  if (std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(cut)) {
    std::vector<int16_t> decoded = ReadToEnd(*source);
    EXPECT_LE(decoded.size(), source->frames() * channels);
    EXPECT_LT(decoded.size(), tone.size());
    if (Lossless(format)) {
      // Most of what the half holds, every sample as written.
      EXPECT_GT(decoded.size(), tone.size() / 3);
      EXPECT_TRUE(SameSamples(decoded, Slice(tone, channels, 0, decoded.size() / channels)));
    }
    EXPECT_TRUE(source->Seek(source->frames() / 3) || source->frames() == 0);
    ReadToEnd(*source);
  } else {
    EXPECT_NE(format, kFormatWav);
    EXPECT_NE(format, kFormatFlac);
  }

  std::string damaged = bytes;
  for (size_t k = damaged.size() * 2 / 5; k < damaged.size() * 2 / 5 + 2000; ++k)
    damaged[k] = static_cast<char>(k * 131 + 7);
  const std::wstring broken = dir.file(std::wstring(L"broken.") + FormatExtension(format));
  ASSERT_TRUE(WriteFileBytes(broken, damaged));
  if (std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(broken)) {
    EXPECT_LE(ReadToEnd(*source).size(), source->frames() * channels);
    for (uint64_t target : {source->frames() * 2 / 5, source->frames() / 2, source->frames()}) {
      if (source->Seek(target)) {
        EXPECT_LE(ReadToEnd(*source).size(), (source->frames() - target) * channels);
      }
    }
  }

  // Only the first bytes, and bytes that are no audio file at all.
  for (const std::string& image : {bytes.substr(0, 40), std::string(5000, '\x5a'), std::string()}) {
    const std::wstring other = dir.file(std::wstring(L"other.") + FormatExtension(format));
    ASSERT_TRUE(WriteFileBytes(other, image));
    if (std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(other)) {
      EXPECT_EQ(ReadToEnd(*source).size(), 0u);
    }
  }

  // The recorder's own check of an encoder's output (once no source holds the
  // files) takes the whole file and refuses the cut one, and the damaged one
  // where the format has checksums (a damaged MP3 frame decodes to noise of
  // the right length).
  if (BuiltInCodecFormats() & format) {
    EXPECT_TRUE(EncodedFileChecksOut(format, path, toneFrames, kRate));
    EXPECT_FALSE(EncodedFileChecksOut(format, cut, toneFrames, kRate));
    if (format != kFormatMp3) {
      EXPECT_FALSE(EncodedFileChecksOut(format, broken, toneFrames, kRate));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackSourceTest,
                         ::testing::Values(Case{kFormatWav, 1}, Case{kFormatWav, 2}, Case{kFormatFlac, 1},
                                           Case{kFormatFlac, 2}, Case{kFormatOgg, 1}, Case{kFormatOgg, 2},
                                           Case{kFormatMp3, 1}, Case{kFormatMp3, 2}, Case{kFormatOpus, 1},
                                           Case{kFormatOpus, 2}),
                         Name);

// WAV files as the recorder leaves them after a crash, and as other programs
// write them: the header's sizes, rate and chunks are read, not assumed.
TEST(WavePlayback, ReadsTheHeaderAndWhatTheFileHolds) {
  TempDir dir;
  const std::vector<int16_t> stereo = Sweep(2, 8000, 0.5);
  const std::string data = LeBytes(stereo);
  struct Image {
    const char* what;
    std::string bytes;
    uint64_t frames;
  };
  const uint64_t all = stereo.size() / 2;
  const std::string pcm = FormatBody(1, 2, 8000, 16);
  // The extensible format: its size, valid bits, channel mask and the PCM GUID.
  const std::string extensible = FormatBody(0xFFFE, 2, 8000, 16) + Le16(22) + Le16(16) + Le32(3) + Le16(1) +
                                 std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  const std::vector<Image> images = {
      {"finished", WaveImage(2, 8000, data), all},
      {"sizes never written", WaveImage(2, 8000, data, 0u), all},
      {"size beyond the end", WaveImage(2, 8000, data, 0xFFFFFFF0u), all},
      {"a frame and a half more", WaveImage(2, 8000, data + "\x01\x02\x03\x04\x05\x06", 0u), all + 1},
      {"data size shorter than the file", WaveImage(2, 8000, data + std::string(400, '\x7f'), data.size()), all},
      {"an odd chunk before the data",
       "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(16) + pcm + "LIST" + Le32(3) + "abc" + std::string(1, '\0') + "data" +
           Le32(static_cast<uint32_t>(data.size())) + data,
       all},
      {"extensible", "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(40) + extensible + "data" + Le32(0) + data, all},
  };
  for (const Image& image : images) {
    SCOPED_TRACE(image.what);
    const std::wstring path = dir.file(L"image.wav");
    ASSERT_TRUE(WriteFileBytes(path, image.bytes));
    std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(path);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->channels(), 2);
    EXPECT_EQ(source->rate(), 8000u);
    EXPECT_EQ(source->frames(), image.frames);
    std::vector<int16_t> decoded = ReadToEnd(*source);
    ASSERT_EQ(decoded.size(), image.frames * 2);
    EXPECT_EQ(LeBytes(decoded).substr(0, data.size()), data);
  }

  // Samples the output does not take, or no format at all.
  const std::vector<std::string> refused = {
      "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(16) + FormatBody(1, 1, 8000, 8) + "data" + Le32(0) + data,
      "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(16) + FormatBody(3, 1, 8000, 32) + "data" + Le32(0) + data,
      "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(16) + FormatBody(1, 6, 8000, 16) + "data" + Le32(0) + data,
      "RIFF" + Le32(0) + "WAVE" + "data" + Le32(0) + data,
      "RIFX" + Le32(0) + "WAVE" + "fmt " + Le32(16) + pcm + "data" + Le32(0) + data,
  };
  for (const std::string& bytes : refused) {
    const std::wstring path = dir.file(L"refused.wav");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_FALSE(OpenPlaybackSource(path));
  }
}

// A tagger puts an ID3v2 tag before the frames (its size in seven-bit bytes,
// ten more with the footer of version 4): the player and the length reader
// pass over it and find the recording as it was.
TEST(Mp3Playback, AnId3TagBeforeTheFramesIsPassedOver) {
  TempDir dir;
  const std::vector<int16_t> stereo = Sweep(2, kRate, 1.0);
  const std::wstring plain = dir.file(L"plain.mp3");
  ASSERT_TRUE(MakeRecording(kFormatMp3, plain, stereo, 2, kRate));
  std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(plain);
  ASSERT_TRUE(source);
  const std::vector<int16_t> expected = ReadToEnd(*source);
  const std::optional<int64_t> expectedMs = AudioFileDurationMs(plain, kFormatMp3);
  ASSERT_TRUE(expectedMs);

  // 300 bytes: 2 * 128 + 44.
  const std::string v3 = std::string("ID3\x03\x00\x00\x00\x00\x02\x2C", 10) + std::string(300, '\0');
  const std::string v4 = std::string("ID3\x04\x00\x10\x00\x00\x02\x2C", 10) + std::string(300, '\0') +
                         std::string("3DI\x04\x00\x10\x00\x00\x02\x2C", 10);
  for (const std::string& tag : {v3, v4}) {
    SCOPED_TRACE(static_cast<int>(tag[3]));
    const std::wstring tagged = dir.file(L"tagged.mp3");
    ASSERT_TRUE(WriteFileBytes(tagged, tag + ReadFileBytes(plain)));
    EXPECT_EQ(AudioFileDurationMs(tagged, kFormatMp3), expectedMs);
    std::unique_ptr<PlaybackSource> behind = OpenPlaybackSource(tagged);
    ASSERT_TRUE(behind);
    EXPECT_EQ(behind->frames(), source->frames());
    EXPECT_TRUE(SameSamples(ReadToEnd(*behind), expected));
  }
}

// The format is told by the extension, in any case, and any name the record
// folder may hold opens; the playable formats are the settings' own bits.
TEST(OpenPlaybackSource, ChoosesByExtensionAndOpensAnyName) {
  TempDir dir;
  const std::vector<int16_t> mono = Sweep(1, kRate, 0.25);
  ASSERT_TRUE(MakeRecording(kFormatFlac, dir.file(L"a.flac"), mono, 1, kRate));
  const std::string flac = ReadFileBytes(dir.file(L"a.flac"));
  const std::string wav = WaveImage(1, kRate, LeBytes(mono));
  const std::wstring unicode = dir.file(L"2024-05-01 10.00.00 (\x674e\x5c0f\x9f99 J\x00fcrgen \U0001F600).FlAc");
  for (const auto& [name, bytes] : std::vector<std::pair<std::wstring, std::string>>{
           {dir.file(L"b.FLAC"), flac}, {unicode, flac}, {dir.file(L"c.Wav"), wav}}) {
    ASSERT_TRUE(WriteFileBytes(name, bytes));
    std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(name);
    ASSERT_TRUE(source) << std::string(name.begin(), name.end());
    EXPECT_TRUE(SameSamples(ReadToEnd(*source), mono));
  }
  // A FLAC file by another name, a WAV file called FLAC, no file.
  for (const std::wstring& name : {dir.file(L"d.wma"), dir.file(L"d.txt"), dir.file(L"d"), dir.file(L"flac")}) {
    ASSERT_TRUE(WriteFileBytes(name, flac));
    EXPECT_FALSE(OpenPlaybackSource(name));
  }
  ASSERT_TRUE(WriteFileBytes(dir.file(L"e.flac"), wav));
  EXPECT_FALSE(OpenPlaybackSource(dir.file(L"e.flac")));
  EXPECT_FALSE(OpenPlaybackSource(dir.file(L"missing.wav")));

  EXPECT_EQ(PlayableFormats(), kFormatMp3 | kFormatOgg | kFormatFlac | kFormatWav | kFormatOpus);
  EXPECT_EQ(PlayableFormats() & kFormatWma, 0);
}

}  // namespace
