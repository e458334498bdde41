#pragma once

#include "dialogs/DialogFrame.h"
#include "dialogs/FontCombo.h"

#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
struct ListingOptions;

// Advanced options: the printing typeface, the sort key and direction, which entries are
// listed, line numbers, the grid, sizes in bytes, automatic re-reading and upper case. The
// caller fills the members, runs DoModal and takes the members back only after OK; the
// dialog never touches the options record or the profile itself.
class CAdvancedOptionsDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CAdvancedOptionsDlg(QWidget* parent = nullptr,
                                 const IFontCatalog& fonts = SystemFontCatalog());

    // DoModal gives QDialog::Accepted for OK or Enter, QDialog::Rejected for Esc or the close
    // box.

    // The eleven settings into the members, and back after OK: the ten numbers always, the
    // face only when it is not empty.
    void CopyFromOptions(const ListingOptions& options);
    void CopyToOptions(ListingOptions& options) const;

    CFontCombo& FontCombo() { return *m_pFontCombo; }

    std::string m_strFontName;
    int m_nFilesAndFolders = -1;
    int m_bNumberFileLines = 0;
    int m_bNumberStdLines = 0;
    int m_bNumberCDLines = 0;
    int m_bDescend = 0;
    int m_nSortBy = -1;
    int m_bNoGrid = 0;
    int m_bSizeInBytes = 0;
    int m_bAutoRefresh = 0;
    int m_bUpperCase = 0;

protected:
    void OnInitDialog() override;
    bool OnOK() override;

private:
    void CreateControls();
    void OnSelChangeFont(int index);
    void DoDataExchange(bool save);

    CFontCombo* m_pFontCombo = nullptr;
    QButtonGroup* m_pSortGroup = nullptr;
    QButtonGroup* m_pOutputGroup = nullptr;
    QCheckBox* m_pNumberFileLines = nullptr;
    QCheckBox* m_pNumberStdLines = nullptr;
    QCheckBox* m_pNumberCDLines = nullptr;
    QCheckBox* m_pDescend = nullptr;
    QCheckBox* m_pNoGrid = nullptr;
    QCheckBox* m_pSizeInBytes = nullptr;
    QCheckBox* m_pAutoRefresh = nullptr;
    QCheckBox* m_pUpperCase = nullptr;
};
