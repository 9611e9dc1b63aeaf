#include "app/page_destination_dlg.h"

#include "controller/wizard_controller.h"
#include "core/compact_path.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "fileutil/file_util.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {

PageDestinationDlg::PageDestinationDlg(TerminalSession& session, WizardController& controller,
                                       PageDestinationLogic& logic)
    : WizardPage(session, controller, kPageDestination, translateText("Destination")), logic_(logic)
{
    addContent<Label>(false, 0, translateText("Choose where to install the program."));
    storages_ = &addContent<ComboBox>(false, 1);
    addContent<Label>(false, 1, translateText("Destination folder:"));
    folder_ = &addContent<Label>(false, 0);
    space_ = &addContent<Label>(false, 1);
    folderWindow_ = createWindow(u"STATIC", u"", 0, getForegroundWindow());
}

PageDestinationDlg::~PageDestinationDlg()
{
    destroyWindow(folderWindow_);
}

void PageDestinationDlg::layout(int rows, int columns)
{
    WizardPage::layout(rows, columns);
    setClientWidth(folderWindow_, folder_->rect().width * kTextPixelsPerChar);
}

void PageDestinationDlg::leaveLogic()
{
    logic_.setSink(nullptr);
}

void PageDestinationDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    logic_.setSink(this);
    logic_.refreshStorages();
    std::vector<SharedString> names;
    // Paths are shown as the device writes them to people, with backslashes (the root as "\").
    for (int index = 0; index < logic_.getStorageCount(); ++index)
        names.push_back(toBackslashes(logic_.getStorageName(index)));
    storages_->setItems(std::move(names));
    storages_->setEnabled(logic_.canChooseStorage() && logic_.getStorageCount() > 1);
    const int selected = logic_.findSelectedStorage();
    storages_->setSelected(selected);
    storages_->onChange([this](int index) { storageChosen(index); });
    storageChosen(selected);
    updateButtons();
    setFocus(storages_->isEnabled() ? static_cast<Widget*>(storages_) : &nextButton());
}

void PageDestinationDlg::storageChosen(int index)
{
    if (logic_.getStorageCount() == 0) {
        folder_->setText(SharedString());
        space_->setText(translateText("The device has no storage to install to."));
        nextButton().setEnabled(false);
        return;
    }
    logic_.selectStorage(index);
    showFolder();
    space_->setText(translateText("Computing the space available..."));
    logic_.startSpaceComputation();
    relayout();
}

void PageDestinationDlg::showFolder()
{
    layout(session().rows(), session().columns());
    folder_->setText(compactPath(folderWindow_, controller().getDestinationFolder(), true));
}

bool PageDestinationDlg::canGoNext() const
{
    return logic_.getStorageCount() > 0 && WizardPage::canGoNext();
}

void PageDestinationDlg::onSpaceComputation(bool done, std::uint64_t bytes)
{
    postUpdate([this, done, bytes] {
        space_->setText(done ? formatTranslated("Space available: {1}", formatByteSize(bytes, 1, false))
                             : translateText("Computing the space available..."));
    });
}

bool PageDestinationDlg::confirmNext()
{
    return logic_.validate();
}

}  // namespace druvex
