// What can go wrong in the recording pipeline that the user must be told of.
// The pipeline reports the failure as a value (RecordingEvents::OnRecordingFailed);
// the application shows it in the user's language.
#pragma once

// A failure the user is told of. What becomes of the recording is decided by
// the pipeline; the application only shows it (EndsRecording says whether the
// recording stops for it).
enum class RecordingFailure {
  // The hand-off blocks cannot be allocated ("allocate stream buf fail"): no
  // recording can start.
  HandoffMemory,
  // A writer thread cannot be created ("Create Record Thread Fail!"); the
  // other direction, when there is one, is recorded alone.
  WriterThread,
  // The base path does not fit ("Record folder path is too long!"): the
  // recording does not start.
  BasePathTooLong,
  // A writer cannot create its stream file: the recording ends, with what the
  // other direction wrote as the recording. Told by the error line only.
  StreamFileNotCreated,
  // A write to a stream file failed (a full disk): the recording ends with
  // what was written ("write file fail!").
  StreamWriteFailed,
  // A writer could not fill in its header sizes at the end ("write file
  // fail!"); the file stays a stream file.
  StreamNotCompleted,
  // The mixed file cannot be created ("err 2"), written ("write file fail!"),
  // or no memory is there for the mix ("allocate memory failed!"): the stream
  // files stay.
  MixOutputNotCreated,
  MixWriteFailed,
  MixMemory,
};

// The recording ends for the failure: the application asks for the abort and
// shows the error line.
constexpr bool EndsRecording(RecordingFailure failure) {
  return failure == RecordingFailure::StreamFileNotCreated || failure == RecordingFailure::StreamWriteFailed;
}
