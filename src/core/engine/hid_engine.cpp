#include "core/engine/hid_engine.h"

#include <algorithm>
#include <cstdio>

#include "core/engine/status_line.h"
#include "core/link/esc_replies.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

constexpr int32_t kPollLost = 255;
constexpr int32_t kIdleTicksPerQuery = 3;  // a query goes out when more ticks than this passed
constexpr int32_t kLostAfterQueries = 4;   // reported lost when more went unanswered
constexpr int32_t kResendEveryTicks = 6;
constexpr size_t kV1MinBlock = 12;
constexpr size_t kV1MaxBlock = 18;
constexpr size_t kFullPacketBytes = 64;
constexpr size_t kFullPacketHalf = 32;
constexpr int kPairsInFirstReport = static_cast<int>(kFullPacketHalf / 2);
constexpr int32_t kProgressAfterSettings = 58;
constexpr int32_t kProgressPerChunk = 42;
constexpr std::array<size_t, 3> kChunkStart{0, 42, 84};
constexpr std::array<size_t, 3> kChunkLength{42, 42, 50};
constexpr size_t kCurveWireImage = 150;  // curve, check value, bytes of 1
constexpr size_t kCurveCopied = 140;

bool IsPresenceAnswer(uint8_t b) {
  return b == 0xD6 || (b >= 0x20 && b <= 0x2F);
}

// A V1 send with the BEC carries it in four pairs: the account counts settings, not pairs.
int V1SettingsInPairs(int32_t pairs, bool bec) {
  if (!bec) return pairs;
  constexpr int32_t kBefore = 9;  // the pairs before the BEC
  return std::min(pairs, kBefore) + (pairs > kBefore ? 1 : 0) + (pairs > kBefore + 4 ? 1 : 0);
}

}  // namespace

HidEngine::HidEngine(Session& session, HidDevice& device)
    : link(device, session.clock()),
      session_(session),
      status_(session.status),
      ui_(session.ui()),
      timers_(session.timers()),
      updater_(*this, session) {
  session_.AttachHidEngine(this);
}

HidEngine::~HidEngine() {
  session_.AttachHidEngine(nullptr);
}

void HidEngine::StartRead(ReadStart how) {
  if (how == ReadStart::kV1Dialog) {
    HidStartRead();
    return;
  }
  status_.progress_total = kHidProgressTotal;
  ReadAgain();
}

void HidEngine::StartSend(SendStart how) {
  switch (how) {
    case SendStart::kApply:
    case SendStart::kDefault:
      HidStartSend(false);
      break;
    case SendStart::kPresetPacket:
      HidStartSend(true);
      break;
    case SendStart::kResetDefault:
      ui_.V1WriteToImage();
      HidStartSend(false);
      break;
    case SendStart::kV1Dialog:
      ui_.V1WriteToImage();
      ui_.V1ShowStatus("Esc Sending......");
      HidStartSend(false);
      break;
  }
}

void HidEngine::Start() {
  link.hid_path = link.HidFindPath();
}

void HidEngine::OnTimer(int id) {
  if (id == kTimerHidProbe) {
    HidTryOpen();
  } else if (id == kTimerHidSession) {
    HidSessionTick();
  }
}

void HidEngine::HidTryOpen() {
  WireTrace::Step(link.trace(), "hid open");
  if (!link.HidOpenAndGreet()) return;
  timers_.Stop(kTimerSession);
  timers_.Stop(kTimerHidProbe);
  timers_.Arm(kTimerHidSession, kHidTickMs);
  status_.link_kind = kLinkHid;
  hid_step = kHidStepGreeting;
}

void HidEngine::HidSessionTick() {
  if (!link.IsOpen()) return;
  rx.fill(0);
  rx_count = 0;
  WireTrace::Step(
      link.trace(), "hid",
      hid_step == kHidStepFirmware ? static_cast<int>(updater_.Progress().step) : hid_step);
  if (!link.HidReceive(rx.data(), rx.size(), link.FetchSize(), &rx_count)) rx_count = 0;
  switch (hid_step) {
    case kHidStepGreeting:
      StepGreeting();
      break;
    case kHidStepPresence:
      StepPresence();
      break;
    case kHidStepVersion:
      StepVersion();
      break;
    case kHidStepSettings:
      StepSettings();
      break;
    case kHidStepSendAck:
      StepSendAck();
      break;
    case kHidStepReadCurves:
      StepReadCurves();
      break;
    case kHidStepWriteCurves:
      StepWriteCurves();
      break;
    case kHidStepFirmware:
      updater_.Tick({rx.data(), rx_count});
      break;
    default:
      break;
  }
}

