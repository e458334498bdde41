#include "CatalogueMenu.h"

#include "catalogue/Adding.h"
#include "catalogue/VolumeInfo.h"
#include "engine/CatalogriumDoc.h"
#include "engine/Prompter.h"
#include "form/CatalogriumView.h"
#include "print/ListingPrinter.h"
#include "shell/CatalogueListing.h"
#include "shell/DuplicatesWindow.h"
#include "shell/FindCatalogueWindow.h"
#include "shell/MainFrame.h"
#include "shell/MediaDlg.h"
#include "shell/MediumWindow.h"
#include "shell/NameBytes.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <atomic>
#include <filesystem>
#include <initializer_list>

namespace {

constexpr int kProgressMs = 100;
const std::string kAddStopped = "Adding stopped; the catalogue is as it was.";
const std::string kAddFailed = "Adding failed; the catalogue is as it was.";

// The name of the medium, and whether to keep the hash of every file's content.
std::optional<CCatalogueMenu::MediumToAdd> AskNewMedium(QWidget& parent,
                                                        const std::string& proposed) {
    QDialog dialog(&parent);
    dialog.setWindowTitle(QObject::tr("Add Listing to Catalogue"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QObject::tr("&Name of the medium:"));
    auto* name = new QLineEdit(ReadableName(proposed));
    name->setObjectName(QStringLiteral("mediumName"));
    label->setBuddy(name);
    auto* checksums =
        new QCheckBox(QObject::tr("&Keep a checksum of every file's content, to verify it later"));
    checksums->setObjectName(QStringLiteral("checksumsBox"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    for (QWidget* widget : std::initializer_list<QWidget*>{label, name, checksums, buttons})
        layout->addWidget(widget);
    if (dialog.exec() != QDialog::Accepted || name->text().trimmed().isEmpty())
        return std::nullopt;
    return CCatalogueMenu::MediumToAdd{name->text().trimmed().toStdString(),
                                       checksums->isChecked()};
}

QString SettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/catalogrium3-catalogue.ini");
}

} // namespace

CCatalogueMenu::CCatalogueMenu(CMainFrame& frame, CCatalogriumDoc& doc, IPrompter& prompter)
    : QObject(&frame), m_frame(frame), m_doc(doc), m_prompter(prompter) {
    askMedium = [this](const std::string& proposed) { return AskNewMedium(m_frame, proposed); };
    openFolder = [](const std::string& folder) {
        return QDesktopServices::openUrl(QUrl::fromEncoded(FileUri(folder)));
    };
    QMenu* menu = frame.findChild<QMenu*>(QStringLiteral("catalogueMenu"));
    m_addAction = frame.findChild<QAction*>(QStringLiteral("actionAddToCatalogue"));
    connect(m_addAction, &QAction::triggered, this, &CCatalogueMenu::OnAddToCatalogue);
    connect(frame.findChild<QAction*>(QStringLiteral("actionFindInCatalogue")), &QAction::triggered,
            this, &CCatalogueMenu::OnFindInCatalogue);
    connect(frame.findChild<QAction*>(QStringLiteral("actionMedia")), &QAction::triggered, this,
            &CCatalogueMenu::OnMedia);
    connect(frame.findChild<QAction*>(QStringLiteral("actionDuplicates")), &QAction::triggered,
            this, &CCatalogueMenu::OnDuplicates);
    connect(menu, &QMenu::aboutToShow, this, &CCatalogueMenu::UpdateStates);
    m_listing = new CCatalogueListing(frame, doc, prompter, [this] { return Location(); });
    UpdateStates();
}

CCatalogueMenu::~CCatalogueMenu() = default;

std::string CCatalogueMenu::Location() const {
    const QString chosen = qEnvironmentVariable("CATALOGRIUM3_CATALOGUE");
    return chosen.isEmpty() ? DefaultCatalogueLocation() : chosen.toStdString();
}

// Adding needs a listing read from the disk by a successful Go.
void CCatalogueMenu::UpdateStates() {
    m_addAction->setEnabled(!m_doc.m_strListedFolder.empty() && !m_listing->ListedMedium());
}

std::string CCatalogueMenu::ProposedName() const {
    const std::string folder = m_doc.m_strListedFolder;
    const VolumeInfo volume = VolumeOf(folder);
    if (!volume.label.empty())
        return volume.label;
    const CListingPrinter::Kept& title = m_frame.View()->ListingPrinter().m_kept;
    if (title.m_bTitleComposed && !title.m_bTitleFromPath && !title.m_title.m_strTitle1.empty())
        return title.m_title.m_strTitle1;
    const std::string name = std::filesystem::path(folder).filename().string();
    return name.empty() ? folder : name;
}

void CCatalogueMenu::OnAddToCatalogue() {
    UpdateStates();
    if (!m_addAction->isEnabled())
        return;
    const auto medium = askMedium(ProposedName());
    if (!medium)
        return;
    const auto replace = AskReplace(medium->name);
    if (replace)
        Add(*medium, *replace);
}

// Whether the add may replace what it conflicts with; nothing when it must not go on. The
// question tells how the folder differs from the medium it replaces.
std::optional<bool> CCatalogueMenu::AskReplace(const std::string& name) {
    const std::string folder = m_doc.m_strListedFolder;
    const VolumeInfo volume = VolumeOf(folder);
    std::vector<std::string> conflicts;
    std::optional<FolderChanges> changes;
    m_frame.BeginProgress();
    m_frame.SetStatusText("Reading the catalogue...");
    std::string error;
    const auto outcome = RunUnderNote(
        m_frame, Location(), CatalogueUse::Add,
        [&](ICatalogue& catalogue, const std::atomic<bool>& stopped) {
            conflicts = catalogue.Conflicts(name, volume);
            if (conflicts.size() == 1)
                changes = CompareWithFolder(catalogue, conflicts.front(), folder, false, stopped);
        },
        error);
    if (outcome != CCatalogueTask::Outcome::Done) {
        EndAdd(outcome == CCatalogueTask::Outcome::Stopped ? kAddStopped : kAddFailed, error);
        return std::nullopt;
    }
    m_frame.RemoveProgress();
    if (conflicts.empty())
        return false;
    std::string question;
    try {
        question = ReplaceQuestion(name, conflicts);
        if (changes)
            question += "\n\nSince it was catalogued: " + ChangeCountsText(changes->counts) + ".";
    } catch (const TwoMediaError& twoMedia) {
        Report(twoMedia.what());
        return std::nullopt;
    }
    if (m_prompter.Prompt(question, kAppTitle, MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return std::nullopt;
    return true;
}

// The entries keep the comments that the listing shows.
void CCatalogueMenu::Add(const MediumToAdd& medium, bool replace) {
    const std::string& name = medium.name;
    const std::string folder = m_doc.m_strListedFolder;
    AddChoices choices;
    choices.replace = replace;
    choices.checksums = medium.checksums;
    choices.comments = {CommentsOf(m_doc.m_entryList), m_frame.View()->Options().m_bUpperCase != 0};
    std::atomic<std::int64_t> entries = 0;
    AddOutcome added = AddOutcome::Stopped;
    m_frame.BeginProgress();
    QTimer progress;
    connect(&progress, &QTimer::timeout, this, [&] {
        m_frame.SetStatusText("Adding: " + std::to_string(entries) + " entries");
        m_frame.StepIt();
    });
    progress.start(kProgressMs);
    std::string error;
    const auto outcome = RunUnderNote(
        m_frame, Location(), CatalogueUse::Add,
        [&](ICatalogue& catalogue, const std::atomic<bool>& stopped) {
            added = AddToCatalogue(catalogue, name, folder, choices, stopped,
                                   [&](std::int64_t count) { entries = count; });
        },
        error);
    progress.stop();
    if (outcome == CCatalogueTask::Outcome::Done && added == AddOutcome::Added)
        EndAdd("Added " + name + ": " + std::to_string(entries) + " entries");
    else if (outcome == CCatalogueTask::Outcome::Failed)
        EndAdd(kAddFailed, error);
    else if (added == AddOutcome::CannotRead)
        EndAdd(kAddFailed, "The folder " + folder + " cannot be read; nothing was added.");
    else
        EndAdd(kAddStopped);
    if (m_findWindow)
        m_findWindow->RefreshMedia();
}

// The outcome stays in the status bar; an error is reported as well.
void CCatalogueMenu::EndAdd(const std::string& outcome, const std::string& error) {
    m_frame.RemoveProgressSaying(outcome);
    if (!error.empty())
        Report(error);
}

CFindCatalogueWindow* CCatalogueMenu::FindWindow() const {
    return m_findWindow;
}

void CCatalogueMenu::OnFindInCatalogue() {
    if (!m_findWindow) {
        m_findWindow = new CFindCatalogueWindow(
            Location(), m_prompter, [this](const std::string& f) { return openFolder(f); },
            SettingsPath(), &m_frame);
        connect(m_findWindow, &CFindCatalogueWindow::browseAsked, this,
                &CCatalogueMenu::OpenMedium);
    } else {
        m_findWindow->RefreshMedia();
    }
    m_findWindow->show();
    m_findWindow->raise();
    m_findWindow->activateWindow();
}

CDuplicatesWindow* CCatalogueMenu::DuplicatesWindow() const {
    return m_duplicatesWindow;
}

void CCatalogueMenu::OnDuplicates() {
    if (!m_duplicatesWindow) {
        m_duplicatesWindow = new CDuplicatesWindow(
            Location(), m_prompter, [this](const std::string& f) { return openFolder(f); },
            &m_frame);
        connect(m_duplicatesWindow, &CDuplicatesWindow::browseAsked, this,
                &CCatalogueMenu::OpenMedium);
    } else
        m_duplicatesWindow->Refresh();
    m_duplicatesWindow->show();
    m_duplicatesWindow->raise();
    m_duplicatesWindow->activateWindow();
}

void CCatalogueMenu::OnMedia() {
    CMediaDlg dialog(Location(), m_prompter, &m_frame);
    dialog.exec();
    if (m_findWindow)
        m_findWindow->RefreshMedia();
    if (!dialog.MediumToBrowse().empty())
        OpenMedium(dialog.MediumToBrowse());
}

void CCatalogueMenu::OpenMedium(const std::string& medium, const std::string& path) {
    QPointer<CMediumWindow>& window = m_mediumWindows[medium];
    if (!window) {
        window = new CMediumWindow(Location(), medium, m_prompter, &m_frame);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &CMediumWindow::findAsked, this, [this](const std::string& name) {
            OnFindInCatalogue();
            m_findWindow->ChooseMedium(name);
        });
        connect(window, &CMediumWindow::listAsked, m_listing, &CCatalogueListing::ListFolder);
    }
    if (!path.empty())
        window->ShowEntryAt(path);
    window->show();
    window->raise();
    window->activateWindow();
}

CMediumWindow* CCatalogueMenu::MediumWindow(const std::string& medium) const {
    const auto found = m_mediumWindows.find(medium);
    return found == m_mediumWindows.end() ? nullptr : found->second.data();
}

void CCatalogueMenu::Report(const std::string& text) {
    m_prompter.Prompt(text, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}
