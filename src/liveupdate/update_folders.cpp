#include "liveupdate/update_folders.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_log.h"
#include "core/path_text.h"
#include "core/time_stamp.h"
#include "core/wall_clock.h"
#include "data/content_tree.h"
#include "data/culture_table.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "liveupdate/live_update_context.h"
#include "text/char_class.h"

namespace druvex {

namespace {

std::u16string lowered(std::u16string_view text)
{
    std::u16string copy(text);
    for (char16_t& ch : copy)
        ch = toLowerChar(ch);
    return copy;
}

// The pattern's root, folder and file parts.
struct TemplateParts {
    SharedString root;
    SharedString folder;
    SharedString file;
};

TemplateParts splitPattern(const LanguageTemplate& languageTemplate)
{
    TemplateParts parts;
    splitTargetPath(languageTemplate.pattern.view(), parts.root, parts.folder, parts.file);
    return parts;
}

bool matchesFilePattern(std::u16string_view fileName, const LanguageTemplate& languageTemplate,
                        std::uint16_t& languageId)
{
    return wildcardMatch(lowered(fileName), lowered(splitPattern(languageTemplate).file.view()), languageId);
}

// The custom language file may spell its culture as "custm", which the
// culture table behind "%5" does not hold.
bool matchesCustomPattern(std::u16string_view fileName, const LanguageTemplate& languageTemplate,
                          std::uint16_t& languageId)
{
    const std::u16string name = lowered(fileName);
    std::u16string pattern = lowered(splitPattern(languageTemplate).file.view());
    bool matched = wildcardMatch(name, pattern, languageId);
    const std::size_t culture = pattern.find(u"%5");
    if (!matched && culture != std::u16string::npos) {
        pattern.replace(culture, 2, kCustomCultureName);
        matched = wildcardMatch(name, pattern, languageId);
    }
    if (matched && languageId == 0)
        languageId = kCustomLanguageId;
    return matched;
}

// What a language file gives its feature.
struct LanguageFile {
    SharedString path;
    SharedString name;
    std::uint64_t size = 0;
    SharedString digest;
    std::int64_t timestamp = 0;
};

bool readLanguageFile(HalAccess& host, const SharedString& folder, const SharedString& name, LanguageFile& file)
{
    file.path = joinPath(folder, name);
    file.name = name;
    if (!host.getFileSize(file.path, file.size)) {
        logPrintf(u"The language file %s is passed over: its size cannot be read (error %u)", file.path,
                  host.getLastError());
        return false;
    }
    file.digest = computeFileSha1Hex(host, file.path);
    if (file.digest.isEmpty()) {
        logPrintf(u"The language file %s is passed over: it cannot be read (error %u)", file.path,
                  host.getLastError());
        return false;
    }
    std::uint64_t lastWrite = 0;
    if (host.getFileTimes(file.path, nullptr, nullptr, &lastWrite) && lastWrite >= kUnixEpochIn100ns)
        file.timestamp = static_cast<std::int64_t>((lastWrite - kUnixEpochIn100ns) / 10'000'000);
    else
        file.timestamp = TimeStamp::now().seconds;
    return true;
}

ContentFile* firstFile(ContentItem& item)
{
    if (item.isFile())
        return static_cast<ContentFile*>(&item);
    for (int i = 0; i < item.childCount(); ++i) {
        if (ContentFile* file = firstFile(*item.childAt(i)))
            return file;
    }
    return nullptr;
}

// A new sub-feature of `parent` for the language, named by its display name.
FeaturePtr addLanguageFeature(Feature& parent, std::uint16_t languageId, const SharedString& name)
{
    FeaturePtr feature = makeFeaturePtr();
    feature->setName(name);
    feature->setVersion(parent.getVersion());
    feature->setLocaleId(languageId);
    if (parent.addSubFeature(feature))
        return feature;
    logPrintf(u"The language feature %s cannot be added to %s", name, parent.getName());
    return nullptr;
}

// The file becomes the feature's only content, placed where the template
// puts its language files, and its local package source.
void takeLanguageFile(LiveUpdateContext& context, Feature& feature, const LanguageTemplate& languageTemplate,
                      const LanguageFile& file)
{
    const TemplateParts parts = splitPattern(languageTemplate);
    setContentPath(feature, joinPath(parts.root, parts.folder).view(), file.name.view());
    if (ContentFile* node = firstFile(*feature.contentFolder())) {
        node->setOrigPath(file.path);
        node->setSize(file.size);
    }
    feature.setReqSpace(static_cast<std::int64_t>(file.size));
    feature.setCompressedSize(static_cast<std::int64_t>(file.size));
    feature.setDigest(file.digest);
    feature.setTimestamp(file.timestamp);
    // The source's key holds the Digest, so it is registered only now.
    WStringMultimap& sources = context.getPackageSources();
    std::vector<PackageSource> existing;
    sources.equalRange(feature, existing);
    for (const PackageSource& source : existing) {
        if (source.sourceKind == kSourceLocalFile)
            return;
    }
    sources.addIfAbsent(feature, kSourceLocalFile, file.path, static_cast<std::uint32_t>(file.size),
                        static_cast<std::uint32_t>(file.size >> 32));
}

// Each entry that is a file, in the host's listing order, until `visit`
// answers true; false when the folder does not exist or none was taken.
template <class Visit>
bool forEachFile(HalAccess& host, const SharedString& folder, Visit visit)
{
    bool isFolder = false;
    if (!host.exists(folder, &isFolder) || !isFolder)
        return false;
    std::unique_ptr<HalFileFinder> finder;
    if (!host.createFileFinder(folder, finder) || !finder)
        return false;
    do {
        if (!finder->isFolder() && visit(finder->name()))
            return true;
    } while (finder->next());
    return false;
}

bool findCustomLanguageFile(LiveUpdateContext& context, const LanguageTemplate& languageTemplate,
                            SharedString& folder, SharedString& name, std::uint16_t& languageId)
{
    folder = joinPath(context.installerFolder(), SharedString(u"custom"));
    return forEachFile(*context.getHalIn(), folder, [&](const SharedString& entry) {
        if (!matchesCustomPattern(entry.view(), languageTemplate, languageId))
            return false;
        name = entry;
        return true;
    });
}

}  // namespace

void processUpdateFolder(LiveUpdateContext& context, const SharedString& installerPath)
{
    HalAccess& host = *context.getHalIn();
    InstallData& data = context.getInstallData();
    const SharedString folder = joinPath(installerPath, SharedString(u"update"));
    forEachFile(host, folder, [&](const SharedString& name) {
        std::uint16_t languageId = 0;
        LanguageTemplatePtr languageTemplate;
        for (int i = 0; i < data.languageTemplateCount() && !languageTemplate; ++i) {
            if (matchesFilePattern(name.view(), *data.languageTemplateAt(i), languageId))
                languageTemplate = data.languageTemplateAt(i);
        }
        if (!languageTemplate)
            return false;
        const FeaturePtr parent = context.findLanguageTemplateFeature(*languageTemplate);
        if (!parent) {
            logPrintf(u"The update file %s is passed over: its language template names no feature", name);
            return false;
        }
        LanguageFile file;
        if (!readLanguageFile(host, folder, name, file))
            return false;
        FeaturePtr feature = parent->findSubFeatureByLocale(languageId);
        if (!feature) {
            SharedString displayName;
            if (!languageDisplayName(languageId, displayName)) {
                logPrintf(u"The update file %s is passed over: its language %u has no name", name,
                          unsigned{languageId});
                return false;
            }
            feature = addLanguageFeature(*parent, languageId, displayName);
            if (!feature)
                return false;
        }
        takeLanguageFile(context, *feature, *languageTemplate, file);
        return false;
    });
}

void processCustomFolder(LiveUpdateContext& context)
{
    const LanguageTemplatePtr languageTemplate = context.getInstallData().mainLanguageTemplate();
    if (!languageTemplate)
        return;
    SharedString folder;
    SharedString name;
    std::uint16_t languageId = 0;
    if (!findCustomLanguageFile(context, *languageTemplate, folder, name, languageId))
        return;
    const FeaturePtr parent = context.findLanguageTemplateFeature(*languageTemplate);
    if (!parent) {
        logPrintf(u"The custom language file %s is passed over: the main language template names no feature", name);
        return;
    }
    LanguageFile file;
    if (!readLanguageFile(*context.getHalIn(), folder, name, file))
        return;
    SharedString displayName;
    if (!languageDisplayName(languageId, displayName))
        displayName = kCustomLanguageName;
    FeaturePtr feature = parent->findSubFeatureByLocale(languageId);
    if (feature && feature->getNameRef() != displayName) {
        parent->removeSubFeature(feature.get());
        feature.reset();
    }
    if (!feature)
        feature = addLanguageFeature(*parent, languageId, displayName);
    if (feature)
        takeLanguageFile(context, *feature, *languageTemplate, file);
}

SharedString getCustomLanguageFilePath(LiveUpdateContext& context)
{
    const LanguageTemplatePtr languageTemplate = context.getInstallData().mainLanguageTemplate();
    SharedString folder;
    SharedString name;
    std::uint16_t languageId = 0;
    if (!languageTemplate || !findCustomLanguageFile(context, *languageTemplate, folder, name, languageId))
        return {};
    return joinPath(folder, name);
}

SharedString getCustomLanguageFileName(LiveUpdateContext& context)
{
    InstallData& data = context.getInstallData();
    for (int i = 0; i < data.languageTemplateCount(); ++i) {
        const FeaturePtr feature = context.findLanguageTemplateFeature(*data.languageTemplateAt(i));
        const FeaturePtr custom = feature ? feature->findSubFeatureByLocale(kCustomLanguageId) : nullptr;
        if (const ContentFile* file = custom ? firstFile(*custom->contentFolder()) : nullptr)
            return file->getName();
    }
    const SharedString path = getCustomLanguageFilePath(context);
    if (!path.isEmpty())
        return getFileName(path);
    const LanguageTemplatePtr languageTemplate = data.mainLanguageTemplate();
    if (!languageTemplate)
        return {};
    SharedString name = splitPattern(*languageTemplate).file;
    name.replace(u"%5", kCustomCultureName);
    name.replace(u"%d", u"972");
    name.replace(u"%D", u"972");
    return name;
}

}  // namespace druvex
