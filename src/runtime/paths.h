#pragma once
#include <QString>

namespace rt {

// Directory of the running executable, without a trailing separator. Also
// holds the engine library.
QString programDirectory();

// Per-user application-data folder (~/.local/share on Linux, roaming AppData
// on Windows), with a trailing '/'.
QString userDataBase();

}  // namespace rt
