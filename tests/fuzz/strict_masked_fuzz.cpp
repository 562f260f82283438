// libFuzzer target for the strict hex text reader and the masked image, the two readers of
// the HID update path: the first input byte picks the reader, the rest is the file. The
// strict image is never more than half the text and passes the damage check only when it is
// an exact chain of records without a stray character; the masked image is the file XOR 0xB6,
// cut at its capacity.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/model/firmware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool masked = data[0] & 1;
  const uint8_t* file = data + 1;
  const size_t length = size - 1;
  std::FILE* f = fmemopen(const_cast<uint8_t*>(file), length, "rb");
  if (f == nullptr) return 0;
  int read_error = 0;
  const tessel::FirmwareLoadResult load =
      masked ? tessel::ReadMaskedImage(f, &read_error) : tessel::ReadHexRecordsStrict(f, &read_error);
  std::fclose(f);
  if (read_error != 0 || load.image.size() > load.limit) std::abort();
  const bool accepted = !tessel::CheckFirmwareImage(load).has_value();

  if (masked) {
    const size_t want = length < load.limit ? length : load.limit;
    if (load.image.size() != want || load.data_beyond_limit != (length > load.limit)) std::abort();
    for (size_t i = 0; i < want; ++i) {
      if (load.image[i] != (file[i] ^ 0xB6)) std::abort();
    }
    if (accepted && load.data_beyond_limit) std::abort();
    return 0;
  }
  if (load.image.size() > length / 2) std::abort();
  if (accepted) {
    if (load.stray || load.unpaired || load.image.empty()) std::abort();
    size_t pos = 0;
    while (pos < load.image.size()) {
      const auto n = tessel::RecordLengthAt(load.image, pos);
      if (!n || *n > load.image.size() - pos) std::abort();
      pos += *n;
    }
  }
  return 0;
}
