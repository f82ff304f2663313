#include "engine/call_recorder.h"

#include <system_error>

#include "platform/debug_trace.h"

CallRecorder::CallRecorder(RecorderEvents& events, RecorderPlaces places)
    : events_(events),
      places_(std::move(places)),
      language_(places_.languagePath),
      skype_(settings_, events),
      sessionCalls_(skype_.calls),
      session_(settings_, language_, sessionCalls_, events),
      outTarget_(session_.Handoff(Direction::Out)),
      inTarget_(session_.Handoff(Direction::In)),
      outServer_(Direction::Out, places_.outPort, outTarget_),
      inServer_(Direction::In, places_.inPort, inTarget_) {}

CallRecorder::~CallRecorder() {
  if (!shutDown_) Shutdown();
}

void CallRecorder::LoadSettings() { ::LoadSettings(settings_, language_, places_.configPath); }

ApplyResult CallRecorder::ApplySettings(const SettingsDialogValues& values) {
  return ::ApplySettings(settings_, language_, values, places_.configPath);
}

AudioServersStart CallRecorder::StartAudioServers() {
  AudioServersStart start = ::StartAudioServers(outServer_, inServer_);
  // Calls are asked for their audio on the ports listened on; a direction
  // without a server is neither asked for nor recorded.
  skype_.calls.SetAudioPorts(start.out ? start.out.port : 0, start.in ? start.in.port : 0);
  session_.SetAudioAvailable(Direction::Out, static_cast<bool>(start.out));
  session_.SetAudioAvailable(Direction::In, static_cast<bool>(start.in));
  return start;
}

void CallRecorder::StartRecovery() {
  if (recovery_.joinable()) return;
  // The record folder is read and files are mixed: on a thread of its own.
  const SettingsSnapshot settings = settings_.Current();
  const std::chrono::milliseconds encoderFloor = session_.EncoderTimeFloor();
  try {
    recovery_ = std::thread([this, settings, encoderFloor] {
      RecoveryReport report =
          RecoverRecordings(settings->WavePath, settings->SaveLF != 0, settings->RecordFormat, encoderFloor);
      for (const std::wstring& name : report.recovered) DebugTrace(L"Recovered recording: %s\n", {name});
      for (const std::wstring& name : report.damaged) DebugTrace(L"Damaged stream file kept: %s\n", {name});
      events_.OnRecordingsRecovered(report);
    });
  } catch (const std::system_error&) {
    DebugTrace(L"No thread for the recovery; the recordings left behind wait for the next start.\n");
  }
}

bool CallRecorder::Shutdown(std::chrono::milliseconds linkDeadline) {
  shutDown_ = true;
  bool linkStopped = skype_.StopThreads(linkDeadline);
  outServer_.Stop();
  inServer_.Stop();
  if (recovery_.joinable()) recovery_.join();
  session_.WaitForFinishing();
  session_.FinishRecording();
  return linkStopped;
}
