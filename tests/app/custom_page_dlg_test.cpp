// The custom wizard page on a scripted terminal, with its definition read
// from installer data and its logic made by the wizard's move to it: the
// texts translated and expanded, the edit box showing its variable, what is
// typed written to the variable on Next (and only there), the Next and Back
// scripts that keep the page or change variables, the activation script.
#include "app/custom_page_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "app/custom_page_xml.h"
#include "controller/installer_controller.h"
#include "controller/page_logic_fixture.h"
#include "controller/page_logics.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"
#include "../ui/scripted_terminal.h"

namespace druvex {
namespace {

using test::ch;
using test::CustomPageSpec;
using test::key;

class CustomPageDialog : public test::InstalledStateFixture {
protected:
    void TearDown() override
    {
        clearTranslationTable();
        InstalledStateFixture::TearDown();
    }

    // "Survey Pro" in the install mode with the page of `spec` read from
    // installer data, current, with its logic made as the wizard makes it.
    InstallerController& openPage(const CustomPageSpec& spec)
    {
        InstallerController& controller = makeProduct();
        ui_ = std::make_shared<test::RecordingUiCallback>();
        ui_->setController(&controller);
        controller.setUiCallback(ui_);
        controller.setRedistributables(std::make_shared<test::ScriptedRedistributables>());
        const std::string data = "<data><Version>3</Version>\n" + test::customPageXml(spec) + "</data>";
        InstallDataRefusal refusal;
        EXPECT_TRUE(readInstallDataXml(controller.getInstallData(), data.data(), data.size(), nullptr, &refusal))
            << toUtf8(describeInstallDataRefusal(refusal)).c_str();
        auto logics = std::make_shared<PageLogicRegistry>();
        registerControllerPageLogics(*logics);
        controller.setPageLogicFactory(logics);
        controller.getPageSequence().buildForMode(kModeInstall);
        controller.getPageSequence().goToPage(kPageCustomFirst);
        EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageCustomFirst);
        return controller;
    }

    // Shows the page until it ends; its command.
    int run(InstallerController& controller)
    {
        std::unique_ptr<WizardPage> page = createCustomPageDlg(ui.session, controller);
        EXPECT_NE(page, nullptr);
        return page ? page->doModal() : -1;
    }

    SharedString variable(const char16_t* name)
    {
        const InstallerVariablePtr found = controller().getInstallData().findByName(name);
        return found ? found->getValue(controller().getTargetPlatform(), kVariableAllUsers) : SharedString(u"(none)");
    }

    std::vector<std::u16string> shownTexts() const
    {
        std::vector<std::u16string> texts;
        for (const auto& [text, severity, flag] : ui_->shown)
            texts.push_back(text);
        return texts;
    }

    test::ScriptedSession ui;
    std::shared_ptr<test::RecordingUiCallback> ui_;
};

using Texts = std::vector<std::u16string>;

TEST_F(CustomPageDialog, ShowsTheTranslatedTextsAndTheVariableThenWritesWhatIsTypedOnNext)
{
    device().writeFile("de.lng", test::utf16leFromUtf8("[Job of <PROGRAMNAME>][Auftrag von <PROGRAMNAME>]\r\n"
                                                       "[Name of the first job][Name des ersten Auftrags]\r\n"
                                                       "[Next >][Weiter >]\r\n"));
    ASSERT_TRUE(selectTranslationFile(u"\\de.lng"));
    CustomPageSpec spec;
    spec.title = "Job of <PROGRAMNAME>";
    spec.value = "Ab";
    // Texts are translation keys before their variables are expanded.
    InstallerController& controller = openPage(spec);

    ui.keysWhen("[Ab", {ch(U'c'), key(KeyCode::Backspace), ch(U'7')});
    ui.keysWhen("[Ab7", {key(KeyCode::Enter)});
    EXPECT_EQ(run(controller), kPageCommandNext);
    const std::string& screen = ui.script->screenAtLastKey;
    EXPECT_NE(screen.find("Auftrag von Survey Pro"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Name des ersten Auftrags"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Weiter >"), std::string::npos) << screen;
    // The text on the layout's first row, the box two rows below it.
    const std::size_t label = screen.find("Name des ersten Auftrags");
    const std::size_t box = screen.find("[Ab7");
    ASSERT_NE(box, std::string::npos);
    EXPECT_EQ(std::count(screen.begin() + static_cast<long>(label), screen.begin() + static_cast<long>(box), '\n'),
              2);
    EXPECT_EQ(variable(u"JOB_NAME"), u"Ab7");
    EXPECT_EQ(shownTexts(), Texts{});
}

TEST_F(CustomPageDialog, EveryBoundBoxIsWrittenBackWhole)
{
    struct Row {
        const char* editId;
        bool isPath;
        std::string value;
        const char16_t* typed;
    };
    const std::string longValue(300, 'v');
    const Row rows[] = {
        {"job", false, "", u"x"},
        // An edit box without an Id of its own is bound all the same.
        {"", false, "", u"x"},
        // A value longer than a path box takes is not cut.
        {"job", true, longValue, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.editId) + " " + std::to_string(row.value.size()));
        CustomPageSpec spec;
        spec.editId = row.editId;
        spec.editIsPath = row.isPath;
        spec.value = row.value;
        InstallerController& controller = openPage(spec);
        ui.setKeys(row.typed ? std::vector<Key>{ch(U'x'), key(KeyCode::Enter)} : std::vector<Key>{key(KeyCode::Enter)});
        EXPECT_EQ(run(controller), kPageCommandNext);
        EXPECT_EQ(variable(u"JOB_NAME"), row.typed ? SharedString(row.typed) : fromUtf8(row.value));
    }
}

