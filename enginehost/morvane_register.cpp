// The install step that lets a DAW find everything: writes the two user-level
// preferences the VST3 plug-in reads, the engine host bundle's path and the
// product folder, for the product folder given (or the default one).
//
//   morvane-register [PRODUCT_FOLDER]
//   morvane-register --print-vst3-folder
//
// The second form prints the folder the VST3 bundle is installed into. Exit
// status 0 when both preferences were written, 1 otherwise (one line on
// stderr), 2 for bad arguments.
#include <iostream>
#include <string>

#include "enginehost/InstallLayout.h"
#include "vantor/config.h"

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "usage: morvane-register [PRODUCT_FOLDER]\n";
        return 2;
    }
    if (argc == 2 && std::string(argv[1]) == "--print-vst3-folder") {
        std::cout << morvane::userVst3Folder() << "\n";
        return 0;
    }
    const std::string product = argc == 2 ? argv[1] : morvane::productDataFolder();
    const std::string bundle = morvane::engineBundleIn(product);
    if (!vantor::writeConfigStringValue(morvane::kEngineDomain, morvane::kEnginePathKey, bundle,
                                        vantor::CONFIG_LEVEL_SYSTEM) ||
        !vantor::writeConfigStringValue(morvane::kProductDomain, morvane::kBaseDirectoryKey,
                                        product, vantor::CONFIG_LEVEL_SYSTEM)) {
        std::cerr << "morvane-register: cannot write the preferences\n";
        return 1;
    }
    std::cout << "morvane-register: " << morvane::kEngineDomain << " " << morvane::kEnginePathKey
              << " = " << bundle << "\n";
    std::cout << "morvane-register: " << morvane::kProductDomain << " "
              << morvane::kBaseDirectoryKey << " = " << product << "\n";
    return 0;
}
