#pragma once

#include "catalogue/Catalogue.h"
#include "shell/CatalogueTask.h"
#include "shell/ContainingFolder.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IPrompter;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

// The matches of one search, as the table shows them. Rows arrive in batches while the search
// runs; sorting by a column asks for the search again in that order.
class CCatalogueMatchModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Medium, Path, Size, Modified, Attributes, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Every column but Name sorts.
    void sort(int column, Qt::SortOrder order) override;
    int OrderColumn() const;

    void Clear();
    void Append(std::vector<CatalogueMatch> matches);
    const CatalogueMatch& Match(int row) const { return m_matches[static_cast<std::size_t>(row)]; }
    MatchOrder Order() const { return m_order; }
    bool Descending() const { return m_descending; }

signals:
    void orderChanged();

private:
    std::vector<CatalogueMatch> m_matches;
    MatchOrder m_order = MatchOrder::Medium;
    bool m_descending = false;
};

// "Find in Catalogue": a window of its own that searches the catalogue as the user types
// (a moment after the last key), with filters for the medium, the size and the date, and a
// table of the matches filled while the search runs on a thread of its own, so that a
// million matches never hold the window up; it shows the first kMaxMatches, to keep its
// memory bounded. A new search or
// closing the window interrupts the one running. Double-click asks to browse the catalogued
// folder that holds a match; the context menu opens that folder in the file manager when it is
// there, and copies a match's path. Names and paths stay the
// catalogue's bytes on their way to the file system and the clipboard. The window keeps its
// size in `settingsPath`.
class CFindCatalogueWindow final : public QWidget {
    Q_OBJECT

public:
    CFindCatalogueWindow(std::string location, IPrompter& prompter, FolderOpener openFolder,
                         QString settingsPath, QWidget* parent = nullptr);
    ~CFindCatalogueWindow() override;

    // The search as the fields and filters describe it.
    FindQuery Query() const;
    // Fills the medium filter from the catalogue again.
    void RefreshMedia();
    // Searches the medium `name` alone, once the filter's list has it.
    void ChooseMedium(const std::string& name);
    bool Searching() const;
    CCatalogueMatchModel& Model() { return m_model; }
    QTableView* Table() const { return m_table; }
    QString CountText() const;

    // Opens the folder that holds the match in `row`, or says why not.
    void OpenContainingFolder(int row);
    void CopyPath(int row);

    static constexpr int kDebounceMs = 250;
    // More would take the memory of a search that names nearly everything.
    static constexpr std::size_t kMaxMatches = 100000;
    // Shows at most `count` matches from the next search on.
    void LimitMatches(std::size_t count) { m_maxMatches = count; }

signals:
    // A double-click on the match at `path` of `medium`.
    void browseAsked(const std::string& medium, const std::string& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Found;

    QWidget* CreateFilters();
    void CreateTable();
    void SizeColumnsFromTheFont();
    void StartSearch();
    void TakeResults();
    void EndSearch(CCatalogueTask::Outcome outcome, const QString& error);
    void ShowCount(bool searching);
    void EndMediaList(CCatalogueTask::Outcome outcome, const QString& error);
    void FillMedia(const std::vector<std::string>& names);
    void KeepSortableIndicator();
    void ShowContextMenu(const QPoint& position);

    std::string m_location;
    IPrompter& m_prompter;
    FolderOpener m_openFolder;
    QString m_settingsPath;
    CCatalogueMatchModel m_model;
    QLineEdit* m_search = nullptr;
    QComboBox* m_medium = nullptr;
    QLineEdit* m_minSize = nullptr;
    QLineEdit* m_maxSize = nullptr;
    QCheckBox* m_useFrom = nullptr;
    QCheckBox* m_useTo = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_count = nullptr;
    QTimer* m_debounce = nullptr;
    QTimer* m_poll = nullptr;
    CCatalogueTask m_searchTask{CatalogueUse::LookUp, true};
    CCatalogueTask m_mediaTask{CatalogueUse::LookUp};
    std::shared_ptr<Found> m_found;
    std::shared_ptr<std::vector<std::string>> m_mediaNames;
    // The medium to choose once the list has it.
    std::optional<std::string> m_mediumToChoose;
    std::size_t m_maxMatches = kMaxMatches;
    bool m_bMoreMatches = false;
};
