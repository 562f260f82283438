// Firmware updates through the HID adapter. The HID session engine hands its ticks (timer 106)
// to the updater while an update runs, and the updater takes one step per tick (numbered 6 to
// 15 after the engine's own steps). Two conversations exist.
//
// Block transfer: the LCD program box (".xut", started with 0xD3) and ESC types 12 and 15
// (".hgm", started with 0xD6), with the masked image:
//
//   host                                     device
//   0xD3 or 0xD6 (0xD3 again every 20 ticks) ->
//                                            <-   0xD7 ready
//   0x13 0x7E                                ->
//                                            <-   "ok"
//   image length, 16 bits, high byte first   ->
//   0x02 0x00, then 512 image bytes          ->   (every block but the last)
//                                            <-   "ok"
//   n high, n low, 30 ms, then n bytes       ->   (the last block, 1 to 512 bytes)
//                                            <-   "ok"
//   0x13 0x81                                ->
//                                            <-   "ok"
//   0x13 0xCF                                ->   the device restarts; the box then answers
//                                                 presence with 0x27
//   0xD4                                     ->   back to polling
//
// Record transfer: every other ESC (".xup", the hex-text records):
//
//   0xD6 (again whenever the device echoes 0xD6) ->
//                                            <-   0xD7 ready
//   one record: length (2 bytes) and body    ->
//                                            <-   0x11 accepted, 0x12 refused, other: again
//   ... every record, then the adapter is closed and the ESC identified afresh
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/model/firmware_preflight.h"
#include "core/engine/update_question.h"

