#pragma once

#include <QDialog>

#include <string>

class IPrompter;
class QTableWidget;

// "Media": the catalogued media with their folders, totals and dates; Rename asks for a new
// name, Remove asks before it takes a medium out of the catalogue.
class CMediaDlg final : public QDialog {
    Q_OBJECT

public:
    CMediaDlg(std::string location, IPrompter& prompter, QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    // The medium of the selected row, empty when none.
    std::string SelectedName() const;
    void Rename(const std::string& newName);
    void Remove();

private:
    void Refresh();
    void Report(const std::exception& error);
    void AskRename();

    std::string m_location;
    IPrompter& m_prompter;
    QTableWidget* m_table = nullptr;
};
