#include "MediaDlg.h"

#include "catalogue/Import.h"
#include "catalogue/Json.h"
#include "engine/Prompter.h"
#include "shell/NameBytes.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>

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

// Update shows this many of the differences, one a line.
constexpr std::size_t kUpdateLinesShown = 20;

// One difference as the user reads it: what happened, then the path.
std::string ChangeLine(const TreeChange& change) {
    const std::string path = ReadableName(change.path).toStdString();
    switch (change.kind) {
    case TreeChange::Kind::Added:
        return "added: " + path;
    case TreeChange::Kind::Removed:
        return "removed: " + path;
    case TreeChange::Kind::Changed:
        return "changed (" + ChangedFieldsText(change.fields) + "): " + path;
    case TreeChange::Kind::Content:
        return "content changed: " + path;
    }
    return path;
}

// The types of file that Export writes, in the order its file dialog offers them.
struct ExportType {
    ExportFormat format;
    const char* filter;
    const char* suffix;
};
constexpr std::array<ExportType, 3> kExportTypes{{
    {ExportFormat::Json, "JSON (*.json)", "json"},
    {ExportFormat::Csv, "CSV (*.csv)", "csv"},
    {ExportFormat::Html, "HTML page (*.html)", "html"},
}};

// The type that the name of `path` ends in; else the type of the dialog's `filter`.
const ExportType& ExportTypeOf(const QString& path, const QString& filter) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const ExportType& type : kExportTypes)
        if (suffix == QLatin1String(type.suffix))
            return type;
    for (const ExportType& type : kExportTypes)
        if (filter == QLatin1String(type.filter))
            return type;
    return kExportTypes.front();
}

// A file dialog of the program's own kind, the same on every desktop.
void PrepareFileDialog(QFileDialog& dialog, const QStringList& filters) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
}

// The bytes of a path that the file dialog gave.
std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string UnreadableFolder(const Medium& medium) {
    return "The folder " + ReadableName(medium.folder).toStdString() +
           " cannot be read; the medium stays as it was.";
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
    m_browse = buttons->addButton(tr("&Browse..."), QDialogButtonBox::ActionRole);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_rename->setObjectName(QStringLiteral("renameButton"));
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_update = buttons->addButton(tr("&Update Medium..."), QDialogButtonBox::ActionRole);
    m_update->setObjectName(QStringLiteral("updateButton"));
    auto* exportAll = buttons->addButton(tr("&Export All..."), QDialogButtonBox::ActionRole);
    exportAll->setObjectName(QStringLiteral("exportAllButton"));
    m_exportSelected = buttons->addButton(tr("Export &Selected..."), QDialogButtonBox::ActionRole);
    m_exportSelected->setObjectName(QStringLiteral("exportSelectedButton"));
    auto* import = buttons->addButton(tr("&Import..."), QDialogButtonBox::ActionRole);
    import->setObjectName(QStringLiteral("importButton"));
    connect(exportAll, &QPushButton::clicked, this, [this] { AskExport(true); });
    connect(m_exportSelected, &QPushButton::clicked, this, [this] { AskExport(false); });
    connect(import, &QPushButton::clicked, this, &CMediaDlg::AskImport);
    connect(m_update, &QPushButton::clicked, this, &CMediaDlg::Update);
    connect(m_rename, &QPushButton::clicked, this, &CMediaDlg::AskRename);
    connect(m_remove, &QPushButton::clicked, this, &CMediaDlg::Remove);
    connect(m_browse, &QPushButton::clicked, this, &CMediaDlg::Browse);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &CMediaDlg::Browse);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMediaDlg::UpdateButtons);
    layout->addWidget(buttons);
    // Enter on a row opens the medium (once the button is in the dialog, which then knows it).
    m_browse->setDefault(true);
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
    m_update->setEnabled(selected);
    m_browse->setEnabled(selected);
    m_exportSelected->setEnabled(selected);
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

