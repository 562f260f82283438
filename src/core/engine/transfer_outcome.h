// How a read or a send ended, as the engine that ran it saw it. Every face reads this (and the
// status) to tell the user what happened, never an engine's members or a message's text.
#pragma once

#include <cstdint>

#include "core/engine/send_account.h"

namespace tessel {

enum class TransferOutcome {
  kComplete,           // every step taken, the device answered each
  kSkippedSteps,       // the user skipped steps ("NO next"): the image may not be the ESC's
  kDamagedCurves,      // a read whose curves arrived with a wrong check value
  kUnrecognisedReply,  // a V1 block outside the V1 lists: nothing of it was taken
  kNoVersion,          // the ESC behind the HID adapter did not tell its version
  kEscLost,            // the ESC stopped answering
  kAdapterLost,        // the adapter went away (pulled out, port gone)
  kCancelled,          // a transfer error the user (or the command line) gave up on
};

struct TransferEnd {
  int32_t direction = 0;  // kTransferRead or kTransferSend
  TransferOutcome outcome = TransferOutcome::kComplete;
  // A send's: what the device acknowledged of it.
  SendAccount account;

  // Every step was taken. A damaged curve is a finding of the read, not a gap in it.
  bool complete() const {
    return outcome == TransferOutcome::kComplete || outcome == TransferOutcome::kDamagedCurves;
  }
  // The transfer ran to its last step (skipped steps included): the pages took it in.
  bool reached_end() const { return complete() || outcome == TransferOutcome::kSkippedSteps; }
};

}  // namespace tessel
