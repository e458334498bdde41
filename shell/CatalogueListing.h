#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CataloguedListing.h"
#include "shell/CatalogueTask.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CCatalogriumDoc;
class CMainFrame;
class IPrompter;

// Runs `work` on the catalogue at `location` while the frame's progress note shows: the window
// stays painted and takes no input but Esc, which interrupts the call, as closing it does.
CCatalogueTask::Outcome RunUnderNote(CMainFrame& frame, const std::string& location,
                                     CatalogueUse use, CCatalogueTask::Work work,
                                     std::string& error);

// The catalogue's part in the form. A catalogued folder put in the form is listed and printed
// from the catalogue, as if it were on the disk, until another folder is typed or chosen. After
// each Go the status bar says which media the folder listed is catalogued as, when it is.
class CCatalogueListing final : public QObject {
    Q_OBJECT

public:
    // `location` gives the catalogue to use at the time of each call.
    CCatalogueListing(CMainFrame& frame, CCatalogriumDoc& doc, IPrompter& prompter,
                      std::function<std::string()> location);
    ~CCatalogueListing() override;

    // Puts the folder `folderId` of `medium` in the form, its path as it was added; the next Go
    // lists it from the catalogue.
    void ListFolder(const std::string& medium, std::int64_t folderId);
    // The medium whose folder the form lists, if it lists one from the catalogue.
    const std::optional<Medium>& ListedMedium() const { return m_medium; }
    bool LookingUp() const { return m_lookUp.Running(); }

private:
    void ListingRead();
    void EndLookUp(CCatalogueTask::Outcome outcome, const QString& error);
    bool ReadCatalogue(CCatalogueTask::Work work);
    bool ReadFolder(CCatalogriumDoc& doc, const CataloguedFolder& folder, int filesAndFolders);
    void Report(const std::string& text);

    CMainFrame& m_frame;
    CCatalogriumDoc& m_doc;
    IPrompter& m_prompter;
    std::function<std::string()> m_location;
    std::optional<Medium> m_medium;
    CCatalogueTask m_lookUp{CatalogueUse::LookUp};
    // What the look-up in flight found; filled on its thread, read once it has ended.
    std::shared_ptr<std::vector<Medium>> m_found;
};
