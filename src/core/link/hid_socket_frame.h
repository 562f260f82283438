// The frame format between a host and a virtual HID adapter on a Unix-domain stream socket.
// Other tools speak it, so it does not change: every frame is exactly 65 bytes each way, a
// kind byte and then one 64-byte report, report id first.
//
//   'C'  host -> adapter   an output report through the control pipe (the hello)
//   'O'  host -> adapter   an interrupt output report (data: id 2, count 0..59, data, padding)
//   'I'  adapter -> host   an interrupt input report (same layout)
//
// Connecting is plugging the adapter in; either side closing the socket is pulling it out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessel {

constexpr size_t kHidSocketReportLength = 64;
constexpr size_t kHidSocketFrameLength = 1 + kHidSocketReportLength;
constexpr uint8_t kHidFrameControl = 'C';
constexpr uint8_t kHidFrameOutput = 'O';
constexpr uint8_t kHidFrameInput = 'I';

}  // namespace tessel
