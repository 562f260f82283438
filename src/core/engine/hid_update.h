// Firmware updates through the HID adapter, run as steps 6 to 15 of the HID session engine,
// one step per tick of timer 106. Two conversations exist.
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

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/model/firmware_preflight.h"

namespace tessel {

enum HidUpdateStep : int32_t {
  kHidStepWaitReady = 6,
  kHidStepBlockHeader = 7,
  kHidStepBlock = 8,
  kHidStepBlockAck = 9,
  kHidStepLastBlock = 10,
  kHidStepComplete = 11,
  kHidStepRestart = 12,
  kHidStepWaitLoader = 13,
  kHidStepNextRecord = 14,
  kHidStepVerdict = 15,
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

}  // namespace tessel
