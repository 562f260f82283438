#include "core/engine/status_line.h"

namespace tessel {

namespace {

bool AdapterOpen(const SessionStatus& s) {
  if (s.link_kind == kLinkSerial) return s.adapter_state == kAdapterOpen;
  if (s.link_kind == kLinkHid) return s.adapter_state == kHidAdapterGreeted;
  return false;
}

bool Connected(const SessionStatus& s) {
  if (s.link_kind == kLinkSerial) return s.SerialConnected();
  if (s.link_kind == kLinkHid) return s.HidConnected();
  return false;
}

}  // namespace

Activity CurrentActivity(const SessionStatus& s, bool hid_update) {
  if (s.update_running || hid_update) return Activity::kUpdating;
  if (s.lcd_box_connected) return Activity::kLcdBox;
  if (!Connected(s)) return AdapterOpen(s) ? Activity::kNoEsc : Activity::kSearching;
  // Some sends (a V1-series ESC behind the HID adapter) run without `transfer_active`, and
  // a read is pending from its start until its end; either flag means work on the line.
  if (s.send_in_progress || (s.transfer_active && s.transfer_direction == kTransferSend)) {
    return Activity::kSending;
  }
  if (s.read_in_progress || s.transfer_active) return Activity::kReading;
  return Activity::kReady;
}

std::string ActivityText(Activity activity) {
  switch (activity) {
    case Activity::kSearching:
      return "Searching for the adapter…";
    case Activity::kNoEsc:
      return "Adapter found, no ESC answering";
    case Activity::kReading:
      return "Reading the ESC…";
    case Activity::kSending:
      return "Sending to the ESC…";
    case Activity::kUpdating:
      return "Updating the firmware… do not unplug the ESC";
    case Activity::kReady:
      return "ESC ready";
    case Activity::kLcdBox:
      return "LCD program box connected";
  }
  return {};
}

std::string PageAreaHint(Activity activity) {
  switch (activity) {
    case Activity::kSearching:
      return "CONNECT THE PROGRAMMING ADAPTER";
    case Activity::kNoEsc:
      return "CONNECT THE ESC TO THE ADAPTER AND POWER IT";
    case Activity::kReading:
      return "READING THE ESC…";
    case Activity::kSending:
      return "SENDING TO THE ESC…";
    case Activity::kUpdating:
      return "UPDATING THE FIRMWARE…";
    case Activity::kReady:
      return "CHOOSE A PAGE ABOVE";
    case Activity::kLcdBox:
      return "LCD PROGRAM BOX CONNECTED";
  }
  return {};
}

std::string DeviceKindText(const SessionStatus& s) {
  if (s.device_class == kDeviceFull) return "CAR ESC";
  if (s.device_class == kDeviceV1) {
    return s.v1_block_variant == kV1Block16 ? "V1-series ESC with BEC" : "V1-series ESC";
  }
  return "ESC";
}

std::string ReadOkText(const SessionStatus& status, const std::string& version) {
  std::string text = "Read OK: " + DeviceKindText(status);
  if (!version.empty()) text += ", software " + version;
  return text;
}

}  // namespace tessel
