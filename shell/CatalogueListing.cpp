#include "CatalogueListing.h"

#include "catalogue/VolumeInfo.h"
#include "engine/CatalogriumDoc.h"
#include "engine/Prompter.h"
#include "form/CatalogriumView.h"
#include "shell/EntryText.h"
#include "shell/MainFrame.h"
#include "shell/NameBytes.h"

#include <algorithm>
#include <atomic>

namespace {

// "Catalogued as NAME, DATE", for each medium.
std::string CataloguedAs(const std::vector<Medium>& media) {
    std::string text = "Catalogued as ";
    for (const Medium& medium : media) {
        if (&medium != &media.front())
            text += "; ";
        text += ReadableName(medium.name).toStdString() + ", " +
                LocalTimeText(medium.added).toStdString();
    }
    return text;
}

} // namespace

CCatalogueTask::Outcome RunUnderNote(CMainFrame& frame, const std::string& location,
                                     CatalogueUse use, CCatalogueTask::Work work,
                                     std::string& error) {
    CCatalogueTask task(use);
    QObject::connect(&frame, &CMainFrame::stopRequested, &task, &CCatalogueTask::Stop);
    return task.Run(location, std::move(work), error);
}

CCatalogueListing::CCatalogueListing(CMainFrame& frame, CCatalogriumDoc& doc, IPrompter& prompter,
                                     std::function<std::string()> location)
    : QObject(&frame), m_frame(frame), m_doc(doc), m_prompter(prompter),
      m_location(std::move(location)) {
    CCatalogriumView* view = m_frame.View();
    connect(view, &CCatalogriumView::listingRead, this, &CCatalogueListing::ListingRead);
    connect(view, &CCatalogriumView::recordedFolderLeft, this, [this] { m_medium.reset(); });
    connect(&m_lookUp, &CCatalogueTask::finished, this, &CCatalogueListing::EndLookUp);
}

CCatalogueListing::~CCatalogueListing() = default;

// The medium and the folder's path are read first, so that the form shows the path at once.
void CCatalogueListing::ListFolder(const std::string& medium, std::int64_t folderId) {
    std::optional<Medium> found;
    std::optional<std::string> pathBelow;
    const bool read = ReadCatalogue([&](ICatalogue& catalogue, const std::atomic<bool>&) {
        const auto media = catalogue.Media();
        const auto it = std::ranges::find(media, medium, &Medium::name);
        if (it == media.end())
            return;
        found = *it;
        pathBelow = catalogue.PathOf(medium, folderId);
    });
    if (!read)
        return;
    if (!found || !pathBelow)
        return Report("The catalogue no longer has this folder of \"" +
                      ReadableName(medium).toStdString() + "\".");
    const CataloguedFolder folder{medium, *pathBelow};
    m_frame.View()->SetRecordedFolder(
        {PathAsAdded(*found, folder), [this, folder](CCatalogriumDoc& doc, int filesAndFolders) {
             return ReadFolder(doc, folder, filesAndFolders);
         }});
    m_medium = std::move(found);
    m_frame.RemoveProgressSaying(CataloguedAs({*m_medium}));
    m_frame.activateWindow();
    m_frame.raise();
}

// Under the progress note, Esc stopping it; false when it did not end, after a message when it
// failed.
bool CCatalogueListing::ReadCatalogue(CCatalogueTask::Work work) {
    std::string error;
    m_frame.BeginProgress();
    m_frame.SetStatusText("Reading the catalogue...");
    const auto outcome =
        RunUnderNote(m_frame, m_location(), CatalogueUse::LookUp, std::move(work), error);
    m_frame.RemoveProgress();
    if (outcome == CCatalogueTask::Outcome::Failed)
        Report(error);
    return outcome == CCatalogueTask::Outcome::Done;
}

// Go's reading of the folder, from the catalogue.
bool CCatalogueListing::ReadFolder(CCatalogriumDoc& doc, const CataloguedFolder& folder,
                                   int filesAndFolders) {
    CataloguedListing listing;
    const bool read = ReadCatalogue([&](ICatalogue& catalogue, const std::atomic<bool>&) {
        listing = ReadCataloguedFolder(catalogue, folder);
    });
    if (!read)
        return false;
    doc.ListRecordedFolder(listing.path, std::move(listing.entries), filesAndFolders);
    return true;
}

// A folder of the disk is looked up on a thread of its own: the window does not wait for it.
void CCatalogueListing::ListingRead() {
    if (m_medium) {
        m_frame.SetClosingRemark(CataloguedAs({*m_medium}));
        return;
    }
    auto found = std::make_shared<std::vector<Medium>>();
    m_found = found;
    m_lookUp.Start(m_location(), [found, folder = m_doc.m_strListedFolder](
                                     ICatalogue& catalogue, const std::atomic<bool>&) {
        *found = MediaListedFrom(catalogue, folder);
    });
}

// A catalogue that is not there, or that cannot be read, has nothing to say here.
void CCatalogueListing::EndLookUp(CCatalogueTask::Outcome outcome, const QString&) {
    if (outcome == CCatalogueTask::Outcome::Done && !m_found->empty())
        m_frame.SayWhenIdle(CataloguedAs(*m_found));
}

void CCatalogueListing::Report(const std::string& text) {
    m_prompter.Prompt(text, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}
