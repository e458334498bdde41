#pragma once

#include "catalogue/Catalogue.h"
#include "shell/CatalogueTask.h"
#include "shell/ContainingFolder.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class IPrompter;
class QComboBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

// "Duplicates": a window of its own with the groups of files that the catalogue holds more
// than once, by name and size or by content, the groups that waste the most first; each group
// opens to its copies; a double-click (or Enter) on a copy asks for the medium's window at the
// copy, and its context menu opens the folder that holds it when it is there. The groups come from
// the catalogue on a thread of their own; the window shows the first kMaxGroups, to keep its memory
// bounded. Every column sorts.
class CDuplicatesWindow final : public QWidget {
    Q_OBJECT

public:
    enum Column { Size, Copies, Wasted, Name, Medium, ColumnCount };
    // Groups are found again on each opening; this many are shown at most.
    static constexpr std::size_t kMaxGroups = 10000;

    CDuplicatesWindow(std::string location, IPrompter& prompter, FolderOpener openFolder,
                      QWidget* parent = nullptr);
    ~CDuplicatesWindow() override;

    // Finds the groups again, as the window's choice of comparison says.
    void Refresh();
    bool Searching() const { return m_task.Running(); }
    QTreeWidget* Tree() const { return m_tree; }
    QString StatusText() const;

signals:
    // A double-click, or Enter, on the copy at `path` of `medium`.
    void browseAsked(const std::string& medium, const std::string& path);

private:
    struct Found;

    void EndSearch(CCatalogueTask::Outcome outcome, const QString& error);
    void ShowGroups();
    // The copy an item stands for; none for a group's item.
    const CatalogueMatch* CopyOf(const QTreeWidgetItem* item) const;
    void ShowContextMenu(const QPoint& position);

    std::string m_location;
    IPrompter& m_prompter;
    FolderOpener m_openFolder;
    QComboBox* m_by = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_status = nullptr;
    CCatalogueTask m_task{CatalogueUse::LookUp};
    std::shared_ptr<Found> m_found;
    // The copies that the tree shows, by the index its items keep.
    std::vector<CatalogueMatch> m_copies;
};
