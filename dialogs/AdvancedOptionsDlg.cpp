#include "AdvancedOptionsDlg.h"

#include "dialogs/DialogFrame.h"
#include "engine/ListingOptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

// A group box behind the controls it frames, letting their clicks through.
void PlaceGroupBox(QDialog* dialog, const char* text, int x, int y, int width, int height) {
    auto* box =
        PlaceControl(new QGroupBox(QString::fromLatin1(text), dialog), "", x, y, width, height);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->lower();
}

struct TemplateRadio {
    const char* id;
    const char* text;
    int y;
    int width;
};

// A radio group is one tab stop, on its checked button or, with none checked, on its first.
// Qt moves the stop to whichever button takes the focus from then on.
void PutTabStopOnChecked(QButtonGroup& group) {
    const QAbstractButton* stop =
        group.checkedButton() ? group.checkedButton() : group.buttons().constFirst();
    for (QAbstractButton* button : group.buttons())
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

// A radio group in one column; each button's id in the group is its zero-based index.
QButtonGroup* PlaceRadioGroup(QDialog* dialog, int x, int height,
                              std::initializer_list<TemplateRadio> radios) {
    auto* group = new QButtonGroup(dialog);
    for (const TemplateRadio& radio : radios)
        group->addButton(PlaceControl(new QRadioButton(QString::fromLatin1(radio.text), dialog),
                                      radio.id, x, radio.y, radio.width, height),
                         static_cast<int>(group->buttons().size()));
    PutTabStopOnChecked(*group);
    return group;
}

QCheckBox* PlaceCheckBox(QDialog* dialog, const char* id, const char* text, int x, int y, int width,
                         int height) {
    return PlaceControl(new QCheckBox(QString::fromLatin1(text), dialog), id, x, y, width, height);
}

// The zero-based index of the checked button of the group, -1 when none is checked.
void ExchangeRadio(QButtonGroup& group, int& value, bool save) {
    if (save) {
        value = group.checkedId();
        return;
    }
    group.setExclusive(false);
    for (QAbstractButton* button : group.buttons())
        button->setChecked(group.id(button) == value);
    group.setExclusive(true);
    PutTabStopOnChecked(group);
}

void ExchangeCheck(QCheckBox& box, int& value, bool save) {
    if (save)
        value = box.isChecked() ? 1 : 0;
    else
        box.setChecked(value != 0);
}

} // namespace

CAdvancedOptionsDlg::CAdvancedOptionsDlg(QWidget* parent, const IFontCatalog& fonts)
    : CModalDialog(parent), m_pFontCombo(new CFontCombo(fonts)) {
    setWindowTitle(QStringLiteral("Catalogrium3: Advanced options"));
    SetModalFrame(*this, true);
    CreateControls();
    LayOutTemplate(*this, 177, 185);
    connect(m_pFontCombo, &QComboBox::activated, this, &CAdvancedOptionsDlg::OnSelChangeFont);
}

// Controls are made in the template's order, which is the tab order.
void CAdvancedOptionsDlg::CreateControls() {
    m_pFontCombo->setParent(this);
    PlaceControl(m_pFontCombo, "1067", 7, 15, 85, 87);
    m_pSortGroup = PlaceRadioGroup(this, 13, 12,
                                   {{"1037", "Unsorted", 47, 52},
                                    {"1038", "Size", 60, 41},
                                    {"1039", "Name", 73, 55},
                                    {"1040", "Attribute", 84, 57},
                                    {"1057", "Extension", 97, 55},
                                    {"1058", "Time", 110, 43}});
    m_pDescend = PlaceCheckBox(this, "1034", "Descend", 13, 121, 53, 12);
    m_pOutputGroup = PlaceRadioGroup(this, 88, 10,
                                     {{"1051", "Directories only", 47, 64},
                                      {"1052", "Files only", 58, 45},
                                      {"1053", "Both", 69, 31}});
    m_pNumberStdLines = PlaceCheckBox(this, "1048", "Standard (8  x 11)", 88, 98, 72, 10);
    m_pNumberCDLines = PlaceCheckBox(this, "1049", "CD/ZIP100/LS-120", 88, 110, 77, 10);
    m_pNumberFileLines = PlaceCheckBox(this, "1050", "File", 88, 122, 27, 10);
    m_pNoGrid = PlaceCheckBox(this, "1076", "No grid", 13, 152, 42, 10);

    auto* ok = PlaceControl(new QPushButton(QStringLiteral("OK"), this), "1", 120, 13, 50, 15);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    PlaceGroupBox(this, "Sort by ", 7, 34, 67, 103);
    PlaceGroupBox(this, "Output", 81, 34, 89, 49);
    PlaceGroupBox(this, "Print Line Number", 81, 87, 89, 50);
    PlaceGroupBox(this, "Removable media", 6, 141, 69, 27);
    PlaceControl(new QLabel(QStringLiteral("Font selection"), this), "", 18, 4, 57, 9);

    m_pSizeInBytes = PlaceCheckBox(this, "1077", "Size in Bytes only", 88, 156, 74, 10);
    m_pAutoRefresh =
        PlaceCheckBox(this, "1079", "Autorefresh List /always re-read media /", 13, 171, 157, 10);
    m_pUpperCase = PlaceCheckBox(this, "1080", "Upper case ", 88, 144, 76, 10);
}

