#include <gtest/gtest.h>

#include "record/mixer.h"
#include "record/output_name.h"
#include "tests/record/record_test_support.h"
#include "tests/support/capture.h"

namespace {

class MixerTest : public RecordingTest {
 protected:
  void WriteStreams(const std::string& out, const std::string& in) {
    // The mixer reads from offset 44 to the end, whatever the header says.
    ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0) + out));
    ASSERT_TRUE(WriteFileBytes(StreamName(Direction::In), Header(1, 0, 0) + in));
  }
  std::string Mix(bool stereo) {
    EXPECT_EQ(MixStreamFiles(base, output, stereo), MixResult::Mixed);
    return ReadFileBytes(output);
  }
  std::wstring output = dir.file(L"mixed.wav");
};

// The sample-by-sample reference.
std::string MonoReference(const std::string& a, const std::string& b) {
  size_t n = std::max(a.size(), b.size());
  n += n % 2;
  std::string pa = a + std::string(n - a.size(), '\0'), pb = b + std::string(n - b.size(), '\0');
  std::vector<int16_t> out;
  for (size_t k = 0; k < n / 2; ++k) {
    int s = SampleAt(pa, k) + SampleAt(pb, k);
    out.push_back(static_cast<int16_t>(std::min(32767, std::max(-32768, s))));
  }
  return Samples(out);
}

std::string StereoReference(const std::string& a, const std::string& b) {
  size_t n = std::max(a.size(), b.size());
  n += n % 2;
  std::string pa = a + std::string(n - a.size(), '\0'), pb = b + std::string(n - b.size(), '\0');
  std::string out;
  for (size_t k = 0; k < n; k += 2) out += pa.substr(k, 2) + pb.substr(k, 2);
  return out;
}

}  // namespace

TEST_F(MixerTest, MonoSumsWithClipping) {
  WriteStreams(Samples({20000, -20000, 20000, 32767, -32768, 0, 1, -1}),
               Samples({20000, -20000, -5000, 1, -1, 0, -1, -1}));
  EXPECT_EQ(Mix(false), WaveImage(1, Samples({32767, -32768, 15000, 32767, -32768, 0, 0, -2})));
}

TEST_F(MixerTest, StereoPutsTheFarEndLeftAndTheMicrophoneRight) {
  WriteStreams(Samples({20000, -20000, 7}), Samples({20000, -5000, -7}));
  std::string mixed = Mix(true);
  EXPECT_EQ(mixed, Header(2, 36 + 12, 12) + Samples({20000, 20000, -20000, -5000, 7, -7}));
  EXPECT_EQ(mixed.substr(22, 2), std::string("\x02\x00", 2));                  // channels
  EXPECT_EQ(mixed.substr(28, 4), std::string("\x00\xFA\x00\x00", 4));          // 64000 bytes per second
  EXPECT_EQ(mixed.substr(32, 2), std::string("\x04\x00", 2));                  // block alignment
}

TEST_F(MixerTest, TheShorterInputIsPaddedWithSilence) {
  std::string out = Pattern(2000, 1), in = Pattern(3000, 2);  // 1000 against 1500 samples
  WriteStreams(out, in);
  std::string mono = Mix(false);
  ASSERT_EQ(mono.size(), 44u + 3000u);
  EXPECT_EQ(mono, WaveImage(1, MonoReference(out, in)));
  EXPECT_EQ(mono.substr(44 + 2000), in.substr(2000));  // the last 500 equal In
  std::string stereo = Mix(true);
  ASSERT_EQ(stereo.size(), 44u + 6000u);
  EXPECT_EQ(stereo, WaveImage(2, StereoReference(out, in)));
  for (size_t frame = 1000; frame < 1500; ++frame) EXPECT_EQ(SampleAt(stereo.substr(44), 2 * frame), 0);
}

TEST_F(MixerTest, AnOddLengthIsRoundedUpWithAZeroByte) {
  std::string out = Pattern(1001, 3), in = Pattern(600, 4);
  WriteStreams(out, in);
  std::string mono = Mix(false);
  EXPECT_EQ(mono.size(), 44u + 1002u);
  EXPECT_EQ(mono, WaveImage(1, MonoReference(out, in)));
  std::string stereo = Mix(true);
  EXPECT_EQ(stereo.size(), 44u + 2004u);  // a whole 4-byte frame
  EXPECT_EQ(stereo, WaveImage(2, StereoReference(out, in)));
}

TEST_F(MixerTest, TwoEmptyStreamsGiveA44ByteFile) {
  WriteStreams("", "");
  EXPECT_EQ(Mix(false), Header(1, 36, 0));
  EXPECT_EQ(Mix(true), Header(2, 36, 0));
}

