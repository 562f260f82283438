// Where the desktop tool's runtime files (the skin pictures) are: under share/tesselarc when the
// tool is installed, beside the binary in a build folder. An installed tool never looks in the
// folder it was built in.
#pragma once

#include <QString>

namespace tessel {

// `program_folder` is the folder of the running binary; `relative_data` the way from an
// installed binary to its data (TESSEL_DATA_FROM_BIN, "../share/tesselarc" by default).
QString RuntimeFolder(const QString& program_folder, const QString& relative_data);
// The same for the running program.
QString RuntimeFolder();

}  // namespace tessel
