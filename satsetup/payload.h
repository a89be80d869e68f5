// The four parts of the payload that travel inside satsetup.
#pragma once

#include <cstddef>
#include <span>

enum PayloadResource : int {
    kExtractionTool = 144,   // the 7-Zip console program (7za)
    kPackageArchive = 145,   // 7z archive of the installed tree
    kSettingsArchive = 146,  // 7z archive of the default satclock.ini
    kUninstallList = 147,    // the package's part of uninstall.txt
};

// The bytes of a resource; empty when satsetup carries no such resource.
std::span<const unsigned char> find_payload_resource(int id);
