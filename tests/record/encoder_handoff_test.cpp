// Runs in a folder of its own beside stand-in encoders named lame.exe,
// oggenc2.exe, flac.exe and Wav2Wma.exe, which the recorder's search finds
// before anything else because they sit beside the running program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/strings.h"
#include "platform/process.h"
#include "platform/file.h"
#include "record/encoder_handoff.h"
#include "record/wave_file.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  SetEnvironmentVariableW(WideFromUtf8(name).c_str(), value.empty() ? nullptr : WideFromUtf8(value).c_str());
  _putenv_s(name.c_str(), value.c_str());
#else
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

// A WAV file as the recorder leaves it: one second of a 440 Hz tone.
bool WriteToneWave(const std::wstring& path, uint16_t channels = 1) {
  std::string data;
  for (uint32_t k = 0; k < kSampleRate; ++k) {
    int16_t v = static_cast<int16_t>(9000 * std::sin(2 * 3.14159265358979 * 440 * k / kSampleRate));
    for (uint16_t c = 0; c < channels; ++c) data.append(reinterpret_cast<const char*>(&v), 2);
  }
  auto header = BuildWaveHeader(channels, static_cast<uint32_t>(36 + data.size()), static_cast<uint32_t>(data.size()));
  return WriteFileBytes(path, std::string(header.begin(), header.end()) + data);
}

class EncoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnv("CALVORO_STANDIN_LOG", Utf8FromWide(log));
    SetEnv("CALVORO_STANDIN_MODE", "");
    ASSERT_TRUE(WriteToneWave(wav));
  }
  void TearDown() override {
    SetEnv("CALVORO_STANDIN_LOG", "");
    SetEnv("CALVORO_STANDIN_MODE", "");
    ClearProcessFaults();
    ClearFileFaults();
  }

  // One entry per run: the program name and its arguments, tab separated.
  std::vector<std::vector<std::string>> Runs() const {
    std::vector<std::vector<std::string>> runs;
    std::istringstream lines(ReadFileBytes(log));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      size_t start = 0;
      for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
      fields.push_back(line.substr(start));
      runs.push_back(fields);
    }
    return runs;
  }
  std::vector<std::string> Programs() const {
    std::vector<std::string> names;
    for (const auto& run : Runs()) names.push_back(run[0]);
    return names;
  }

  TempDir dir;
  std::wstring log = dir.file(L"encoders.log");
  std::wstring stem = dir.file(L"2011-03-07 09h05m02s(alice bob)");
  std::wstring wav = stem + L".wav";
  std::string wav8 = Utf8FromWide(wav);
};

}  // namespace

TEST(EncoderCommands, TheExactCommandLinesInTheirFixedOrder) {
  std::wstring wav = L"D:\\Rec\\2011-03-07 09h05m02s(alice).wav";
  std::vector<EncoderCommand> all = EncoderCommands(wav, kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac | kFormatWav);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].commandLine,
            L"lame.exe -h \"D:\\Rec\\2011-03-07 09h05m02s(alice).wav\" \"D:\\Rec\\2011-03-07 09h05m02s(alice).mp3\"");
  EXPECT_EQ(all[1].commandLine, L"oggenc2.exe -q 10 \"D:\\Rec\\2011-03-07 09h05m02s(alice).wav\"");
  EXPECT_EQ(all[2].commandLine, L"flac.exe -8 \"D:\\Rec\\2011-03-07 09h05m02s(alice).wav\"");
  EXPECT_EQ(all[3].commandLine,
            L"Wav2Wma.exe -i \"D:\\Rec\\2011-03-07 09h05m02s(alice).wav\" -o \"D:\\Rec\\2011-03-07 09h05m02s(alice).wma\"");
  EXPECT_EQ(all[1].outputName, L"D:\\Rec\\2011-03-07 09h05m02s(alice).ogg");
  EXPECT_EQ(all[2].outputName, L"D:\\Rec\\2011-03-07 09h05m02s(alice).flac");
  EXPECT_TRUE(EncoderCommands(wav, kFormatWav).empty());
  EXPECT_TRUE(EncoderCommands(wav, 0).empty());
  // A long name is not cut: the encoders get the whole path.
  std::wstring longWav = L"C:\\" + std::wstring(300, L'x') + L".wav";
  EXPECT_EQ(EncoderCommands(longWav, kFormatMp3)[0].outputName, L"C:\\" + std::wstring(300, L'x') + L".mp3");
}

