// libFuzzer target for the HID adapter's input reports into the HID session engine: reports of
// any bytes and counts (count bytes past the report's end included), any number of them per
// fetch, and an adapter that may vanish, on a virtual clock. Every tick stays within the
// engine's fixed waits, and reads, sends and firmware-free sessions never touch memory they do
// not own (the sanitizers watch that).
#include <cstddef>
#include <cstdint>

#include "core/engine/hid_engine.h"
#include "core/model/page_rules.h"
#include "tests/fuzz/fuzz_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  fuzz::FuzzWorld w(data, size, false);
  fuzz::FuzzHid device(w.in);
  Session& session = w.session;
  HidEngine hid(session, device);
  // The longest fixed waits of one HID tick: 5 and 500 ms after a settings packet.
  w.DispatchTimers(5 + 500 + 100 + 10, kTimerSession);
  session.Start();
  hid.Start();
  bool sent = false;
  w.Run(800, [&] {
    // Once the ESC has been read, the rest of the input answers a send.
    if (!sent && hid.EscIdentified() && !session.status.transfer_active) {
      sent = true;
      session.image.throttle_curve_mode = 1;
      session.Apply();
    }
  });
  return 0;
}
