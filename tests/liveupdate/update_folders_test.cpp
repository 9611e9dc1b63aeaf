// The "update" and "custom" folders on a test device: language files that
// become language features with their size, SHA-1 and time and a local
// package source, files and folders that are passed over, the custom
// language and its file name.
#include "liveupdate/update_folders.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "data/content_tree.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "liveupdate/fake_live_update_context.h"
#include "liveupdate/liveupdate_test_text.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/host_fixture.h"

namespace druvex {
namespace {

using test::wideSha1;

// The names of the folders and the file of a feature's content, outermost first.
std::vector<SharedString> contentChain(const Feature& feature, SharedString& origPath)
{
    std::vector<SharedString> names;
    std::shared_ptr<ContentItem> item = feature.contentFolder();
    while (item->childCount() == 1) {
        item = item->childAt(0);
        names.push_back(item->getName());
    }
    if (item->isFile())
        origPath = static_cast<const ContentFile&>(*item).getOrigPath();
    return names;
}

class UpdatePatcherFolders : public test::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        context_.emplace(host_);
        context_->folder = u"/Installer";
        help_ = makeFeaturePtr();
        help_->setName(u"Help");
        help_->setVersion(u"4.2");
        ASSERT_TRUE(context_->data.featureRoot()->addSubFeature(help_));
        english_ = makeFeaturePtr();
        english_->setName(u"English");
        english_->setLocaleId(1033);
        ASSERT_TRUE(help_->addSubFeature(english_));
    }

    void addTemplate(const char16_t* feature, const char16_t* pattern)
    {
        auto languageTemplate = std::make_shared<LanguageTemplate>();
        languageTemplate->feature = feature;
        languageTemplate->pattern = pattern;
        context_->data.addLanguageTemplate(languageTemplate);
        context_->pairLanguageTemplates();
    }

    // A file below the device's fs/ with a last-write time (seconds since 1970).
    void writeFile(const std::string& relative, const std::string& content, long seconds = 1577836800)
    {
        device().writeFile(relative, content);
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, device().hostPath(relative).c_str(), times, 0), 0);
    }

    std::vector<PackageSource> sourcesOf(const Feature& feature)
    {
        std::vector<PackageSource> sources;
        context_->sources.equalRange(feature, sources);
        return sources;
    }

    std::optional<test::FakeLiveUpdateContext> context_;
    FeaturePtr help_;
    FeaturePtr english_;
};

TEST_F(UpdatePatcherFolders, LanguageFilesBecomeLanguageFeatures)
{
    addTemplate(u"Readme", u"<TARGETDIR>\\Docs\\readme_%d.txt");
    addTemplate(u"Help", u"<TARGETDIR>\\Lang\\Help_%d.lng");
    writeFile("Installer/update/help_1031.lng", "Hallo Welt", 1600000000);
    writeFile("Installer/update/HELP_01033.LNG", "Hello");
    writeFile("Installer/update/help_1033.lng", "Hello world");
    writeFile("Installer/update/help_972.lng", "Custom");
    writeFile("Installer/update/notes.txt", "not a language file");
    writeFile("Installer/update/help_9999.lng", "a language without a name");
    device().makeFolder("Installer/update/help_1036.lng");
    test::DiagCapture log;
    processUpdateFolder(*context_, u"/Installer");

    ASSERT_EQ(help_->subFeatureCount(), 3);
    EXPECT_EQ(help_->subFeatureAt(0), english_);
    const FeaturePtr german = help_->subFeatureAt(1);
    const FeaturePtr custom = help_->subFeatureAt(2);
    EXPECT_EQ(german->getNameRef(), u"German");
    EXPECT_EQ(german->getLocaleId(), 1031);
    EXPECT_EQ(german->getVersion(), u"4.2");
    EXPECT_EQ(custom->getNameRef(), u"Custom language");
    EXPECT_EQ(custom->getLocaleId(), 972);
    EXPECT_TRUE(log.contains(u"help_9999.lng is passed over: its language 9999 has no name"));

    SharedString origPath;
    EXPECT_EQ(contentChain(*german, origPath),
              (std::vector<SharedString>{u"<TARGETDIR>", u"Lang", u"help_1031.lng"}));
    EXPECT_EQ(origPath, u"/Installer/update/help_1031.lng");
    EXPECT_EQ(german->getReqSpace(), 10);
    EXPECT_EQ(german->getCompressedSize(), 10);
    EXPECT_EQ(german->getDigest(), wideSha1("Hallo Welt"));
    EXPECT_EQ(german->getTimestamp(), 1600000000);
    // The key of the source holds the Digest, so it was made after it.
    EXPECT_EQ(sourcesOf(*german),
              (std::vector<PackageSource>{{kSourceLocalFile, u"/Installer/update/help_1031.lng", 10, 0}}));

    // The second file of a language (in listing order) replaces the first.
    EXPECT_EQ(english_->getNameRef(), u"English");
    EXPECT_EQ(contentChain(*english_, origPath),
              (std::vector<SharedString>{u"<TARGETDIR>", u"Lang", u"help_1033.lng"}));
    EXPECT_EQ(english_->getDigest(), wideSha1("Hello world"));
    EXPECT_EQ(english_->getTimestamp(), 1577836800);
    EXPECT_EQ(sourcesOf(*english_),
              (std::vector<PackageSource>{{kSourceLocalFile, u"/Installer/update/help_1033.lng", 11, 0}}));
}