TEST(EncoderTimeLimit, TheFloorPlusTheAudiosDuration) {
  EXPECT_EQ(EncoderTimeLimit(44), std::chrono::minutes(10));
  EXPECT_EQ(EncoderTimeLimit(44 + 32000 * 3600ull), std::chrono::minutes(10) + std::chrono::hours(1));
}

TEST_F(EncoderTest, AllFourRunInOrderWithTheirArgumentsAndTheWavGoes) {
  EncoderReport report = EncoderHandoff(wav, kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac);
  std::string s = Utf8FromWide(stem);
  std::vector<std::vector<std::string>> expected = {
      {"lame.exe", "-h", s + ".wav", s + ".mp3"},
      {"oggenc2.exe", "-q", "10", s + ".wav"},
      {"flac.exe", "-8", s + ".wav"},
      {"wav2wma.exe", "-i", s + ".wav", "-o", s + ".wma"},
  };
  EXPECT_EQ(Runs(), expected);
  EXPECT_EQ(report.chosen, 4);
  EXPECT_EQ(report.produced, 4);
  EXPECT_TRUE(report.wavDeleted);
  EXPECT_FALSE(FileExists(wav));
  for (const wchar_t* ext : {L".mp3", L".ogg", L".flac", L".wma"}) EXPECT_TRUE(FileExists(stem + ext)) << ext;
}

TEST_F(EncoderTest, Mp3AndWavKeepBoth) {
  EncoderHandoff(wav, kFormatMp3 | kFormatWav);
  EXPECT_EQ(Programs(), std::vector<std::string>{"lame.exe"});
  EXPECT_TRUE(FileExists(wav));
  EXPECT_TRUE(FileExists(stem + L".mp3"));
}

TEST_F(EncoderTest, WavAloneStartsNothing) {
  EncoderReport report = EncoderHandoff(wav, kFormatWav);
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(report.chosen, 0);
  EXPECT_TRUE(FileExists(wav));
}

TEST_F(EncoderTest, NoFormatAtAllKeepsTheOnlyCopy) {
  EncoderReport report = EncoderHandoff(wav, 0);
  EXPECT_TRUE(Runs().empty());
  EXPECT_FALSE(report.wavDeleted);
  EXPECT_TRUE(FileExists(wav));
}

