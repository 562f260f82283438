// One world for tests of the HID adapter: the virtual HID adapter, a session with its HID engine
// on a virtual clock, a recording UI, and the few things a test asks of the engine. Those are
// gathered here, so that a change to the engine's shape is made in this one place.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/engine/hid_engine.h"
#include "core/model/page_rules.h"
#include "sim/virtual_esc_port.h"
#include "sim/virtual_hid_adapter.h"
#include "tests/support/recording_ui.h"

namespace tessel::test_support {

class HidWorld {
 public:
  using Bytes = std::vector<uint8_t>;

  // A fresh session over a fresh adapter with `kind` behind it, started as the main window
  // starts it. `device`, when given, stands between the engine and the adapter.
  void Build(HidDeviceKind kind, size_t v1_length = 0,
             const std::function<HidDevice&(VirtualHidAdapter&)>& device = {}) {
    hid.reset();
    session.reset();
    for (int id : {kTimerSession, kTimerHidSession, kTimerHidProbe}) loop.Stop(id);
    ui = RecordingUi{};
    adapter = std::make_unique<VirtualHidAdapter>(kind, v1_length);
    session = std::make_unique<Session>(serial, nullptr, clock, loop, ui);
    hid = std::make_unique<HidEngine>(*session, device ? device(*adapter) : *adapter);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
    hid->Start();
  }

  SessionStatus& status() { return session->status; }
  bool RunUntil(const std::function<bool()>& done, uint64_t ms = 60000) {
    return loop.RunUntil(done, ms);
  }
  // A read has finished (full or V1) and no transfer runs.
  bool ReadFully() {
    return RunUntil(
        [&] { return (ui.reads_finished > 0 || ui.v1_reads > 0) && !status().transfer_active; });
  }
  // Connected through the adapter and nothing running.
  bool Idle() {
    return RunUntil([&] { return !status().transfer_active && status().HidConnected(); });
  }

  // Data bytes of the host's output reports since the last ClearReports, report by report.
  std::vector<Bytes> Sent() const {
    std::vector<Bytes> out;
    for (const HidReportRecord& r : adapter->reports()) {
      if (r.kind != HidReportKind::kOutput) continue;
      out.emplace_back(r.bytes.begin() + 2, r.bytes.begin() + 2 + r.bytes[1]);
    }
    return out;
  }
  // The one-byte output reports: the commands.
  Bytes Commands() const {
    Bytes out;
    for (const Bytes& b : Sent()) {
      if (b.size() == 1) out.push_back(b[0]);
    }
    return out;
  }

  // The system's device notices for whatever the adapter did (pulled, plugged, replaced).
  void DeliverDeviceEvents() {
    for (const HidEvent& e : adapter->TakeEvents()) {
      if (e.arrived) {
        hid->OnDeviceArrived();
      } else {
        hid->OnDeviceRemoved(e.path);
      }
    }
  }
  void Replug() {
    adapter->SetPlugged(false);
    adapter->SetPlugged(true);
    DeliverDeviceEvents();
  }

  // What the engine shows or is doing.
  bool EscLossReported() const {
    return session->last_transfer().outcome == TransferOutcome::kEscLost &&
           session->status.esc_state == kEscNone;
  }
  bool EscIdentified() const { return hid->EscIdentified(); }
  int32_t EscType() const { return hid->EscType(); }
  int32_t Step() const { return hid->CurrentStep(); }
  bool SendingCurves() const { return hid->CurrentStep() == kHidStepWriteCurves; }
  const std::string& AdapterVersion() const { return hid->AdapterVersion(); }
  // Curves (boost, brake, throttle) that arrived damaged on the last read.
  std::array<bool, 3> DamagedCurves() const { return session->damaged_curves; }
  // The last V1 block did not fit the V1 lists and was refused.
  bool ReplyRefused() const { return session->unrecognised_reply; }
  bool SendRunning() const { return session->send_account.running(); }

  // The menu, the information page and the tool's end.
  bool EnterLcdMode() { return hid->EnterLcdMode(); }
  bool EnterEscMode() { return hid->EnterEscMode(); }
  bool CanEnterEscMode() const { return hid->CanEnterEscMode(); }
  void StartFirmwareUpdate() { hid->StartHidFirmwareUpdate(); }
  bool UpdateRunning() const { return hid->UpdateRunning(); }
  HidUpdateOutcome UpdateOutcome() const { return hid->UpdateOutcome(); }
  HidUpdateStep UpdateStep() const { return hid->UpdateProgress().step; }
  int32_t FirmwareBytesSent() const { return hid->UpdateProgress().sent; }
  HidLink& Link() { return hid->link; }
  // How long an update waits for the device to confirm a step.
  void SetConfirmWait(uint64_t ms) { hid->SetUpdateWaitMs(ms); }
  void Disconnect() { hid->Disconnect(); }

  // The box alone behind the adapter, in "LCD Program Box" mode.
  bool BuildLcdBox() {
    Build(HidDeviceKind::kLcdBox);
    return RunUntil([&] { return EscLossReported(); }) && EnterLcdMode();
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  VirtualEscPort serial{clock};
  std::unique_ptr<VirtualHidAdapter> adapter;
  std::unique_ptr<Session> session;
  std::unique_ptr<HidEngine> hid;
};

}  // namespace tessel::test_support
