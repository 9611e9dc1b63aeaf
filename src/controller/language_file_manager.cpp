#include "controller/language_file_manager.h"

#include <string>

#include "controller/translation_map.h"
#include "core/app_log.h"
#include "core/app_paths.h"
#include "platform/input_limits.h"
#include "core/translate_text.h"
#include "data/culture_table.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "liveupdate/download_list.h"
#include "liveupdate/update_bulletin.h"
#include "payload/entry_decoder.h"
#include "payload/payload_archive.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"

namespace druvex {
namespace {

constexpr char16_t kLanguageFolderName[] = u"lng";
constexpr char16_t kLanguageFileExtension[] = u".lng";
constexpr char16_t kCurrentLanguageFile[] = u"CurrentLang.lng";
constexpr char16_t kTranslationMapEntry[] = u"TranslationMap";
constexpr char16_t kForcedTranslationFile[] = u"DRUVEX_Installer-Force.lng";
constexpr char16_t kProductTranslationFile[] = u"DRUVEX_Installer-%5.lng";

// LZMA-alone: five property bytes, then the unpacked size (all ones: unknown).
constexpr std::size_t kLzmaAloneHeaderBytes = 13;

const std::u16string& languageFilePrefix()
{
    static const std::u16string prefix = std::u16string(u"lng_") + kLanguageFileVersion + u"_";
    return prefix;
}

SharedString translationEntryName(std::uint16_t lcid)
{
    SharedString name;
    name.format(u"Translation_%d", static_cast<int>(lcid));
    return name;
}

}  // namespace

std::vector<LanguageListEntry> bulletinLanguageList(const UpdateBulletin& bulletin)
{
    std::vector<LanguageListEntry> languages;
    for (int index = 0; index < bulletin.getInstallerLanguageCount(); ++index) {
        const std::uint32_t localeId = bulletin.getInstallerLanguage(index)->localeId;
        LanguageListEntry entry;
        entry.lcid = static_cast<std::uint16_t>(localeId);
        if (localeId > 0xFFFF || !languageNativeName(entry.lcid, entry.name))
            continue;
        languages.push_back(std::move(entry));
    }
    return languages;
}

bool decodeLanguageFile(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& decoded)
{
    decoded.clear();
    if (packed.size() < kLzmaAloneHeaderBytes)
        return false;
    // The announced size comes from the file: refuse it before the decoder
    // sets up its dictionary and the output makes room for it.
    const std::uint64_t size = readLe64(packed.data() + 5);
    if (size != kPayloadUnknownSize && size > kMaxLanguageFileSize)
        return false;
    ByteVectorSink sink(decoded, kMaxLanguageFileSize);
    return decodeLzmaBuffer(packed, 0, sink);
}

LanguageFileManager::LanguageFileManager(LanguageFileController& controller, std::shared_ptr<HalAccess> host,
                                         bool online)
    : controller_(controller),
      host_(std::move(host)),
      programFolder_(AppPaths::instance().getProgramFolder()),
      languageFolder_(joinPath(programFolder_, SharedString(kLanguageFolderName))),
      online_(online)
{
    createDirectoryRecursive(*host_, languageFolder_);
}

LanguageFileManager::~LanguageFileManager() = default;

template <class Visit>
void LanguageFileManager::forEachLanguageFile(Visit visit) const
{
    std::unique_ptr<HalFileFinder> finder;
    if (!host_->createFileFinder(languageFolder_, finder) || !finder)
        return;
    do {
        if (!finder->isFolder() && !visit(finder->name()))
            return;
    } while (finder->next());
}

bool LanguageFileManager::loadTranslationMap()
{
    names_.clear();
    sources_.clear();
    scanLanguageFolder();

    PayloadArchive& archive = controller_.getPayloadArchive();
    const SharedString entry(kTranslationMapEntry);
    std::vector<std::uint8_t> bytes;
    if (archive.findEntry(entry) < 0 || !archive.extractTo(entry, bytes))
        return false;
    std::vector<TranslationMapRecord> records;
    const bool complete = parseTranslationMap(bytes, records);
    for (const TranslationMapRecord& record : records) {
        auto [known, added] = names_.try_emplace(record.lcid, record.name);
        if (!added && !known->second.isEmpty())
            continue;
        known->second = record.name;
        sources_[record.lcid] = LanguageSource::InstallerArchive;
    }
    if (!complete)
        logPrintf(u"The translation map of the installer archive is damaged (%d bytes)", static_cast<int>(bytes.size()));
    return complete;
}

void LanguageFileManager::scanLanguageFolder()
{
    forEachLanguageFile([this](const SharedString& fileName) {
        std::uint16_t lcid = 0;
        SharedString name;
        if (parseLanguageFileName(fileName.view(), lcid, name)) {
            names_[lcid] = name;
            sources_[lcid] = LanguageSource::LanguageFolder;
        }
        return true;
    });
}

bool LanguageFileManager::parseLanguageFileName(std::u16string_view fileName, std::uint16_t& lcid,
                                                SharedString& name)
{
    const std::u16string_view prefix = languageFilePrefix();
    const std::u16string_view suffix = kLanguageFileExtension;
    if (fileName.size() < prefix.size() + suffix.size() || !fileName.starts_with(prefix) ||
        !fileName.ends_with(suffix))
        return false;
    const std::u16string_view middle =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    const std::size_t separator = middle.find(u'_');
    if (separator == std::u16string_view::npos || separator < 2)
        return false;
    std::uint32_t value = 0;
    for (const char16_t digit : middle.substr(0, separator)) {
        if (digit < u'0' || digit > u'9')
            return false;
        value = value * 10 + static_cast<std::uint32_t>(digit - u'0');
        if (value > 0xFFFF)
            return false;
    }
    // A name with a separator or ".." would lead the paths made from it out
    // of the "lng" folder.
    const std::u16string_view language = middle.substr(separator + 1);
    if (!isSafeLanguageName(language))
        return false;
    lcid = static_cast<std::uint16_t>(value);
    name = SharedString(language);
    return true;
}

SharedString LanguageFileManager::languageFileName(std::uint16_t lcid, const SharedString& name) const
{
    SharedString fileName;
    fileName.format(u"lng_%s_%d_%s.lng", kLanguageFileVersion, static_cast<int>(lcid), name);
    return joinPath(languageFolder_, fileName);
}

void LanguageFileManager::applyBulletinLanguages(const std::vector<LanguageListEntry>& languages,
                                                 std::u16string_view formatVersion)
{
    if (!online_ || formatVersion != kLanguageFileVersion)
        return;
    for (const LanguageListEntry& language : languages) {
        if (!isSafeLanguageName(language.name.view()))
            continue;
        const auto known = names_.find(language.lcid);
        if (known != names_.end() && known->second == language.name)
            continue;
        names_[language.lcid] = language.name;
        sources_[language.lcid] = LanguageSource::UpdateServer;
    }
    removeDuplicateLanguageFiles();
}

void LanguageFileManager::removeDuplicateLanguageFiles()
{
    // Per LCID the file kept so far, by the name it has in the folder.
    std::map<std::uint16_t, SharedString> kept;
    forEachLanguageFile([&](const SharedString& fileName) {
        std::uint16_t lcid = 0;
        SharedString name;
        if (!parseLanguageFileName(fileName.view(), lcid, name))
            return true;
        auto [keptFile, first] = kept.try_emplace(lcid, fileName);
        if (first)
            return true;
        const auto known = names_.find(lcid);
        if (known != names_.end() && known->second == name) {
            deleteFileOrLog(*host_, joinPath(languageFolder_, keptFile->second));
            keptFile->second = fileName;
        } else {
            deleteFileOrLog(*host_, joinPath(languageFolder_, fileName));
        }
        return true;
    });
}

SharedString LanguageFileManager::findLanguageFile(std::uint16_t lcid) const
{
    SharedString found;
    forEachLanguageFile([&](const SharedString& fileName) {
        std::uint16_t fileLcid = 0;
        SharedString name;
        if (!parseLanguageFileName(fileName.view(), fileLcid, name) || fileLcid != lcid)
            return true;
        found = joinPath(languageFolder_, fileName);
        return false;
    });
    return found;
}

bool LanguageFileManager::copyDecodedFile(const SharedString& target, const SharedString& source)
{
    std::uint64_t size = 0;
    std::vector<std::uint8_t> packed;
    if (!host_->getFileSize(source, size) || size > kMaxLanguageFileSize || !readFileToBuffer(*host_, packed, source)) {
        logPrintf(u"Language file %s cannot be read", source);
        return false;
    }
    std::vector<std::uint8_t> decoded;
    if (!decodeLanguageFile(packed, decoded)) {
        logPrintf(u"Language file %s does not decode", source);
        return false;
    }
    return writeBufferToFile(*controller_.getHalIn(), decoded, target);
}

bool LanguageFileManager::copyLanguageFile(const SharedString& target, std::uint16_t lcid)
{
    const auto known = names_.find(lcid);
    const SharedString name = known != names_.end() ? known->second : SharedString();
    return copyDecodedFile(target, languageFileName(lcid, name));
}

bool LanguageFileManager::extractTranslationEntry(const SharedString& target, std::uint16_t lcid)
{
    PayloadArchive& archive = controller_.getPayloadArchive();
    const SharedString entry = translationEntryName(lcid);
    if (archive.findEntry(entry) < 0) {
        logPrintf(u"The installer archive holds no %s", entry);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    ByteVectorSink sink(bytes, kMaxLanguageFileSize);
    if (!archive.extract(entry, sink)) {
        logPrintf(u"The installer archive's %s cannot be extracted", entry);
        return false;
    }
    return writeBufferToFile(*controller_.getHalIn(), bytes, target);
}

std::size_t LanguageFileManager::queueMissingLanguageFiles(DownloadList& list, const UpdateBulletin& bulletin)
{
    list.clear();
    std::size_t queued = 0;
    for (const auto& [lcid, source] : sources_) {
        if (source != LanguageSource::UpdateServer)
            continue;
        const SharedString target = languageFileName(lcid, names_[lcid]);
        if (host_->exists(target, nullptr))
            continue;
        const SharedString url = bulletin.getInstallerLanguageUrl(lcid);
        if (url.isEmpty())
            continue;
        // The entry that gives the address also gives the file's digest.
        list.add(target, lcid, bulletin.findInstallerLanguage(lcid)->digest, url);
        ++queued;
    }
    return queued;
}

SharedString LanguageFileManager::productTranslationFile(std::uint16_t lcid) const
{
    if (controller_.isForcedTranslation())
        return SharedString(kForcedTranslationFile);
    SharedString culture;
    if (controller_.getLanguageIdsAvailableAsFiles().count(lcid) == 0 || !cultureNameOrCustom(lcid, culture))
        return SharedString();
    SharedString fileName(kProductTranslationFile);
    fileName.replace(u"%5", culture.c_str());
    return fileName;
}

void LanguageFileManager::saveCurrentLanguage(std::uint16_t lcid)
{
    clearTranslationTable();

    const SharedString productFile = productTranslationFile(lcid);
    if (!productFile.isEmpty()) {
        selectTranslationFile(joinPath(programFolder_, productFile).view());
        return;
    }
    const auto source = sources_.find(lcid);
    if (lcid == kEnglishLanguageId || source == sources_.end())
        return;

    const SharedString target = joinPath(controller_.getWorkFolder(), SharedString(kCurrentLanguageFile));
    bool written = false;
    if (source->second == LanguageSource::InstallerArchive) {
        written = extractTranslationEntry(target, lcid);
    } else {
        written = copyLanguageFile(target, lcid);
        if (!written) {
            // The known name can differ from the file's: take any file of the LCID.
            const SharedString other = findLanguageFile(lcid);
            written = !other.isEmpty() && copyDecodedFile(target, other);
        }
        if (!written)
            written = extractTranslationEntry(target, lcid);
    }
    if (!written)
        return;
    selectTranslationFile(target.view());
    // The table keeps the file mapped; the work folder need not keep it.
    deleteFileOrLog(*host_, target);
}

}  // namespace druvex