TEST_F(EncoderTest, TheWavStaysUnlessEveryChosenEncoderProduced) {
  struct Case {
    const char* mode;
    const char* why;
  } cases[] = {
      {"flac.exe=nothing", "exit 0 but no file"},
      {"oggenc2.exe=empty", "an empty file"},
      {"wav2wma.exe=fail", "exit code 3"},
      {"lame.exe=half", "an MP3 cut short that still decodes as far as it goes"},
      {"flac.exe=half", "a FLAC file cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ASSERT_TRUE(WriteToneWave(wav));
    SetEnv("CALVORO_STANDIN_MODE", c.mode);
    EncoderReport report = EncoderHandoff(wav, kFormatMp3 | kFormatWma | kFormatOgg | kFormatFlac);
    EXPECT_EQ(report.chosen, 4);
    EXPECT_EQ(report.produced, 3);
    EXPECT_FALSE(report.wavDeleted);
    EXPECT_TRUE(FileExists(wav));
  }
}

TEST_F(EncoderTest, OpusIsMadeByTheProgramBesideTheExternalEncodersAndAFailedOneKeepsTheWav) {
  EncoderReport report = EncoderHandoff(wav, kFormatMp3 | kFormatOpus);
  EXPECT_EQ(Programs(), std::vector<std::string>{"lame.exe"});
  EXPECT_EQ(report.chosen, 2);
  EXPECT_EQ(report.produced, 2);
  EXPECT_EQ(report.outputs, (std::vector<std::wstring>{stem + L".mp3", stem + L".opus"}));
  EXPECT_TRUE(report.wavDeleted);
  ASSERT_EQ(ReadFileBytes(stem + L".opus").substr(0, 4), "OggS");

  // The disk fills while the Opus file is written: it goes, the WAV stays.
  ASSERT_TRUE(WriteToneWave(wav, 2));
  RemoveFile(stem + L".opus");
  InjectFileFault({FileOp::Write, L".opus", 2, true});
  report = EncoderHandoff(wav, kFormatMp3 | kFormatOpus);
  EXPECT_EQ(report.produced, 1);
  EXPECT_FALSE(report.wavDeleted);
  EXPECT_TRUE(FileExists(wav));
  EXPECT_FALSE(FileExists(stem + L".opus"));
}

TEST_F(EncoderTest, AnEncoderThatCannotStartIsSkippedAndTheWavStays) {
  InjectProcessStartFailure(L"oggenc2.exe");
  EncoderReport report = EncoderHandoff(wav, kFormatMp3 | kFormatOgg | kFormatFlac);
  EXPECT_EQ(Programs(), (std::vector<std::string>{"lame.exe", "flac.exe"}));
  EXPECT_EQ(report.chosen, 3);
  EXPECT_EQ(report.produced, 2);
  EXPECT_EQ(report.outputs, (std::vector<std::wstring>{stem + L".mp3", stem + L".flac"}));
  EXPECT_FALSE(FileExists(stem + L".ogg"));
  EXPECT_FALSE(report.wavDeleted);
  EXPECT_TRUE(FileExists(wav));
}

TEST_F(EncoderTest, AHungEncoderIsEndedAtItsLimitAndTheNextOneRuns) {
  // Long enough for the next encoder to start and finish on a loaded machine.
  SetEnv("CALVORO_STANDIN_MODE", "lame.exe=hang");
  EncoderReport report = EncoderHandoff(wav, kFormatMp3 | kFormatFlac, std::chrono::seconds(8));
  EXPECT_EQ(Programs(), (std::vector<std::string>{"lame.exe", "flac.exe"}));
  EXPECT_EQ(report.produced, 1);
  EXPECT_TRUE(FileExists(wav));
  EXPECT_TRUE(FileExists(stem + L".flac"));
}

TEST_F(EncoderTest, APathWithBlanksAndParenthesesArrivesWhole) {
  std::wstring odd = dir.file(L"a b (c) d.wav");
  ASSERT_TRUE(WriteToneWave(odd));
  EncoderHandoff(odd, kFormatMp3 | kFormatWav);
  ASSERT_EQ(Runs().size(), 1u);
  EXPECT_EQ(Runs()[0][2], Utf8FromWide(odd));
  EXPECT_TRUE(FileExists(dir.file(L"a b (c) d.mp3")));
}

TEST(ProcessSeam, TheExecutablesFolderIsSearchedFirstAndExitCodesComeBack) {
  TempDir dir;
  std::wstring wav = dir.file(L"x.wav");
  ASSERT_TRUE(WriteToneWave(wav));
  SetEnv("CALVORO_STANDIN_MODE", "lame.exe=fail");
  ProcessRun run = RunProcessAndWait(L"lame.exe -h \"" + wav + L"\" \"" + dir.file(L"x.mp3") + L"\"");
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 3u);
  SetEnv("CALVORO_STANDIN_MODE", "");
  run = RunProcessAndWait(L"flac.exe -8 \"" + wav + L"\"");
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(FileExists(dir.file(L"x.flac")));
  run = RunProcessAndWait(L"no-such-encoder-anywhere.exe -q");
  EXPECT_FALSE(run.started);
}

TEST(ProcessSeam, ATimeLimitEndsAProgramThatHangs) {
  SetEnv("CALVORO_STANDIN_MODE", "lame.exe=hang");
  auto start = std::chrono::steady_clock::now();
  ProcessRun run = RunProcessAndWait(L"lame.exe -h a b", std::chrono::milliseconds(300));
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.killed);
  EXPECT_FALSE(run.ended);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  SetEnv("CALVORO_STANDIN_MODE", "");
}
