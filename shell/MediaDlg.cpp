#include "MediaDlg.h"

#include "Catalogue.h"
#include "Prompter.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* rename = buttons->addButton(tr("&Rename..."), QDialogButtonBox::ActionRole);
    QPushButton* remove = buttons->addButton(tr("Re&move"), QDialogButtonBox::ActionRole);
    connect(rename, &QPushButton::clicked, this, &CMediaDlg::AskRename);
    connect(remove, &QPushButton::clicked, this, &CMediaDlg::Remove);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 320);
    Refresh();
}

void CMediaDlg::Refresh() {
    m_table->setRowCount(0);
    try {
        const auto media = OpenCatalogue(m_location)->Media();
        m_table->setRowCount(static_cast<int>(media.size()));
        for (int row = 0; row < m_table->rowCount(); ++row) {
            const Medium& m = media[static_cast<std::size_t>(row)];
            const QString volume =
                QString::fromStdString(m.volume.label.empty() ? m.volume.uuid : m.volume.label);
            const QStringList cells = {QString::fromStdString(m.name),
                                       QString::fromStdString(m.folder),
                                       volume,
                                       QLocale().toString(static_cast<qlonglong>(m.files)),
                                       QLocale().toString(static_cast<qulonglong>(m.bytes)),
                                       QDateTime::fromSecsSinceEpoch(m.added).toString(
                                           QStringLiteral("yyyy-MM-dd HH:mm"))};
            for (int column = 0; column < cells.size(); ++column)
                m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    } catch (const CatalogueError& error) {
        Report(error);
    }
    m_table->resizeColumnsToContents();
}

std::string CMediaDlg::SelectedName() const {
    const auto rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? std::string()
                          : m_table->item(rows.first().row(), 0)->text().toStdString();
}

void CMediaDlg::AskRename() {
    const std::string name = SelectedName();
    if (name.empty())
        return;
    bool ok = false;
    const QString newName =
        QInputDialog::getText(this, tr("Rename Medium"), tr("New name:"), QLineEdit::Normal,
                              QString::fromStdString(name), &ok)
            .trimmed();
    if (ok && !newName.isEmpty())
        Rename(newName.toStdString());
}

void CMediaDlg::Rename(const std::string& newName) {
    try {
        OpenCatalogue(m_location)->Rename(SelectedName(), newName);
    } catch (const CatalogueError& error) {
        Report(error);
    }
    Refresh();
}

void CMediaDlg::Remove() {
    const std::string name = SelectedName();
    if (name.empty() || m_prompter.Prompt("Remove \"" + name +
                                              "\" and everything listed on it from the "
                                              "catalogue?",
                                          kAppTitle, MessageIcon::Question,
                                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    try {
        OpenCatalogue(m_location)->Forget(name);
    } catch (const CatalogueError& error) {
        Report(error);
    }
    Refresh();
}

void CMediaDlg::Report(const std::exception& error) {
    m_prompter.Prompt(error.what(), kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}
