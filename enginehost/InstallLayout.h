// Where the product lives once installed, and where the engine host looks for
// the engine plug-in. This is the one place that knows the layout:
//
// - the product folder ${XDG_DATA_HOME:-$HOME/.local/share}/sondrix-md holds
//   the engine plug-in "Brevado.so", the render command, the engine host
//   bundle "Morvane Engine.bundle" and the data files (model profiles, rhythm
//   samples);
// - the VST3 bundle "sondrix MD.vst3" goes to ~/.vst3/;
// - two user-level preferences tell the VST3 plug-in where the rest is:
//   "path" of domain "com.vantor.morvane" names the engine host bundle, and
//   "base_dir" of the plug-in's own domain ("com." + vendor + "." + product)
//   names the product folder.
//
// The engine host finds "Brevado" beside itself: the render command in the
// folder that holds it, the engine host bundle in the folder that holds the
// bundle. In the build tree all of them are built into build/data, the
// build's copy of the product folder.
#pragma once

#include <string>

namespace morvane {

inline constexpr const char* kBrevadoFileName = "Brevado.so";
inline constexpr const char* kModelProfileFileName = "md_profiles.riff";
inline constexpr const char* kEngineBundleName = "Morvane Engine.bundle";
inline constexpr const char* kEngineExecutableInBundle = "Contents/x86_64-linux/Morvane Engine.so";
inline constexpr const char* kVst3BundleName = "sondrix MD.vst3";
// The preferences the VST3 plug-in reads.
inline constexpr const char* kEngineDomain = "com.vantor.morvane";
inline constexpr const char* kEnginePathKey = "path";
inline constexpr const char* kProductDomain = "com.Vantor.sondrix MD";
inline constexpr const char* kBaseDirectoryKey = "base_dir";

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
// The engine host bundle in `productFolder`.
std::string engineBundleIn(const std::string& productFolder);
// The product folder that holds the bundle whose executable is `executable`
// (the folder holding <bundle>/Contents/x86_64-linux/<name>.so).
std::string productFolderOfBundleExecutable(const std::string& executable);

} // namespace morvane