TEST_F(CustomPageDialog, ANextScriptThatRefusesKeepsThePageAndShowsItsMessage)
{
    CustomPageSpec spec;
    // The script sees what was typed: the variables are written first.
    spec.onNextScript =
        "function execEx() if DQ_GetVariableValue('JOB_NAME') == '' then return 1, 'Enter a job name' end "
        "return 0, '' end";
    InstallerController& controller = openPage(spec);
    ui.keys({key(KeyCode::Enter), ch(U'J'), key(KeyCode::Enter)});
    EXPECT_EQ(run(controller), kPageCommandNext);
    EXPECT_EQ(shownTexts(), Texts{u"Enter a job name"});
    EXPECT_EQ(variable(u"JOB_NAME"), u"J");
    // The page ended at the second Enter only.
    EXPECT_TRUE(ui.script->keys.empty());
    EXPECT_NE(ui.script->screenAtLastKey.find("[J"), std::string::npos);
}

TEST_F(CustomPageDialog, ScriptsChangeVariablesThatThePageAndTheWizardSee)
{
    CustomPageSpec spec;
    spec.onActivationScript = "function exec() DQ_SetVariableValue('JOB_NAME', 'Day 1') end";
    spec.onNextScript = "function exec() DQ_SetVariableValue('JOB_FOLDER', '\\\\Jobs\\\\' .. "
                        "DQ_GetVariableValue('JOB_NAME')) end";
    InstallerController& controller = openPage(spec);
    ui.keysWhen("[Day 1", {ch(U'x'), key(KeyCode::Enter)});
    EXPECT_EQ(run(controller), kPageCommandNext);
    EXPECT_EQ(variable(u"JOB_NAME"), u"Day 1x");
    EXPECT_EQ(variable(u"JOB_FOLDER"), u"\\Jobs\\Day 1x");
    EXPECT_EQ(shownTexts(), Texts{});
}

TEST_F(CustomPageDialog, BackAsksTheBackScriptAndWritesNothing)
{
    CustomPageSpec spec;
    spec.value = "kept";
    // Refuses once: a state of its own each time, so the memory is a variable.
    spec.onBackScript = "function execEx() if DQ_GetVariableValue('TRIED') == '' then "
                        "DQ_SetVariableValue('TRIED', 'yes') return 2, 'Not yet' end return 0 end";
    InstallerController& controller = openPage(spec);
    // Typed, then Tab to Back, pressed twice.
    ui.keys({ch(U'x'), key(KeyCode::Tab), key(KeyCode::Enter), key(KeyCode::Enter)});
    EXPECT_EQ(run(controller), kPageCommandBack);
    EXPECT_EQ(shownTexts(), Texts{u"Not yet"});
    EXPECT_TRUE(ui.script->keys.empty());
    EXPECT_EQ(variable(u"JOB_NAME"), u"kept");
}

}  // namespace
}  // namespace druvex