namespace tessel {

// The updater's steps, one per tick. The numbers follow the engine's own steps and show in the
// wire trace ("[hid 9]").
enum class HidUpdateStep : int32_t {
  kNone = 0,  // the engine has the ticks
  kWaitReady = 6,
  kBlockHeader = 7,
  kBlock = 8,
  kBlockAck = 9,
  kLastBlock = 10,
  kComplete = 11,
  kRestart = 12,
  kWaitLoader = 13,
  kNextRecord = 14,
  kVerdict = 15,
};

// What the device takes: the masked image in blocks or the hex-text records.
enum class HidUpdateTarget { kLcdBox, kMaskedEsc, kRecordEsc };

// Where the last update stands; a front end waits on it.
enum class HidUpdateOutcome {
  kNone,             // no update was started
  kRunning,          // between the start command and the end
  kNotReady,         // neither the LCD program box nor a detected ESC
  kNoFile,           // the file dialog was cancelled or the file could not be opened
  kFileRefused,      // the file is damaged or unfit; nothing was sent
  kUpdated,          // the device confirmed every block or record
  kNoBlockAck,       // a block (the last included) was not acknowledged in time
  kNotConfirmed,     // the device did not confirm the end of the transfer in time
  kRecordRefused,    // verdict 0x12
  kTooManyVerdicts,  // the fourth bad verdict for one record
  kAdapterLost,      // the adapter went away while an ESC update ran
  kDeclined,         // Cancel on "Start update?"; nothing was sent
  kNoStart,          // the device did not answer the start of the update in time
  kNoVerdict,        // the ESC did not answer a record in time
  kInterrupted,      // stopped between two blocks or records at the user's request
};

constexpr uint8_t kHidCmdLcdUpdate = 0xD3;
constexpr uint8_t kHidCmdEscUpdate = 0xD6;
constexpr uint8_t kHidLoaderReady = 0xD7;
constexpr uint8_t kHidBlockStart[2] = {0x13, 0x7E};
constexpr uint8_t kHidBlockHeader[2] = {0x02, 0x00};
constexpr uint8_t kHidBlockDone[2] = {0x13, 0x81};
constexpr uint8_t kHidBlockRestart[2] = {0x13, 0xCF};
constexpr size_t kHidBlockBytes = 512;
constexpr uint8_t kHidRecordAccepted = 0x11;
constexpr uint8_t kHidRecordRefused = 0x12;

constexpr uint32_t kHidLcdStartMs = 1000;
constexpr uint32_t kHidWaitReadyMs = 200;
constexpr uint32_t kHidBlockTickMs = 50;
constexpr uint32_t kHidLastBlockTickMs = 400;
constexpr uint32_t kHidRecordTickMs = 120;
constexpr uint32_t kHidLastBlockGapMs = 30;
constexpr uint32_t kHidRestartWaitMs = 2000;
constexpr uint32_t kHidReopenWaitMs = 1000;
constexpr int32_t kHidStartRepeatTicks = 20;  // 0xD3 goes out again after this many ticks
constexpr int32_t kHidBlockAckTicks = 200;    // a block's "ok" may take this many ticks
// The last block's "ok" and the final one may take as long as a block's (200 ticks of 50 ms).
constexpr uint64_t kHidConfirmWaitMs = 10000;
constexpr int32_t kHidVerdictTries = 4;

constexpr const char* kLcdUpdateText = "Lcd Update";
constexpr const char* kLcdUpdateCaption = "Up Date Complete!";
// The warning boxes of the update carry the application's name.
constexpr const char* kHidUpdateCaption = "Tessel Arc USB";
constexpr const char* kHidUpdateNotReadyText =
    "No device is ready for a firmware update: connect the ESC and wait until it is detected, "
    "or choose \"LCD Program Box\" for the LCD program box.";
constexpr const char* kHidUpdateNoBlockAckText =
    "The firmware update stopped: the device did not acknowledge a block of the image. Unplug "
    "the adapter and plug it in again; the device may not start until an update completes.";
constexpr const char* kHidUpdateNotConfirmedText =
    "The firmware update stopped: the device did not confirm the end of the transfer. Unplug "
    "the adapter and plug it in again; the device may not start until an update completes.";
constexpr const char* kHidUpdateRefusedText =
    "The firmware update stopped: the ESC refused a firmware record. Unplug the adapter and "
    "plug it in again; the ESC may not start until an update completes.";
constexpr const char* kHidUpdateRetriesText =
    "The firmware update stopped: the ESC rejected the same firmware record 4 times. Unplug the "
    "adapter and plug it in again; the ESC may not start until an update completes.";
constexpr const char* kHidUpdateNoStartText =
    "The firmware update did not start: the device did not answer. Unplug the adapter and plug "
    "it in again before you try again.";
constexpr const char* kHidUpdateNoVerdictText =
    "The firmware update stopped: the ESC did not answer a firmware record. Unplug the adapter "
    "and plug it in again; the ESC may not start until an update completes.";
constexpr const char* kHidUpdateInterruptedText =
    "The firmware update was stopped between two pieces of the image. The device may not start "
    "until an update completes.";
constexpr const char* kHidUpdateAdapterLostText =
    "The firmware update stopped: the adapter was pulled out. The ESC may not start until an "
    "update completes.";

std::string DataTransferringCaption(int percent);  // "Data Transferring.. %d%% done."

// ESC types 12 and 15 (the length of their settings answer) take the masked image.
HidUpdateTarget HidUpdateTargetFor(bool lcd_box_connected, int32_t esc_type);
// What the firmware preflight checks a file against for a target.
FirmwareTarget PreflightTarget(HidUpdateTarget target);
// The file dialog's filter for a target.
const char* HidUpdateFilter(HidUpdateTarget target);
// The file extension a target takes (".xut", ".hgm", ".xup").
const char* HidUpdateExtension(HidUpdateTarget target);

class HidEngine;
class Session;
class SessionUi;
class TimerHost;
struct SessionStatus;

// How far an update has come: a front end shows it and watches it move.
struct HidUpdateProgress {
  HidUpdateStep step = HidUpdateStep::kNone;
  int32_t sent = 0;  // bytes of the image the device acknowledged
  int32_t size = 0;  // bytes of the image
};

// One firmware update through the HID adapter at a time. The engine owns one, starts it from
// "UpData" and hands it every tick of timer 106 while it has the ticks; the updater gives them
// back when the device goes back to polling.
class HidUpdater {
 public:
  HidUpdater(HidEngine& engine, Session& session);
  HidUpdater(const HidUpdater&) = delete;
  HidUpdater& operator=(const HidUpdater&) = delete;