void CAdvancedOptionsDlg::OnInitDialog() {
    DoDataExchange(false);
    m_pFontCombo->FillFonts(m_strFontName);
}

// Only a pick from the list changes the face; a face the list does not hold is kept until then.
void CAdvancedOptionsDlg::OnSelChangeFont(int index) {
    if (index >= 0)
        m_strFontName = m_pFontCombo->itemText(index).toStdString();
}

void CAdvancedOptionsDlg::DoDataExchange(bool save) {
    ExchangeRadio(*m_pOutputGroup, m_nFilesAndFolders, save);
    ExchangeCheck(*m_pNumberFileLines, m_bNumberFileLines, save);
    ExchangeCheck(*m_pNumberStdLines, m_bNumberStdLines, save);
    ExchangeCheck(*m_pNumberCDLines, m_bNumberCDLines, save);
    ExchangeCheck(*m_pDescend, m_bDescend, save);
    ExchangeRadio(*m_pSortGroup, m_nSortBy, save);
    ExchangeCheck(*m_pNoGrid, m_bNoGrid, save);
    ExchangeCheck(*m_pSizeInBytes, m_bSizeInBytes, save);
    ExchangeCheck(*m_pAutoRefresh, m_bAutoRefresh, save);
    ExchangeCheck(*m_pUpperCase, m_bUpperCase, save);
}

bool CAdvancedOptionsDlg::OnOK() {
    DoDataExchange(true);
    return true;
}

void CAdvancedOptionsDlg::CopyFromOptions(const ListingOptions& options) {
    m_bNumberFileLines = options.m_bNumberFileLines;
    m_bNumberCDLines = options.m_bNumberCDLines;
    m_bNumberStdLines = options.m_bNumberStdLines;
    m_bDescend = options.m_bDescend;
    m_nFilesAndFolders = options.m_nFilesAndFolders;
    m_nSortBy = options.m_nSortBy;
    m_strFontName = options.m_strFontName;
    m_bNoGrid = options.m_bNoGrid;
    m_bSizeInBytes = options.m_bSizeInBytes;
    m_bAutoRefresh = options.m_bAutoRefresh;
    m_bUpperCase = options.m_bUpperCase;
}

void CAdvancedOptionsDlg::CopyToOptions(ListingOptions& options) const {
    options.m_bNumberFileLines = m_bNumberFileLines;
    options.m_bNumberCDLines = m_bNumberCDLines;
    options.m_bNumberStdLines = m_bNumberStdLines;
    options.m_bDescend = m_bDescend;
    options.m_nFilesAndFolders = m_nFilesAndFolders;
    options.m_nSortBy = m_nSortBy;
    if (!m_strFontName.empty())
        options.m_strFontName = m_strFontName;
    options.m_bNoGrid = m_bNoGrid;
    options.m_bSizeInBytes = m_bSizeInBytes;
    options.m_bAutoRefresh = m_bAutoRefresh;
    options.m_bUpperCase = m_bUpperCase;
}
