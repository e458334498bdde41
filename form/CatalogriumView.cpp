#include "CatalogriumView.h"

#include "dialogs/DialogUnits.h"
#include "engine/CatalogriumDoc.h"
#include "engine/Profile.h"
#include "engine/Text.h"
#include "form/FormTemplate.h"
#include "form/ViewDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <utility>

namespace {

const QString kTitlePrefix = QStringLiteral("Catalogrium3:   ");
constexpr std::size_t kTitleFolderChars = 25;

Q_LOGGING_CATEGORY(lcProfile, "catalogrium.profile")

// The options of the profile; one that cannot be read gives the defaults and is logged.
ListingOptions LoadOptions(const std::string& path) {
    ListingOptions options;
    if (std::string error; !LoadListingOptions(path, options, error))
        qCWarning(lcProfile).noquote() << QString::fromStdString(error);
    return options;
}

} // namespace

CCatalogriumView::CCatalogriumView(CCatalogriumDoc& doc, IPrompter& prompter, IViewDialogs& dialogs,
                                   std::string profilePath, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_prompter(prompter), m_dialogs(dialogs),
      m_profilePath(std::move(profilePath)), m_options(LoadOptions(m_profilePath)),
      m_bSavedDate(m_options.m_bAddDate), m_bSavedAttribute(m_options.m_bAddAttribute),
      m_printer(QPrinter::HighResolution), m_listingPrinter(m_doc, m_options, m_dialogs) {
    m_doc.SetOptions(&m_options);
    setFont(FormFont());
    setFixedSize(DialogUnits(font()).Size(kFormSizeUnits.width(), kFormSizeUnits.height()));
    CreateFormControls(*this);
    FindControls();
    ConnectControls();
    for (QWidget* control : findChildren<QWidget*>())
        control->installEventFilter(this);
}

// The options go back to the profile whenever the view goes, at every orderly exit. With no
// window left to show a message, a profile that cannot be written is logged with the reason.
// A case layout stores the date and attribute choices it keeps aside for the page layouts,
// not the "off" it forces.
CCatalogriumView::~CCatalogriumView() {
    ListingOptions stored = m_options;
    if (stored.IsCaseInsert()) {
        stored.m_bAddDate = m_bSavedDate;
        stored.m_bAddAttribute = m_bSavedAttribute;
    }
    if (std::string error; !SaveListingOptions(m_profilePath, stored, error))
        qCWarning(lcProfile).noquote() << QString::fromStdString(error);
    m_doc.DeleteContents();
    m_doc.SetOptions(nullptr);
}

void CCatalogriumView::FindControls() {
    const auto check = [this](int id) { return findChild<QCheckBox*>(ControlName(id)); };
    m_editFolder = findChild<QLineEdit*>(ControlName(IDC_FOLDER));
    m_checkSize = check(IDC_SIZE);
    m_checkDate = check(IDC_DATE);
    m_checkAttributes = check(IDC_ATTRIBUTES);
    m_checkPrintSummary = check(IDC_PRINT_SUMMARY);
    m_checkPrintTitle = check(IDC_PRINT_TITLE);
    m_checkComments = check(IDC_COMMENTS);
    m_checkTwoColumn = check(IDC_TWO_COLUMN);
    m_checkDelimited = check(IDC_DELIMITED);
    m_layoutGroup = new QButtonGroup(this);
    for (int id : {IDC_STANDARD, IDC_TO_FILE, IDC_CD, IDC_ZIP})
        m_layoutGroup->addButton(findChild<QRadioButton*>(ControlName(id)), id - IDC_STANDARD);
}

void CCatalogriumView::ConnectControls() {
    for (QCheckBox* box : {m_checkSize, m_checkDate, m_checkAttributes, m_checkPrintTitle,
                           m_checkPrintSummary, m_checkTwoColumn})
        connect(box, &QCheckBox::clicked, this, &CCatalogriumView::OnReadForm);
    connect(m_checkComments, &QCheckBox::clicked, this, &CCatalogriumView::OnComments);
    connect(m_checkDelimited, &QCheckBox::clicked, this, &CCatalogriumView::OnDelimited);
    connect(m_layoutGroup, &QButtonGroup::buttonClicked, this, &CCatalogriumView::OnLayoutChange);
    connect(findChild<QPushButton*>(ControlName(IDC_BROWSE)), &QPushButton::clicked, this,
            &CCatalogriumView::OnBrowse);
    connect(findChild<QPushButton*>(ControlName(IDC_GO)), &QPushButton::clicked, this,
            &CCatalogriumView::OnGo);
    connect(m_editFolder, &QLineEdit::textEdited, this, &CCatalogriumView::OnFolderEdited);
}

void CCatalogriumView::OnInitialUpdate() {
    UpdateData(false);
    UpdateControlStates();
}

void CCatalogriumView::UpdateData(bool save) {
    ExchangeFolder(save);
    ExchangeCheck(m_checkSize, m_options.m_bAddSize, save);
    ExchangeLayout(save);
    ExchangeCheck(m_checkPrintTitle, m_options.m_bPrintTitle, save);
    ExchangeCheck(m_checkPrintSummary, m_options.m_bPrintSummary, save);
    ExchangeCheck(m_checkAttributes, m_options.m_bAddAttribute, save);
    ExchangeCheck(m_checkDate, m_options.m_bAddDate, save);
    ExchangeCheck(m_checkComments, m_options.m_bAddComments, save);
    ExchangeCheck(m_checkTwoColumn, m_options.m_bTwoColumn, save);
    ExchangeCheck(m_checkDelimited, m_options.m_bDelimited, save);
}

// A path that the edit still shows as the program put it there keeps its bytes: a name that is
// not UTF-8 (picked in the folder browser) would not survive the way through the edit's text.
// The character limit holds for typing only; a longer path from the browser is shown whole.
void CCatalogriumView::ExchangeFolder(bool save) {
    const QString shown = QString::fromStdString(m_strFolder);
    if (save) {
        if (m_editFolder->text() != shown)
            m_strFolder = m_editFolder->text().toStdString();
        return;
    }
    m_editFolder->setMaxLength(std::max(kFolderEditChars, static_cast<int>(shown.size())));
    m_editFolder->setText(shown);
}

void CCatalogriumView::ExchangeCheck(QCheckBox* box, int& value, bool save) {
    if (save)
        value = box->isChecked() ? 1 : 0;
    else
        box->setChecked(value != 0);
}

// The layout radios hold "Print as " 0 to 3 in order; a stored value outside that range
// checks none of them, and reading a form with none checked gives -1.
void CCatalogriumView::ExchangeLayout(bool save) {
    if (save) {
        m_options.m_nPrintAs = m_layoutGroup->checkedId();
        return;
    }
    if (QAbstractButton* button = m_layoutGroup->button(m_options.m_nPrintAs)) {
        button->setChecked(true);
        return;
    }
    m_layoutGroup->setExclusive(false);
    for (QAbstractButton* button : m_layoutGroup->buttons())
        button->setChecked(false);
    m_layoutGroup->setExclusive(true);
}

void CCatalogriumView::SetEnabled(std::initializer_list<QWidget*> controls, bool enabled) {
    for (QWidget* control : controls)
        control->setEnabled(enabled);
}

void CCatalogriumView::EnableTitleSummaryComments(bool enabled) {
    SetEnabled({m_checkPrintTitle, m_checkPrintSummary, m_checkComments}, enabled);
}

// The case inserts have no date or attribute column: the choices are kept aside while a case
// layout is chosen and come back with the Standard or To File layout.
void CCatalogriumView::UpdateControlStates() {
    const bool wasCaseInsert = m_options.IsCaseInsert();
    UpdateData(true);
    if (m_options.IsCaseInsert())
        ApplyCaseInsertStates(wasCaseInsert);
    if (m_options.m_nPrintAs == kPrintStandard || m_options.IsCaseInsert()) {
        m_checkDelimited->setEnabled(false);
        EnableTitleSummaryComments(true);
    }
    if (m_options.m_nPrintAs == kPrintStandard || m_options.m_nPrintAs == kPrintToFile)
        ApplyPageLayoutStates(wasCaseInsert);
    if (m_options.m_nPrintAs == kPrintToFile) {
        m_checkDelimited->setEnabled(true);
        EnableTitleSummaryComments(!m_options.m_bDelimited);
    }
    m_editFolder->setFocus();
    emit layoutChanged();
}

void CCatalogriumView::ApplyCaseInsertStates(bool wasCaseInsert) {
    if (!wasCaseInsert) {
        m_bSavedDate = m_options.m_bAddDate;
        m_bSavedAttribute = m_options.m_bAddAttribute;
    }
    for (QCheckBox* box : {m_checkAttributes, m_checkDate}) {
        box->setChecked(false);
        box->setEnabled(false);
    }
    m_checkTwoColumn->setEnabled(true);
}

void CCatalogriumView::ApplyPageLayoutStates(bool wasCaseInsert) {
    if (wasCaseInsert) {
        m_options.m_bAddDate = m_bSavedDate;
        m_options.m_bAddAttribute = m_bSavedAttribute;
    }
    SetEnabled({m_checkSize, m_checkComments}, true);
    m_checkTwoColumn->setEnabled(false);
    SetEnabled({m_checkAttributes, m_checkDate}, true);
    UpdateData(false);
}

void CCatalogriumView::OnLayoutChange() {
    UpdateControlStates();
}

void CCatalogriumView::OnReadForm() {
    UpdateData(true);
}

// Comments are offered only on a fresh reading, so switching them forces one.
void CCatalogriumView::OnComments() {
    UpdateData(true);
    m_strLastFolder.clear();
}

void CCatalogriumView::OnDelimited() {
    UpdateData(true);
    EnableTitleSummaryComments(!m_options.m_bDelimited);
}

// A browser closed without a choice leaves the folder edit as the user typed it.
void CCatalogriumView::OnBrowse() {
    const std::string chosen = m_dialogs.BrowseForFolder();
    if (!chosen.empty())
        SetFolder(chosen);
}

void CCatalogriumView::SetFolder(std::string folder) {
    LeaveRecordedFolder();
    m_strFolder = std::move(folder);
    UpdateData(false);
}

// The next Go reads the recorded folder, even when the disk's folder of the same path was the
// last one read.
void CCatalogriumView::SetRecordedFolder(RecordedFolder recorded) {
    m_strFolder = recorded.folder;
    m_recorded = std::move(recorded);
    m_strLastFolder.clear();
    UpdateData(false);
}

// Typing returns the form to the disk, whatever path it ends with.
void CCatalogriumView::OnFolderEdited() {
    if (!m_recorded)
        return;
    LeaveRecordedFolder();
    UpdateData(true);
}

// The next Go reads the disk, even when its folder has the recorded folder's path.
void CCatalogriumView::LeaveRecordedFolder() {
    if (!m_recorded)
        return;
    m_recorded.reset();
    m_strLastFolder.clear();
    emit recordedFolderLeft();
}

// OK may change the sorting and the entries listed: the next Go reads the folder again.
void CCatalogriumView::OnOptions() {
    if (m_dialogs.EditAdvancedOptions(m_options))
        m_strLastFolder.clear();
}

void CCatalogriumView::OnFilePrintSetup() {
    m_dialogs.SetupPrinter(m_printer);
}

bool CCatalogriumView::CanPreview() const {
    return m_options.m_nPrintAs != kPrintToFile;
}

QString CCatalogriumView::FolderWindowTitle(const std::string& folder) {
    return kTitlePrefix + QString::fromStdString(FirstChars(folder, kTitleFolderChars));
}

void CCatalogriumView::SetMainTitle(const QString& title) {
    window()->setWindowTitle(title);
}

// Alt and the marked letter of a control of the form act on that control before the menu bar
// sees the key, so "&Comments" is not taken by the menu "&Command"; a disabled control leaves
// its key to the menu.
bool CCatalogriumView::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
    QAbstractButton* button = key ? MnemonicButton(*static_cast<QKeyEvent*>(event)) : nullptr;
    if (!button)
        return QWidget::eventFilter(watched, event);
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        button->setFocus(Qt::ShortcutFocusReason);
        button->click();
    }
    return true;
}

QAbstractButton* CCatalogriumView::MnemonicButton(const QKeyEvent& event) const {
    if (event.modifiers() != Qt::AltModifier)
        return nullptr;
    const QKeySequence pressed(QKeyCombination(Qt::AltModifier, Qt::Key(event.key())));
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button->isEnabled() && QKeySequence::mnemonic(button->text()) == pressed)
            return button;
    return nullptr;
}

// Enter pressed on any control of the form that does not take it itself (the edit, a check box,
// a radio button) presses the default button Go.
void CCatalogriumView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        OnGo();
        return;
    }
    QWidget::keyPressEvent(event);
}
