// The simulated client's own parts that other tests rely on: its scenario
// format, the answers it gives, and the exactness of its signals.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/simclient/commands.h"
#include "tools/simclient/scenario.h"
#include "tools/simclient/signal.h"

using namespace simclient;

TEST(SimScenario, ReadsEveryStatement) {
  const char* text =
      "\xEF\xBB\xBF# a comment\n"
      "user alice\r\n"
      "attach 1,0 none 0x8001,2\n"
      "partner 7 bob smith\n"
      "audio 7 out mls 42 30000\n"
      "audio 7 in sine 440.5 1000\n"
      "audio 8 in noise 3 200\n"
      "audio 8 out silence\n"
      "audio 9 out wav C:\\a b\\x.wav\n"
      "reply FOCUS => ERROR 68 Access denied\n"
      "reply-delay 5\n"
      "duration-ticks 1000\n"
      "chunk 10\n"
      "timeout 0\n"
      "hide-windows\n"
      "\n"
      "wait discover\n"
      "wait attach\n"
      "wait command ALTER CALL 7 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"\n"
      "wait audio 7 in 250\n"
      "wait closed tSkMainForm\n"
      "sleep 20\n"
      "notify CALL 7 STATUS RINGING\n"
      "call 7 FINISHED\n"
      "logout\n"
      "foreign CALL 9 STATUS INPROGRESS\n"
      "send-attach 0x8001\n"
      "window TCallQualityForm\n"
      "close-window TCallQualityForm\n"
      "post-recorder 1525 128 0x203\n"
      "signal shot.ready\n"
      "wait-file shot.done\n"
      "hold-recorder-threads\n"
      "release-recorder-threads\n"
      "exit 5\n";
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(text, s, error)) << error;
  EXPECT_EQ(s.user, "alice");
  EXPECT_EQ(s.attachGroups, (std::vector<std::vector<uint32_t>>{{1, 0}, {}, {0x8001, 2}}));
  EXPECT_EQ(s.PartnerOf(7), "bob smith");
  EXPECT_EQ(s.PartnerOf(12), "partner12");
  SignalParams mls = s.AudioOf(7, AudioDirection::Out);
  EXPECT_EQ(mls.kind, SignalKind::Mls);
  EXPECT_EQ(mls.seed, 42u);
  EXPECT_EQ(mls.amplitude, 30000);
  EXPECT_DOUBLE_EQ(s.AudioOf(7, AudioDirection::In).frequency, 440.5);
  EXPECT_EQ(s.AudioOf(8, AudioDirection::In).kind, SignalKind::Noise);
  EXPECT_EQ(s.AudioOf(8, AudioDirection::Out).kind, SignalKind::Silence);
  EXPECT_EQ(s.AudioOf(9, AudioDirection::Out).wavPath, L"C:\\a b\\x.wav");
  EXPECT_EQ(s.AudioOf(10, AudioDirection::Out).kind, SignalKind::Sine);
  EXPECT_EQ(s.replyDelayMs, 5);
  EXPECT_EQ(s.durationTickMs, 1000);
  EXPECT_EQ(s.chunkMs, 10);
  EXPECT_EQ(s.timeoutMs, 0);
  EXPECT_TRUE(s.hideWindows);
  ASSERT_EQ(s.steps.size(), 19u);
  EXPECT_EQ(s.steps[2].text, "ALTER CALL 7 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"");
  EXPECT_EQ(s.steps[3].kind, Step::Kind::WaitAudio);
  EXPECT_EQ(s.steps[3].direction, AudioDirection::In);
  EXPECT_EQ(s.steps[3].number, 250);
  EXPECT_EQ(s.steps[6].text, "CALL 7 STATUS RINGING");
  EXPECT_EQ(s.steps[7].text, "CALL 7 STATUS FINISHED");
  EXPECT_EQ(s.steps[8].text, "USERSTATUS LOGGEDOUT");
  EXPECT_EQ(s.steps[9].kind, Step::Kind::Foreign);
  EXPECT_EQ(s.steps[10].number, 0x8001);
  EXPECT_EQ(s.steps[13].kind, Step::Kind::PostRecorder);
  EXPECT_EQ(s.steps[13].number, 1525);
  EXPECT_EQ(s.steps[13].wParam, 128u);
  EXPECT_EQ(s.steps[13].lParam, 0x203u);
  EXPECT_EQ(s.steps[14].kind, Step::Kind::Signal);
  EXPECT_EQ(s.steps[15].text, "shot.done");
  EXPECT_EQ(s.steps[16].kind, Step::Kind::HoldRecorderThreads);
  EXPECT_EQ(s.steps[17].kind, Step::Kind::ReleaseRecorderThreads);
  EXPECT_EQ(s.steps[18].kind, Step::Kind::Exit);
  EXPECT_EQ(s.steps[18].number, 5);
  EXPECT_EQ(s.steps[18].line, 35);
}

