// The two engines, serial and HID, as peers: each keeps the connection to the device behind
// its adapter and moves the settings image between that device and the tool, one step per
// tick of its own timers. `Session` holds what both share (the image, the status, the curve
// editors, the user's commands) and hands each command to the engine of the open adapter,
// which starts the transfer its own way.
#pragma once

#include <string>

#include "core/model/settings_image.h"

namespace tessel {

// The command that asked for a read; each adapter opens the read its own way.
enum class ReadStart {
  kReadAgain,  // "Read from ESC": the detection read, from its first step
  kV1Dialog,   // the V1 dialog's "Read Settings"
};

// The command that asked for a send. The session has already collected the pages, taken the
// curves and begun the send's account.
enum class SendStart {
  kApply,         // "Apply"
  kPresetPacket,  // a changed profile preset, sent at once
  kDefault,       // "DEFAULT": factory settings
  kResetDefault,  // the "Reset Default" menu command (and the V1 dialog's "Default")
  kV1Dialog,      // the V1 dialog's "Send Settings"
};

class Engine {
 public:
  virtual ~Engine() = default;

  // The adapter this engine drives; the session hands a command to the engine whose kind
  // the status names as open.
  virtual LinkKind link_kind() const = 0;
  virtual void StartRead(ReadStart how) = 0;
  virtual void StartSend(SendStart how) = 0;
  // A timer of the main window; an engine acts on its own timers only.
  virtual void OnTimer(int id) = 0;
  // The ESC's version as this adapter reads it; empty when unknown.
  virtual std::string VersionText() const = 0;
};

}  // namespace tessel
