#include "CatalogueMenu.h"

#include "Adding.h"
#include "CatalogriumDoc.h"
#include "CatalogriumView.h"
#include "FindCatalogueWindow.h"
#include "ListingPrinter.h"
#include "MainFrame.h"
#include "MediaDlg.h"
#include "Prompter.h"
#include "VolumeInfo.h"

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <thread>

namespace {

constexpr int kProgressMs = 100;

QString SettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/catalogrium3-catalogue.ini");
}

} // namespace

CCatalogueMenu::CCatalogueMenu(CMainFrame& frame, CCatalogriumDoc& doc, IPrompter& prompter)
    : QObject(&frame), m_frame(frame), m_doc(doc), m_prompter(prompter) {
    askMediumName = [this](const std::string& proposed) -> std::optional<std::string> {
        bool ok = false;
        const QString name = QInputDialog::getText(&m_frame, tr("Add Listing to Catalogue"),
                                                   tr("Name of the medium:"), QLineEdit::Normal,
                                                   QString::fromStdString(proposed), &ok);
        if (!ok || name.trimmed().isEmpty())
            return std::nullopt;
        return name.trimmed().toStdString();
    };
    openFolder = [](const std::string& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    };
    QMenu* menu = frame.findChild<QMenu*>(QStringLiteral("catalogueMenu"));
    m_addAction = frame.findChild<QAction*>(QStringLiteral("actionAddToCatalogue"));
    connect(m_addAction, &QAction::triggered, this, &CCatalogueMenu::OnAddToCatalogue);
    connect(frame.findChild<QAction*>(QStringLiteral("actionFindInCatalogue")), &QAction::triggered,
            this, &CCatalogueMenu::OnFindInCatalogue);
    connect(frame.findChild<QAction*>(QStringLiteral("actionMedia")), &QAction::triggered, this,
            &CCatalogueMenu::OnMedia);
    connect(menu, &QMenu::aboutToShow, this, &CCatalogueMenu::UpdateStates);
    UpdateStates();
}

CCatalogueMenu::~CCatalogueMenu() = default;

std::string CCatalogueMenu::Location() const {
    const QString chosen = qEnvironmentVariable("CATALOGRIUM3_CATALOGUE");
    return chosen.isEmpty() ? DefaultCatalogueLocation() : chosen.toStdString();
}

// Adding needs a listing read by a successful Go.
void CCatalogueMenu::UpdateStates() {
    m_addAction->setEnabled(!m_doc.m_strListedFolder.empty());
}

std::string CCatalogueMenu::ProposedName() const {
    const std::string folder = m_doc.m_strListedFolder;
    const VolumeInfo volume = VolumeOf(folder);
    if (!volume.label.empty())
        return volume.label;
    const CListingPrinter::Kept& title = m_frame.View()->ListingPrinter().m_kept;
    if (title.m_bTitleComposed && !title.m_bTitleFromPath && !title.m_title.m_strTitle1.empty())
        return title.m_title.m_strTitle1;
    const QString name = QFileInfo(QString::fromStdString(folder)).fileName();
    return name.isEmpty() ? folder : name.toStdString();
}

void CCatalogueMenu::OnAddToCatalogue() {
    UpdateStates();
    if (!m_addAction->isEnabled())
        return;
    const auto name = askMediumName(ProposedName());
    if (!name)
        return;
    bool replace = false;
    try {
        const auto conflicts =
            OpenCatalogue(Location())->Conflicts(*name, VolumeOf(m_doc.m_strListedFolder).uuid);
        if (!conflicts.empty()) {
            if (m_prompter.Prompt("The catalogue already has \"" + conflicts.front() +
                                      "\" (the same name or volume). Replace it?",
                                  kAppTitle, MessageIcon::Question,
                                  MessageButtons::YesNo) != MessageAnswer::Yes)
                return;
            replace = true;
        }
    } catch (const CatalogueError& error) {
        return Report(error.what());
    }
    Add(*name, replace);
}

void CCatalogueMenu::Add(const std::string& name, bool replace) {
    struct State {
        std::atomic<bool> stop = false;
        std::atomic<std::int64_t> entries = 0;
        std::atomic<bool> done = false;
        AddOutcome outcome = AddOutcome::Stopped;
        std::string error;
    } state;
    const std::string folder = m_doc.m_strListedFolder;
    std::jthread worker([&, location = Location()] {
        try {
            auto catalogue = OpenCatalogue(location);
            state.outcome = AddToCatalogue(*catalogue, name, folder, replace, state.stop,
                                           [&](std::int64_t entries) { state.entries = entries; });
        } catch (const CatalogueError& error) {
            state.error = error.what();
        }
        state.done = true;
    });
    // The progress note keeps the window painted and takes no input but Esc, which stops.
    m_frame.BeginProgress();
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        m_frame.SetStatusText("Adding to the catalogue: " + std::to_string(state.entries) +
                              " entries");
        m_frame.StepIt();
        if (m_frame.StopRequested())
            state.stop = true;
        if (state.done)
            loop.quit();
    });
    poll.start(kProgressMs);
    loop.exec();
    worker.join();
    if (state.error.empty() && state.outcome == AddOutcome::Stopped)
        m_frame.SetStatusText("Adding stopped; the catalogue is as it was.");
    m_frame.RemoveProgress();
    if (!state.error.empty())
        Report(state.error);
    else if (state.outcome == AddOutcome::CannotRead)
        Report("The folder " + folder + " cannot be read; nothing was added.");
    if (m_findWindow)
        m_findWindow->RefreshMedia();
}

void CCatalogueMenu::OnFindInCatalogue() {
    if (!m_findWindow)
        m_findWindow = new CFindCatalogueWindow(
            Location(), m_prompter, [this](const std::string& f) { openFolder(f); }, SettingsPath(),
            &m_frame);
    else
        m_findWindow->RefreshMedia();
    m_findWindow->show();
    m_findWindow->raise();
    m_findWindow->activateWindow();
}

void CCatalogueMenu::OnMedia() {
    CMediaDlg dialog(Location(), m_prompter, &m_frame);
    dialog.exec();
    if (m_findWindow)
        m_findWindow->RefreshMedia();
}

void CCatalogueMenu::Report(const std::string& text) {
    m_prompter.Prompt(text, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}
