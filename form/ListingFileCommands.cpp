// The listing file: Save As, Save, and the New and Open commands that empty the listing.
#include "form/CatalogriumView.h"

#include "engine/CatalogriumDoc.h"
#include "engine/Prompter.h"
#include "form/ViewDialogs.h"

#include <filesystem>

namespace {

const std::string kUntitledFileName = "Untitled.txt";

// Save writes without asking only to a file that is still there and writable by its owner.
bool CanRewrite(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::is_regular_file(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) !=
               std::filesystem::perms::none;
}

} // namespace

void CCatalogriumView::OnFileSaveAs() {
    const auto chosen =
        m_dialogs.AskSaveFileName(m_strPathName.empty() ? kUntitledFileName : m_strPathName);
    if (chosen)
        SaveTo(*chosen);
}

void CCatalogriumView::OnFileSave() {
    if (m_strPathName.empty() || !CanRewrite(m_strPathName))
        OnFileSaveAs();
    else
        SaveTo(m_strPathName);
}

// A file that cannot be written is reported with its name; the last saved file stays the one
// that Save writes to.
void CCatalogriumView::SaveTo(const std::string& path) {
    std::string error;
    if (m_doc.SaveListingFile(path, error))
        m_strPathName = path;
    else
        m_prompter.Prompt(error, kAppTitle, MessageIcon::Warning, MessageButtons::Ok);
}

void CCatalogriumView::OnFileNew() {
    ForgetListing();
    m_strPathName.clear();
}

// Nothing is read from the chosen file, and it does not become the file that Save writes to:
// saving would replace it with whatever listing is shown.
void CCatalogriumView::OnFileOpen() {
    if (m_dialogs.AskOpenFileName())
        ForgetListing();
}

// An emptied listing is never reused: the next Go reads the folder again.
void CCatalogriumView::ForgetListing() {
    m_doc.DeleteContents();
    m_strLastFolder.clear();
}