void HidEngine::StepGreeting() {
  if (rx_count == 0 || rx[0] != kHidGreeting) return;
  adapter_version_text = AdapterVersionText(rx.data());
  status_.adapter_state = kHidAdapterGreeted;
  ui_.RedrawIndicators();
  SendByte(kHidCmdPresence);
  tick_count = 0;
  hid_step = kHidStepPresence;
}

void HidEngine::StepPresence() {
  if (updater_.AwaitConfirmWhilePolling({rx.data(), rx_count})) return;
  if (rx_count > 0 && IsPresenceAnswer(rx[0])) {
    OnPresenceAnswer(rx[0]);
    return;
  }
  if (poll_count > kLostAfterQueries && poll_count != kPollLost) ReportEscLost();
  if (tick_count > kIdleTicksPerQuery) {
    if (poll_count != kPollLost) ++poll_count;
    // Always the presence query: the command buffer may still hold a curve read or a
    // settings pair, which must never go out again while idle.
    SendByte(kHidCmdPresence);
    tick_count = 0;
  }
  ++tick_count;
}

void HidEngine::OnPresenceAnswer(uint8_t answer) {
  collect_count = 0;
  poll_count = 0;
  if (answer == kReplyFullEsc || answer == kHidLcdBoxReply) {
    status_.device_class = kDeviceFull;
  } else if (answer == kReplyV1Block16) {
    status_.device_class = kDeviceV1;
    status_.v1_block_variant = kV1Block16;
  } else if (answer != 0x28) {
    status_.device_class = kDeviceV1;
    status_.v1_block_variant = kV1Block14;
  }
  if (status_.device_class == kDeviceFull && status_.transfer_active) {
    status_.progress = 1;
    status_.progress_total = kHidProgressTotal;
    ui_.ShowProgress();
    ui_.SetProgress(static_cast<uint32_t>(status_.progress_total),
                    static_cast<uint32_t>(status_.progress));
  }
  // The LCD program box answers only after it restarted; during its update that means the
  // block transfer starts over.
  if (answer == kHidLcdBoxReply) {
    status_.lcd_box_answered = true;
    if (updater_.LcdUpdateActive()) updater_.ResumeLcdUpdate();
    return;
  }
  if (status_.esc_state != kHidEscPresent) status_.esc_state = kHidEscPresent;
  if (status_.device_class != kDeviceFull) {
    ui_.SwitchToPage(kPageV1Done);
    ui_.RedrawIndicators();
  }
  if (!esc_identified) {
    SendByte(kHidCmdVersion);
    hid_step = kHidStepVersion;
  }
}

void HidEngine::ReportEscLost() {
  if (link.trace()) link.trace()->NoAnswer(session_.clock().NowMs(), "the ESC stopped answering");
  status_.esc_state = kEscNone;
  esc_identified = false;
  status_.requested_page = kPageNone;
  status_.shown_page = kPageV1Done;
  status_.transfer_active = true;
  status_.curve_editor_open = false;
  ui_.ShowIndicators(false);
  ui_.SwitchToPage(kPageV1Done);
  ui_.RefreshMainWindow();
  poll_count = kPollLost;
  // A send that heard nothing ends as broken off (the caller says so); anything else the
  // engine was waiting for was the read.
  if (!session_.send_account.running()) {
    session_.FinishTransfer(kTransferRead, TransferOutcome::kEscLost);
  }
}