TEST_F(MixerTest, LongInputsAreMixedAcrossChunkBordersWithoutGapOrOverlap) {
  // Out spans three chunks, In two and a bit; the borders fall at 4 MiB.
  std::string out = Pattern(2 * kMixChunkBytes + 123457, 5), in = Pattern(kMixChunkBytes + 777, 6);
  WriteStreams(out, in);
  std::string mono = Mix(false);
  ASSERT_EQ(mono.size(), 44 + out.size() + 1);
  EXPECT_TRUE(SameBytes(mono, WaveImage(1, MonoReference(out, in))));
  std::string stereo = Mix(true);
  ASSERT_EQ(stereo.size(), 44 + 2 * (out.size() + 1));
  EXPECT_TRUE(SameBytes(stereo, WaveImage(2, StereoReference(out, in))));
}

TEST_F(MixerTest, CombinInOutWaveNamesTheFileAfterThePartnersAndDeletesTheStreams) {
  std::string out = Samples({100, 200}), in = Samples({1, 2, 3});
  WriteStreams(out, in);
  MixOutcome mono = MixStreamsToMono(base, L"alice bob");
  EXPECT_EQ(mono.result, MixResult::Mixed);
  EXPECT_EQ(mono.output, base + L"(alice bob).wav");
  EXPECT_EQ(ReadFileBytes(base + L"(alice bob).wav"), WaveImage(1, Samples({101, 202, 3})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  // A second recording of the same name is numbered; the first one stays.
  WriteStreams(out, in);
  MixOutcome stereo = MixStreamsToStereo(base, L"alice bob");
  EXPECT_TRUE(stereo.mixed());
  EXPECT_EQ(stereo.output, base + L"(alice bob) (2).wav");
  EXPECT_EQ(ReadFileBytes(base + L"(alice bob) (2).wav"), WaveImage(2, Samples({100, 1, 200, 2, 0, 3})));
  EXPECT_EQ(ReadFileBytes(base + L"(alice bob).wav"), WaveImage(1, Samples({101, 202, 3})));
}

TEST_F(MixerTest, AMissingStreamFileFailsWithoutAWordAndTouchesNothing) {
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), Header(1, 0, 0) + "abcd"));
  MixOutcome mixed = MixStreamsToMono(base, L"");
  EXPECT_EQ(mixed.result, MixResult::NotMixed);
  EXPECT_EQ(mixed.output, L"");
  EXPECT_FALSE(MixFailure(mixed.result).has_value());
  EXPECT_TRUE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(base + L"().wav"));
}

TEST_F(MixerTest, AnOutputThatCannotBeCreatedIsToldAndKeepsTheStreams) {
  WriteStreams("abcd", "efgh");
  InjectFileFault({FileOp::Create, L"().wav"});
  MixOutcome mixed = MixStreamsToMono(base, L"");
  EXPECT_EQ(mixed.result, MixResult::OutputNotCreated);
  EXPECT_EQ(MixFailure(mixed.result), RecordingFailure::MixOutputNotCreated);
  EXPECT_TRUE(FileExists(StreamName(Direction::Out)));
  EXPECT_TRUE(FileExists(StreamName(Direction::In)));
}

TEST_F(MixerTest, AFailedWriteLeavesNoOutputAndKeepsTheStreams) {
  // A failed header write, a failed sample write in the second chunk, and a
  // failed final header: each fails the whole mix.
  for (int skip : {1, 4, 6}) {
    SCOPED_TRACE(skip);
    std::string out = Pattern(kMixChunkBytes + 10, 7), in = Pattern(20, 8);
    WriteStreams(out, in);
    ClearFileFaults();
    InjectFileFault({FileOp::Write, L"().wav", skip});
    MixOutcome mixed = MixStreamsToMono(base, L"");
    EXPECT_EQ(mixed.result, MixResult::WriteFailed);
    EXPECT_EQ(MixFailure(mixed.result), RecordingFailure::MixWriteFailed);
    EXPECT_FALSE(FileExists(base + L"().wav"));
    EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), Header(1, 0, 0) + out);
    EXPECT_EQ(ReadFileBytes(StreamName(Direction::In)), Header(1, 0, 0) + in);
  }
}

// The output is flushed to the disk before the stream files go: a flush that
// fails is a failed mix.
TEST_F(MixerTest, AnOutputThatCannotBeFlushedFailsTheMixAndKeepsTheStreams) {
  WriteStreams(Pattern(5000, 11), Pattern(3000, 12));
  InjectFileFault({FileOp::Flush, L"().wav"});
  EXPECT_EQ(MixStreamsToMono(base, L"").result, MixResult::WriteFailed);
  EXPECT_FALSE(FileExists(base + L"().wav"));
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), Header(1, 0, 0) + Pattern(5000, 11));
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::In)), Header(1, 0, 0) + Pattern(3000, 12));
}

TEST_F(MixerTest, AFailedReadFailsTheMixRatherThanCuttingIt) {
  WriteStreams(Pattern(kMixChunkBytes + 10, 9), Pattern(10, 10));
  InjectFileFault({FileOp::Read, L"_Out.sky", 1});
  EXPECT_EQ(MixStreamsToMono(base, L"").result, MixResult::NotMixed);
  EXPECT_FALSE(FileExists(base + L"().wav"));
  EXPECT_TRUE(FileExists(StreamName(Direction::Out)));
}
