#include "MediaDlg.h"

#include "NameBytes.h"
#include "Prompter.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum MediaColumn { NameColumn, FolderColumn, VolumeColumn, FilesColumn, BytesColumn, AddedColumn };

// The medium's name as the catalogue's bytes rides with its row.
constexpr int kNameBytesRole = Qt::UserRole;
// Room the Folder column keeps however long the other columns are.
constexpr int kFolderMinimumChars = 16;

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

CMediaDlg::CMediaDlg(std::string location, IPrompter& prompter, QWidget* parent)
    : QDialog(parent), m_location(std::move(location)), m_prompter(prompter) {
    setWindowTitle(tr("Media"));
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 6);
    m_table->setHorizontalHeaderLabels(
        {tr("Name"), tr("Folder"), tr("Volume"), tr("Files"), tr("Bytes"), tr("Added")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    // The folder takes the room that the others leave, so every column stays in sight.
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(FolderColumn, QHeaderView::Stretch);
    header->setMinimumSectionSize(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 4);
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    m_rename = buttons->addButton(tr("&Rename..."), QDialogButtonBox::ActionRole);
    m_remove = buttons->addButton(tr("Re&move"), QDialogButtonBox::ActionRole);
    m_rename->setObjectName(QStringLiteral("renameButton"));
    m_remove->setObjectName(QStringLiteral("removeButton"));
    connect(m_rename, &QPushButton::clicked, this, &CMediaDlg::AskRename);
    connect(m_remove, &QPushButton::clicked, this, &CMediaDlg::Remove);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMediaDlg::UpdateButtons);
    layout->addWidget(buttons);
    resize(760, 320);
    Refresh();
}

// Reads the media again and selects `select`, else the first.
void CMediaDlg::Refresh(const std::string& select) {
    std::vector<Medium> media;
    RunCall(CatalogueUse::LookUp,
            [&](ICatalogue& catalogue, const std::atomic<bool>&) { media = catalogue.Media(); });
    FillTable(media);
    SelectRow(select);
    UpdateButtons();
}

void CMediaDlg::FillTable(const std::vector<Medium>& media) {
    m_table->setRowCount(static_cast<int>(media.size()));
    const QLocale locale;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const Medium& m = media[static_cast<std::size_t>(row)];
        const std::string& volume = m.volume.label.empty() ? m.volume.uuid : m.volume.label;
        QTableWidgetItem* name = Cell(ReadableName(m.name));
        name->setData(kNameBytesRole,
                      QByteArray(m.name.data(), static_cast<qsizetype>(m.name.size())));
        m_table->setItem(row, NameColumn, name);
        m_table->setItem(row, FolderColumn, Cell(ReadableName(m.folder)));
        m_table->setItem(row, VolumeColumn, Cell(ReadableName(volume)));
        m_table->setItem(row, FilesColumn,
                         Cell(locale.toString(static_cast<qlonglong>(m.files)), Qt::AlignRight));
        m_table->setItem(row, BytesColumn,
                         Cell(locale.toString(static_cast<qulonglong>(m.bytes)), Qt::AlignRight));
        m_table->setItem(row, AddedColumn,
                         Cell(QDateTime::fromSecsSinceEpoch(m.added).toString(
                             QStringLiteral("yyyy-MM-dd HH:mm"))));
    }
    KeepColumnsInSight();
}

// The table is at least as wide as every column but Folder, with a little room for Folder.
void CMediaDlg::KeepColumnsInSight() {
    const QHeaderView* header = m_table->horizontalHeader();
    const int others = header->length() - header->sectionSize(FolderColumn);
    const int folder = fontMetrics().horizontalAdvance(QLatin1Char('x')) * kFolderMinimumChars;
    m_table->setMinimumWidth(others + folder + 2 * m_table->frameWidth() +
                             m_table->verticalScrollBar()->sizeHint().width());
}

void CMediaDlg::SelectRow(const std::string& name) {
    int row = 0;
    for (int r = 0; r < m_table->rowCount(); ++r)
        if (m_table->item(r, NameColumn)->data(kNameBytesRole).toByteArray().toStdString() == name)
            row = r;
    if (m_table->rowCount() > 0)
        m_table->selectRow(row);
}

void CMediaDlg::UpdateButtons() {
    const bool selected = m_table->selectionModel()->hasSelection();
    m_rename->setEnabled(selected);
    m_remove->setEnabled(selected);
}

std::string CMediaDlg::SelectedName() const {
    const auto rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? std::string()
                          : m_table->item(rows.first().row(), NameColumn)
                                ->data(kNameBytesRole)
                                .toByteArray()
                                .toStdString();
}

void CMediaDlg::AskRename() {
    const std::string name = SelectedName();
    if (name.empty())
        return;
    bool ok = false;
    const QString newName = QInputDialog::getText(this, tr("Rename Medium"), tr("New name:"),
                                                  QLineEdit::Normal, ReadableName(name), &ok)
                                .trimmed();
    if (ok && !newName.isEmpty())
        Rename(newName.toStdString());
}

void CMediaDlg::Rename(const std::string& newName) {
    const std::string name = SelectedName();
    if (name.empty())
        return;
    const bool renamed =
        RunCall(CatalogueUse::Change, [&](ICatalogue& catalogue, const std::atomic<bool>&) {
            catalogue.Rename(name, newName);
        });
    Refresh(renamed ? newName : name);
}

void CMediaDlg::Remove() {
    const std::string name = SelectedName();
    if (name.empty() || m_prompter.Prompt("Remove \"" + ReadableName(name).toStdString() +
                                              "\" and everything listed on it from the catalogue?",
                                          kAppTitle, MessageIcon::Question,
                                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    RunCall(CatalogueUse::Change,
            [&](ICatalogue& catalogue, const std::atomic<bool>&) { catalogue.Forget(name); });
    Refresh();
}

bool CMediaDlg::RunCall(CatalogueUse use, CCatalogueTask::Work work) {
    CCatalogueTask task(use);
    CInputGuard guard;
    connect(&guard, &CInputGuard::stopAsked, &task, &CCatalogueTask::Stop);
    std::string error;
    const auto outcome = task.Run(m_location, std::move(work), error);
    if (outcome == CCatalogueTask::Outcome::Failed)
        Report(error);
    return outcome == CCatalogueTask::Outcome::Done;
}

void CMediaDlg::Report(const std::string& error) {
    m_prompter.Prompt(error, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}