void HidEngine::StepVersion() {
  if (rx_count == 7) {
    poll_count = 0;
    esc_version_text = EscVersionText(rx.data());
    ui_.EnableUpdateButton();
    SendByte(kHidCmdSettings);
    collect_count = 0;
    hid_step = kHidStepSettings;
    return;
  }
  if (rx_count == 0 || rx_count > 7) {
    if (++poll_count < kHidVersionTries) {
      SendByte(kHidCmdVersion);
      return;
    }
    if (link.trace()) link.trace()->NoAnswer(session_.clock().NowMs(), "no version from the ESC");
    timers_.Stop(kTimerHidSession);
    status_.esc_state = kEscNone;
    ui_.ShowIndicators(false);
    ui_.RefreshMainWindow();
    status_.transfer_active = false;
    ui_.ReportFailure("Read failed: the ESC did not tell its version");
    session_.FinishTransfer(kTransferRead, TransferOutcome::kNoVersion);
    ui_.Ask(kHidVersionFailedText, kHidVersionFailedCaption, Buttons::kOk);
    poll_count = 0;
    timers_.Arm(kTimerHidSession, kHidTickMs);
    SendByte(kHidCmdIdle);
    hid_step = kHidStepPresence;
    return;
  }
  SendByte(kHidCmdIdle);
  hid_step = kHidStepPresence;
}

void HidEngine::AddProgress(int32_t amount) {
  SessionStatus& s = status_;
  s.progress = std::min(s.progress + amount, s.progress_total);
  if (s.progress_total <= 0) return;
  ui_.SetProgressCaption(TransferringCaption(s.progress * 100 / s.progress_total));
  ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
}

void HidEngine::StepSettings() {
  if (rx_count == 0) {
    // Silence: the identification starts over from the next presence answer.
    hid_step = kHidStepPresence;
    return;
  }
  if (status_.device_class == kDeviceFull) {
    const size_t take = std::min(rx_count, kFullEscParamCount - collect_count);
    std::copy_n(rx.begin(), take, reply.begin() + static_cast<long>(collect_count));
    collect_count += take;
    for (size_t i = 0; i < take; ++i) AddProgress(1);
    if (collect_count < static_cast<size_t>(kFullEscParamCount)) return;
    DecodeFullBlock(std::span(reply).first(kFullEscParamCount), session_.image);
    esc_identified = true;
    curve_phase = 0;
    collect_count = 0;
    hid_step = kHidStepReadCurves;
    AddProgress(kFullEscParamCount);
    ui_.RefreshMainWindow();
    return;
  }
  if (rx_count < kV1MinBlock) {
    SendByte(kHidCmdSettings);
    return;
  }
  esc_identified = true;
  esc_type = static_cast<int32_t>(rx_count);
  if (rx_count <= kV1MaxBlock) {
    if (!DecodeV1Block(std::span(rx).first(rx_count), status_.v1_block_variant,
                       session_.image)) {
      // Identified, so that idle polling does not ask for it again; refused until a read
      // succeeds.
      hid_step = kHidStepPresence;
      session_.RefuseUnrecognisedReply();
      return;
    }
    session_.unrecognised_reply = false;
    status_.device_class = kDeviceV1;
    ui_.SwitchToPage(kPageV1Done);
    status_.transfer_active = false;
  }
  if (status_.read_in_progress) {
    status_.read_in_progress = false;
    status_.curve_editor_open = false;
    status_.shown_page = 0;
    status_.requested_page = kPageV1Done;
    ui_.V1RefreshFromImage();
    ui_.ReportOutcome(ReadOkText(status_, session_.VersionText()));
    session_.FinishTransfer(kTransferRead, TransferOutcome::kComplete);
    ui_.RefreshMainWindow();
  }
  hid_step = kHidStepPresence;
}

void HidEngine::StepReadCurves() {
  const auto curves = CurveFields();  // boost, brake, throttle
  if (curve_phase == 0) {
    SendByte(curves[0].read_command);
    curve_phase = 1;
    collect_count = 0;
    marker_seen = false;
    return;
  }
  size_t start = 0;
  if (!marker_seen) {
    uint8_t* end = rx.data() + rx_count;
    uint8_t* marker = std::find(rx.data(), end, kHidCurveMarker);
    if (marker == end) {
      hid_step = kHidStepPresence;  // no curve answer: back to idle polling
      return;
    }
    marker_seen = true;
    start = static_cast<size_t>(marker - rx.data()) + 1;
  }
  if (collect_count < kHidCurveReplyBytes) {
    const size_t take = std::min(rx_count - start, kHidCurveReplyBytes - collect_count);
    std::copy_n(rx.begin() + static_cast<long>(start), take,
                reply.begin() + static_cast<long>(collect_count));
    collect_count += take;
    for (size_t i = 0; i < take; ++i) AddProgress(1);
    return;
  }
  // The whole answer is in; the next quiet tick ends it.
  if (rx_count > 0) return;
  collect_count = 0;
  StoreCurve(curves[static_cast<size_t>(curve_phase - 1)]);
  if (curve_phase < 3) {
    SendByte(curves[static_cast<size_t>(curve_phase)].read_command);
    ++curve_phase;
    marker_seen = false;
    return;
  }
  FinishRead();
}

