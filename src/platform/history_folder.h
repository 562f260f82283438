// Where the settings history lives: the user's data folder for the application, so that the
// desktop tool and tesselarc-cli share it (both run as application "tesselarc", no
// organisation: $XDG_DATA_HOME/tesselarc/history, by default ~/.local/share/tesselarc/history).
#pragma once

#include <string>

namespace tessel {

constexpr const char* kApplicationName = "tesselarc";

// Needs a Q(Core)Application named kApplicationName.
std::string HistoryFolder();

}  // namespace tessel
