// Message boxes as the screen at hand allows: a person asked through the
// presenter when one can answer, else (no terminal, a silent run) the text
// logged and the box's default button answered at once; the message-box
// service as the utility library's sink and translator.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/loaded_function.h"
#include "core/user_hooks.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "ui_base/message_box.h"
#include "ui_base/msg_box_disp.h"

namespace druvex {
namespace {

class RecordingPresenter final : public MessageBoxPresenter {
public:
    bool canAsk() const override { return terminal; }
    int ask(const MessageBoxRequest& request) override
    {
        asked.push_back(request);
        return answer;
    }

    bool terminal = true;
    int answer = kIdNo;
    std::vector<MessageBoxRequest> asked;
};

class ScreenTypeMessageBox : public ::testing::Test {
protected:
    void SetUp() override { setMessageBoxPresenter(presenter_); }
    void TearDown() override
    {
        setMessageBoxPresenter(nullptr);
        setSilentRun(false);
    }

    std::shared_ptr<RecordingPresenter> presenter_ = std::make_shared<RecordingPresenter>();
};

TEST_F(ScreenTypeMessageBox, TheDefaultButtonIsTheFirstUnlessTheFlagsNameAnother)
{
    const struct {
        std::uint32_t flags;
        std::vector<int> buttons;
        int defaultButton;
    } cases[] = {
        {kMbOk, {kIdOk}, kIdOk},
        {kMbOkCancel | kMbIconQuestion, {kIdOk, kIdCancel}, kIdOk},
        {kMbAbortRetryIgnore, {kIdAbort, kIdRetry, kIdIgnore}, kIdAbort},
        {kMbYesNoCancel, {kIdYes, kIdNo, kIdCancel}, kIdYes},
        {kMbYesNo | kMbIconQuestion, {kIdYes, kIdNo}, kIdYes},  // 36, as scripts ask
        {kMbRetryCancel, {kIdRetry, kIdCancel}, kIdRetry},
        {kMbYesNo | kMbDefaultButton2, {kIdYes, kIdNo}, kIdNo},
        {kMbYesNoCancel | kMbDefaultButton3, {kIdYes, kIdNo, kIdCancel}, kIdCancel},
        {kMbOk | kMbDefaultButton2, {kIdOk}, kIdOk},  // no second button
        {kMbYesNo | kMbDefaultButton4, {kIdYes, kIdNo}, kIdYes},
        {0x9, {kIdOk}, kIdOk},  // a set the device does not know
    };
    for (const auto& row : cases) {
        EXPECT_EQ(messageBoxButtons(row.flags), row.buttons) << row.flags;
        EXPECT_EQ(defaultMessageBoxButton(row.flags), row.defaultButton) << row.flags;
    }
}

TEST_F(ScreenTypeMessageBox, APersonAnswersWhenOneCan)
{
    EXPECT_EQ(showMessageBoxOwned(7, u"Remove the old version?", u"DRUVEX Installer", kMbYesNo), kIdNo);
    ASSERT_EQ(presenter_->asked.size(), 1u);
    EXPECT_EQ(presenter_->asked[0].owner, 7u);
    EXPECT_EQ(presenter_->asked[0].text, u"Remove the old version?");
    EXPECT_EQ(presenter_->asked[0].caption, u"DRUVEX Installer");
    EXPECT_EQ(presenter_->asked[0].flags, kMbYesNo);
}

TEST_F(ScreenTypeMessageBox, ASilentRunLogsTheBoxAndAnswersItsDefaultButton)
{
    setSilentRun(true);
    test::DiagCapture diag;
    EXPECT_EQ(showMessageBoxOwned(0, u"Disk full.\r\nFree some space.", u"Survey", kMbRetryCancel | kMbIconError),
              kIdRetry);
    EXPECT_TRUE(presenter_->asked.empty());
    EXPECT_TRUE(diag.contains(u"Message box \"Survey\": Disk full.  Free some space. (answered Retry)"));
}

TEST_F(ScreenTypeMessageBox, WithoutATerminalOrAPresenterNoBoxWaits)
{
    presenter_->terminal = false;
    test::DiagCapture diag;
    EXPECT_EQ(showMessageBoxOwned(3, u"Continue?", u"Survey", kMbYesNoCancel | kMbDefaultButton2), kIdNo);
    EXPECT_TRUE(presenter_->asked.empty());
    setMessageBoxPresenter(nullptr);
    EXPECT_EQ(showMessageBoxOwned(0, u"Done.", u"Survey", kMbOk), kIdOk);
    EXPECT_TRUE(diag.contains(u"Message box \"Survey\": Continue? (answered No)"));
    EXPECT_TRUE(diag.contains(u"Message box \"Survey\": Done. (answered OK)"));
}

// A module that does not load is shown to the user through the service while
// it lives, and nowhere once it is gone.
TEST_F(ScreenTypeMessageBox, TheServiceShowsTheLibrarysMessagesWhileItLives)
{
    {
        MsgBoxDisp service;
        EXPECT_EQ(&getUserMessageSink(), static_cast<UserMessageSink*>(&service));
        EXPECT_EQ(&getTextTranslator(), static_cast<TextTranslator*>(&service));
        ModuleHandle module = loadLibrary(u"missing_module.dll", false);
        EXPECT_FALSE(module);
        ASSERT_EQ(presenter_->asked.size(), 1u);
        EXPECT_TRUE(presenter_->asked[0].text.view().ends_with(
            u"If the problem persists, collect application log files and contact support."));
        EXPECT_EQ(presenter_->asked[0].flags, kMbOk | kMbIconError);
        EXPECT_EQ(getTextTranslator().translateNarrow("Cancel@@button"), u"Cancel");
    }
    EXPECT_NE(&getUserMessageSink(), nullptr);
    ModuleHandle module = loadLibrary(u"missing_module.dll", false);
    EXPECT_FALSE(module);
    EXPECT_EQ(presenter_->asked.size(), 1u);
    // The default translator gives keys back as they are.
    EXPECT_EQ(getTextTranslator().translateNarrow("Cancel@@button"), u"Cancel@@button");
}

}  // namespace
}  // namespace druvex