void CMediaDlg::Update() {
    const std::string name = SelectedName();
    if (name.empty())
        return;
    std::optional<Medium> medium;
    std::optional<FolderChanges> found;
    const bool compared =
        RunCall(CatalogueUse::LookUp, [&](ICatalogue& catalogue, const std::atomic<bool>& stop) {
            const auto media = catalogue.Media();
            const auto it = std::ranges::find(media, name, &Medium::name);
            if (it == media.end())
                return;
            medium = *it;
            found = CompareWithFolder(catalogue, name, medium->folder, false, stop);
        });
    if (!compared || !medium)
        return Refresh(name);
    if (!found)
        return Report(UnreadableFolder(*medium));
    if (!AskUpdate(*medium, *found))
        return;
    AddChoices choices;
    choices.replace = true;
    choices.checksums = medium->checksums;
    AddOutcome added = AddOutcome::Stopped;
    const bool done =
        RunCall(CatalogueUse::Add, [&](ICatalogue& catalogue, const std::atomic<bool>& stop) {
            added = AddToCatalogue(catalogue, name, medium->folder, choices, stop);
        });
    if (done && added == AddOutcome::CannotRead)
        Report(UnreadableFolder(*medium));
    Refresh(name);
}

// Shows the differences, the first kUpdateLinesShown of them line by line; true when the user
// wants the medium replaced. Nothing is asked when nothing differs.
bool CMediaDlg::AskUpdate(const Medium& medium, const FolderChanges& found) {
    const std::string shownName = "\"" + ReadableName(medium.name).toStdString() + "\"";
    if (found.changes.empty()) {
        m_prompter.Prompt(shownName + " is as it was catalogued: nothing to update.", kAppTitle,
                          MessageIcon::Information, MessageButtons::Ok);
        return false;
    }
    std::string text = "Since " + shownName + " was catalogued, " +
                       ReadableName(medium.folder).toStdString() +
                       " changed: " + ChangeCountsText(found.counts) + ".\n";
    const std::size_t shown = std::min(found.changes.size(), kUpdateLinesShown);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\n" + ChangeLine(found.changes[i]);
    if (shown < found.changes.size())
        text += "\n... and " + std::to_string(found.changes.size() - shown) + " more";
    text += "\n\nReplace the medium with what the folder holds now?";
    return m_prompter.Prompt(text, kAppTitle, MessageIcon::Question, MessageButtons::YesNo) ==
           MessageAnswer::Yes;
}

void CMediaDlg::Browse() {
    m_toBrowse = SelectedName();
    if (!m_toBrowse.empty())
        accept();
}

// The file's type chooses the format; a name without one takes the type of the filter chosen.
void CMediaDlg::AskExport(bool all) {
    if (!all && SelectedName().empty())
        return;
    QFileDialog dialog(this, all ? tr("Export All Media") : tr("Export Medium"));
    QStringList filters;
    for (const ExportType& type : kExportTypes)
        filters << QLatin1String(type.filter);
    PrepareFileDialog(dialog, filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QLatin1String(kExportTypes.front().suffix));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(QLatin1String(ExportTypeOf({}, filter).suffix));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    Export(ExportTypeOf(path, dialog.selectedNameFilter()).format, all, PathBytes(path));
}

bool CMediaDlg::Export(ExportFormat format, bool all, const std::string& path) {
    std::vector<std::string> names;
    if (!all)
        names.push_back(SelectedName());
    return RunCall(CatalogueUse::LookUp, [&](ICatalogue& catalogue, const std::atomic<bool>&) {
        ExportToFile(catalogue, SelectedMedia(catalogue, names), format, path);
    });
}

void CMediaDlg::AskImport() {
    QFileDialog dialog(this, tr("Import Media"));
    PrepareFileDialog(dialog, {tr("JSON (*.json)"), tr("All files (*)")});
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        Import(PathBytes(dialog.selectedFiles().constFirst()));
}

// A medium in the way is replaced only when the user agrees, as an add asks.
bool CMediaDlg::Import(const std::string& path) {
    std::optional<std::string> exists;
    const auto importing = [&](bool replace) {
        return [&, replace](ICatalogue& catalogue, const std::atomic<bool>&) {
            std::ifstream in(path, std::ios::binary);
            if (!in)
                throw CatalogueError("Cannot read " + ReadableName(path).toStdString() + ".");
            try {
                ImportMedia(catalogue, in, {std::nullopt, replace});
            } catch (const MediumExistsError& error) {
                exists = error.what();
            } catch (const JsonError& error) {
                throw CatalogueError(ReadableName(path).toStdString() + ": " + error.what());
            }
        };
    };
    bool done = RunCall(CatalogueUse::Add, importing(false));
    if (done && exists)
        done = m_prompter.Prompt(*exists + " Replace it?", kAppTitle, MessageIcon::Question,
                                 MessageButtons::YesNo) == MessageAnswer::Yes &&
               RunCall(CatalogueUse::Add, importing(true));
    Refresh(SelectedName());
    return done;
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
