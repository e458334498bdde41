#pragma once

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Export.h"
#include "shell/CatalogueTask.h"

#include <QDialog>

#include <string>
#include <vector>

class IPrompter;
class QPushButton;
class QTableWidget;

// "Media": the catalogued media with their folders, totals and dates; Rename asks for a new
// name, Remove asks before it takes a medium out of the catalogue, Update reads the medium's
// folder again, shows how it differs and asks before the medium is replaced by what it holds
// now, Browse (or a double-click) closes the dialog to open the medium's window. Export All and
// Export Selected write every medium or the selected one to a file the user names, as JSON, CSV
// or the HTML page, by the file's type; Import adds the media of the program's own JSON or of
// ncdu's, asking before it replaces one. A row is selected whenever there is one, and the
// buttons that act on it are greyed when there is none. The catalogue's calls run on a thread of
// their own; meanwhile the window takes no input but Esc, which interrupts them.
class CMediaDlg final : public QDialog {
    Q_OBJECT

public:
    CMediaDlg(std::string location, IPrompter& prompter, QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    // The medium of the selected row as the catalogue's bytes, empty when none.
    std::string SelectedName() const;
    void Rename(const std::string& newName);
    void Remove();
    void Update();
    void Browse();
    // The medium that Browse chose, empty when none.
    const std::string& MediumToBrowse() const { return m_toBrowse; }

private:
    void Refresh(const std::string& select = {});
    void FillTable(const std::vector<Medium>& media);
    void KeepColumnsInSight();
    void SelectRow(const std::string& name);
    void UpdateButtons();
    // Runs `work` off the GUI thread and reports a failure; false unless it was done.
    bool RunCall(CatalogueUse use, CCatalogueTask::Work work);
    void Report(const std::string& error);
    void AskRename();
    bool AskUpdate(const Medium& medium, const FolderChanges& found);
    void AskExport(bool all);
    // Every medium, or the selected one, to `path`; false when it failed.
    bool Export(ExportFormat format, bool all, const std::string& path);
    void AskImport();
    // Adds the media of the file at `path`; false when it failed or was refused.
    bool Import(const std::string& path);

    std::string m_location;
    IPrompter& m_prompter;
    QTableWidget* m_table = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_exportSelected = nullptr;
    std::string m_toBrowse;
};