void HidEngine::StoreCurve(const CurveField& field) {
  const auto answer = std::span(reply);
  session_.TakeCurveReply(field, DecodeCurveReply(answer.first(kCurveWireBytes),
                                                  answer.subspan(kCurveWireBytes, 2),
                                                  session_.image.*(field.curve)));
}

void HidEngine::FinishRead() {
  SessionStatus& s = status_;
  s.read_in_progress = false;
  ui_.RefreshPagesFromImage();
  ui_.ShowLoggedData();
  ui_.Beep();
  s.transfer_active = false;
  s.progress = 0;
  s.curve_editor_open = false;
  ui_.CloseProgress();
  s.shown_page = 0;
  s.requested_page = kPageV1Done;
  // As on the serial adapter: a full ESC read brings the lamps back (a lost ESC hid them).
  if (s.device_class == kDeviceFull) ui_.ShowIndicators(true);
  ui_.ReportOutcome(ReadOkText(s, session_.VersionText()));
  ui_.RefreshMainWindow();
  hid_step = kHidStepPresence;
  session_.WarnOfDamagedCurves();
  session_.FinishTransfer(kTransferRead, session_.ReadOutcome());
}

size_t HidEngine::BuildFullPacket(bool preset_packet) {
  const auto fields = FullEscFields();
  size_t n = 0;
  for (int i = 0; i < kFullEscSendableCount; ++i) {
    const ParamField& f = fields[static_cast<size_t>(i)];
    hid_tx[n++] = *f.set_command;
    hid_tx[n++] = static_cast<uint8_t>(session_.image.*(f.field));
  }
  if (!preset_packet) {
    hid_tx[n++] = kHidCmdV1Done;
    hid_tx[n++] = static_cast<uint8_t>(session_.image.esc_out);
  }
  hid_tx[n++] = kEndOfSettingsCommand;
  for (int i = 0; i < 5; ++i) hid_tx[n++] = 1;
  return n;
}

size_t HidEngine::BuildV1Packet() {
  const EscSettingsImage& im = session_.image;
  size_t n = 0;
  auto put = [&](uint8_t command, int32_t value) {
    hid_tx[n++] = command;
    hid_tx[n++] = static_cast<uint8_t>(value);
  };
  // The settings in block order, then the BEC four times over (16-byte block only), then the
  // cut-off code.
  for (const WirePair& pair : V1SettingPairs(im)) put(pair.command, pair.value);
  if (status_.v1_block_variant == kV1Block16) {
    for (int i = 0; i < 4; ++i) put(0xA1, im.v1_bec_voltage);
  }
  put(0xEC, V1CutoffCode(im.v1_cutoff_voltage));
  return n;
}

void HidEngine::HidStartSend(bool preset_packet) {
  // The send commands call this whatever the adapter; only the open HID adapter acts on it.
  if (status_.link_kind != kLinkHid || !link.IsOpen()) return;
  timers_.Stop(kTimerHidSession);
  WireTrace::Step(link.trace(), "hid send");
  link.HidFlush();
  hid_tx.fill(0);
  const bool full = status_.device_class == kDeviceFull;
  SendAccount& account = session_.send_account;
  if (full) {
    BuildFullPacket(preset_packet);
    tx_count = preset_packet ? 58 : 60;
    account.Begin(kFullEscSendableCount, static_cast<int>(CurveFields().size()));
  } else {
    ui_.V1WriteToImage();
    const auto bytes = static_cast<int32_t>(BuildV1Packet());
    tx_count = bytes - 2;
    account.Begin(V1SettingsInPairs(bytes / 2, status_.v1_block_variant == kV1Block16), 0);
  }
  curve_answer_due = false;
  if (Send(hid_tx.data(), 2)) account.any_byte_left = true;
  tx_offset = 0;
  tick_count = 0;
  silent_ticks = 0;
  hid_step = kHidStepSendAck;
  timers_.Arm(kTimerHidSession, kHidTickMs);
  if (full) {
    status_.progress_total = kHidProgressTotal;
    status_.progress = 1;
    ui_.SetProgressCaption(kCaptionSend);
    ui_.ShowProgress();
    ui_.SetProgressCaption(TransferringCaption(status_.progress * 100 / status_.progress_total));
    ui_.SetProgress(static_cast<uint32_t>(status_.progress_total),
                    static_cast<uint32_t>(status_.progress));
  }
}

