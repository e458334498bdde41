#include "FindCatalogueWindow.h"

#include "Prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

constexpr int kPollMs = 100;
const QString kSizeKey = QStringLiteral("FindInCatalogue/size");

QString AttributeLetters(std::uint32_t attributes) {
    QString letters;
    if (attributes & 0x20)
        letters += QLatin1Char('A');
    if (attributes & 0x2)
        letters += QLatin1Char('H');
    if (attributes & 0x1)
        letters += QLatin1Char('R');
    if (attributes & 0x4)
        letters += QLatin1Char('S');
    if (attributes & 0x10)
        letters += QLatin1Char('D');
    return letters;
}

std::optional<std::uint64_t> SizeBound(const QLineEdit* edit) {
    bool ok = false;
    const qulonglong value = edit->text().toULongLong(&ok);
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

} // namespace

int CCatalogueMatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_matches.size());
}

int CCatalogueMatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CCatalogueMatchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole))
        return {};
    const CatalogueMatch& m = Match(index.row());
    if (role == Qt::TextAlignmentRole)
        return index.column() == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    switch (static_cast<Column>(index.column())) {
    case Medium:
        return QString::fromStdString(m.medium);
    case Path:
        return QString::fromStdString(m.path);
    case Size:
        return QLocale().toString(static_cast<qulonglong>(m.size));
    case Modified:
        return QDateTime::fromSecsSinceEpoch(m.modified)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Attributes:
        return AttributeLetters(m.attributes);
    case ColumnCount:
        break;
    }
    return {};
}

QVariant CCatalogueMatchModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kTitles[] = {"Medium", "Path", "Size", "Modified", "Attributes"};
    return tr(kTitles[section]);
}

void CCatalogueMatchModel::sort(int column, Qt::SortOrder order) {
    static const MatchOrder kOrders[] = {MatchOrder::Medium, MatchOrder::Path, MatchOrder::Size,
                                         MatchOrder::Modified, MatchOrder::Attributes};
    if (column < 0 || column >= ColumnCount)
        return;
    const bool descending = order == Qt::DescendingOrder;
    if (kOrders[column] == m_order && descending == m_descending)
        return;
    m_order = kOrders[column];
    m_descending = descending;
    emit orderChanged();
}

void CCatalogueMatchModel::Clear() {
    beginResetModel();
    m_matches.clear();
    endResetModel();
}

void CCatalogueMatchModel::Append(std::vector<CatalogueMatch> matches) {
    if (matches.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(matches.size()) - 1);
    std::move(matches.begin(), matches.end(), std::back_inserter(m_matches));
    endInsertRows();
}

// One search on a thread of its own, with a connection of its own. A newer search drops it
// without waiting: the thread ends at its next match and frees the run.
struct CFindCatalogueWindow::Run {
    std::atomic<bool> cancelled = false;
    std::atomic<bool> done = false;
    std::mutex mutex;
    std::vector<CatalogueMatch> pending;
    std::string error;

    static void Start(const std::shared_ptr<Run>& run, std::string location, FindQuery query) {
        std::thread([run, location = std::move(location), query = std::move(query)] {
            try {
                OpenCatalogue(location)->Find(query, [&](const CatalogueMatch& match) {
                    std::lock_guard lock(run->mutex);
                    run->pending.push_back(match);
                    return !run->cancelled;
                });
            } catch (const CatalogueError& error) {
                std::lock_guard lock(run->mutex);
                run->error = error.what();
            }
            run->done = true;
        }).detach();
    }
};

