// What the client link tells the application: the client's state, and the
// calls that start and end. The application implements it (one adapter that
// carries each event to the main window's thread); tests write the events
// down.
//
// The events come on the link's threads: the message thread for the calls and
// the connection notifications, the watch thread when the client vanished, and
// the thread of the link's message window for nothing yet.
#pragma once

class SkypeEvents {
 public:
  virtual ~SkypeEvents() = default;

  // The client's state may have changed: attached (the user's handle is
  // known), logged out, or gone without a goodbye.
  virtual void OnClientStateChanged() = 0;

  // A call came into progress. Returns once the application has acted on it:
  // the call's audio is asked for only after that, so that a recording that
  // starts for the call is there to take the audio's first bytes.
  virtual void OnCallStarted() = 0;
  // A call finished (or vanished with its client). Returns once the
  // application has acted on it: when it was the last call, the recording is
  // being finished before the next notification can start another call.
  virtual void OnCallEnded() = 0;
  // The partner's handle of the newest call is known.
  virtual void OnPartnerKnown() = 0;
};