TEST_F(UpdatePatcherFolders, NoUpdateFolderOrNoTemplateChangesNothing)
{
    addTemplate(u"Help", u"<TARGETDIR>\\Lang\\help_%d.lng");
    processUpdateFolder(*context_, u"/Installer");
    writeFile("Installer/update", "a file, not a folder");
    processUpdateFolder(*context_, u"/Installer");
    EXPECT_EQ(help_->subFeatureCount(), 1);

    // A template whose feature the map does not pair is passed over.
    test::FakeLiveUpdateContext unpaired(host_);
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->feature = u"Help";
    languageTemplate->pattern = u"<TARGETDIR>\\help_%d.lng";
    unpaired.data.addLanguageTemplate(languageTemplate);
    writeFile("Other/update/help_1031.lng", "Hallo");
    test::DiagCapture log;
    processUpdateFolder(unpaired, u"/Other");
    EXPECT_TRUE(log.contains(u"help_1031.lng is passed over: its language template names no feature"))
        << ::testing::PrintToString(log.lines());
    EXPECT_TRUE(unpaired.sources.isEmpty());
}

TEST_F(UpdatePatcherFolders, CustomLanguageReplacesAnotherNamedOne)
{
    addTemplate(u"Help", u"<TARGETDIR>\\Lang\\help_%5.lng");
    FeaturePtr mine = makeFeaturePtr();
    mine->setName(u"Mine");
    mine->setLocaleId(972);
    ASSERT_TRUE(help_->addSubFeature(mine));
    EXPECT_EQ(getCustomLanguageFilePath(*context_), u"");
    EXPECT_EQ(getCustomLanguageFileName(*context_), u"help_custm.lng");

    writeFile("Installer/custom/readme.txt", "not it");
    writeFile("Installer/custom/help_custm.lng", "[Hello]Howdy");
    EXPECT_EQ(getCustomLanguageFilePath(*context_), u"/Installer/custom/help_custm.lng");
    processCustomFolder(*context_);

    ASSERT_EQ(help_->subFeatureCount(), 2);
    const FeaturePtr custom = help_->findSubFeatureByLocale(972);
    ASSERT_NE(custom, nullptr);
    EXPECT_NE(custom, mine);
    EXPECT_EQ(custom->getNameRef(), u"Custom language");
    EXPECT_EQ(custom->getDigest(), wideSha1("[Hello]Howdy"));
    EXPECT_EQ(sourcesOf(*custom),
              (std::vector<PackageSource>{{kSourceLocalFile, u"/Installer/custom/help_custm.lng", 12, 0}}));
    EXPECT_EQ(getCustomLanguageFileName(*context_), u"help_custm.lng");

    // Once more: the feature of that name stays.
    processCustomFolder(*context_);
    EXPECT_EQ(help_->findSubFeatureByLocale(972), custom);
}

TEST_F(UpdatePatcherFolders, CustomLanguageFileNameWithoutAFile)
{
    addTemplate(u"Help", u"<TARGETDIR>\\Lang\\help_%d.lng");
    EXPECT_EQ(getCustomLanguageFileName(*context_), u"help_972.lng");
    processCustomFolder(*context_);
    EXPECT_EQ(help_->subFeatureCount(), 1);
    test::FakeLiveUpdateContext noTemplates(host_);
    EXPECT_EQ(getCustomLanguageFileName(noTemplates), u"");
}

}  // namespace
}  // namespace druvex
