// The lengths of audio files read from their headers, as the recordings
// window shows them: files the recorder's own writers and encoders made, and
// those of other writers, whole, cut and damaged.
#include "formats/audio_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/wave.h"
#include "tests/formats/formats_test_support.h"

namespace {

constexpr uint32_t kSampleRate = 16000;
// What the tests expect of a file whose length cannot be read.
constexpr int64_t kUnreadable = -1;

int64_t DurationOf(const std::wstring& path, uint8_t format) {
  return AudioFileDurationMs(path, format).value_or(kUnreadable);
}

// A WAV file as the recorder writes it over `frames` mono frames of a ramp.
std::string WaveFile(size_t frames) {
  std::string ramp;
  for (size_t i = 0; i < frames; ++i) ramp += Le16(static_cast<uint16_t>(i * 37));
  return WaveImage(1, kSampleRate, ramp);
}

// `frames` of a sweep at the recorder's rate, encoded by the program's encoder.
bool EncodeTone(uint8_t format, const std::wstring& path, size_t frames, uint16_t channels = 1) {
  std::vector<int16_t> samples = Sweep(channels, kSampleRate, static_cast<double>(frames) / kSampleRate);
  samples.resize(frames * channels);
  return MakeRecording(format, path, samples, channels, kSampleRate);
}

}  // namespace

TEST(AudioDuration, WaveFilesFromTheirHeaderOrTheirLength) {
  TempDir dir;
  const std::wstring wav = dir.file(L"a.wav");
  ASSERT_TRUE(WriteFileBytes(wav, WaveFile(24000)));  // 1.5 s at 16 kHz
  EXPECT_EQ(DurationOf(wav, kFormatWav), 1500);
  ASSERT_TRUE(WriteFileBytes(wav, WaveFile(15999)));  // a frame short of a second
  EXPECT_EQ(DurationOf(wav, kFormatWav), 999);
  ASSERT_TRUE(WriteFileBytes(wav, WaveFile(0)));
  EXPECT_EQ(DurationOf(wav, kFormatWav), 0);

  // A writer that crashed left the sizes at 0: the data runs to the end of
  // the file, an odd byte at the end is no frame.
  std::string crashed = WaveFile(32000);
  crashed.replace(40, 4, Le(0, 4));
  crashed.replace(4, 4, Le(0, 4));
  ASSERT_TRUE(WriteFileBytes(wav, crashed + "x"));
  EXPECT_EQ(DurationOf(wav, kFormatWav), 2000);
  // A size larger than the file is taken from the file too.
  std::string cut = WaveFile(32000).substr(0, 44 + 16000 * 2);
  ASSERT_TRUE(WriteFileBytes(wav, cut));
  EXPECT_EQ(DurationOf(wav, kFormatWav), 1000);

  // Another chunk before the data, and a stereo 48 kHz header of another
  // writer.
  std::string other = "RIFF" + Le(0, 4) + "WAVE" + "fmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) + Le(48000, 4) +
                      Le(192000, 4) + Le(4, 2) + Le(16, 2) + "LIST" + Le(3, 4) + "abc" + std::string(1, '\0') +
                      "data" + Le(96000 * 4, 4) + std::string(96000 * 4, '\0');
  ASSERT_TRUE(WriteFileBytes(wav, other));
  EXPECT_EQ(DurationOf(wav, kFormatWav), 2000);

  ASSERT_TRUE(WriteFileBytes(wav, "RIFF\x24\0\0\0WAVEfmt "));  // cut inside the header
  EXPECT_EQ(DurationOf(wav, kFormatWav), kUnreadable);
  ASSERT_TRUE(WriteFileBytes(wav, std::string(4000, 'x')));
  EXPECT_EQ(DurationOf(wav, kFormatWav), kUnreadable);
  EXPECT_EQ(DurationOf(dir.file(L"missing.wav"), kFormatWav), kUnreadable);
}

TEST(AudioDuration, EncodedFilesAsLongAsTheirSourceToWithinACodecFrame) {
  TempDir dir;
  const size_t frames = 24000 + 123;  // 1507.6875 ms, not a whole number of any codec's frames
  const int64_t sourceMs = static_cast<int64_t>(frames * 1000 / kSampleRate);
  struct Case {
    uint8_t format;
    const wchar_t* name;
    uint16_t channels;
    int64_t frameMs;  // one frame of the codec at 16 kHz
  };
  // A stereo MP3's frames hold LAME's tag with the encoder's delay and
  // padding (a mono one's are too small for it: below).
  const Case cases[] = {{kFormatFlac, L"t.flac", 1, 0},
                        {kFormatOgg, L"t.ogg", 1, 2048 * 1000 / kSampleRate},
                        {kFormatOpus, L"t.opus", 1, 20},
                        {kFormatMp3, L"t.mp3", 2, 576 * 1000 / kSampleRate + 1}};
  for (const Case& c : cases) {
    if (!(BuiltInCodecFormats() & c.format)) continue;
    std::wstring path = dir.file(c.name);
    ASSERT_TRUE(EncodeTone(c.format, path, frames, c.channels)) << testing::PrintToString(std::wstring(c.name));
    int64_t ms = DurationOf(path, c.format);
    EXPECT_GE(ms, 0) << testing::PrintToString(std::wstring(c.name));
    EXPECT_LE(std::llabs(ms - sourceMs), c.frameMs) << testing::PrintToString(std::wstring(c.name)) << " " << ms;
    // Another kind's reader refuses it.
    EXPECT_EQ(DurationOf(path, c.format == kFormatWav ? kFormatFlac : kFormatWav), kUnreadable);
  }

  // Without the tag the length is the frames' own: the source with LAME's
  // delay (1105 samples) and at most two frames of padding.
  if (BuiltInCodecFormats() & kFormatMp3) {
    std::wstring path = dir.file(L"mono.mp3");
    ASSERT_TRUE(EncodeTone(kFormatMp3, path, frames));
    int64_t ms = DurationOf(path, kFormatMp3);
    EXPECT_GE(ms, sourceMs);
    EXPECT_LE(ms, static_cast<int64_t>((frames + 1105 + 2 * 576) * 1000 / kSampleRate) + 1) << ms;
  }

  // An Ogg file cut inside its last page still has the pages before it.
  if (BuiltInCodecFormats() & kFormatOpus) {
    std::string whole = ReadFileBytes(dir.file(L"t.opus"));
    ASSERT_GT(whole.size(), 200u);
    std::wstring cut = dir.file(L"cut.opus");
    ASSERT_TRUE(WriteFileBytes(cut, whole.substr(0, whole.size() - 10)));
    int64_t ms = DurationOf(cut, kFormatOpus);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, sourceMs);
    ASSERT_TRUE(WriteFileBytes(cut, whole.substr(0, 60)));  // the first page only: no audio
    EXPECT_EQ(DurationOf(cut, kFormatOpus), 0);
    ASSERT_TRUE(WriteFileBytes(cut, whole.substr(0, 40)));  // not even that
    EXPECT_EQ(DurationOf(cut, kFormatOpus), kUnreadable);
  }
}

