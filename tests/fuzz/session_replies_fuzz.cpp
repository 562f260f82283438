// libFuzzer target for the serial reply stream into the session engine: replies of any bytes
// and lengths (and a device that may vanish) on a virtual clock. No tick may block longer than
// one echo wait and one reply wait, a V1 block is only ever taken when it fits the V1 lists,
// and the engine never sends while a curve it knows to be damaged would go out unasked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/engine/session.h"
#include "core/model/v1_settings.h"
#include "tests/fuzz/fuzz_port.h"

namespace {

void CheckV1FieldsInLists(const tessel::EscSettingsImage& image) {
  for (const tessel::V1SettingDef& def : tessel::V1Settings()) {
    const int32_t v = image.*(def.field);
    if (v < 0 || static_cast<size_t>(v) >= def.options.size()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  fuzz::FuzzWorld w(data, size, true);
  Session& session = w.session;
  fuzz::FuzzUi& ui = w.ui;
  ApplyV1Defaults(session.image);
  w.DispatchTimers(2000 + 200 + 50);  // one echo wait and one reply wait
  session.Start();
  // Enough ticks for a read and a whole send (about 130 and 400).
  int sends = 0;
  w.Run(1200, [&] {
    if (ui.v1_reads > 0) {
      CheckV1FieldsInLists(session.image);
      ui.v1_reads = 0;
    }
    const SessionStatus& s = session.status;
    // Once idle and connected, send what was read (once per input).
    if (sends < 1 && !s.transfer_active && s.SerialConnected()) {
      ++sends;
      // A V1 send carries no curves; a full send must ask before it writes a damaged one.
      const bool damaged = s.device_class == kDeviceFull && !session.DamagedCurvesToSend().empty();
      const int asked = ui.questions;
      bool started = s.device_class == kDeviceV1 ? session.V1SendSettings() : session.Apply();
      if (damaged && started && ui.questions == asked) std::abort();
      if (session.unrecognised_reply && s.device_class == kDeviceV1 && started) std::abort();
    }
  });
  return 0;
}