// Neither step of a send has a time-out of its own: without this, an ESC unplugged from the
// adapter mid-send would leave the tool busy for good.
bool HidEngine::SendWentSilent() {
  if (rx_count > 0) {
    silent_ticks = 0;
    return false;
  }
  if (++silent_ticks <= kHidSendSilenceTicks) return false;
  silent_ticks = 0;
  SessionStatus& s = status_;
  s.send_in_progress = false;
  s.progress = 0;
  ReleaseBusyButton();
  ReportEscLost();
  session_.BreakOffSend(SendBreak::kEscSilent);
  ui_.CloseProgress();
  hid_step = kHidStepPresence;
  return true;
}

void HidEngine::StepSendAck() {
  if (SendWentSilent()) return;
  const bool ack = rx_count > 0 && (rx[0] == kHidAck || rx[rx_count - 1] == kHidAck);
  if (!ack) {
    if (++tick_count % kResendEveryTicks == 0) Send(hid_tx.data(), 2);
    return;
  }
  tick_count = 0;
  if (status_.device_class == kDeviceFull) {
    session_.send_account.settings_taken = 1;  // the first pair, answered on its own
    Send(hid_tx.data(), kFullPacketHalf);
    link.DelayMs(5);
    Send(hid_tx.data() + kFullPacketHalf, kFullPacketBytes - kFullPacketHalf);
    link.DelayMs(500);
    curve_cmd_due = true;
    curve_chunk = 0;
    curve_phase = 0;
    hid_step = kHidStepWriteCurves;
    status_.progress = kProgressAfterSettings;
    return;
  }
  CountV1Pairs(tx_offset / 2 + 1);
  if (tx_count >= 2) {
    tx_count -= 2;
    tx_offset += 2;
    Send(hid_tx.data() + tx_offset, 2);
    return;
  }
  if (tx_count == 1) Send(hid_tx.data() + tx_offset + 2, 1);
  tx_count = 0;
  status_.send_in_progress = false;
  status_.transfer_active = false;
  session_.send_account.Complete();
  ui_.V1ShowSendDone();
  ui_.ReportOutcome(kSentOkText);
  session_.FinishTransfer(kTransferSend, TransferOutcome::kComplete);
  link.DelayMs(100);
  if (esc_type != 12 && esc_type != 15) {
    SendByte(kHidCmdV1Done);
    link.DelayMs(10);
  }
  hid_step = kHidStepPresence;
}

void HidEngine::StepWriteCurves() {
  if (SendWentSilent()) return;
  AddProgress(1);
  if (curve_chunk != 0) {
    SendCurveChunk();
    return;
  }
  if (rx_count == 0) return;
  SendAccount& account = session_.send_account;
  if (curve_phase >= 4) {
    if (curve_answer_due) ++account.curves_taken;
    curve_answer_due = false;
    FinishSend();
    return;
  }
  const uint8_t last = rx[rx_count - 1];
  const bool accepted = curve_phase == 0 ? last == kHidAck
                                         : (last == kHidAck || last == kHidCurveMarker ||
                                            (curve_phase >= 2 && last == 0x00));
  if (!accepted) return;
  if (curve_answer_due && last != kHidCurveMarker) {
    ++account.curves_taken;
    curve_answer_due = false;
  }
  if (curve_phase == 0) {
    // The ESC answers each report of the packet that brought it pairs: one answer vouches
    // for the first report's pairs only.
    const auto answers = std::count(rx.begin(), rx.begin() + static_cast<long>(rx_count), kHidAck);
    account.settings_taken = answers >= 2 ? kFullEscSendableCount : kPairsInFirstReport;
    curve_phase = 1;
    curve_cmd_due = true;
  }
  const CurveField& field = CurveFields()[static_cast<size_t>(curve_phase - 1)];
  if (curve_cmd_due && (last == kHidAck || last == kHidCurveMarker)) {
    SendByte(field.write_command);
    curve_cmd_due = false;
    return;
  }
  if (last != kHidCurveMarker) return;
  std::array<uint8_t, kCurveWireImage> wire{};
  wire.fill(1);
  const CurveData& curve = session_.image.*(field.curve);
  for (int i = 0; i < kCurveWireBytes; ++i) wire[static_cast<size_t>(i)] = CurveWireByte(curve, i);
  const auto check = CurveCheckBytes(curve);
  wire[kCurveWireBytes] = check[0];
  wire[kCurveWireBytes + 1] = check[1];
  std::copy_n(wire.begin(), kCurveCopied, hid_tx.begin());
  curve_chunk = 1;
  if (curve_phase == 1 || curve_phase == 2) curve_cmd_due = true;
  SendCurveChunk();
}

