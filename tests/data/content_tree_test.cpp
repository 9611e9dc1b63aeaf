// The content tree (sort, paths, clones, links) and the feature records with
// the texts of their values.
#include <gtest/gtest.h>

#include <stdexcept>

#include "data/content_tree.h"
#include "data/feature_records.h"
#include "data/web_server_records.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

std::shared_ptr<ContentFolder> folder(const char16_t* name)
{
    return std::make_shared<ContentFolder>(name);
}

std::shared_ptr<ContentFile> file(const char16_t* name)
{
    return std::make_shared<ContentFile>(name);
}

TEST(ContentTree, SortPutsFoldersFirstThenNamesIgnoringCase)
{
    auto root = folder(u"Folders");
    auto z = folder(u"Z");
    root->addChild(file(u"b"));
    root->addChild(z);
    root->addChild(file(u"A"));
    z->addChild(file(u"y"));
    z->addChild(file(u"X"));
    root->addChild(file(u"a"));  // equal ignoring case: keeps its place after "A"

    root->sort();
    const char16_t* expected[] = {u"Z", u"A", u"a", u"b"};
    ASSERT_EQ(root->childCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(root->childAt(i)->getName(), expected[i]);
    EXPECT_EQ(z->childAt(0)->getName(), u"X");
}

TEST(ContentTree, PathsRunFromBelowTheRoot)
{
    auto root = folder(u"Folders");
    auto target = folder(u"<TARGETDIR>");
    auto bin = folder(u"bin");
    auto dll = file(u"x.dll");
    root->addChild(target);
    target->addChild(bin);
    bin->addChild(dll);

    EXPECT_EQ(dll->pathFromRoot(), u"<TARGETDIR>/bin/x.dll");
    EXPECT_EQ(target->pathFromRoot(), u"<TARGETDIR>");
    EXPECT_EQ(root->pathFromRoot(), u"");
    SharedString top;
    SharedString rest;
    dll->splitTopFolder(top, rest);
    EXPECT_EQ(top, u"<TARGETDIR>");
    EXPECT_EQ(rest, u"bin/x.dll");
    target->splitTopFolder(top, rest);
    EXPECT_EQ(top, u"<TARGETDIR>");
    EXPECT_EQ(rest, u"");
    file(u"lone")->splitTopFolder(top, rest);
    EXPECT_EQ(top, u"<TARGETDIR>");
    EXPECT_EQ(rest, u"");
}

TEST(ContentTree, CloneIsDeepAndKeepsTheLinkAndValues)
{
    auto source = folder(u"Templates");
    source->setFlags(4);
    source->setTimeValue(1234);
    DynamicFileLink& link = *source->dynamicLink(true);
    link.sourceFolder = u"C:\\src";
    link.includeAllFiles = false;
    auto tpl = file(u"a.tpl");
    tpl->setOrigPath(u"C:\\src\\a.tpl");
    tpl->setSize(10);
    source->addChild(tpl);

    const auto copy = std::static_pointer_cast<ContentFolder>(source->clone());
    EXPECT_EQ(copy->getFlags(), 4);
    EXPECT_EQ(copy->getTimeValue(), 1234u);
    ASSERT_NE(copy->findDynamicLink(), nullptr);
    EXPECT_EQ(copy->findDynamicLink()->sourceFolder, u"C:\\src");
    EXPECT_FALSE(copy->findDynamicLink()->includeAllFiles);
    const auto copiedFile = std::static_pointer_cast<ContentFile>(copy->childAt(0));
    EXPECT_NE(copiedFile, tpl);
    EXPECT_EQ(copiedFile->parent(), copy.get());
    EXPECT_EQ(copiedFile->getOrigPath(), u"C:\\src\\a.tpl");
    EXPECT_EQ(copiedFile->getSize(), 10u);

    EXPECT_EQ(source->dynamicLink(false), nullptr);
    EXPECT_EQ(source->findDynamicLink(), nullptr);
    EXPECT_TRUE(source->dynamicLink(true)->includeAllFiles);  // a new link has the defaults
}

TEST(ContentTree, ChildrenAndLoops)
{
    auto root = folder(u"root");
    auto sub = folder(u"sub");
    auto leaf = file(u"leaf");
    EXPECT_TRUE(root->addChild(sub));
    EXPECT_TRUE(sub->addChild(leaf));
    EXPECT_FALSE(sub->addChild(root));
    EXPECT_FALSE(sub->addChild(sub));
    EXPECT_FALSE(root->addChild(nullptr));
    EXPECT_FALSE(leaf->addChild(file(u"x")));
    EXPECT_EQ(root->indexOf(u"sub"), 0);
    EXPECT_EQ(root->indexOf(u"SUB"), -1);
    EXPECT_THROW(root->childAt(1), std::out_of_range);
    EXPECT_THROW(leaf->childAt(0), std::out_of_range);

    root->removeChild(folder(u"sub").get());
    EXPECT_EQ(root->childCount(), 1);
    root->removeChild(sub.get());
    EXPECT_EQ(root->childCount(), 0);
    EXPECT_EQ(sub->parent(), nullptr);

    auto kept = file(u"kept");
    {
        auto holder = folder(u"holder");
        holder->addChild(kept);
    }
    EXPECT_EQ(kept->parent(), nullptr);  // a freed folder is forgotten, never pointed at
    EXPECT_EQ(kept->pathFromRoot(), u"");

    leaf->setFlags(6);
    leaf->setFlagBit0(true);
    EXPECT_EQ(leaf->getFlags(), 7);
    leaf->setFlagBit0(false);
    EXPECT_EQ(leaf->getFlags(), 6);
}

TEST(ContentRecords, EnvironmentShortcutAndScriptTexts)
{
    struct Case {
        const char16_t* text;
        std::int32_t type;
        std::int32_t addMode;
        std::int32_t placement;
    } cases[] = {
        {u"System", 1, 1, 2}, {u"user", 2, 1, 2},   {u"CREATE", 0, 0, 2},
        {u"remove", 0, 2, 2}, {u"Append", 0, 1, 0}, {u"prefix", 0, 1, 1},
        {u"", 0, 1, 2},       {u"Replace", 0, 1, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(envTypeFromText(c.text), c.type);
        EXPECT_EQ(envAddModeFromText(c.text), c.addMode);
        EXPECT_EQ(envPlacementFromText(c.text), c.placement);
    }
    EXPECT_EQ(envTypeText(7), u"Auto");
    EXPECT_EQ(envAddModeText(7), u"Set");
    EXPECT_EQ(envPlacementText(7), u"Replace");
    EXPECT_EQ(linkPosFromText(u"menuPROGRAMS"), kLinkMenuPrograms);
    EXPECT_EQ(linkPosText(5), u"MenuPrograms");
    EXPECT_EQ(scriptTimeFromText(u"ONUNINSTALL"), kScriptOnUninstall);
    EXPECT_EQ(scriptTimeText(3), u"onUninstall");
}

TEST(ContentRecords, VerbsCompareExactlyEmptyArgumentsRemoveThemAndCopiesAreDeep)
{
    EXPECT_EQ(verbFromName(u"open"), kVerbOpen);
    EXPECT_EQ(verbFromName(u"find"), kVerbFind);
    EXPECT_EQ(verbFromName(u"OPEN"), kVerbOpenDefault);
    EXPECT_EQ(verbName(kVerbOpenDefault), u"open");
    EXPECT_EQ(verbName(42), u"open");
    EXPECT_EQ(verbName(kVerbPreview), u"preview");

    auto extension = std::make_shared<FileExtension>();
    EXPECT_TRUE(extension->setAction(kVerbPrint, u"/p"));
    EXPECT_TRUE(extension->setAction(kVerbOpen, u"%1"));
    EXPECT_EQ(extension->actionCount(), 2);
    EXPECT_FALSE(extension->setAction(kVerbPrint, u""));
    EXPECT_EQ(extension->actionArguments(kVerbPrint), u"");
    EXPECT_EQ(extension->actionCount(), 1);
    EXPECT_FALSE(extension->setAction(8, u"x"));
    EXPECT_EQ(extension->actionArguments(-1), u"");

    FileAssociation association;
    EXPECT_FALSE(association.addExtension(nullptr));
    extension->name = u".job";
    association.addExtension(extension);
    const auto copy = association.clone();
    copy->extensionAt(0)->name = u".xyz";
    EXPECT_EQ(extension->name, u".job");
    EXPECT_THROW(association.extensionAt(1), std::out_of_range);
}

TEST(ContentRecords, WebServerTextsAndCopies)
{
    EXPECT_EQ(pipelineModeText(AppPool().managedMode), u"Integrated");
    EXPECT_EQ(poolIdentityText(AppPool().identity), u"ApplicationPoolIdentity");
    EXPECT_EQ(poolIdentityFromText(u"localsystem"), kIdentityLocalSystem);
    EXPECT_EQ(poolIdentityFromText(u"Nobody"), kIdentityNetworkService);
    EXPECT_EQ(pipelineModeFromText(u"CLASSIC"), kPipelineClassic);

    InternetInformationServices iis;
    EXPECT_FALSE(iis.hasContent());
    EXPECT_FALSE(iis.addWebSite(nullptr));
    auto site = std::make_shared<WebSite>();
    EXPECT_FALSE(site->addApplication(nullptr));
    site->addApplication(std::make_shared<IisApplication>());
    iis.addWebSite(site);
    EXPECT_TRUE(iis.hasContent());
    InternetInformationServices copy = iis;
    copy.webSiteAt(0)->applicationAt(0)->name = u"changed";
    EXPECT_EQ(site->applicationAt(0)->name, u"");
}

}  // namespace
}  // namespace druvex
