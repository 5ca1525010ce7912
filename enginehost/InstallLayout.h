// Where the product lives once installed, and where the engine host looks for
// the engine plug-in. This is the one place that knows the layout:
//
// - the product folder ${XDG_DATA_HOME:-$HOME/.local/share}/sondrix-md holds
//   the engine plug-in "Brevado.so", the render command, the engine host
//   bundle and the data files (model profiles, rhythm samples);
// - the VST3 bundle goes to ~/.vst3/.
//
// The engine host finds "Brevado" beside itself: in the folder that holds the
// host program (the render command), the same folder the install puts both in.
// In the build tree both are built into build/data, the build's copy of the
// product folder.
#pragma once

#include <string>

namespace morvane {

inline constexpr const char* kBrevadoFileName = "Brevado.so";
inline constexpr const char* kModelProfileFileName = "md_profiles.riff";

// ${XDG_DATA_HOME:-$HOME/.local/share}/sondrix-md
std::string productDataFolder();
// $HOME/.vst3
std::string userVst3Folder();
// The folder holding the running program (empty when it cannot be told).
std::string hostProgramFolder();
// "Brevado.so" in the host program's folder.
std::string brevadoBesideHost();
// The folder part of `path` ("." when it has none).
std::string folderOf(const std::string& path);

} // namespace morvane