void HidEngine::SendCurveChunk() {
  const size_t i = static_cast<size_t>(curve_chunk - 1);
  Send(hid_tx.data() + kChunkStart[i], kChunkLength[i]);
  AddProgress(kProgressPerChunk);
  if (++curve_chunk > 3) {
    curve_chunk = 0;
    ++curve_phase;
    curve_answer_due = true;
  }
}

void HidEngine::FinishSend() {
  SessionStatus& s = status_;
  hid_step = kHidStepPresence;
  s.transfer_active = false;
  s.send_in_progress = false;
  s.progress = 0;
  ReleaseBusyButton();
  ui_.CloseProgress();
  session_.send_account.Complete();
  ui_.ReportOutcome(kSentOkText);
  ui_.RefreshMainWindow();
  session_.FinishTransfer(kTransferSend, TransferOutcome::kComplete);
}

void HidEngine::CountV1Pairs(int32_t pairs) {
  SendAccount& account = session_.send_account;
  if (!account.running()) return;
  account.settings_taken = std::min(
      V1SettingsInPairs(pairs, status_.v1_block_variant == kV1Block16), account.settings_total);
}

void HidEngine::HidStartRead() {
  timers_.Stop(kTimerHidSession);
  WireTrace::Step(link.trace(), "hid read");
  link.HidFlush();
  collect_count = 0;
  hid_step = kHidStepSettings;
  SendByte(kHidCmdSettings);
  timers_.Arm(kTimerHidSession, kHidTickMs);
}

void HidEngine::ReadAgain() {
  if (status_.link_kind != kLinkHid || !link.IsOpen()) return;
  timers_.Stop(kTimerHidSession);
  WireTrace::Step(link.trace(), "hid read");
  link.HidFlush();
  // The next presence answer finds the ESC unidentified and reads it as on arrival.
  esc_identified = false;
  poll_count = 0;
  collect_count = 0;
  SendByte(kHidCmdPresence);
  tick_count = 0;
  hid_step = kHidStepPresence;
  timers_.Arm(kTimerHidSession, kHidTickMs);
}

void HidEngine::ResetToReadMode() {
  SessionStatus& s = status_;
  s.requested_page = kPageNone;
  s.shown_page = kPageV1Done;
  s.adapter_state = kAdapterNone;
  s.esc_state = kEscNone;
  s.link_kind = kLinkNone;
  s.device_class = kDeviceUnknown;
  poll_count = 0;
  esc_identified = false;
  s.page_shown = false;
  s.curve_editor_open = false;
  s.update_running = false;
  session_.PrepareRead();
  s.progress_total = kSerialProgressTotal;
  ui_.SetStatusLabels("ESC", "USB");
  ui_.SetProgressCaption(kCaptionRead);
  timers_.Arm(kTimerSession, 500);
  timers_.Arm(kTimerHidProbe, 500);
}

bool HidEngine::CanEnterLcdMode() const {
  return status_.link_kind == kLinkHid && status_.adapter_state == kHidAdapterGreeted &&
         status_.esc_state == kEscNone;
}

bool HidEngine::CanEnterEscMode() const {
  return status_.link_kind == kLinkHid && status_.esc_state != kEscNone &&
         status_.lcd_box_connected;
}

