#pragma once

#include "shell/CatalogueTask.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CCatalogriumDoc;
class CCatalogueListing;
class CDuplicatesWindow;
class CFindCatalogueWindow;
class CMediumWindow;
class CMainFrame;
class IPrompter;
class QAction;

// The "Catalogue" menu of the main frame: adds the folder of the last Go to the catalogue,
// opens the Find in Catalogue and Duplicates windows, the Media dialog and a window for each medium
// browsed. The catalogue is the user's file, or the one CATALOGRIUM3_CATALOGUE names (a file or a
// postgresql:// URI). The frame, the document and the prompter are borrowed and outlive the menu;
// the Find and Duplicates windows and the media's windows are the frame's children.
class CCatalogueMenu final : public QObject {
    Q_OBJECT

public:
    CCatalogueMenu(CMainFrame& frame, CCatalogriumDoc& doc, IPrompter& prompter);
    ~CCatalogueMenu() override;

    // What the user chose for the medium to add.
    struct MediumToAdd {
        std::string name;
        bool checksums = false; // keep the hash of every file's content
    };
    // Asks the medium's name, proposing `proposed`, and whether to keep checksums; nothing
    // when the user cancels.
    std::function<std::optional<MediumToAdd>(const std::string& proposed)> askMedium;
    // Shows a folder in the file manager; false when none could.
    std::function<bool(const std::string& folder)> openFolder;

    void OnAddToCatalogue();
    void OnFindInCatalogue();
    void OnMedia();
    void OnDuplicates();
    // Opens the window of `medium`, or raises it; with `path` (of an entry of the medium, as a
    // search gives it) showing the folder that holds it.
    void OpenMedium(const std::string& medium, const std::string& path = {});

    std::string Location() const;
    // The name proposed for the listed folder: its volume's label, else the title's first
    // line when the user wrote it, else the folder's name.
    std::string ProposedName() const;
    CFindCatalogueWindow* FindWindow() const;
    CDuplicatesWindow* DuplicatesWindow() const;
    // The open window of `medium`, if any.
    CMediumWindow* MediumWindow(const std::string& medium) const;
    CCatalogueListing& Listing() const { return *m_listing; }

private:
    std::optional<bool> AskReplace(const std::string& name);
    // Adds on a thread of its own while the progress note shows the count; Esc stops.
    void Add(const MediumToAdd& medium, bool replace);
    void EndAdd(const std::string& outcome, const std::string& error = {});
    void UpdateStates();
    void Report(const std::string& text);

    CMainFrame& m_frame;
    CCatalogriumDoc& m_doc;
    IPrompter& m_prompter;
    QAction* m_addAction = nullptr;
    // Made on first use; it goes with the frame.
    QPointer<CFindCatalogueWindow> m_findWindow;
    QPointer<CDuplicatesWindow> m_duplicatesWindow;
    CCatalogueListing* m_listing = nullptr; // the frame's child
    std::map<std::string, QPointer<CMediumWindow>> m_mediumWindows;
};
