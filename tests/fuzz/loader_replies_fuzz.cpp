// libFuzzer target for the firmware loader's replies: loader entry answers, echoes and verdicts
// of any bytes and lengths. The update always ends, never counts more than the image as
// accepted, sends a record at most four times, and reports success only when the ESC accepted
// every byte.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/engine/serial_update.h"
#include "tests/fuzz/fuzz_port.h"

namespace {

// Three records: 6 + 130 + 3 bytes.
const char kFirmwareText[] =
    "0004 01020304 0080 "
    "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
    "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F"
    "404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5F"
    "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F "
    "0001 AA\n";
constexpr size_t kImageSize = 6 + 130 + 3;

const std::string& FirmwareFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir ? dir : "/tmp") + "/tessel-loader-fuzz-" +
                    std::to_string(getpid()) + "-ESC0130.xup";
    if (std::FILE* f = std::fopen(p.c_str(), "wb")) {
      std::fputs(kFirmwareText, f);
      std::fclose(f);
    }
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  fuzz::FuzzWorld w(data, size, false);
  ManualClock& clock = w.clock;
  Session& session = w.session;
  w.ui.file = FirmwareFile();
  session.link.SetExplicitDevice("fuzz0");
  if (session.link.LinkOpen() != 0) std::abort();
  session.status.link_kind = kLinkSerial;
  session.status.adapter_state = kAdapterOpen;
  session.status.esc_state = kEscDetected;
  session.status.transfer_active = false;
  session.status.read_in_progress = session.status.send_in_progress = false;

  SerialUpdateDetails d;
  const uint64_t start = clock.NowMs();
  const SerialUpdateOutcome outcome =
      RunSerialFirmwareUpdate(session, SerialUpdateVariant::kInformationPage, &d);
  if (d.accepted > kImageSize) std::abort();
  if (outcome == SerialUpdateOutcome::kUpdated && d.accepted != kImageSize) std::abort();
  if (d.record_attempts > 3 * kRecordAttempts) std::abort();
  if (session.status.update_running) std::abort();
  // Every wait is bounded: the version, four loader entries, and per attempt an echo and a
  // verdict.
  if (clock.NowMs() - start > 100 + 4 * 3000 + 12 * (3 * 1000 + 2000 + 2000)) std::abort();
  return 0;
}
