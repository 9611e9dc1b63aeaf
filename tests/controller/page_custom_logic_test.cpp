// The custom page logic: its Lua scripts in a real script state (no script,
// "exec", "execEx" answering 0 or not, neither, a syntax error, an "exec"
// that fails), the control layout in a rectangle with its texts resolved, the
// factory asked only for a page with controls, and the variables its edit
// boxes are bound to.
#include "controller/page_custom_logic.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

template <class Element>
std::shared_ptr<Element> element(const char16_t* id, int top = 0, int left = 0)
{
    auto made = std::make_shared<Element>();
    made->id = id;
    made->marginTop = top;
    made->marginLeft = left;
    return made;
}

class RecordingFactory final : public CustomPageControlFactory {
public:
    bool createControls(const ControlLayout& layout, TargetPlatform platform) override
    {
        ++calls;
        seenEntries = layout.entries().size();
        seenPlatform = platform;
        return answer;
    }
    int calls = 0;
    std::size_t seenEntries = 0;
    TargetPlatform seenPlatform = kPlatformUnknown;
    bool answer = true;
};

class CustomPage : public test::PageLogicFixture {
protected:
    void SetUp() override
    {
        PageLogicFixture::SetUp();
        makePageProduct();
        page_ = std::make_shared<druvex::CustomPage>();
        page_->title = u"Data of <PROGRAMNAME>";
    }

    // A vertical root (margins 1 and 2) with a two-line text, then a row of
    // a label and an edit box bound to DATA_DIR.
    void addLayout()
    {
        auto root = element<LinearLayout>(u"root", 1, 2);
        root->isVertical = true;
        auto title = element<TextView>(u"title");
        title->text = u"Where should\n<PROGRAMNAME> keep its data?";
        auto row = element<LinearLayout>(u"row");
        auto label = element<TextView>(u"label");
        label->text = u"Folder";
        auto folder = element<EditBox>(u"folder");
        folder->text = u"\\Data";
        folder->variable = u"DATA_DIR";
        folder->isAPath = true;
        row->addChild(label);
        row->addChild(folder);
        root->addChild(title);
        root->addChild(row);
        page_->layout = root;
    }

    InstallerVariablePtr addVariable(const char16_t* name, bool persistent, const char16_t* value)
    {
        InstallerVariablePtr variable = InstallerVariable::create(SharedString(name));
        variable->setPersistent(persistent);
        variable->setValue(kPlatformQm40, kVariableAllUsers, SharedString(value));
        controller().getInstallData().append(variable);
        return variable;
    }

    std::shared_ptr<druvex::CustomPage> page_;
};

TEST_F(CustomPage, ScriptsRunInAStateOfTheirOwn)
{
    struct Row {
        const char* script;
        bool ok;
        const char16_t* message;
    };
    const Row rows[] = {
        {"function exec() end", true, u"Script not executed"},
        {"value = 1", false, u"Script not executed"},
        {"function execEx() return 0, 'ignored' end", true, u"Ok"},
        {"function execEx() return 3, 'Enter a folder' end", false, u"Enter a folder"},
        {"function execEx() end", true, u"Ok"},
        {"function exec(", false, u"Script not loaded"},
        {"function exec() error('boom') end", false, u"Script not executed"},
        {"function exec() error('boom') end function execEx() return 0 end", true, u"Ok"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        page_->onNextScript = fromUtf8(row.script);
        PageCustomLogic logic(controller(), page_);
        SharedString message;
        EXPECT_EQ(logic.runNextScript(message), row.ok);
        EXPECT_EQ(message, row.message);
    }

    // No script: nothing runs and nothing stops the wizard.
    PageCustomLogic logic(controller(), page_);
    SharedString message(u"untouched");
    EXPECT_TRUE(logic.runActivationScript(message));
    EXPECT_TRUE(logic.runBackScript(message));
    EXPECT_EQ(message, u"untouched");
    EXPECT_TRUE(logic.onNext());
    EXPECT_TRUE(logic.onBack());
}

// "Script not executed" names neither function nor error: the log holds
// what was looked for and why each call failed, and a load's Lua error.
TEST_F(CustomPage, AScriptThatRunsNeitherFunctionLogsWhatItLookedFor)
{
    const struct {
        const char* script;
        std::vector<std::u16string> logged;
    } rows[] = {
        {"value = 1",
         {u"The script of the custom page \"DataPage\" ran neither \"exec\" (exec entry point "
          u"missing.) nor \"execEx\" (execEx entry point missing.)"}},
        {"function exec() error('boom') end", {u"ran neither \"exec\" (", u"boom", u"nor \"execEx\" (execEx entry point"}},
        {"function exec() end function execEx() error('bang') end", {}},
        {"function exec(", {u"The script of the custom page \"DataPage\" does not load: ", u"<eof>"}},
    };
    page_->name = u"DataPage";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        page_->onNextScript = fromUtf8(row.script);
        PageCustomLogic logic(controller(), page_);
        test::DiagCapture log;
        SharedString message;
        logic.runNextScript(message);
        for (const std::u16string& fragment : row.logged)
            EXPECT_TRUE(log.contains(fragment)) << toUtf8(SharedString(std::u16string_view(fragment))).c_str();
        if (row.logged.empty()) {
            EXPECT_FALSE(log.contains(u"custom page"));
        }
    }
}