TEST(AudioDuration, ConstantRateMp3AfterAnId3TagAndWmaFromItsHeader) {
  TempDir dir;
  // 100 frames of MPEG-1 layer III, 128 kbit/s, 44.1 kHz (417 bytes each)
  // behind an ID3v2 tag of 100 bytes, no Xing frame: 2612 ms.
  std::string mp3 = std::string("ID3\x03\x00\x00\x00\x00\x00", 9) + std::string(1, 90) + std::string(90, '\0');
  for (int i = 0; i < 100; ++i) mp3 += std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\x11');
  std::wstring path = dir.file(L"c.mp3");
  ASSERT_TRUE(WriteFileBytes(path, mp3));
  int64_t ms = DurationOf(path, kFormatMp3);
  EXPECT_LE(std::llabs(ms - 100 * 1152 * 1000 / 44100), 27) << ms;
  ASSERT_TRUE(WriteFileBytes(path, std::string(5000, '\x11')));
  EXPECT_EQ(DurationOf(path, kFormatMp3), kUnreadable);

  // An ASF header with one object before the File Properties object: 63.5 s
  // played, 3 s of preroll.
  const std::string asfHeader("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
  const std::string fileProperties("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
  std::string other = std::string(16, '\x42') + Le(40, 8) + std::string(16, '\0');
  std::string props = fileProperties + Le(104, 8) + std::string(16, '\0') + Le(0, 8) + Le(0, 8) + Le(0, 8) +
                      Le(635000000, 8) + Le(600000000, 8) + Le(3000, 8) + Le(2, 4) + Le(0, 4) + Le(0, 4) + Le(0, 4);
  std::string wma = asfHeader + Le(30 + other.size() + props.size(), 8) + Le(2, 4) + "\x01\x02" + other + props;
  path = dir.file(L"w.wma");
  ASSERT_TRUE(WriteFileBytes(path, wma));
  EXPECT_EQ(DurationOf(path, kFormatWma), 60500);
  // A broadcast's header has no length.
  wma[30 + other.size() + 88] = 1;
  ASSERT_TRUE(WriteFileBytes(path, wma));
  EXPECT_EQ(DurationOf(path, kFormatWma), kUnreadable);

  // An object whose size would wrap the walk round to a File Properties
  // object hidden inside the first object's data: the walk ends, nothing is
  // read from where no object starts.
  const std::string hidden = std::string(16, '\x42') + Le(24 + props.size(), 8) + props;
  const std::string wrapping = std::string(16, '\x43') + Le(0 - static_cast<uint64_t>(hidden.size()), 8);
  wma = asfHeader + Le(30 + hidden.size() + wrapping.size(), 8) + Le(3, 4) + "\x01\x02" + hidden + wrapping;
  ASSERT_TRUE(WriteFileBytes(path, wma));
  EXPECT_EQ(DurationOf(path, kFormatWma), kUnreadable);
}

// A length from a header's fields that no millisecond count holds (an Ogg
// Vorbis header may claim 1 frame a second and a granule near 2^63) is none,
// not a wrapped or negative number.
TEST(AudioDuration, ALengthBeyondAMillisecondCountIsNone) {
  EXPECT_EQ(DurationMs(48000, 16000), 3000);
  EXPECT_EQ(DurationMs(15999, 16000), 999);
  EXPECT_EQ(DurationMs(1, 0), std::nullopt);
  const uint64_t most = static_cast<uint64_t>(INT64_MAX) / 1000 - 1;
  EXPECT_EQ(DurationMs(most, 1), static_cast<int64_t>(most * 1000));
  EXPECT_EQ(DurationMs(most + 1, 1), std::nullopt);
  EXPECT_EQ(DurationMs(uint64_t{1} << 62, 1), std::nullopt);
  EXPECT_EQ(DurationMs(UINT64_MAX, 4294967295u), static_cast<int64_t>(UINT64_MAX / 4294967295u * 1000 + 0));
}
