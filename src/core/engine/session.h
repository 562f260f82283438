// The session: one exists per running tool. It owns the settings image (from factory
// defaults), the session status and the three curve models, takes the user's commands, does
// what is common to both adapters and hands each command to the engine of the open adapter:
// the serial engine, which it owns, or the HID engine attached to it. It reaches windows only
// through SessionUi.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/engine.h"
#include "core/engine/send_account.h"
#include "core/engine/serial_engine.h"
#include "core/engine/session_ui.h"
#include "core/engine/timer_host.h"
#include "core/engine/transfer_outcome.h"
#include "core/link/clock.h"
#include "core/link/serial_link.h"
#include "core/model/curve_model.h"
#include "core/model/settings_image.h"

namespace tessel {

constexpr const char* kCaptionRead = "Read From Esc Process......";
constexpr const char* kCaptionSend = "Send to Esc Process......";
constexpr const char* kTransferErrorText = "Error!YES continue,NO next,CANCEL exit";
constexpr const char* kTransferErrorCaption = "confirm!";

std::string TransferringCaption(int percent);  // "Transferring.. %d%% done."

constexpr const char* kReadCaption = "Read";
constexpr const char* kSendCaption = "Send";
constexpr const char* kUnrecognisedReplyText =
    "The ESC's reply was not recognised: its values lie outside the V1 lists. Nothing of it "
    "was taken, and nothing will be sent to it until a read succeeds.";
constexpr const char* kAdapterLostText =
    "The programming adapter was lost during the send; the ESC holds a mix of new and old "
    "settings: read it and send again.";
// Names a curve ("throttle", "brake", "boost").
std::string DamagedCurveWarning(const std::vector<std::string>& curves);
std::string DamagedCurveQuestion(const std::vector<std::string>& curves);

class Session {
  // First, so that the engines made below can reach them.
  Clock& clock_;
  TimerHost& timers_;
  SessionUi& ui_;

 public:
  Session(SerialPort& port, PortEnumerator* enumerator, Clock& clock, TimerHost& timers,
          SessionUi& ui);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  EscSettingsImage image;
  SessionStatus status;
  CurveModel throttle_editor;
  CurveModel brake_editor;
  CurveModel boost_editor;

  // A firmware update is between its first question and its end (it cannot start twice).
  bool firmware_update_active = false;
  // Curves (in CurveFields order) whose check value was wrong on their last read: the image
  // holds default points in their place. A good read, an import or a reset clears the mark.
  std::array<bool, 3> damaged_curves{};
  // The last V1 block held values outside the V1 lists: none of it was taken, and the V1
  // settings are not sent until a read succeeds.
  bool unrecognised_reply = false;
  // Steps of the current transfer the user chose to skip ("NO next"): its end is then no
  // plain success.
  int skipped_steps = 0;
  // How far the last send got, filled in by whichever engine ran it.
  SendAccount send_account;

 private:
  SerialEngine serial_;

 public:
  // The serial adapter's link (its wire trace and access notice are set up from outside).
  SerialLink& link;
  SerialEngine& serial() { return serial_; }
  // The HID engine works on this session while it lives; one at a time.
  void AttachHidEngine(Engine* engine) { hid_ = engine; }

  // Start-up of the main window: status values, curve editors, timers 102 and 107.
  void Start();
  // A timer of the main window: ignored while a firmware update runs; a changed profile
  // preset is applied and sent before the timer goes to the engines.
  void OnTimer(int id);
  // Prepare a transfer of the whole image from its first step; the engine then starts it.
  void PrepareRead();
  void PrepareSend();

  // The main window's commands.
  bool IsBusy() const;
  // "Read from ESC": the read that detection starts, on demand (after a send, say). False
  // when ignored (busy, or no ESC).
  bool ReadFromEsc();
  bool Apply();  // false when ignored (busy)
  bool Default();
  bool ResetDefault();  // the "Reset Default" menu command
  // The V1 dialog's buttons.
  bool V1ReadSettings();
  bool V1SendSettings();

  // Device-change notifications for serial ports.
  void OnSerialPortRemoved() { serial_.OnPortRemoved(); }
  void OnSerialPortArrived() { serial_.OnPortArrived(); }

  // Names of damaged curves that a send would write over the ESC's own (custom mode).
  std::vector<std::string> DamagedCurvesToSend() const;
  // Before a send that would write a damaged curve: "Read again" starts a read, "Send
  // anyway" lets the send go on, Cancel drops it. True when the send may go on.
  bool ConfirmDamagedCurveSend();
  // A curve's reply (either adapter, DecodeCurveReply): a good one goes into the image and
  // its editor; a damaged one (none) is marked, and its editor shows default points.
  void TakeCurveReply(const CurveField& field, const std::optional<CurveData>& received);
  // After a read (either adapter): says which curves arrived damaged, if any.
  void WarnOfDamagedCurves();
  // Ends a read whose V1 block did not fit the V1 lists (either adapter).
  void RefuseUnrecognisedReply();
  // Ends the running send as broken off and says so (either adapter); nothing when no send
  // runs.
  void BreakOffSend(SendBreak why);
  // Every end of a read or a send, either adapter: kept as last_transfer(); one that reached
  // its last step goes to SessionUi::TransferDone.
  void FinishTransfer(int32_t direction, TransferOutcome outcome);
  // How a read that reached its last step ended: skipped steps, damaged curves, or complete.
  TransferOutcome ReadOutcome() const;
  const TransferEnd& last_transfer() const { return last_transfer_; }
  // Counts the ends, so that a caller can tell an end that came after it started waiting.
  uint64_t transfer_ends() const { return transfer_ends_; }

  CurveModel& EditorFor(const CurveField& field);
  void LoadAllCurves();
  void ResetAndApplyAllCurves();
  // The ESC's version as the open adapter's engine read it.
  std::string VersionText() const;

  Clock& clock() { return clock_; }
  TimerHost& timers() { return timers_; }
  SessionUi& ui() { return ui_; }

 private:
  // The engine of the open adapter; none while no adapter is open.
  Engine* OpenEngine();

  Engine* hid_ = nullptr;
  TransferEnd last_transfer_;
  uint64_t transfer_ends_ = 0;
};

}  // namespace tessel
