#include "core/app/setup_link_view.h"

#include "core/model/settings_file.h"
#include "core/model/setup_link.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

bool V1Bec(const Session& session) {
  return session.status.v1_block_variant == kV1Block16;
}

// Decodes the link over what the ESC holds and checks that this ESC takes it.
bool Decode(const Session& session, const std::string& link, EscSettingsImage& image,
            std::string& refusal) {
  image = session.image;
  SetupInfo info;
  if (!DecodeSetupLink(link, image, refusal, &info)) return false;
  const SessionStatus& s = session.status;
  if (auto kind = SetupKindRefusal(info, s.device_class, s.v1_block_variant)) {
    refusal = *kind;
    return false;
  }
  return true;
}

std::string Summary(size_t count) {
  if (count == 0) return "No differences: this ESC and the setup link hold the same settings.";
  return "This ESC against the setup link: " + std::to_string(count) + " difference" +
         (count == 1 ? "" : "s") + ".";
}

}  // namespace

std::string ShareSetupLink(Tool& tool, const std::string& base) {
  Session& session = tool.session();
  if (!tool.Connected() || session.status.lcd_box_connected) return {};
  const int32_t device_class = session.status.device_class;
  if (device_class == kDeviceFull) {
    if (!tool.IsBusy()) {
      tool.ui().CollectPageSelections();
      session.LoadAllCurves();
    }
    return SetupLink(base, session.image, device_class, false);
  }
  EscSettingsImage shown = session.image;
  const auto& settings = V1Settings();
  const auto& selected = tool.pages().v1_selected();
  for (size_t i = 0; i < settings.size() && i < selected.size(); ++i) {
    shown.*(settings[i].field) = selected[i];
  }
  return SetupLink(base, shown, device_class, V1Bec(session));
}

LinkComparison CompareSetupLink(Tool& tool, const std::string& link) {
  LinkComparison out;
  Session& session = tool.session();
  if (!tool.Connected() || session.status.lcd_box_connected) {
    out.refusal = "Connect the ESC to compare the setup link with what it holds";
    return out;
  }
  out.device_class = session.status.device_class;
  if (out.device_class == kDeviceFull && !tool.IsBusy()) {
    tool.ui().CollectPageSelections();
    session.LoadAllCurves();
  }
  EscSettingsImage linked;
  if (!Decode(session, link, linked, out.refusal)) return out;
  out.differences = CompareSetups(
      session.image, linked,
      out.device_class == kDeviceV1 ? CompareScope::kV1 : CompareScope::kFile, V1Bec(session));
  out.summary = Summary(out.differences.size());
  return out;
}

bool ApplySetupLink(Tool& tool, const std::string& link) {
  Session& session = tool.session();
  if (tool.IsBusy() || !tool.Connected() || session.status.lcd_box_connected) return false;
  if (session.status.device_class == kDeviceFull) {
    // The import asks about a refused link itself, as it does about a damaged file.
    return tool.ImportLink(link) && tool.PressButton(ButtonId::kApply);
  }
  EscSettingsImage linked;
  std::string refusal;
  if (!Decode(session, link, linked, refusal)) {
    tool.ui().AskQuestion(
        Question{kImportErrorText, kCompareLinkCaption, Buttons::kOk, refusal, {}, {}});
    tool.ReportFailure("Nothing was sent: " + refusal);
    return false;
  }
  // Chosen in the V1 view as the user would, so that the view shows what goes out.
  const auto& settings = V1Settings();
  for (size_t i = 0; i < settings.size(); ++i) {
    if (settings[i].bec_only && !V1Bec(session)) continue;
    tool.V1Choose(static_cast<int>(i), linked.*(settings[i].field));
  }
  return tool.V1Send();
}

}  // namespace tessel