TEST_F(CustomPage, TheControlsAreLaidOutInTheRectangle)
{
    addLayout();
    addVariable(u"DATA_DIR", true, u"\\Jobs");
    PageCustomLogic logic(controller(), page_);
    EXPECT_EQ(logic.getPageTitle(), u"Data of <PROGRAMNAME>");
    RecordingFactory factory;
    EXPECT_TRUE(logic.createControls(factory, ControlRect{0, 0, 40, 10}, 0));
    EXPECT_EQ(factory.calls, 1);
    EXPECT_EQ(factory.seenEntries, 3u);
    EXPECT_EQ(factory.seenPlatform, kPlatformQm40);

    const ControlLayout& layout = logic.getLayout();
    ASSERT_TRUE(layout.hasEntries());
    const ControlLayoutEntry* title = layout.find(u"TITLE");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text, u"Where should\nSurvey Pro keep its data?");
    EXPECT_EQ(title->rect, (ControlRect{2, 1, 38, 2}));
    EXPECT_EQ(layout.find(u"label")->rect, (ControlRect{2, 3, 19, 1}));
    const ControlLayoutEntry* folder = layout.find(u"folder");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->rect, (ControlRect{21, 3, 19, 1}));
    EXPECT_EQ(folder->kind, ControlKind::Edit);
    EXPECT_EQ(folder->text, u"\\Jobs");
    EXPECT_TRUE(folder->isPath);
    EXPECT_EQ(layout.find(u"row"), nullptr);  // layouts are no controls
    EXPECT_EQ(layout.find(u""), nullptr);

    // A short area cuts the row off.
    factory.answer = false;
    EXPECT_FALSE(logic.createControls(factory, ControlRect{0, 0, 40, 3}, 0));
    EXPECT_EQ(layout.find(u"title")->rect, (ControlRect{2, 1, 38, 2}));
    EXPECT_EQ(layout.find(u"label")->rect.height, 0);
}

TEST_F(CustomPage, APageWithoutControlsMakesNone)
{
    PageCustomLogic logic(controller(), page_);
    RecordingFactory factory;
    EXPECT_FALSE(logic.getLayout().hasEntries());
    EXPECT_FALSE(logic.createControls(factory, ControlRect{0, 0, 40, 10}, 0));
    EXPECT_EQ(factory.calls, 0);
}

TEST_F(CustomPage, EditBoxesSetOnlyPersistentVariables)
{
    addLayout();
    auto other = element<EditBox>(u"other");
    other->variable = u"SCRATCH";
    page_->layout->addChild(other);
    const InstallerVariablePtr data = addVariable(u"DATA_DIR", true, u"\\Jobs");
    const InstallerVariablePtr scratch = addVariable(u"SCRATCH", false, u"kept");
    PageCustomLogic logic(controller(), page_);

    logic.setVariableValue(SharedString(u"folder"), SharedString(u"\\Storage Card\\Jobs"));
    EXPECT_EQ(data->values().size(), 1u);
    EXPECT_EQ(data->getExactValue(kPlatformAll, kVariableAllUsers), u"\\Storage Card\\Jobs");
    logic.setVariableValue(SharedString(u"other"), SharedString(u"changed"));
    EXPECT_EQ(scratch->getExactValue(kPlatformQm40, kVariableAllUsers), u"kept");

    SharedString value;
    EXPECT_TRUE(logic.getVariableValue(SharedString(u"FOLDER"), value));
    EXPECT_EQ(value, u"\\Storage Card\\Jobs");
    EXPECT_FALSE(logic.getVariableValue(SharedString(u"missing"), value));
    EXPECT_EQ(value, u"");
}

}  // namespace
}  // namespace druvex
