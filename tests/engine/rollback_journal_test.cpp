// The rollback journal through the journaling host: files and folders made,
// replaced, moved and removed, registry keys and values made, changed and
// deleted, all undone to the byte (registry.reg included); a commit keeps the
// changes and leaves no kept file behind; a file that cannot be kept is not
// removed; a file that an application holds open is written over in place
// and written back in place; a store an earlier run left keeps its files; a
// file gone between the question and its removal is removed all the same.
#include <gtest/gtest.h>

#include "engine/journaling_hal.h"
#include "engine/rollback_journal.h"
#include "installation_fixture.h"
#include "support/diag_capture.h"
#include "support/file_holder_process.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::InstallDevice;

const SharedString kStore(u"\\Windows\\Installer\\Survey\\Rollback");

std::vector<std::uint8_t> bytesOf(std::string_view text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

class RollbackJournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        device_.emplace();
        device().device().writeFile("Program Files/Survey/keep.txt", "kept as it was");
        device().device().writeFile("Program Files/Survey/replace.txt", "the old content");
        device().device().writeFile("Program Files/Survey/remove.txt", "removed, then back");
        device().device().writeFile("Program Files/Survey/move.txt", "moved, then back");
        device().device().writeFile("Program Files/Survey/copy.txt", "copied over, then back");
        device().device().makeFolder("Program Files/Survey/empty");
        HalAccess& host = *device().host();
        ASSERT_TRUE(host.writeRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Survey"), 0,
                                                  SharedString(u"Path"), SharedString(u"\\old"), false));
        ASSERT_TRUE(host.writeRegistryDwordValue(kRegistryLocalMachine, SharedString(u"Software\\Survey\\Deep\\Er"), 0,
                                                 SharedString(u"Level"), 3));
        journal_ = std::make_unique<RollbackJournal>(device().host(), kStore);
        journaled_ = std::make_shared<JournalingHal>(device().host(), *journal_);
    }
    void TearDown() override
    {
        journaled_.reset();
        journal_.reset();
        device_.reset();
    }

    InstallDevice& device() { return *device_; }

    // Every kind of change, through the journaling host.
    void changeEverything()
    {
        HalAccess& host = *journaled_;
        ASSERT_TRUE(createDirectoryRecursive(host, SharedString(u"\\Program Files\\Survey\\new\\deeper")));
        ASSERT_TRUE(writeBufferToFile(host, bytesOf("new"), SharedString(u"\\Program Files\\Survey\\new\\a.txt")));
        ASSERT_TRUE(writeBufferToFile(host, bytesOf("the new content"),
                                      SharedString(u"\\Program Files\\Survey\\replace.txt")));
        ASSERT_TRUE(host.deleteFile(SharedString(u"\\Program Files\\Survey\\remove.txt")));
        ASSERT_TRUE(host.moveFile(SharedString(u"\\Program Files\\Survey\\move.txt"),
                                  SharedString(u"\\Program Files\\Survey\\new\\moved.txt")));
        ASSERT_TRUE(host.copyFile(SharedString(u"\\Program Files\\Survey\\keep.txt"),
                                  SharedString(u"\\Program Files\\Survey\\copy.txt"), false));
        ASSERT_TRUE(host.removeDirectory(SharedString(u"\\Program Files\\Survey\\empty")));
        const FileHandle opened =
            host.openFile(SharedString(u"\\Program Files\\Survey\\keep.txt"), kFileOpenExisting | kFileWrite, nullptr);
        ASSERT_NE(opened, kInvalidFileHandle);
        EXPECT_EQ(host.writeFile(opened, "KEPT", 4), 4);
        EXPECT_TRUE(host.closeFile(opened));
        // A document saved the safe way over one that exists.
        ASSERT_TRUE(replaceFileWithBuffer(host, bytesOf("new log"), SharedString(u"\\Program Files\\Survey\\copy.txt"),
                                          u"The test document"));

        ASSERT_TRUE(host.writeRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Survey"), 0,
                                                  SharedString(u"Path"), SharedString(u"\\new"), false));
        ASSERT_TRUE(host.writeRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Survey"), 0,
                                                  SharedString(u"Added"), SharedString(u"x"), false));
        ASSERT_TRUE(host.writeRegistryDwordValue(kRegistryLocalMachine, SharedString(u"Software\\New\\Key"), 0,
                                                 SharedString(u"Made"), 1));
        ASSERT_TRUE(host.regDeleteKey(kRegistryLocalMachine, SharedString(u"Software\\Survey\\Deep"), 0));
        RegistryKey key = 0;
        ASSERT_TRUE(host.regOpenKey(kRegistryLocalMachine, SharedString(u"Software"), 0, kRegistryModeWrite, key));
        RegistryKey sub = 0;
        ASSERT_TRUE(host.regCreateKey(key, SharedString(u"Survey"), 0, sub));
        ASSERT_TRUE(host.regDeleteValue(sub, SharedString(u"Added")));
        ASSERT_TRUE(host.regDeleteValue(sub, SharedString(u"Path")));
        EXPECT_TRUE(host.regCloseKey(sub));
        EXPECT_TRUE(host.regCloseKey(key));
    }

    std::optional<InstallDevice> device_;
    std::unique_ptr<RollbackJournal> journal_;
    std::shared_ptr<JournalingHal> journaled_;
};

TEST_F(RollbackJournalTest, UndoPutsFilesFoldersAndRegistryBackToTheByte)
{
    const auto before = device().snapshot();
    changeEverything();
    EXPECT_TRUE(journal_->hasChanges());
    EXPECT_NE(device().snapshot(), before);
    EXPECT_TRUE(journal_->undo());
    EXPECT_EQ(device().snapshot(), before);
    EXPECT_FALSE(journal_->hasChanges());
}

