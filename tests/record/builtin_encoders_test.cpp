// The encoders built into the program, as a finished recording reaches them.
#include <gtest/gtest.h>

#include <cmath>

#include "common/strings.h"
#include "formats/audio_encoder.h"
#include "tests/record/record_test_support.h"
#include "tests/support/wait.h"

namespace {
std::string Tone(double hertz, double seconds) {
  std::vector<int16_t> samples;
  for (size_t k = 0; k < static_cast<size_t>(seconds * kSampleRate); ++k)
    samples.push_back(static_cast<int16_t>(12000 * std::sin(2 * 3.14159265358979 * hertz * k / kSampleRate)));
  return Samples(samples);
}

bool StartsWith(const std::string& bytes, const std::string& magic) { return bytes.compare(0, magic.size(), magic) == 0; }
}  // namespace

class BuiltInEncodersTest : public RecordingTest {};

// A stereo recording becomes MP3, OGG, FLAC and Opus as it is mixed, by the
// program's own encoders (nothing beside this test program), and every file
// decodes to the recording's length.
TEST_F(BuiltInEncodersTest, AStereoRecordingBecomesMp3OggFlacAndOpusAsItIsMixed) {
  settings.Change([&](SettingsRecord& s) {
    s.formats = kFormatMp3 | kFormatOgg | kFormatFlac | kFormatOpus;
    s.stereo = 1;
  });
  calls.SetPartners(L"alice");
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)) && FileExists(StreamName(Direction::In)); }));
  std::string far = Tone(440, 3), near = Tone(660, 2);
  for (size_t at = 0; at < far.size(); at += 4000) Append(Direction::Out, far.substr(at, 4000));
  for (size_t at = 0; at < near.size(); at += 4000) Append(Direction::In, near.substr(at, 4000));
  session.FinishRecording();

  std::wstring stem = base + L"(alice)";
  ASSERT_EQ(events.finished().size(), 1u);
  const EncoderReport report = events.finished()[0].encoders;  // finished() is a copy
  EXPECT_EQ(report.chosen, 4);
  EXPECT_EQ(report.produced, 4);
  std::string outputs;
  for (const std::wstring& output : report.outputs) outputs += Utf8FromWide(output) + "\n";
  EXPECT_EQ(outputs, Utf8FromWide(stem + L".mp3\n" + stem + L".ogg\n" + stem + L".flac\n" + stem + L".opus\n"));
  EXPECT_TRUE(StartsWith(ReadFileBytes(stem + L".ogg"), "OggS"));
  EXPECT_TRUE(StartsWith(ReadFileBytes(stem + L".flac"), "fLaC"));
  EXPECT_NE(ReadFileBytes(stem + L".opus").find("OpusHead"), std::string::npos);
  // Three seconds: the longer direction, the shorter padded with silence.
  const uint64_t frames = 3 * kSampleRate;
  EXPECT_EQ(DecodedFrames(kFormatFlac, stem + L".flac", kSampleRate), frames);
  EXPECT_EQ(DecodedFrames(kFormatOgg, stem + L".ogg", kSampleRate), frames);
  for (uint8_t format : {kFormatMp3, kFormatOpus}) {
    std::optional<uint64_t> decoded = DecodedFrames(format, stem + L"." + FormatExtension(format), kSampleRate);
    ASSERT_TRUE(decoded) << FormatExtension(format);
    EXPECT_TRUE(DecodedLengthMatches(format, *decoded, frames, kSampleRate)) << *decoded;
  }
  // WAV was not chosen: it is gone, and so are the stream files.
  EXPECT_TRUE(report.wavDeleted);
  EXPECT_FALSE(FileExists(stem + L".wav"));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
}
