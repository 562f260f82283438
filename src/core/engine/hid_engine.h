// The HID session engine: the step machine that talks to the device behind the USB HID
// adapter (a full ESC, a V1-series ESC or the LCD program box) on every tick of timer 106.
// It is the serial engine's peer behind the same Engine interface and runs on the same Session
// (image, status, curve editors, windows); the serial engine stands still while `link_kind` is
// 2.
//
//   host                                   device behind the adapter
//   hello (control report)            ->
//                                     <-   0xD7 and 7 bytes: the adapter's greeting
//   0xD5 presence, every 4th idle tick ->
//                                     <-   0x2A full ESC, 0x2B V1 with BEC, 0x20..0x2F V1
//   0xD7 version                      ->
//                                     <-   7 bytes
//   0xD8 settings                     ->
//                                     <-   31 bytes (full ESC) or 12 to 18 (V1-series ESC)
//   0xDE, 0xDB, 0xD9 read a curve     ->
//                                     <-   0x80, 120 curve bytes, 2 check bytes
//   first [command, value] pair       ->
//                                     <-   0x01
//   the whole 64-byte packet          ->   (full ESC; a V1 ESC gets one pair per 0x01)
//                                     <-   0x01
//   0xDF, 0xDC, 0xDA write a curve    ->
//                                     <-   0x80
//   134 curve bytes in 42, 42, 50     ->
//                                     <-   0x01
//
// Firmware updates take the engine's ticks while they run (HidUpdater, core/engine/hid_update.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/engine/hid_update.h"
#include "core/link/hid_link.h"
#include "core/engine/session.h"

namespace tessel {

enum HidStep : int32_t {
  kHidStepNone = 0,
  kHidStepGreeting = 1,
  kHidStepPresence = 2,
  kHidStepVersion = 3,
  kHidStepSettings = 4,
  kHidStepSendAck = 5,
  kHidStepFirmware = 6,  // the updater has the ticks (its steps are numbered 6 to 15)
  kHidStepReadCurves = 16,
  kHidStepWriteCurves = 17,
};

constexpr uint8_t kHidCmdPresence = 0xD5;
constexpr uint8_t kHidCmdVersion = 0xD7;
constexpr uint8_t kHidCmdSettings = 0xD8;
constexpr uint8_t kHidCmdIdle = 0xD4;
constexpr uint8_t kHidCmdV1Done = 0xE0;
constexpr uint8_t kHidGreeting = 0xD7;
constexpr uint8_t kHidAck = 0x01;
constexpr uint8_t kHidCurveMarker = 0x80;
constexpr uint8_t kHidLcdBoxReply = 0x27;

constexpr uint32_t kHidTickMs = 100;
constexpr uint32_t kHidArrivalProbeMs = 200;
constexpr int kHidVersionTries = 21;
// A send that hears nothing at all for this many ticks is given up: the ESC has gone.
constexpr int32_t kHidSendSilenceTicks = 50;
constexpr size_t kHidRxCapacity = 200;
constexpr size_t kHidCurveReplyBytes = kCurveWireBytes + 2;  // curve and check value
constexpr size_t kHidCurveSendBytes = 134;                   // curve, check, 12 bytes of 1

constexpr const char* kHidVersionFailedText = "Failed to get ESC Version";
constexpr const char* kHidVersionFailedCaption = "Warning";
constexpr const char* kHardwareTextDefault = "TURBO";

class HidEngine : public Engine {
 public:
  // Attaches itself to the session as its HID engine; the owner keeps both alive together.
  HidEngine(Session& session, HidDevice& device);
  ~HidEngine();
  HidEngine(const HidEngine&) = delete;
  HidEngine& operator=(const HidEngine&) = delete;

  HidLink link;

  LinkKind link_kind() const override { return kLinkHid; }
  void StartRead(ReadStart how) override;
  void StartSend(SendStart how) override;
  void OnTimer(int id) override;
  std::string VersionText() const override { return esc_version_text; }