CFindCatalogueWindow::CFindCatalogueWindow(std::string location, IPrompter& prompter,
                                           FolderOpener openFolder, QString settingsPath,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), m_location(std::move(location)), m_prompter(prompter),
      m_openFolder(std::move(openFolder)), m_settingsPath(std::move(settingsPath)) {
    setWindowTitle(tr("Find in Catalogue"));
    setObjectName(QStringLiteral("findInCatalogue"));
    auto* layout = new QVBoxLayout(this);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(tr("Part of a name, or a pattern with * and ?"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);
    layout->addWidget(CreateFilters());
    CreateTable();
    layout->addWidget(m_table, 1);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("matchCount"));
    layout->addWidget(m_count);

    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(kDebounceMs);
    connect(m_debounce, &QTimer::timeout, this, &CFindCatalogueWindow::StartSearch);
    connect(m_search, &QLineEdit::textChanged, m_debounce, qOverload<>(&QTimer::start));
    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &CFindCatalogueWindow::TakeResults);
    connect(&m_model, &CCatalogueMatchModel::orderChanged, this,
            &CFindCatalogueWindow::StartSearch);

    resize(
        QSettings(m_settingsPath, QSettings::IniFormat).value(kSizeKey, QSize(760, 480)).toSize());
    RefreshMedia();
}

CFindCatalogueWindow::~CFindCatalogueWindow() {
    if (m_run)
        m_run->cancelled = true;
}

QWidget* CFindCatalogueWindow::CreateFilters() {
    auto* filters = new QWidget;
    auto* row = new QHBoxLayout(filters);
    row->setContentsMargins(0, 0, 0, 0);
    m_medium = new QComboBox;
    m_medium->setObjectName(QStringLiteral("mediumFilter"));
    const auto sizeEdit = [](const char* name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(name));
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]{0,19}"), edit));
        edit->setMaximumWidth(110);
        return edit;
    };
    m_minSize = sizeEdit("minSize");
    m_maxSize = sizeEdit("maxSize");
    const auto dateEdit = [](const char* name) {
        auto* edit = new QDateEdit(QDate::currentDate());
        edit->setObjectName(QString::fromLatin1(name));
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
        return edit;
    };
    m_useFrom = new QCheckBox(tr("Modified from"));
    m_from = dateEdit("modifiedFrom");
    m_useTo = new QCheckBox(tr("to"));
    m_to = dateEdit("modifiedTo");
    row->addWidget(new QLabel(tr("Medium")));
    row->addWidget(m_medium);
    row->addWidget(new QLabel(tr("Size from")));
    row->addWidget(m_minSize);
    row->addWidget(new QLabel(tr("to")));
    row->addWidget(m_maxSize);
    row->addWidget(new QLabel(tr("bytes")));
    row->addWidget(m_useFrom);
    row->addWidget(m_from);
    row->addWidget(m_useTo);
    row->addWidget(m_to);
    row->addStretch(1);
    const auto restart = [this] { m_debounce->start(); };
    connect(m_medium, &QComboBox::currentIndexChanged, this, restart);
    connect(m_minSize, &QLineEdit::textChanged, this, restart);
    connect(m_maxSize, &QLineEdit::textChanged, this, restart);
    connect(m_from, &QDateEdit::dateChanged, this, restart);
    connect(m_to, &QDateEdit::dateChanged, this, restart);
    connect(m_useFrom, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_useTo, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    connect(m_useFrom, &QCheckBox::toggled, this, restart);
    connect(m_useTo, &QCheckBox::toggled, this, restart);
    return filters;
}

void CFindCatalogueWindow::CreateTable() {
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("matchTable"));
    m_table->setModel(&m_model);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(CCatalogueMatchModel::Medium, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Widths and heights come from the font, never from the rows: there may be a million.
    const QFontMetrics metrics(m_table->font());
    m_table->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    m_table->horizontalHeader()->resizeSection(
        CCatalogueMatchModel::Modified,
        metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16);
    m_table->horizontalHeader()->setSectionResizeMode(CCatalogueMatchModel::Path,
                                                      QHeaderView::Stretch);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenContainingFolder(index.row()); });
    connect(m_table, &QWidget::customContextMenuRequested, this,
            &CFindCatalogueWindow::ShowContextMenu);
}