TEST(SimScenario, RefusesMistakesNamingTheLine) {
  const std::pair<const char*, const char*> bad[] = {
      {"sleep 10\nslep 10\n", "line 2: unknown statement \"slep\""},
      {"attach 0,x\n", "line 1: an attach status"},
      {"audio 1 up sine 440 100\n", "line 1: audio needs"},
      {"audio 1 out sine 440 40000\n", "line 1: sine needs"},
      {"audio 1 out mls 1\n", "line 1: mls needs"},
      {"wait command\n", "line 1: wait discover"},
      {"wait audio 1 out\n", "line 1: wait audio needs"},
      {"chunk 0\n", "line 1: chunk is 1 to 1000 ms"},
      {"sleep -1\n", "line 1: sleep needs"},
      {"call x FINISHED\n", "line 1: call needs"},
      {"partner 5\n", "line 1: partner needs"},
      {"reply FOCUS\n", "line 1: reply needs"},
      {"exit now\n", "line 1: exit takes"},
      {"post-recorder 1525 x\n", "line 1: post-recorder parameters"},
      {"press 1003 4\n", "line 1: press needs"},
      {"signal ..\\x\n", "line 1: signal needs a file name"},
  };
  for (const auto& b : bad) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(ParseScenario(b.first, s, error)) << b.first;
    EXPECT_EQ(error.rfind(b.second, 0), 0u) << b.first << " gave " << error;
  }
}

TEST(SimCommands, AnswersTheRecordersCommands) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario("user alice\npartner 1234 bob\nreply FOCUS => ERROR 68\n", s, error));
  auto answer = [&](const std::string& text) { return AnswerTo(s, ClassifyCommand(text), text); };
  EXPECT_EQ(answer("GET CURRENTUSERHANDLE"), "CURRENTUSERHANDLE alice");
  EXPECT_EQ(answer("get currentuserhandle"), "CURRENTUSERHANDLE alice");
  EXPECT_EQ(answer("GET CALL 1234 PARTNER_HANDLE"), "CALL 1234 PARTNER_HANDLE bob");
  EXPECT_EQ(answer("GET CALL 5 PARTNER_HANDLE"), "CALL 5 PARTNER_HANDLE partner5");
  EXPECT_EQ(answer("SET WINDOWSTATE HIDDEN"), "WINDOWSTATE HIDDEN");
  EXPECT_EQ(answer("FOCUS"), "ERROR 68");
  EXPECT_EQ(answer("PING"), "ERROR 2 Unknown command");

  ClientCommand out = ClassifyCommand("ALTER CALL 1234 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"");
  EXPECT_EQ(out.kind, ClientCommand::Kind::AlterCallAudio);
  EXPECT_EQ(out.call, 1234);
  EXPECT_EQ(out.direction, AudioDirection::Out);
  EXPECT_EQ(out.port, 6285);
  ClientCommand in = ClassifyCommand("ALTER CALL -3 SET_CAPTURE_MIC port=\"7285\"");
  EXPECT_EQ(in.direction, AudioDirection::In);
  EXPECT_EQ(in.call, -3);
  EXPECT_EQ(in.port, 7285);
  EXPECT_EQ(ClassifyCommand("ALTER CALL 1 SET_CAPTURE_MIC port=\"99999\"").port, 0);
  EXPECT_EQ(ClassifyCommand("ALTER CALL 1 SET_CAPTURE_MIC port=\"\"").port, 0);
  EXPECT_EQ(ClassifyCommand("ALTER CALL 1 SET_CAPTURE_MIC").port, 0);

  int32_t call = 0;
  EXPECT_TRUE(EndsCall("CALL 9 STATUS FINISHED", call));
  EXPECT_EQ(call, 9);
  EXPECT_TRUE(EndsCall("CALL 9 STATUS refused", call));
  EXPECT_FALSE(EndsCall("CALL 9 STATUS ONHOLD", call));
  EXPECT_FALSE(EndsCall("CALL 9 TRANSFER_STATUS FINISHED", call));
  EXPECT_TRUE(StartsCall("CALL 10 STATUS INPROGRESS", call));
  EXPECT_EQ(call, 10);
}

