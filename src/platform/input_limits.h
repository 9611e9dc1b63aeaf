// The most that a size, count or depth read from an input may ask of memory.
// Every reader of stored or downloaded data (installer archive, package
// streams, XML fragments, registry files, 7z backups, update bulletins) checks its input
// against these before it allocates, so that a damaged or hostile file fails
// cleanly instead of exhausting the device.
#pragma once

#include <cstdint>

namespace druvex {

// LZMA dictionary a decoder may allocate (archive entries use 16 MiB, backups 2 MiB).
constexpr std::uint64_t kMaxLzmaDictionarySize = 64ull * 1024 * 1024;
// Header of one package stream.
constexpr std::uint64_t kMaxPackageHeaderSize = 64ull * 1024 * 1024;
// Records (folders, files and data records) in the header of one package.
// Each folder or file becomes a node of the package's content tree, at some
// 150 to 250 bytes; a header of 64 MiB could otherwise ask for three million
// of them. Real packages hold some tens of thousands of files.
constexpr std::uint64_t kMaxPackageRecords = 1000000;
// One XML fragment held in memory for parsing.
constexpr std::uint64_t kMaxXmlFragmentSize = 16ull * 1024 * 1024;
// Folders nested inside one another in a package, an archive or the content
// of data.xml.
constexpr std::uint32_t kMaxFolderNesting = 256;
// Features nested inside one another in data.xml, and a custom page's layouts.
constexpr std::uint32_t kMaxFeatureNesting = 256;
// Keys nested inside one another below their root in a registry fragment or
// the device registry.
constexpr std::uint32_t kMaxRegistryKeyDepth = 256;
// UTF-16 units of one key name in the device registry, whose file names the
// whole path above a key in each key's section.
constexpr std::uint32_t kMaxRegistryKeyNameLength = 255;
// Elements nested inside one another in one XML document. It holds the
// written form of every tree the limits above allow (data.xml's features two
// levels each, then folders or registry keys), so that whatever was read can
// be written and read again.
constexpr std::uint32_t kMaxXmlDocumentDepth = 4 * kMaxFolderNesting;
// The directory of an installer archive (at least 34 bytes a record, so at
// most some 120,000 entries; an archive holds one per package, translation and
// theme).
constexpr std::uint64_t kMaxArchiveDirectorySize = 4ull * 1024 * 1024;
// Next header and header of a 7z archive.
constexpr std::uint64_t kMax7zHeaderSize = 16ull * 1024 * 1024;
// Bytes of one entry extracted into memory rather than streamed.
constexpr std::uint64_t kMaxInMemoryExtraction = 64ull * 1024 * 1024;
// Records of one update bulletin (versions, features, installers, languages,
// variables, component names together); each feature costs about a kilobyte.
constexpr std::uint32_t kMaxBulletinRecords = 50000;
// Elements open inside one another in an update bulletin (a real one nests
// five deep).
constexpr std::uint32_t kMaxBulletinNesting = 32;
// One translation file, from a language file, the installer archive or
// beside the program; a translation table maps no larger one.
constexpr std::uint64_t kMaxLanguageFileSize = 16ull * 1024 * 1024;
// An update bulletin as downloaded, and its document once unpacked.
constexpr std::uint64_t kMaxBulletinSize = 16ull * 1024 * 1024;
// A licence text as downloaded (a long one is some hundred kilobytes).
constexpr std::uint64_t kMaxLicenseTextSize = 4ull * 1024 * 1024;
// One line a script reads with HalOut:readTextFile, in bytes without its line
// feed. Scripts read settings and lists a line at a time; a longer line is
// refused with a script error rather than held in memory whole.
constexpr std::uint64_t kMaxScriptTextLine = 4ull * 1024 * 1024;
// The data of one value of the device registry, in bytes (a string value's
// text takes two bytes a character). Real values are some bytes to some
// kilobytes; the store rewrites the whole file after each change.
constexpr std::uint64_t kMaxRegistryValueSize = 4ull * 1024 * 1024;
// The device registry's file "registry.reg" as it is read and written; it
// holds every value in text, binary data at three characters a byte.
constexpr std::uint64_t kMaxRegistryFileSize = 16ull * 1024 * 1024;

}  // namespace druvex
