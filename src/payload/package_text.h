// The text of a one-file package (a licence text): the package is unpacked
// with plain names into a TextCollector instead of onto the target, from an
// entry of the installer archive or from an LZMA package file on the device,
// which is decoded as it is read, never held whole in memory.
#pragma once

#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallItem;
class PayloadArchive;

// Unpacks the archive entry named after the item (InstallItem::getName) into
// `text`. Answers the text's length; 0 when the entry is missing or does not
// unpack whole. The text keeps what was taken before a failure: a package
// with a second file fails after its first file became the text.
int extractPayloadFolder(PayloadArchive& archive, HalAccess& host, const InstallItem& item, SharedString& text);

// The same for an LZMA package file on the device, read through the host.
// 0 when the file cannot be opened, is empty or does not decode whole.
int extractPackageBuffer(HalAccess& host, const SharedString& path, SharedString& text);

}  // namespace druvex