  // Picks the file for the device that is connected, checks it, asks, and sends the start
  // command. How it ends is in `Outcome()`.
  void Start();
  bool Running() const { return outcome_ == HidUpdateOutcome::kRunning; }
  HidUpdateOutcome Outcome() const { return outcome_; }
  // The text the user was shown when the update did not succeed.
  const std::string& Problem() const { return problem_; }
  // What the last start asked the user about: the file and the versions.
  const StartUpdateFacts& StartFacts() const { return start_; }
  // The longest the update waits for any answer of the device before it gives up.
  uint64_t WaitMs() const { return wait_ms_; }
  void SetWaitMs(uint64_t ms) { wait_ms_ = ms; }
  HidUpdateProgress Progress() const { return {step_, fw_sent_, fw_size_}; }

  // The engine's side. One tick of timer 106 with the bytes it fetched.
  void Tick(std::span<const uint8_t> rx);
  // A tick of the engine's polling while the end of a block transfer is unconfirmed: true when
  // the tick was the update's (a late "ok" ended it, or the wait for it ran out).
  bool AwaitConfirmWhilePolling(std::span<const uint8_t> rx);
  // An LCD update started; the box's 0x27 then means it restarted during the transfer.
  bool LcdUpdateActive() const { return lcd_update_active_; }
  void ResumeLcdUpdate();
  // The adapter went away: `tell_user` shows the box, otherwise the update only ends.
  void OnAdapterLost(bool tell_user);

 private:
  void StepWaitReady();
  void StepBlockHeader();
  void StepBlock();
  void StepBlockAck();
  void StepLastBlock();
  void StepComplete();
  void StepRestart();
  void StepWaitLoader();
  void StepNextRecord();
  void StepVerdict();
  void FinishBlockUpdate();
  void FinishRecordUpdate();
  void Abandon(HidUpdateOutcome outcome, const char* text);
  void ReturnToPolling();
  void ShowPercent(int32_t percent);
  void ClearOk();
  bool CollectOk(size_t count);  // true when "ok" is complete
  void StartWait();
  bool WaitOverdue(const std::string& awaited);  // traces the time-out when it is
  bool ConfirmOverdue();
  bool StopAtBoundary();  // a stop was asked for: the update ends here, between two pieces
  bool Send(const uint8_t* bytes, size_t count);
  void SendByte(uint8_t byte);

  HidEngine& engine_;
  Session& session_;
  SessionStatus& status_;
  SessionUi& ui_;
  TimerHost& timers_;

  HidUpdateStep step_ = HidUpdateStep::kNone;
  std::span<const uint8_t> rx_;  // what this tick fetched
  HidUpdateTarget target_ = HidUpdateTarget::kLcdBox;
  HidUpdateOutcome outcome_ = HidUpdateOutcome::kNone;
  std::string problem_;
  StartUpdateFacts start_;
  uint64_t wait_ms_ = kHidConfirmWaitMs;
  std::vector<uint8_t> fw_image_;
  int32_t fw_size_ = 0;
  int32_t fw_sent_ = 0;
  int32_t fw_record_len_ = 0;
  std::array<uint8_t, 2> ok_buf_{};  // the last two bytes received: "ok" when complete
  int32_t ok_count_ = 0;
  int32_t poll_count_ = 0;          // ticks without the awaited answer, bad verdicts
  bool lcd_update_active_ = false;  // set when an LCD update starts, until the box restarted
  uint64_t wait_since_ms_ = 0;      // when the wait for the device's next answer began
  bool ready_seen_ = false;         // step 6 saw 0xD7 since it began
  bool confirm_pending_ = false;    // the final "ok" is awaited (step 11, 12, or in polling)
};

}  // namespace tessel