TEST(SimSignal, SineAndNoiseAreExactAndDeterministic) {
  SignalParams sine;
  sine.frequency = 1000;
  sine.amplitude = 12000;
  auto samples = GenerateSamples(sine, 32);
  for (int n = 0; n < 32; ++n)
    EXPECT_EQ(samples[n], std::lround(12000 * std::sin(2 * 3.14159265358979323846 * 1000 * n / 16000.0))) << n;
  EXPECT_EQ(samples[4], 12000);  // a quarter period of 16 samples

  SignalParams noise;
  noise.kind = SignalKind::Noise;
  noise.seed = 77;
  noise.amplitude = 300;
  auto a = GenerateSamples(noise, 5000), b = GenerateSamples(noise, 5000);
  EXPECT_EQ(a, b);
  int lowest = 0, highest = 0;
  for (int16_t v : a) lowest = std::min<int>(lowest, v), highest = std::max<int>(highest, v);
  EXPECT_GE(lowest, -300);
  EXPECT_LE(highest, 300);
  EXPECT_LT(lowest, -250);
  EXPECT_GT(highest, 250);
  noise.seed = 78;
  EXPECT_NE(GenerateSamples(noise, 5000), a);
}

TEST(SimSignal, TheSequenceIsMaximalAndPositionCoded) {
  // x^31 + x^28 + 1 by the recurrence: each output bit is the XOR of the bits
  // 31 and 28 places back.
  MaximalLengthSequence sequence(0x1234567);
  std::vector<int> bits;
  for (int i = 0; i < 2000; ++i) bits.push_back(sequence.NextBit());
  for (size_t i = 31; i < bits.size(); ++i) ASSERT_EQ(bits[i], bits[i - 31] ^ bits[i - 28]) << i;

  // Any 4 consecutive samples (64 bits) name one place within the first
  // 200000 samples (12.5 s of audio).
  SignalParams mls;
  mls.kind = SignalKind::Mls;
  mls.seed = 11;
  mls.amplitude = 32767;
  auto samples = GenerateSamples(mls, 200000);
  std::set<uint64_t> windows;
  for (size_t i = 0; i + 4 <= samples.size(); ++i) {
    uint64_t key = 0;
    for (int k = 0; k < 4; ++k) key = key << 16 | static_cast<uint16_t>(samples[i + k]);
    windows.insert(key);
  }
  EXPECT_EQ(windows.size(), samples.size() - 3);
  for (int64_t at : {0, 1, 777, 159996}) {
    EXPECT_EQ(LocateMlsSamples(11, 32767, &samples[static_cast<size_t>(at)], 4, 200000), at);
  }
  std::vector<int16_t> foreign{1, 2, 3, 4};
  EXPECT_EQ(LocateMlsSamples(11, 32767, foreign.data(), 4, 20000), -1);
  // A lower amplitude scales each sample and keeps the positions.
  mls.amplitude = 1000;
  auto quiet = GenerateSamples(mls, 1000);
  for (size_t i = 0; i < quiet.size(); ++i) ASSERT_EQ(quiet[i], samples[i] * 1000 / 32767);
  EXPECT_EQ(LocateMlsSamples(11, 1000, &quiet[500], 6, 1000), 500);
}