void CFindCatalogueWindow::RefreshMedia() {
    const QString current = m_medium->currentIndex() > 0 ? m_medium->currentText() : QString();
    QSignalBlocker block(m_medium);
    m_medium->clear();
    m_medium->addItem(tr("All media"));
    try {
        for (const auto& medium : OpenCatalogue(m_location)->Media())
            m_medium->addItem(QString::fromStdString(medium.name));
    } catch (const CatalogueError& error) {
        m_count->setText(QString::fromStdString(error.what()));
    }
    m_medium->setCurrentIndex(std::max(0, m_medium->findText(current)));
}

FindQuery CFindCatalogueWindow::Query() const {
    FindQuery query;
    query.pattern = m_search->text().toStdString();
    if (m_medium->currentIndex() > 0)
        query.medium = m_medium->currentText().toStdString();
    query.minSize = SizeBound(m_minSize);
    query.maxSize = SizeBound(m_maxSize);
    if (m_useFrom->isChecked())
        query.modifiedFrom = m_from->date().startOfDay().toSecsSinceEpoch();
    if (m_useTo->isChecked())
        query.modifiedTo = m_to->date().endOfDay().toSecsSinceEpoch();
    query.order = m_model.Order();
    query.descending = m_model.Descending();
    return query;
}

void CFindCatalogueWindow::StartSearch() {
    if (m_run)
        m_run->cancelled = true;
    m_run.reset();
    m_model.Clear();
    m_count->clear();
    const FindQuery query = Query();
    if (query.pattern.empty()) {
        m_poll->stop();
        return;
    }
    m_run = std::make_shared<Run>();
    Run::Start(m_run, m_location, query);
    m_count->setText(tr("Searching..."));
    m_poll->start();
}

bool CFindCatalogueWindow::Searching() const {
    return m_run != nullptr;
}

// Takes what the search found since the last look; a batch at a time keeps the table quick.
void CFindCatalogueWindow::TakeResults() {
    if (!m_run)
        return;
    const bool done = m_run->done;
    std::vector<CatalogueMatch> batch;
    std::string error;
    {
        std::lock_guard lock(m_run->mutex);
        batch.swap(m_run->pending);
        error = m_run->error;
    }
    m_model.Append(std::move(batch));
    const int rows = m_model.rowCount();
    const QString count =
        rows == 1 ? tr("1 match") : tr("%1 matches").arg(QLocale().toString(rows));
    if (!error.empty())
        m_count->setText(QString::fromStdString(error));
    else
        m_count->setText(done ? count : count + QStringLiteral("..."));
    if (done) {
        m_poll->stop();
        m_run.reset();
    }
}

QString CFindCatalogueWindow::CountText() const {
    return m_count->text();
}

void CFindCatalogueWindow::OpenContainingFolder(int row) {
    const CatalogueMatch& match = m_model.Match(row);
    const QString folder = QFileInfo(QString::fromStdString(match.path)).path();
    if (QFileInfo(folder).isDir()) {
        m_openFolder(folder.toStdString());
        return;
    }
    m_prompter.Prompt("The folder " + folder.toStdString() + " is not there: the medium \"" +
                          match.medium + "\" is not mounted where it was when it was added.",
                      kAppTitle, MessageIcon::Information, MessageButtons::Ok);
}

void CFindCatalogueWindow::CopyPath(int row) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(m_model.Match(row).path));
}

void CFindCatalogueWindow::ShowContextMenu(const QPoint& position) {
    const QModelIndex index = m_table->indexAt(position);
    if (!index.isValid())
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("Copy Path")), &QAction::triggered, this,
            [this, row = index.row()] { CopyPath(row); });
    menu.exec(m_table->viewport()->mapToGlobal(position));
}

void CFindCatalogueWindow::closeEvent(QCloseEvent* event) {
    QSettings(m_settingsPath, QSettings::IniFormat).setValue(kSizeKey, size());
    QWidget::closeEvent(event);
}