TEST_F(RollbackJournalTest, CommitKeepsTheChangesAndDropsWhatWasKept)
{
    changeEverything();
    journal_->commit();
    EXPECT_FALSE(device().device().exists("Windows/Installer"));
    EXPECT_EQ(device().device().readFile("Program Files/Survey/replace.txt"), "the new content");
    EXPECT_FALSE(device().device().exists("Program Files/Survey/remove.txt"));
    EXPECT_EQ(device().device().readFile("Program Files/Survey/new/moved.txt"), "moved, then back");
    EXPECT_EQ(device().device().readFile("Program Files/Survey/copy.txt"), "new log");
    std::uint32_t made = 0;
    EXPECT_TRUE(device().host()->readRegistryDwordValue(kRegistryLocalMachine, SharedString(u"Software\\New\\Key"), 0,
                                                        SharedString(u"Made"), made));
    EXPECT_EQ(made, 1u);
}

// Where the store cannot be made, a file that would have to be kept is not
// removed or replaced.
TEST_F(RollbackJournalTest, AFileThatCannotBeKeptIsNotRemoved)
{
    device().device().writeFile("Windows/Installer", "a file where the store's folder would go");
    EXPECT_FALSE(journaled_->deleteFile(SharedString(u"\\Program Files\\Survey\\remove.txt")));
    EXPECT_EQ(journaled_->createFileForWrite(SharedString(u"\\Program Files\\Survey\\replace.txt")),
              kInvalidFileHandle);
    EXPECT_EQ(device().device().readFile("Program Files/Survey/remove.txt"), "removed, then back");
    EXPECT_EQ(device().device().readFile("Program Files/Survey/replace.txt"), "the old content");
    // A file the run makes needs no keeping.
    EXPECT_TRUE(writeBufferToFile(*journaled_, bytesOf("x"), SharedString(u"\\Program Files\\Survey\\made.txt")));
    EXPECT_TRUE(journaled_->deleteFile(SharedString(u"\\Program Files\\Survey\\made.txt")));
    EXPECT_TRUE(journal_->undo());
    EXPECT_FALSE(device().device().exists("Program Files/Survey/made.txt"));
}

// A store that a run which ended without cleaning up left keeps its files:
// this run keeps its own under numbers of their own, and neither the undo
// nor the commit touches the earlier ones.
TEST_F(RollbackJournalTest, AStoreLeftByAnEarlierRunKeepsItsFiles)
{
    device().device().writeFile("Windows/Installer/Survey/Rollback/0", "left by an earlier run");
    device().device().writeFile("Windows/Installer/Survey/Rollback/1", "left too");
    const SharedString path(u"\\Program Files\\Survey\\remove.txt");
    for (const bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "undo");
        ASSERT_TRUE(journaled_->deleteFile(path));
        EXPECT_FALSE(device().device().exists("Program Files/Survey/remove.txt"));
        if (commit)
            journal_->commit();
        else
            EXPECT_TRUE(journal_->undo());
        EXPECT_EQ(device().device().exists("Program Files/Survey/remove.txt"), !commit);
        EXPECT_EQ(device().device().readFile("Windows/Installer/Survey/Rollback/0"), "left by an earlier run");
        EXPECT_EQ(device().device().readFile("Windows/Installer/Survey/Rollback/1"), "left too");
    }
}

// A removal takes the host's answer that the file is there, given just
// before; a file that another process took away meanwhile is gone all the
// same: nothing to keep, nothing to undo, no failure.
TEST_F(RollbackJournalTest, AFileGoneBetweenTheQuestionAndTheRemovalIsRemoved)
{
    test::DiagCapture log;
    const SharedString path(u"\\Program Files\\Survey\\remove.txt");
    bool isFolder = true;
    ASSERT_TRUE(journaled_->exists(path, &isFolder));
    EXPECT_FALSE(isFolder);
    std::filesystem::remove(device().device().hostPath("Program Files/Survey/remove.txt"));
    EXPECT_TRUE(journaled_->deleteFile(path));
    EXPECT_FALSE(log.contains(u"Cannot keep"));
    EXPECT_FALSE(journal_->hasChanges());

    // The answer serves one removal: a file made again afterwards is kept.
    device().device().writeFile("Program Files/Survey/remove.txt", "back again");
    ASSERT_TRUE(journaled_->deleteFile(path));
    EXPECT_TRUE(journal_->undo());
    EXPECT_EQ(device().device().readFile("Program Files/Survey/remove.txt"), "back again");
}

// A held file cannot be moved aside: a copy is kept, the file is written
// over where it stands, and the undo writes the copy back over it.
TEST_F(RollbackJournalTest, AHeldFileIsWrittenOverInPlaceAndBackOnUndo)
{
    const SharedString path(u"\\Program Files\\Survey\\replace.txt");
    test::FileHolderProcess holder(device().device().hostPath("Program Files/Survey/replace.txt"));
    ASSERT_TRUE(holder.running());
    ASSERT_FALSE(journaled_->deleteFile(path));
    ASSERT_TRUE(writeBufferToFile(*journaled_, bytesOf("the new content"), path));
    EXPECT_EQ(device().device().readFile("Program Files/Survey/replace.txt"), "the new content");

    EXPECT_TRUE(journal_->undo());
    EXPECT_EQ(device().device().readFile("Program Files/Survey/replace.txt"), "the old content");
    EXPECT_FALSE(device().device().exists("Windows/Installer/Survey/Rollback"));
}

}  // namespace
}  // namespace druvex