TEST(SimSignal, WavFilesAreReadWhenTheyAre16BitMono16kHz) {
  auto le16 = [](int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; };
  auto le32 = [&](uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); };
  auto wav = [&](int channels, uint32_t rate, int bits, const std::string& data) {
    std::string fmt = le16(1) + le16(channels) + le32(rate) + le32(rate * channels * bits / 8) +
                      le16(channels * bits / 8) + le16(bits);
    return "RIFF" + le32(static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size() + 10)) + "WAVE" +
           "LIST" + le32(2) + "ab" + "fmt " + le32(static_cast<uint32_t>(fmt.size())) + fmt + "data" +
           le32(static_cast<uint32_t>(data.size())) + data;
  };
  std::string data = le16(1) + le16(-2) + le16(32767);
  std::vector<int16_t> samples;
  std::string error;
  ASSERT_TRUE(ReadPcmWav(wav(1, 16000, 16, data), samples, error)) << error;
  EXPECT_EQ(samples, (std::vector<int16_t>{1, -2, 32767}));
  EXPECT_FALSE(ReadPcmWav(wav(2, 16000, 16, data), samples, error));
  EXPECT_FALSE(ReadPcmWav(wav(1, 44100, 16, data), samples, error));
  EXPECT_FALSE(ReadPcmWav(wav(1, 16000, 8, data), samples, error));
  EXPECT_FALSE(ReadPcmWav(wav(1, 16000, 16, ""), samples, error));
  EXPECT_FALSE(ReadPcmWav("RIFF", samples, error));

  // The file is looped.
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.file(L"tone.wav"), wav(1, 16000, 16, data)));
  SignalParams params;
  params.kind = SignalKind::Wav;
  params.wavPath = dir.file(L"tone.wav");
  EXPECT_EQ(GenerateSamples(params, 7), (std::vector<int16_t>{1, -2, 32767, 1, -2, 32767, 1}));
  params.wavPath = dir.file(L"missing.wav");
  EXPECT_TRUE(GenerateSamples(params, 7).empty());
}

#ifdef CALVORO_SIMCLIENT_EXAMPLES
TEST(SimScenario, TheExamplesAreValid) {
  int read = 0;
  for (const char* name : {"one-call.scenario", "overlapping-calls.scenario"}) {
    std::string path = std::string(CALVORO_SIMCLIENT_EXAMPLES) + "/" + name;
    std::string text = ReadFileBytes(std::wstring(path.begin(), path.end()));
    ASSERT_FALSE(text.empty()) << path;
    Scenario s;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, s, error)) << name << ": " << error;
    EXPECT_FALSE(s.steps.empty()) << name;
    ++read;
  }
  EXPECT_EQ(read, 2);
}
#endif

// The lines the simulated client prints while it plays: each step numbered as
// it begins, a wait with what it waits for, and its end with the time taken.
TEST(ScenarioProgress, StepsAreNumberedAndWaitsSayWhatTheyWaitFor) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario("user alice\nwait attach\n  call 1001   INPROGRESS\nwait audio 1001 out 10000\nwait-file go\n",
                            s, error))
      << error;
  ASSERT_EQ(s.steps.size(), 4u);
  EXPECT_EQ(StepBeginText(1, s.steps[0]), "step 1: waiting for attach...");
  EXPECT_EQ(StepBeginText(2, s.steps[1]), "step 2: call 1001   INPROGRESS");
  EXPECT_EQ(StepBeginText(3, s.steps[2]), "step 3: waiting until 10000 ms of call 1001 out are sent...");
  EXPECT_EQ(StepBeginText(4, s.steps[3]), "step 4: waiting for file go...");
  EXPECT_TRUE(IsWait(s.steps[0].kind));
  EXPECT_FALSE(IsWait(s.steps[1].kind));
  EXPECT_EQ(WaitEndText(1, true, 2049), "step 1: done after 2.0 s");
  EXPECT_EQ(WaitEndText(1, true, 2050), "step 1: done after 2.1 s");
  EXPECT_EQ(WaitEndText(9, false, 60000), "step 9: timed out after 60.0 s");
}