bool HidEngine::EnterLcdMode() {
  if (!CanEnterLcdMode()) return false;
  SessionStatus& s = status_;
  s.lcd_box_connected = true;
  s.device_class = kDeviceFull;
  ui_.SetHardwareText(adapter_version_text);
  ui_.EnableUpdateButton();
  s.requested_page = kPageInformation;
  s.shown_page = kPageV1Done;
  ui_.SwitchToPage(kPageInformation);
  ui_.SetStatusLabels("LCD", "USB");
  ui_.RefreshDeviceView();
  ui_.ShowEscControls(false);
  ui_.RefreshMainWindow();
  return true;
}

bool HidEngine::EnterEscMode() {
  if (!CanEnterEscMode()) return false;
  SessionStatus& s = status_;
  ui_.SetHardwareText(kHardwareTextDefault);
  ui_.EnableUpdateButton();
  s.lcd_box_connected = false;
  ui_.SetStatusLabels("ESC", "USB");
  s.requested_page = kPageGeneral;
  ui_.HideVersionFields();
  ui_.ShowEscControls(true);
  ui_.SwitchToPage(kPageGeneral);
  ui_.RefreshDeviceView();
  ui_.RefreshMainWindow();
  return true;
}

void HidEngine::OnDeviceArrived() {
  link.hid_path = link.HidFindPath();
  if (link.hid_path.empty()) return;
  timers_.Arm(kTimerHidProbe, kHidArrivalProbeMs);
  // A session running on the serial adapter keeps its engine.
  if (status_.link_kind != kLinkSerial) timers_.Stop(kTimerSession);
  status_.progress_total = kHidProgressTotal;
  status_.transfer_active = true;
  ui_.RedrawIndicators();
}

void HidEngine::OnDeviceRemoved(const std::string& path) {
  // A back-end that already closed the vanished device cannot name it any more; the path it
  // was opened by stands in.
  std::string open_path = link.OpenPath();
  if (open_path.empty()) open_path = link.hid_path;
  if (open_path.empty() || open_path != path) return;
  // The box restarts (and so vanishes for a moment) while its firmware is updated.
  if (status_.lcd_box_connected && updater_.LcdUpdateActive()) return;
  const bool updating = updater_.Running();
  Disconnect();
  if (updating) updater_.OnAdapterLost(/*tell_user=*/true);
}

void HidEngine::Disconnect() {
  SessionStatus& s = status_;
  const bool reading = s.transfer_active && s.read_in_progress && !session_.send_account.running();
  link.HidClose();
  s.lcd_box_connected = false;
  s.adapter_state = kAdapterNone;
  s.esc_state = kEscNone;
  ui_.SetStatusLabels("ESC", "USB");
  ui_.RedrawIndicators();
  link.hid_path.clear();
  s.link_kind = kLinkNone;
  timers_.Stop(kTimerHidSession);
  s.transfer_active = false;
  // The next adapter starts from its greeting and reads the ESC afresh.
  hid_step = kHidStepNone;
  esc_identified = false;
  poll_count = 0;
  s.send_in_progress = false;
  s.read_in_progress = true;
  s.transfer_direction = kTransferRead;
  // An update cannot go on without the adapter; the next one must be able to start.
  updater_.OnAdapterLost(/*tell_user=*/false);
  // Whatever comes back after this (the adapter, its greeting, a fresh read) cannot finish
  // the send that was cut off.
  session_.BreakOffSend(SendBreak::kAdapterLost);
  if (reading) session_.FinishTransfer(kTransferRead, TransferOutcome::kAdapterLost);
  ReleaseBusyButton();
  ui_.CloseProgress();
  ui_.RefreshMainWindow();
}

// The Apply or Default button that started a send is drawn pressed until the send ends,
// however it ends.
void HidEngine::ReleaseBusyButton() {
  SessionStatus& s = status_;
  const bool pressed = s.busy_button == kBusyApply || s.busy_button == kBusyDefault;
  s.busy_button = kBusyNone;
  if (pressed) ui_.RedrawButtons();
}

void HidEngine::PollAgain() {
  if (hid_step == kHidStepFirmware) poll_count = 0;
  hid_step = kHidStepPresence;
}

void HidEngine::HidClose() {
  if (link.IsOpen()) {
    timers_.Stop(kTimerHidSession);
    link.HidClose();
  }
}

}  // namespace tessel
