// `tesselarc-cli doctor [--json]`: what stands between this user and a working adapter, each
// with its fix. The checks live in platform/adapter_access; this is how they read.
#pragma once

#include <string>
#include <vector>

#include "platform/adapter_access.h"

namespace tessel {

std::string DoctorText(const DoctorReport& report);
std::string DoctorJson(const DoctorReport& report);

// 0 when every adapter present can be used (also when none is), 1 otherwise, 2 bad usage.
int CommandDoctor(const std::vector<std::string>& args);

}  // namespace tessel
