// The registry model: trees of keys and values, the fragment reader and
// writer, lookups by path and the root handles.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "data/registry_model.h"
#include "platform/input_limits.h"
#include "support/external_tool.h"
#include "support/hostile_inputs.h"
#include "support/shared_string_print.h"
#include "support/small_stack.h"

namespace druvex {
namespace {

using namespace regmodel;

bool load(RegistryRootSet& roots, const std::string& xml)
{
    return roots.loadXml(xml.data(), xml.size());
}

std::string write(const RegistryRootSet& roots)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, false);
    writer.startElement("Feature");
    roots.writeXml(writer);
    writer.endElement("Feature");
    EXPECT_TRUE(writer.flush());
    return std::string(bytes.begin(), bytes.end());
}

const std::string kFragment =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Registry>\n"
    " <HKEY_CURRENT_USER>\n"
    "  <Key Name=\"Software\" Flag=\"Automatic\">\n"
    "   <Key Name=\"Survey\" Flag=\"Persistent\" DefaultValue=\"&lt;TARGETDIR&gt;\">\n"
    "    <Value Name=\"Path\" Format=\"Expand\" Data=\"%ProgramFiles%\"/>\n"
    "    <Value Name=\"Count\" Format=\"Dword\" Data=\"7\"/>\n"
    "    <Key Name=\"Sub\" Flag=\"SystemReadOnly\"/>\n"
    "   </Key>\n"
    "  </Key>\n"
    " </HKEY_CURRENT_USER>\n"
    " <HKEY_USER_DEP>\n"
    "  <Key Name=\"Top\" Flag=\"Automatic\" DefaultValue=\"\"/>\n"
    " </HKEY_USER_DEP>\n"
    "</Registry>\n";

TEST(RegistryModelXml, ReadsTheFragment)
{
    RegistryRootSet roots;
    ASSERT_TRUE(load(roots, kFragment));
    EXPECT_FALSE(roots.rootHasContent(kRootClasses));
    EXPECT_TRUE(roots.rootHasContent(kRootCurrentUser));
    EXPECT_TRUE(roots.rootHasContent(kRootUserDependent));
    EXPECT_FALSE(roots.rootHasContent(7));

    const auto survey = roots.findKey(kRootCurrentUser, u"Software\\Survey");
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->getFlag(), kKeyPersistent);
    EXPECT_EQ(survey->path(), u"Software\\Survey");
    ASSERT_TRUE(survey->hasDefaultValue());
    EXPECT_EQ(survey->getDefaultValue()->getData(), u"<TARGETDIR>");
    EXPECT_EQ(survey->getDefaultValue()->getName(), u"(Default)");
    EXPECT_EQ(survey->getDefaultValue()->getFormat(), kValueString);
    ASSERT_EQ(survey->childCount(), 3);
    const auto path = std::static_pointer_cast<RegistryValue>(survey->childAt(0));
    EXPECT_EQ(path->getFormat(), kValueExpand);
    EXPECT_EQ(path->getData(), u"%ProgramFiles%");
    EXPECT_EQ(path->parent(), survey.get());

    const auto top = roots.findKey(kRootUserDependent, u"Top");
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(top->hasDefaultValue());
    EXPECT_EQ(roots.getRoot(kRootUserDependent)->childCount(), 1);
    EXPECT_EQ(roots.findKey(kRootCurrentUser, u"Software\\Survey\\Sub")->getFlag(), kKeySystemReadOnly);
}

