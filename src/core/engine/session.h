// The serial session engine: keeps the connection to an ESC on the serial adapter alive and
// moves the settings image between the ESC and the tool, one small step per tick of timer
// 102. One Session exists per running tool; it owns the settings image, the session status,
// the link and the three curve models, and reaches windows only through SessionUi.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/model/curve_model.h"
#include "core/link/serial_link.h"
#include "core/link/clock.h"
#include "core/engine/send_account.h"
#include "core/engine/session_ui.h"
#include "core/model/settings_image.h"
#include "core/engine/timer_host.h"

namespace tessel {

constexpr uint8_t kCmdProbe = 0xF9;
constexpr uint8_t kCmdIdentify = 0xD5;
constexpr uint8_t kCmdReadParams = 0xD8;
constexpr uint8_t kCmdReadVersion = 0xD7;
constexpr uint8_t kCmdEnterLoader = 0xD6;
constexpr uint8_t kReplyFullEsc = 0x2A;
constexpr uint8_t kReplyV1Block16 = 0x2B;
constexpr uint8_t kCurveHandshake = 0x80;
constexpr int kV1SendPairs = 16;  // the pairs of a V1 send on the serial adapter

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
// True when every value of a V1 block of `length` bytes lies in its V1 list and its cut-off
// byte is a known code; fields beyond the block's end are not looked at. Both engines refuse
// a block that does not fit: it came from something other than a V1-series ESC.
bool V1BlockFitsLists(const int32_t* block, size_t length, int32_t variant);

// Names a curve ("throttle", "brake", "boost").
std::string DamagedCurveWarning(const std::vector<std::string>& curves);
std::string DamagedCurveQuestion(const std::vector<std::string>& curves);

class Session {
 public:
  Session(SerialPort& port, PortEnumerator* enumerator, Clock& clock, TimerHost& timers,
          SessionUi& ui);

  EscSettingsImage image;
  SessionStatus status;
  SerialLink link;
  CurveModel throttle_editor;
  CurveModel brake_editor;
  CurveModel boost_editor;

  // Engine-private values, public so that tests can look at them.
  bool status_changed = false;
  int probe_failures = 0;
  int read_failures = 0;
  int param_count = 31;
  std::array<int32_t, 32> param_bytes{};
  std::array<uint8_t, 7> esc_version_text{};
  bool version_valid = false;
  // The ESC's version as the HID engine formats it; shown while the HID adapter is in use.
  std::string hid_version_text;
  // A firmware update is between its first question and its end (it cannot start twice).
  bool firmware_update_active = false;
  // Curves (in CurveFields order) whose check value was wrong on their last read: the image
  // holds default points in their place. A good read, an import or a reset clears the mark.
  std::array<bool, 3> damaged_curves{};
  // The last V1 block held values outside the V1 lists: none of it was taken, and the V1
  // settings are not sent until a read succeeds.
  bool unrecognised_reply = false;
  // The port vanished (EIO, device gone) during a transfer, which then ended at once.
  bool adapter_lost_in_transfer = false;
  // Steps of the current transfer the user chose to skip ("NO next"): its end is then no
  // plain success.
  int skipped_steps = 0;
  // How far the last send got, filled in by whichever engine ran it.
  SendAccount send_account;

  // Start-up of the main window: status values, curve editors, timers 102 and 107.
  void Start();
  // A timer message of the main window: ignored while a firmware update runs; a changed
  // profile preset is applied and sent before the timer is dispatched.
  void OnTimer(int id);
  void OnSessionTimer();
  void ReadStep();
  void SendStep();
  int SendParameter(uint8_t command, uint8_t value);
  int ConfirmTransferError();  // 0 retry, 1 skip, 2 stop
  void StartSend();
  // Prepares a read of the whole image from its first step.
  void StartRead();

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
  void OnSerialPortRemoved();
  void OnSerialPortArrived();

  // Hooks for the HID engine, which lives in core/link. `hid_start_send` is told whether the
  // send is the packet a profile change sends.
  std::function<void(bool preset_packet)> hid_start_send;
  std::function<void()> hid_start_read;
  std::function<void()> hid_read_again;  // the detection read, started afresh
  std::function<void(int id)> hid_timer;

  // Names of damaged curves that a send would write over the ESC's own (custom mode).
  std::vector<std::string> DamagedCurvesToSend() const;
  // Before a send that would write a damaged curve: "Read again" starts a read, "Send
  // anyway" lets the send go on, Cancel drops it. True when the send may go on.
  bool ConfirmDamagedCurveSend();
  // After a read (either adapter): says which curves arrived damaged, if any.
  void WarnOfDamagedCurves();
  // Ends a read whose V1 block did not fit the V1 lists (either adapter).
  void RefuseUnrecognisedReply();
  // Ends the running send as broken off and says so (either adapter); nothing when no send
  // runs.
  void BreakOffSend(SendBreak why);
  // The port went away under the engine (an I/O error closed it).
  bool PortLost() const { return link.is_open && !link.port().IsOpen(); }

  CurveModel& EditorFor(const CurveField& field);
  void LoadAllCurves();
  void ResetAndApplyAllCurves();
  std::string VersionText() const;

  Clock& clock() { return clock_; }
  TimerHost& timers() { return timers_; }
  SessionUi& ui() { return ui_; }

 private:
  bool ReadCurveCommand(uint8_t command);
  void ReadCurveData(const CurveField& field);
  bool SendCurveStep(const CurveField& field, int data_step, int next_step);
  void FinishRead();
  void ReportReadDone();
  void ReportSendDone();
  void SendStepV1();
  bool CopyParamBlockToImage();  // false: a V1 block outside the V1 lists
  // The pairs of a full-ESC send the ESC echoed back so far.
  void CountEchoedPairs();
  uint64_t echo_base_ = 0;  // purged_rx_bytes when the first pair went out
  void LoseAdapter();
  // LinkSendByte that also fails when the echo does not come back: a line that returns
  // nothing has lost the ESC, and waiting out one echo after another would hang the tool.
  int SendByteEchoed(uint8_t byte);

  Clock& clock_;
  TimerHost& timers_;
  SessionUi& ui_;
};

}  // namespace tessel
