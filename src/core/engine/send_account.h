// How far a send got, as the device confirmed it. Both engines fill it in while they send
// (what the ESC acknowledged, or on the serial line what it echoed back), and every face turns
// it into words through SendAccountText, so that a send that broke off is never told as sent
// and its counts are the ESC's own rather than the engine's step counter.
#pragma once

#include <string>

namespace tessel {

enum class SendEnd {
  kNone,  // no send since start-up
  kRunning,
  kCompleted,  // the device confirmed the whole image, after the last (re)connect
  kBrokeOff,   // ended without that
};

enum class SendBreak {
  kNone,
  kStopped,      // a transfer error the user (or the command line) gave up on
  kSkipped,      // steps were skipped on the way
  kAdapterLost,  // the adapter went away (pulled out, port gone)
  kEscSilent,    // the ESC stopped answering
};

struct SendAccount {
  int settings_total = 0;
  int settings_taken = 0;  // confirmed by the device
  int curves_total = 0;    // curves this send writes
  int curves_taken = 0;
  bool any_byte_left = false;  // a byte of this send went out to the adapter
  SendEnd end = SendEnd::kNone;
  SendBreak why = SendBreak::kNone;

  void Begin(int settings, int curves) {
    *this = SendAccount{};
    settings_total = settings;
    curves_total = curves;
    end = SendEnd::kRunning;
  }
  // Only the engine that saw the device confirm the end calls this.
  void Complete() {
    if (end != SendEnd::kRunning) return;
    settings_taken = settings_total;
    curves_taken = curves_total;
    end = SendEnd::kCompleted;
  }
  // True when this call ended the send (a send already over stays as it ended).
  bool BreakOff(SendBreak reason) {
    if (end != SendEnd::kRunning) return false;
    end = SendEnd::kBrokeOff;
    why = reason;
    return true;
  }
  bool running() const { return end == SendEnd::kRunning; }
  bool completed() const { return end == SendEnd::kCompleted; }
};

// "after 3 of 27 settings and 1 of 3 curves; the ESC holds a mix: read it and send again", or
// "after 0 of 27 settings; nothing was sent" while no byte has left.
std::string SendAccountText(const SendAccount& account);
// The status-line report of a send that broke off: its cause and SendAccountText.
std::string SendBrokeOffText(const SendAccount& account);

}  // namespace tessel
