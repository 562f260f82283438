// The serial engine: keeps the connection to an ESC on the serial adapter alive and moves the
// settings image between the ESC and the tool, one small step per tick of timer 102.
//
//   host                                   ESC (every byte the host writes comes back first)
//   0xF9 presence, every 200 ms       ->
//                                     <-   0xD5 0x41 (or 0xD6): an ESC is there
//   0xD5 identify                     ->
//                                     <-   0x2A full ESC, 0x2B V1 with BEC, else V1
//   0xD8 settings                     ->
//                                     <-   31 bytes (full ESC, one a tick) or 14/16 (V1)
//   0xD7 version                      ->
//                                     <-   7 characters
//   0xDE, 0xDB, 0xD9 read a curve     ->
//                                     <-   0x80, 120 curve bytes (4 a tick), check bytes
//   27 [command, value] pairs, 0xAB 1 ->   (full ESC; nothing answers a pair but its echo)
//   three bytes of 1                  ->
//   0xDF, 0xDC, 0xDA write a curve    ->   then its 120 bytes, 2 check bytes, filler bytes
//                                     <-   V1 ESC: 1 (ready) before each of its 16 pairs
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/engine/engine.h"
#include "core/engine/send_account.h"
#include "core/link/serial_link.h"
#include "core/model/v1_settings.h"

namespace tessel {

class Session;
class SessionUi;
class TimerHost;

constexpr uint8_t kCmdProbe = 0xF9;
constexpr uint8_t kCmdIdentify = 0xD5;
constexpr uint8_t kCmdReadParams = 0xD8;
constexpr uint8_t kCmdReadVersion = 0xD7;
constexpr uint8_t kCmdEnterLoader = 0xD6;
constexpr uint8_t kReplyFullEsc = 0x2A;
constexpr uint8_t kReplyV1Block16 = 0x2B;
constexpr uint8_t kCurveHandshake = 0x80;
constexpr int kV1SendPairs = 16;  // the pairs of a V1 send on the serial adapter

// The steps of a read, one or a few bytes a tick; the numbers are what `read_step` holds and
// the wire trace shows.
enum class ReadStepId : int32_t {
  kIdentify = 0,              // 0xD5: a full ESC answers 0x2A
  kIdentifyVariant = 1,       // 0xD5 again: a V1-series ESC tells its block (0x2B: 16 bytes)
  kIdentifyVariantAgain = 2,  // and once more
  kAskSettings = 3,           // 0xD8
  kSettingsByte = 4,          // the block, a byte a tick
  kTakeSettings = 5,          // decoded into the image
  kAskVersion = 6,            // 0xD7
  kVersion = 7,               // its 7 characters
  kBoostCommand = 8,          // a curve's read command, then its data 4 bytes a tick
  kBoostData = 9,
  kBrakeCommand = 10,
  kBrakeData = 11,
  kThrottleCommand = 12,
  kThrottleData = 13,
  kEnd = 14,
};

// One step of a full ESC's send; `send_step` counts them.
struct FullSendStep {
  enum class Kind {
    kPair,           // a setting's [command, value] pair
    kEndOfSettings,  // 0xAF 0x10
    kOne,            // a byte of 1, whose echo tells that the pairs arrived
    kCurveCommand,   // a curve's write command (a linear curve is not written)
    kCurveData,      // its 120 bytes a byte a tick, then its check value and filler bytes
    kEnd,
  };
  Kind kind;
  const ParamField* field = nullptr;
  const CurveField* curve = nullptr;
};
// The steps of a full send, built once from the field and curve tables: the sendable
// settings in table order, the end of settings, three bytes of 1, then each curve's command
// and data (boost, brake, throttle). Each tick of the send takes the next.
const std::vector<FullSendStep>& FullSendPlan();

// The 16 pairs of a V1 send on the serial line, one a tick: the settings in block order, the
// cut-off as its code, the BEC (a filler pair on an ESC without one), then five pairs with
// fixed values.
std::array<WirePair, kV1SendPairs> V1SendPlan(const EscSettingsImage& image, bool bec);

// A V1-series ESC's read has no curves: after its version the bar fills in steps of this many
// until kV1ProgressEnd, where the read (and likewise a V1 send) ends.
constexpr int32_t kV1ReadProgressStep = 50;
constexpr int32_t kV1ProgressEnd = kSerialProgressTotal - 1;

// What the user chose on the transfer error question.
enum class ErrorChoice { kRetry, kSkip, kStop };

class SerialEngine : public Engine {
 public:
  SerialEngine(Session& session, SerialPort& port, PortEnumerator* enumerator);

  SerialLink link;

  LinkKind link_kind() const override { return kLinkSerial; }
  void StartRead(ReadStart how) override;
  void StartSend(SendStart how) override;
  void OnTimer(int id) override;
  std::string VersionText() const override;

  // Device-change notifications for serial ports.
  void OnPortRemoved();
  void OnPortArrived();
  // The version reply of the last read was complete (the firmware update needs it).
  bool version_known() const { return version_valid_; }
  // Identifications the ESC missed in a row during the current read.
  int read_failures() const { return read_failures_; }

 private:
  void Tick();
  void ReadStep();
  void SendStep();
  void SendStepV1();
  bool SendParameter(uint8_t command, uint8_t value);  // false: the pair failed
  ErrorChoice ConfirmTransferError();
  bool ReadCurveCommand(uint8_t command);
  void ReadCurveData(const CurveField& field);
  bool SendCurveCommand(const CurveField& field);
  bool SendCurveData(const CurveField& field);
  void FinishRead();
  void ReportReadDone();
  void ReportSendDone();
  bool CopyParamBlockToImage();  // false: a V1 block outside the V1 lists
  // The opening of a V1 send from the dialog or "Reset Default": the dialog's choices go
  // into the image and the first pair goes out at once.
  void OpenV1Send();
  // The pairs of a full-ESC send the ESC echoed back so far.
  void CountEchoedPairs();
  void LoseAdapter();
  // LinkSendByte that also fails when the echo does not come back: a line that returns
  // nothing has lost the ESC, and waiting out one echo after another would hang the tool.
  int SendByteEchoed(uint8_t byte);
  // The port went away under the engine (an I/O error closed it).
  bool PortLost() const { return link.is_open && !link.port().IsOpen(); }

  Session& session_;
  SessionStatus& status_;
  SessionUi& ui_;
  TimerHost& timers_;
  bool status_changed_ = false;
  int probe_failures_ = 0;
  int read_failures_ = 0;
  int param_count_ = 31;
  std::array<uint8_t, 32> param_bytes_{};
  std::array<uint8_t, kCurveWireBytes> curve_reply_{};  // the curve being read
  std::string version_text_;
  bool version_valid_ = false;
  uint64_t echo_base_ = 0;  // purged_rx_bytes when the first pair went out
};

}  // namespace tessel
