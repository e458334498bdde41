#pragma once

#include "catalogue/Catalogue.h"
#include "shell/CatalogueTask.h"
#include "shell/MediumEntryModel.h"

#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class IPrompter;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

// A catalogued medium, browsed as it was when added, mounted or not: its identity with the
// shelf location and note, which the user edits here; the tree of its folders with their totals,
// a folder's sub-folders read when it is expanded or shown; and the entries of the folder shown,
// sortable by any column. Enter opens a folder, Backspace its parent, Ctrl+F asks for Find.
// Every read runs on a thread of its own, one at a time: the folder shown first, then the
// folders expanded. Folders are known by their ids, never by the text shown, so that names that
// are no UTF-8 keep their bytes.
class CMediumWindow final : public QWidget {
    Q_OBJECT

public:
    CMediumWindow(std::string location, std::string medium, IPrompter& prompter,
                  QWidget* parent = nullptr);
    ~CMediumWindow() override;

    const std::string& MediumName() const { return m_medium; }
    // The id within the medium of the folder shown (0: the listed folder); none before the
    // medium has been read.
    std::optional<std::int64_t> CurrentFolder() const;
    // Shows the folder that holds the entry at `path` (the listed folder's path followed by
    // the entry's below it, as a search gives it) with that entry selected; as far down as
    // the catalogue has the path.
    void ShowEntryAt(const std::string& path);
    // Shows a folder that the tree holds.
    void OpenFolder(std::int64_t id);
    // Shows the folder above the one shown, the folder it came from selected.
    void OpenParent();
    // Stores the location and note as the fields hold them.
    void SaveShelf();

    // A read is running or waiting.
    bool Reading() const;
    bool Saving() const;
    QString StatusText() const;
    QTreeWidget* Tree() const { return m_tree; }
    QTableView* Entries() const { return m_entries; }
    CMediumEntryModel& Model() { return m_model; }

signals:
    // The folder shown changed (by its id within the medium).
    void folderChanged(std::int64_t folderId);
    // The table shows the entries of the folder `folderId`, read from the catalogue.
    void entriesShown(std::int64_t folderId);
    // Ctrl+F: the user asks for Find in Catalogue on this medium.
    void findAsked(const std::string& medium);
    // "List This Folder": the user asks for the folder shown (by its id) in the form, to list
    // and print it from the catalogue.
    void listAsked(const std::string& medium, std::int64_t folderId);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Read;
    struct Shelf {
        std::string location;
        std::string note;
    };

    QWidget* CreateIdentity();
    void CreateTree();
    void CreateEntries();
    void ShowIdentity(const Medium& medium);
    void MakeRoot(const Medium& medium);
    void StartNextRead();
    void StartRead(std::shared_ptr<Read> read);
    void EndRead(CCatalogueTask::Outcome outcome, const QString& error);
    void Apply(Read& read);
    void FillFolder(QTreeWidgetItem* item, const std::vector<CataloguedEntry>& entries);
    void ShowEntries(std::int64_t id, std::vector<CataloguedEntry> entries);
    void SetShown(std::optional<std::int64_t> id);
    void FolderSelected(QTreeWidgetItem* item);
    void FolderExpanded(QTreeWidgetItem* item);
    void EntryActivated(const QModelIndex& index);
    void UpdateSaveButton();
    Shelf EditedShelf() const;
    void EndSave(CCatalogueTask::Outcome outcome, const QString& error);
    void SetStatus(const QString& text);
    void Report(const std::string& text);

    std::string m_location;
    std::string m_medium;
    IPrompter& m_prompter;
    CMediumEntryModel m_model;
    QLabel* m_name = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_uuid = nullptr;
    QLabel* m_fileSystem = nullptr;
    QLabel* m_folder = nullptr;
    QLabel* m_added = nullptr;
    QLineEdit* m_shelfLocation = nullptr;
    QLineEdit* m_note = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_list = nullptr;
    QTreeWidget* m_tree = nullptr;
    QTableView* m_entries = nullptr;
    QLabel* m_status = nullptr;
    // Every folder item of the tree by its id.
    std::unordered_map<std::int64_t, QTreeWidgetItem*> m_items;

    CCatalogueTask m_readTask{CatalogueUse::LookUp};
    CCatalogueTask m_saveTask{CatalogueUse::Change};
    std::shared_ptr<Read> m_read; // the read in flight
    std::optional<std::string> m_pathToShow;
    std::deque<std::int64_t> m_toExpand;
    // The folder whose entries the table holds.
    std::optional<std::int64_t> m_shown;
    // The entry to select once the folder shown next has been read.
    std::optional<std::int64_t> m_entryToSelect;
    // The location and note as the catalogue has them, and as the save in flight gives them
    // until it has ended.
    Shelf m_saved;
    std::optional<Shelf> m_saving;
    bool m_closeWhenSaved = false;
};