  // Start-up: remember the adapter that is attached (timer 107 was armed by Session::Start).
  void Start();
  void HidTryOpen();      // timer 107
  void HidSessionTick();  // timer 106
  // The send request on the HID adapter; `preset_packet` for the packet a profile change
  // sends. Nothing happens unless the HID adapter is the open one.
  void HidStartSend(bool preset_packet);
  void HidStartRead();
  // "Read from ESC": identifies and reads the device afresh, as when it first answered.
  void ReadAgain();
  void ResetToReadMode();
  // "UpData" (and the V1 dialog's "Update Firmware") on the HID adapter: picks the file for
  // the device that is connected, checks it and starts the block or record transfer. How it
  // ends is in `UpdateOutcome()`.
  void StartHidFirmwareUpdate() { updater_.Start(); }
  bool UpdateRunning() const { return updater_.Running(); }
  HidUpdateOutcome UpdateOutcome() const { return updater_.Outcome(); }
  // The text the user was shown when the last update did not succeed.
  const std::string& UpdateProblem() const { return updater_.Problem(); }
  // The file and the versions the last start asked about.
  const StartUpdateFacts& UpdateStartFacts() const { return updater_.StartFacts(); }
  HidUpdateProgress UpdateProgress() const { return updater_.Progress(); }
  // The longest an update waits for any answer of the device before it gives up (the command
  // line sets its --timeout plus 2 s).
  void SetUpdateWaitMs(uint64_t ms) { updater_.SetWaitMs(ms); }
  // The menu's mode switches; false when their condition does not hold.
  bool CanEnterLcdMode() const;
  bool CanEnterEscMode() const;
  bool EnterLcdMode();
  bool EnterEscMode();
  // Device notifications.
  void OnDeviceArrived();
  void OnDeviceRemoved(const std::string& path);
  // What the removal of the open adapter does, for a tool that lets go of it by itself
  // (DemoMode switching to another device).
  void Disconnect();
  void HidClose();

  // What the faces and the tests may know of the engine: the adapter's version from its
  // greeting, whether the device behind it was identified (and its block length, which
  // names ESC types 12 and 15), and the step it is in, as the wire trace shows it.
  const std::string& AdapterVersion() const { return adapter_version_text; }
  bool EscIdentified() const { return esc_identified; }
  int32_t EscType() const { return esc_type; }
  int32_t CurrentStep() const { return hid_step; }

 private:
  bool Send(const uint8_t* bytes, size_t count) { return link.HidSend(bytes, count); }
  void SendByte(uint8_t byte) { link.HidSend(&byte, 1); }
  void StepGreeting();
  void StepPresence();
  void StepVersion();
  void StepSettings();
  void StepSendAck();
  void StepReadCurves();
  void StepWriteCurves();
  void OnPresenceAnswer(uint8_t answer);
  void ReportEscLost();
  void StoreCurve(const CurveField& field);
  void FinishRead();
  void SendCurveChunk();
  void FinishSend();
  void ReleaseBusyButton();
  void CountV1Pairs(int32_t pairs);
  bool SendWentSilent();
  void AddProgress(int32_t amount);
  size_t BuildFullPacket(bool preset_packet);
  size_t BuildV1Packet();
  // The updater borrows the ticks and gives them back to polling in step 2; the presence
  // count starts afresh after its steps.
  friend class HidUpdater;
  void LendTicks() { hid_step = kHidStepFirmware; }
  void PollAgain();

  Session& session_;
  SessionStatus& status_;
  SessionUi& ui_;
  TimerHost& timers_;
  HidUpdater updater_;

  int32_t hid_step = kHidStepNone;
  std::array<uint8_t, 520> hid_tx{};
  int32_t tx_count = 0;
  int32_t tx_offset = 0;
  int32_t poll_count = 0;  // 255: the loss of the ESC was reported
  bool esc_identified = false;
  int32_t esc_type = 0;

  std::array<uint8_t, kHidRxCapacity> rx{};
  size_t rx_count = 0;
  std::array<uint8_t, kHidRxCapacity> reply{};
  size_t collect_count = 0;
  int32_t tick_count = 0;
  int32_t silent_ticks = 0;  // ticks of a send without a byte from the device
  int32_t curve_phase = 0;
  int32_t curve_chunk = 0;
  bool curve_cmd_due = false;
  bool curve_answer_due = false;  // a curve's data went out; its answer confirms it
  bool marker_seen = false;
  std::string adapter_version_text;
  std::string esc_version_text;

};

}  // namespace tessel
