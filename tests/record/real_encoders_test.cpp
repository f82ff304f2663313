// One recording through the real encoders: the Debian lame, oggenc, flac and
// ffmpeg behind lame.exe, oggenc2.exe, flac.exe and Wav2Wma.exe beside this
// program (under wine through the bridge that waits for them).
#include <gtest/gtest.h>

#include <cmath>

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

class RealEncoders : public RecordingTest {};

TEST_F(RealEncoders, ARecordingBecomesMp3OggFlacAndWma) {
  settings.Change([&](SettingsRecord& s) { s.RecordFormat = kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac; });
  calls.SetPartners(L"alice");
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)) && FileExists(StreamName(Direction::In)); }));
  std::string far = Tone(440, 3), near = Tone(660, 2);
  for (size_t at = 0; at < far.size(); at += 4000) Append(Direction::Out, far.substr(at, 4000));
  for (size_t at = 0; at < near.size(); at += 4000) Append(Direction::In, near.substr(at, 4000));
  session.FinishRecording();

  std::wstring stem = base + L"(alice)";
  std::string mp3 = ReadFileBytes(stem + L".mp3"), ogg = ReadFileBytes(stem + L".ogg"),
              flac = ReadFileBytes(stem + L".flac"), wma = ReadFileBytes(stem + L".wma");
  ASSERT_GT(mp3.size(), 1000u);
  EXPECT_TRUE(StartsWith(mp3, "ID3") || (static_cast<uint8_t>(mp3[0]) == 0xFF && (static_cast<uint8_t>(mp3[1]) & 0xE0) == 0xE0));
  ASSERT_GT(ogg.size(), 1000u);
  EXPECT_TRUE(StartsWith(ogg, "OggS"));
  EXPECT_NE(ogg.find("vorbis"), std::string::npos);
  ASSERT_GT(flac.size(), 1000u);
  EXPECT_TRUE(StartsWith(flac, "fLaC"));
  ASSERT_GT(wma.size(), 1000u);
  EXPECT_TRUE(StartsWith(wma, std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)));  // ASF header object
  // Every chosen encoder produced its file, WAV was not chosen: it is gone,
  // and so are the stream files.
  EXPECT_FALSE(FileExists(stem + L".wav"));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  ASSERT_EQ(events.finished().size(), 1u);
  EXPECT_EQ(events.finished()[0].encoders.chosen, 4);
  EXPECT_EQ(events.finished()[0].encoders.produced, 4);
  EXPECT_TRUE(events.finished()[0].encoders.wavDeleted);
}
