#include "core/translate_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/device_fixture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

class XlateTranslateTest : public test::DeviceFixture {
protected:
    void TearDown() override
    {
        clearTranslationTable();
        DeviceFixture::TearDown();
    }

    void writeXlate(std::string_view name, std::string_view utf8)
    {
        device().writeFile(name, test::utf16leFromUtf8(utf8));
    }

    // Replaces the file through a new inode, as an installer writing a fresh
    // copy would, so that a mapping of the old one stays valid.
    void replaceXlate(std::string_view name, std::string_view utf8)
    {
        writeXlate("replacement.tmp", utf8);
        std::filesystem::rename(device().hostPath("replacement.tmp"), device().hostPath(name));
    }
};

TEST_F(XlateTranslateTest, WithoutATableKeysComeBackCutAtTheirContext)
{
    clearTranslationTable();
    EXPECT_EQ(translateText("Cut@@menuEdit"), u"Cut");
    EXPECT_EQ(translateText("Save"), u"Save");
    EXPECT_EQ(translateText(""), u"");
    EXPECT_EQ(translateText(nullptr), u"");
    EXPECT_EQ(translateTextW(static_cast<const char16_t*>(nullptr)), u"");
    EXPECT_EQ(translateTextW(u"Cut@@@x"), u"Cut@");
    EXPECT_EQ(formatTranslated("Copying {1}@@status", u"a.txt"), u"Copying a.txt");
}

TEST_F(XlateTranslateTest, SelectedFileTranslatesAndFills)
{
    writeXlate("de.xlt",
               "\xEF\xBB\xBF[Save][Speichern]"
               "[Copying {1}][Kopiere {1}]"
               "[{1} of {2}][{2}: {1}]"
               "[\xC3\xA9t\xC3\xA9][Sommer]");  // "été"
    EXPECT_TRUE(selectTranslationFile(u"\\de.xlt"));
    EXPECT_EQ(translateText("save"), u"Speichern");
    EXPECT_EQ(translateTextW(u"Save"), u"Speichern");
    EXPECT_EQ(formatTranslated("Copying {1}", u"a.txt"), u"Kopiere a.txt");
    EXPECT_EQ(translateAndFormat2("{1} of {2}", u"3", u"7"), u"7: 3");
    // A narrow key is read in the ANSI code page (1252 here).
    EXPECT_EQ(translateText("\xE9t\xE9"), u"Sommer");
}

TEST_F(XlateTranslateTest, AnyCountOfTextsFillsTheTranslationNotTheKey)
{
    writeXlate("de.xlt",
               "[Backup of {1} {2} made on {3}][Sicherung von {1} {2} ({3})]"
               "[Saved][{{gespeichert}]");
    ASSERT_TRUE(selectTranslationFile(u"\\de.xlt"));
    EXPECT_EQ(formatTranslated("Backup of {1} {2} made on {3}", {u"Survey", SharedString(u"2.1"), u"today"}),
              u"Sicherung von Survey 2.1 (today)");
    // Filled without texts: the translation's "{{" reads as "{", as in every message.
    EXPECT_EQ(formatTranslated("Saved", {}), u"{gespeichert}");
    // A template that asks for more texts than given is no message at all.
    EXPECT_EQ(formatTranslated("Backup of {1} {2} made on {3}", {u"Survey"}), u"");
}

TEST_F(XlateTranslateTest, SamePathIsNotReloadedAnotherPathReplacesTheTable)
{
    writeXlate("de.xlt", "[Save][Speichern]");
    writeXlate("fr.xlt", "[Save][Enregistrer]");
    ASSERT_TRUE(selectTranslationFile(u"\\de.xlt"));

    replaceXlate("de.xlt", "[Save][Sichern]");
    EXPECT_TRUE(selectTranslationFile(u"\\de.xlt"));
    EXPECT_EQ(translateText("Save"), u"Speichern");

    // The path compares exactly: another spelling loads the file again.
    EXPECT_TRUE(selectTranslationFile(u"\\DE.xlt"));
    EXPECT_EQ(translateText("Save"), u"Sichern");

    EXPECT_TRUE(selectTranslationFile(u"\\fr.xlt"));
    EXPECT_EQ(translateText("Save"), u"Enregistrer");

    clearTranslationTable();
    EXPECT_EQ(translateText("Save"), u"Save");
}

TEST_F(XlateTranslateTest, FilesWithoutPairsAnswerFalseEveryTime)
{
    writeXlate("de.xlt", "[Save][Speichern]");
    writeXlate("empty.xlt", "nothing to see");
    ASSERT_TRUE(selectTranslationFile(u"\\de.xlt"));

    // A missing file still replaces the table: every key falls back.
    EXPECT_FALSE(selectTranslationFile(u"\\missing.xlt"));
    EXPECT_EQ(translateText("Save@@button"), u"Save");

    EXPECT_FALSE(selectTranslationFile(u"\\empty.xlt"));
    EXPECT_FALSE(selectTranslationFile(u"\\empty.xlt"));
    EXPECT_EQ(translateText("Save"), u"Save");
}

// A language change while worker threads translate: every answer is one of
// the two translations or the key itself, and no lookup reads an unmapped file.
using XlateThreads = XlateTranslateTest;

TEST_F(XlateThreads, SwitchingTablesWhileEightThreadsTranslate)
{
    writeXlate("de.xlt", "[Save][Speichern][Open][\xC3\x96" "ffnen]");
    writeXlate("fr.xlt", "[Save][Enregistrer][Open][Ouvrir]");
    const std::set<std::u16string> allowed = {u"Speichern", u"Enregistrer", u"Save", u"save"};

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> lookups{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i) {
        workers.emplace_back([&, i] {
            while (!stop.load(std::memory_order_relaxed)) {
                const SharedString text = (i % 2 == 0) ? translateText("Save") : translateText("save");
                if (!allowed.contains(std::u16string(text.view())))
                    bad.fetch_add(1);
                lookups.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    for (int round = 0; round < 300; ++round) {
        selectTranslationFile(round % 2 == 0 ? u"\\de.xlt" : u"\\fr.xlt");
        if (round % 7 == 0)
            clearTranslationTable();
    }
    // Let the workers see at least some tables before they stop.
    while (lookups.load() < 1000)
        std::this_thread::yield();
    stop = true;
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace druvex
