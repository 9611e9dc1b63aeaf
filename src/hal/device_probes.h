// Internal to device identification: the forms of its probes over the active
// device (files and folders of the device folder, string values of the
// device registry, the vendor library's register). Every probe answers no
// when what it looks at cannot be read; none reports anything.
#pragma once

#include "text/shared_string.h"

namespace druvex::device_probes {

// The path exists and is not a folder (a folder of a library's name is no library).
bool fileTest(const SharedString& path);
// The path exists and is a folder.
bool folderTest(const SharedString& path);
// The path exists, file or folder.
bool entryTest(const SharedString& path);
// A directory search for the path finds an entry, which a folder of that name
// also satisfies (the toolkit's form of a file test).
bool searchTest(const SharedString& path);

// The string value `valueName` of HKLM\`subKey`, read with read access; an
// empty text when it cannot be read or is no string.
SharedString registryText(const char16_t* subKey, const char16_t* valueName);
// Whether HKLM\`subKey` can be opened for reading.
bool registryKeyOpens(const char16_t* subKey);

// Loads the vendor's file-system library, reads its I2C register through the
// library's export and unloads it again: yes when the register's top three
// bits are 010. A missing library or export answers no.
bool i2cRegisterProbe();

}  // namespace druvex::device_probes
