// libFuzzer target for the firmware record walk and the file-name version: the check must
// accept exactly the images whose records the updaters can walk to the last byte without
// reading past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "core/model/firmware_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> image(data, size);
  const bool accepted = !tessel::CheckRecordChain(image).has_value();

  size_t pos = 0;
  bool walked = true;
  while (pos < image.size()) {
    const auto n = tessel::RecordLengthAt(image, pos);
    if (!n || *n > image.size() - pos) {
      walked = false;
      break;
    }
    pos += *n;
  }
  if (accepted != walked) std::abort();

  const tessel::FileVersion v =
      tessel::FileVersionFromName(std::string_view(reinterpret_cast<const char*>(data), size));
  if (v.path.size() > size || v.name.size() > v.path.size()) std::abort();
  if (v.number && *v.number > 0xFFFFFF) std::abort();
  return 0;
}
