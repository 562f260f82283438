// libFuzzer target for the lenient hex text reader and the damage check: whatever the text,
// the reader stays within its capacity, and an image the check lets through is a chain of
// records that ends exactly at its last byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/model/firmware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (f == nullptr) return 0;
  int read_error = 0;
  const tessel::FirmwareLoadResult load = tessel::ReadHexRecordsLenient(f, &read_error);
  std::fclose(f);
  if (read_error != 0) std::abort();
  if (load.image.size() > load.limit) std::abort();
  // Two hex digits make a byte at best, so the image is never more than half the text.
  if (load.image.size() > size) std::abort();
  if (load.stray && load.stray->offset >= size) std::abort();

  if (!tessel::CheckFirmwareImage(load)) {
    if (load.image.empty() || load.stray || load.data_beyond_limit) std::abort();
    size_t pos = 0;
    while (pos < load.image.size()) {
      const auto n = tessel::RecordLengthAt(load.image, pos);
      if (!n || *n > load.image.size() - pos) std::abort();
      pos += *n;
    }
    if (pos != load.image.size()) std::abort();
  }
  return 0;
}