TEST(RegistryModelXml, WriteLoadWriteIsStable)
{
    RegistryRootSet roots;
    EXPECT_EQ(write(roots), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Feature/>\n");  // nothing for no content
    ASSERT_TRUE(load(roots, kFragment));
    const std::string first = write(roots);
    EXPECT_EQ(first,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<Feature>\n"
              " <Registry>\n"
              "  <HKEY_CURRENT_USER>\n"
              "   <Key Name=\"Software\" Flag=\"Automatic\">\n"
              "    <Key Name=\"Survey\" Flag=\"Persistent\" DefaultValue=\"&lt;TARGETDIR&gt;\">\n"
              "     <Value Name=\"Path\" Format=\"Expand\" Data=\"%ProgramFiles%\"/>\n"
              "     <Value Name=\"Count\" Format=\"Dword\" Data=\"7\"/>\n"
              "     <Key Name=\"Sub\" Flag=\"SystemReadOnly\"/>\n"
              "    </Key>\n"
              "   </Key>\n"
              "  </HKEY_CURRENT_USER>\n"
              "  <HKEY_USER_DEP>\n"
              "   <Key Name=\"Top\" Flag=\"Automatic\"/>\n"
              "  </HKEY_USER_DEP>\n"
              " </Registry>\n"
              "</Feature>\n");
    RegistryRootSet again;
    ASSERT_TRUE(load(again, first));
    EXPECT_EQ(write(again), first);
    ASSERT_TRUE(test::toolInstalled("xmllint"));
    EXPECT_EQ(test::runTool("xmllint --noout -", test::Bytes(first.begin(), first.end())).exitCode, 0);
}

TEST(RegistryModelXml, RefusedFragments)
{
    const char* refused[] = {
        "",
        "<HKEY_LOCAL_MACHINE><HKEY_CURRENT_USER></HKEY_CURRENT_USER></HKEY_LOCAL_MACHINE>",
        "<HKEY_LOCAL_MACHINE><Key Name=\"A\"/></HKEY_LOCAL_MACHINE>",
        "<HKEY_LOCAL_MACHINE><Key Name=\"A\" Flag=\"Automatic\"><Value Name=\"v\" Format=\"String\" Data=\"d\" "
        "Extra=\"x\"/></Key></HKEY_LOCAL_MACHINE>",
        "<HKEY_LOCAL_MACHINE><Key Name=\"A\" Flag=\"Automatic\"><Value Name=\"v\" Data=\"d\"/></Key>"
        "</HKEY_LOCAL_MACHINE>",
        "<Key Name=\"A\" Flag=\"Automatic\"/>",
        "<Value Name=\"v\" Format=\"String\" Data=\"d\"/>",
        "<HKEY_LOCAL_MACHINE>",
        "<hkey_local_machine><KEY Name=\"A\" Flag=\"x\">",
        // Values in keys that refuse them: a root, a SystemReadOnly key.
        "<HKEY_USER_DEP><Value Name=\"v\" Format=\"String\" Data=\"d\"/></HKEY_USER_DEP>",
        "<HKEY_LOCAL_MACHINE><Key Name=\"A\" Flag=\"SystemReadOnly\"><Value Name=\"v\" Format=\"String\" "
        "Data=\"d\"/></Key></HKEY_LOCAL_MACHINE>",
    };
    for (const char* xml : refused) {
        RegistryRootSet roots;
        EXPECT_FALSE(load(roots, xml)) << xml;
    }
}

// Keys nest as deep as the limit and no deeper: a package's fragment must not
// build a tree that the installer cannot walk.
TEST(RegistryModelXml, KeysNestUpToTheDepthLimit)
{
    const int limit = static_cast<int>(kMaxRegistryKeyDepth);
    RegistryRootSet roots;
    ASSERT_TRUE(load(roots, test::registryFragmentWithNestedKeys(limit)));
    std::u16string path = u"k";
    for (int i = 1; i < limit; ++i)
        path += u"\\k";
    const auto deepest = roots.findKey(kRootLocalMachine, path);
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(deepest->childCount(), 1);
    EXPECT_EQ(deepest->path(), path);
    EXPECT_FALSE(load(roots, test::registryFragmentWithNestedKeys(limit + 1)));
}

// Trees built in code have no depth limit: cloning, writing and freeing them
// never recurse on their depth.
TEST(RegistryModelTree, DeepTreesAreClonedWrittenAndFreedWithoutRecursion)
{
    const auto chain = [](RegistryKey& top, int depth) {
        RegistryKey* key = &top;
        for (int i = 0; i < depth; ++i) {
            auto child = std::make_shared<RegistryKey>(SharedString(u"k"));
            ASSERT_TRUE(key->addChild(child));
            key = child.get();
        }
        ASSERT_TRUE(key->addChild(std::make_shared<RegistryValue>(SharedString(u"v"))));
    };
    test::runOnSmallStack([&] {
        RegistryRootSet roots;
        chain(*roots.getRoot(kRootLocalMachine), 50'000);
        RegistryRootSet copy;
        copy.assign(roots);
        const auto copied = copy.getRoot(kRootLocalMachine);
        const RegistryKey* key = copied.get();
        int depth = 0;
        while (key->childCount() > 0 && key->childAt(0)->kind() == kKindKey) {
            key = static_cast<const RegistryKey*>(key->childAt(0).get());
            ++depth;
        }
        EXPECT_EQ(depth, 50'000);
        EXPECT_EQ(key->childAt(0)->kind(), kKindValue);
        roots.clear();
    });
    test::runOnSmallStack(
        [&] {
            RegistryRootSet roots;
            chain(*roots.getRoot(kRootCurrentUser), 3'000);
            const std::string written = write(roots);
            std::size_t closed = 0;
            for (std::size_t at = written.find("</Key>"); at != std::string::npos; at = written.find("</Key>", at + 1))
                ++closed;
            EXPECT_EQ(closed, 3'000u);
            EXPECT_NE(written.find(std::string(3'003, ' ') + "<Value Name=\"v\""), std::string::npos);
        },
        128 * 1024);
}

TEST(RegistryModelXml, ValueFormsAndNames)
{
    RegistryRootSet roots;
    ASSERT_TRUE(load(roots,
                     "<hkey_local_machine><key name=\"A\" flag=\"systemreadonly\" Format=\"String\" Data=\"x\">"
                     "<value name=\"v\" data=\"d\" other=\"o\"/>"
                     "<Value Name=\"s\" Format=\"string\" Data=\"d\"/></key></hkey_local_machine>"));
    const auto key = roots.findKey(kRootLocalMachine, u"A");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->getFlag(), kKeyAutomatic);  // flags compare exactly
    ASSERT_EQ(key->childCount(), 2);
    EXPECT_EQ(std::static_pointer_cast<RegistryValue>(key->childAt(0))->getFormat(), kValueDword);
    EXPECT_EQ(std::static_pointer_cast<RegistryValue>(key->childAt(1))->getFormat(), kValueDword);
    EXPECT_EQ(registryFlagText(9), u"Automatic");
    EXPECT_EQ(registryFormatText(9), u"Dword");
    EXPECT_EQ(registryFormatFromText(u"Expand"), kValueExpand);
}

TEST(RegistryModelTree, ChildrenAndFlags)
{
    RegistryRootSet roots;
    const auto& machine = roots.getRoot(kRootLocalMachine);
    EXPECT_EQ(machine->getName(), u"HKEY_LOCAL_MACHINE");
    EXPECT_FALSE(machine->addChild(std::make_shared<RegistryValue>(SharedString(u"v"))));
    auto a = std::make_shared<RegistryKey>(SharedString(u"A"));
    ASSERT_TRUE(machine->addChild(a));
    auto b = std::make_shared<RegistryKey>(SharedString(u"B"));
    ASSERT_TRUE(a->addChild(b));
    EXPECT_EQ(b->path(), u"A\\B");
    EXPECT_EQ(a->path(), u"A");
    EXPECT_EQ(machine->path(), u"");
    // A key never goes under itself or its own descendant.
    EXPECT_FALSE(b->addChild(a));
    EXPECT_FALSE(a->addChild(a));

    auto value = std::make_shared<RegistryValue>(SharedString(u"B"), kValueString, SharedString(u"d"));
    ASSERT_TRUE(a->addChild(value));
    EXPECT_EQ(a->findChild(u"B", kKindValue), value);
    EXPECT_EQ(a->findChild(u"B", kKindKey), b);
    EXPECT_EQ(a->findChild(u"B", kKindAny), b);
    EXPECT_EQ(a->findChild(u"b", kKindAny), nullptr);  // key names match exactly
    EXPECT_THROW(a->childAt(2), std::out_of_range);
    EXPECT_THROW(value->childCount(), std::logic_error);
    EXPECT_THROW(value->addChild(b), std::logic_error);

    a->removeChild(value.get());
    EXPECT_EQ(a->childCount(), 1);
    EXPECT_EQ(value->parent(), nullptr);
    EXPECT_THROW(roots.getRoot(4), std::out_of_range);
}

TEST(RegistryModelTree, FindKeyAnswersKeysOnly)
{
    RegistryRootSet roots;
    ASSERT_TRUE(load(roots,
                     "<HKEY_LOCAL_MACHINE><Key Name=\"Software\" Flag=\"Automatic\">"
                     "<Value Name=\"Val\" Format=\"String\" Data=\"d\"/>"
                     "<Key Name=\"Val\" Flag=\"Automatic\"/></Key></HKEY_LOCAL_MACHINE>"));
    EXPECT_EQ(roots.findKey(kRootLocalMachine, u"Software\\Missing"), nullptr);
    EXPECT_EQ(roots.findKey(kRootLocalMachine, u""), nullptr);
    EXPECT_EQ(roots.findKey(kRootLocalMachine, u"Software\\\\Val"), nullptr);
    // "Val" first names a value: the walk stops there instead of asking a
    // value for children.
    EXPECT_EQ(roots.findKey(kRootLocalMachine, u"Software\\Val\\Sub"), nullptr);
    EXPECT_EQ(roots.findKey(kRootLocalMachine, u"Software\\Val"), nullptr);
    EXPECT_NE(roots.findKey(kRootLocalMachine, u"Software"), nullptr);
    EXPECT_EQ(roots.findKey(9, u"Software"), nullptr);
}

TEST(RegistryModelTree, CloneAndAssign)
{
    RegistryRootSet roots;
    ASSERT_TRUE(load(roots, kFragment));
    const auto survey = roots.findKey(kRootCurrentUser, u"Software\\Survey");
    const auto shallow = std::static_pointer_cast<RegistryKey>(survey->clone(false));
    EXPECT_EQ(shallow->childCount(), 0);
    EXPECT_EQ(shallow->getFlag(), kKeyPersistent);
    EXPECT_EQ(shallow->getDefaultValue()->getData(), u"<TARGETDIR>");
    EXPECT_EQ(shallow->parent(), nullptr);

    RegistryRootSet copy;
    copy.assign(roots);
    EXPECT_EQ(write(copy), write(roots));
    // Deep: the copy shares nothing with the source.
    const auto copied = copy.findKey(kRootCurrentUser, u"Software\\Survey");
    ASSERT_NE(copied, survey);
    std::static_pointer_cast<RegistryValue>(copied->childAt(0))->setData(u"changed");
    EXPECT_EQ(std::static_pointer_cast<RegistryValue>(survey->childAt(0))->getData(), u"%ProgramFiles%");
    copy.assign(copy);
    EXPECT_TRUE(copy.hasContent());

    // Children held elsewhere outlive their key without a dangling parent.
    std::shared_ptr<RegistryItem> orphan;
    {
        RegistryRootSet scratch;
        ASSERT_TRUE(load(scratch, kFragment));
        orphan = scratch.findKey(kRootCurrentUser, u"Software\\Survey")->childAt(0);
    }
    EXPECT_EQ(orphan->parent(), nullptr);
    survey->dropDefaultValue();
    EXPECT_FALSE(survey->hasDefaultValue());
}

TEST(RegistryModelRoots, HandleMapping)
{
    EXPECT_EQ(registryRootToHkey(0, true), 0x80000000u);
    EXPECT_EQ(registryRootToHkey(1, true), 0x80000001u);
    EXPECT_EQ(registryRootToHkey(2, false), 0x80000002u);
    EXPECT_EQ(registryRootToHkey(3, true), 0x80000002u);
    EXPECT_EQ(registryRootToHkey(3, false), 0x80000001u);
    EXPECT_EQ(registryRootToHkey(4, true), 0u);
    EXPECT_EQ(hkeyToRegistryRoot(0x80000000), 0);
    EXPECT_EQ(hkeyToRegistryRoot(0x80000001), 1);
    EXPECT_EQ(hkeyToRegistryRoot(0x80000002), 2);
    EXPECT_EQ(hkeyToRegistryRoot(0x80000003), 5);
}

}  // namespace
}  // namespace druvex
