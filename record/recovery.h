// Recordings that a crash, a killed process or a power cut left behind, and what
// tells them from the recordings of a running program.
//
// While a recording runs, a small file "<base>.rec" stands beside its stream
// files: it names the recording's start and its partners, and the program
// holds it open, shared with no other opener, until the recording has been
// finished. So a stream file whose ".rec" can be opened belongs to no running
// program (in this session or any other), whatever process ids were reused;
// one whose ".rec" cannot be opened is left alone.
//
// At start-up RecoverRecordings finishes each left-behind recording as the
// finishing sequence would: it repairs the stream files' header sizes from
// their lengths, mixes both (in stereo when SaveLF says so), or takes the one
// that is there, into "<base> (recovered)(<partners>).wav", and hands that to
// the encoders. A stream file goes only once the recording is complete and on
// the disk; one too damaged to use (shorter than its header, not a WAV file) is
// kept, renamed to "<name>.damaged" so that it is reported once.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "record/encoder_handoff.h"
#include "record/recording_failure.h"

// The side file of a base path: "<base>.rec".
std::wstring SidecarFileName(std::wstring_view basePath);

// The side file of the running recording, held open from its start to its end
// (the recording session owns it).
class RecordingSidecar {
 public:
  // Creates "<base>.rec" (held from now on) with the start time; false when it
  // cannot be created (the recording goes on, it only cannot be named after
  // its partners if it must be recovered).
  bool Open(std::wstring_view basePath, std::wstring_view started);
  // Writes the partners when they changed since the last write.
  void SetPartners(const std::wstring& partners);
  // Lets the file go: removed when no stream file of the recording is left,
  // else kept beside them so that the next start finishes them.
  void Close();
  // Takes over another sidecar's file (which is left closed): a finished
  // recording keeps its file held while it is mixed, and its session can
  // open the next recording's meanwhile.
  void TakeOver(RecordingSidecar& other);

 private:
  bool WriteLocked();

  std::mutex mutex_;
  File file_;
  std::wstring base_, started_, partners_;
  size_t written_ = 0;  // bytes the file holds
};

struct RecoveryReport {
  std::vector<std::wstring> recovered;  // the WAV files made (before the encoders)
  std::vector<std::wstring> damaged;    // stream files kept as "<name>.damaged"
  std::vector<std::wstring> failed;     // base paths whose finishing failed; their files stay
  std::vector<RecordingFailure> failures;  // what the user must be told of those (a mix that failed)
};

// Finishes every recording in `folder` that no running program owns, with the
// given mix and formats. Run off the window's thread: it reads and writes
// whole files.
RecoveryReport RecoverRecordings(const std::wstring& folder, bool stereo, uint8_t recordFormat,
                                 std::chrono::milliseconds encoderTimeFloor = kEncoderTimeFloor);
