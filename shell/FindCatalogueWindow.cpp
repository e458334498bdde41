#include "FindCatalogueWindow.h"

#include "engine/Prompter.h"
#include "shell/ContainingFolder.h"
#include "shell/EntryText.h"
#include "shell/NameBytes.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

namespace {

constexpr int kPollMs = 100;
const QString kSizeKey = QStringLiteral("FindInCatalogue/size");

// A medium's name as the filter's item keeps it: the catalogue's bytes.
QVariant NameData(const std::string& name) {
    return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
}

// The search order of each column; Name has none.
constexpr std::optional<MatchOrder> kColumnOrders[] = {
    std::nullopt,     MatchOrder::Medium,   MatchOrder::Path,
    MatchOrder::Size, MatchOrder::Modified, MatchOrder::Attributes};

// Room for a size of a dozen digits (a terabyte) however narrow the window.
int SizeEditWidth(const QLineEdit& edit) {
    constexpr int kFrameAndCursor = 14;
    const QMargins margins = edit.textMargins() + edit.contentsMargins();
    return QFontMetrics(edit.font()).horizontalAdvance(QStringLiteral("000000000000")) +
           margins.left() + margins.right() + kFrameAndCursor;
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
    case Name:
        return ReadableName(NameOf(m.path));
    case Medium:
        return ReadableName(m.medium);
    case Path:
        return ReadableName(m.path);
    case Size:
        return QLocale().toString(static_cast<qulonglong>(m.size));
    case Modified:
        return LocalTimeText(m.modified);
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
    static const char* const kTitles[] = {"Name", "Medium",   "Path",
                                          "Size", "Modified", "Attributes"};
    return tr(kTitles[section]);
}

void CCatalogueMatchModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount || !kColumnOrders[column])
        return;
    const bool descending = order == Qt::DescendingOrder;
    if (*kColumnOrders[column] == m_order && descending == m_descending)
        return;
    m_order = *kColumnOrders[column];
    m_descending = descending;
    emit orderChanged();
}

int CCatalogueMatchModel::OrderColumn() const {
    const auto* found = std::find(std::begin(kColumnOrders), std::end(kColumnOrders), m_order);
    return static_cast<int>(found - std::begin(kColumnOrders));
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

// The matches that the search's thread found and the window has not taken yet.
struct CFindCatalogueWindow::Found {
    std::mutex mutex;
    std::vector<CatalogueMatch> pending;
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
    connect(&m_searchTask, &CCatalogueTask::finished, this, &CFindCatalogueWindow::EndSearch);
    connect(&m_mediaTask, &CCatalogueTask::finished, this, &CFindCatalogueWindow::EndMediaList);

    resize(
        QSettings(m_settingsPath, QSettings::IniFormat).value(kSizeKey, QSize(920, 480)).toSize());
    RefreshMedia();
}

CFindCatalogueWindow::~CFindCatalogueWindow() = default;

QWidget* CFindCatalogueWindow::CreateFilters() {
    auto* filters = new QWidget;
    // Two rows, so that a narrow window still shows every filter whole.
    auto* rows = new QVBoxLayout(filters);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* dateRow = new QHBoxLayout;
    rows->addLayout(row);
    rows->addLayout(dateRow);
    m_medium = new QComboBox;
    m_medium->setObjectName(QStringLiteral("mediumFilter"));
    // There from the start, so that the window's first size has room for it.
    FillMedia({});
    const auto sizeEdit = [](const char* name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(name));
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression("[0-9]{0,19}"), edit));
        edit->setFixedWidth(SizeEditWidth(*edit));
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
    row->addStretch(1);
    dateRow->addWidget(m_useFrom);
    dateRow->addWidget(m_from);
    dateRow->addWidget(m_useTo);
    dateRow->addWidget(m_to);
    dateRow->addStretch(1);
    // None of them shrinks below what its text needs.
    for (QWidget* field : {static_cast<QWidget*>(m_medium), static_cast<QWidget*>(m_from),
                           static_cast<QWidget*>(m_to)})
        field->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_medium->setSizeAdjustPolicy(QComboBox::AdjustToContents);
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
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            &CFindCatalogueWindow::KeepSortableIndicator);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // The ends of a path, the medium's folder and the entry, say the most.
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Widths and heights come from the font, never from the rows: there may be a million.
    const QFontMetrics metrics(m_table->font());
    m_table->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    SizeColumnsFromTheFont();
    m_table->horizontalHeader()->setSectionResizeMode(CCatalogueMatchModel::Path,
                                                      QHeaderView::Stretch);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const CatalogueMatch& match = m_model.Match(index.row());
        emit browseAsked(match.medium, match.path);
    });
    connect(m_table, &QWidget::customContextMenuRequested, this,
            &CFindCatalogueWindow::ShowContextMenu);
}

// Name has no order of its own: its indicator goes back to the column the matches are in.
void CFindCatalogueWindow::KeepSortableIndicator() {
    QHeaderView* header = m_table->horizontalHeader();
    if (header->sortIndicatorSection() == CCatalogueMatchModel::Name)
        header->setSortIndicator(m_model.OrderColumn(),
                                 m_model.Descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// The list comes from the catalogue on a thread of its own; the choice is kept.
// Room for what the columns hold at most, with the cell's margins and the sort indicator;
// the path takes the rest.
void CFindCatalogueWindow::SizeColumnsFromTheFont() {
    const QFontMetrics metrics(m_table->font());
    const QFontMetrics headerMetrics(m_table->horizontalHeader()->font());
    constexpr int kMargins = 20;
    const auto fit = [&](int column, int width) {
        const QString title =
            m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        m_table->horizontalHeader()->resizeSection(
            column, std::max(width, headerMetrics.horizontalAdvance(title)) + kMargins);
    };
    const int x = metrics.horizontalAdvance(QLatin1Char('x'));
    fit(CCatalogueMatchModel::Name, x * 18);
    fit(CCatalogueMatchModel::Medium, x * 10);
    fit(CCatalogueMatchModel::Size, metrics.horizontalAdvance(QStringLiteral("00,000,000,000")));
    fit(CCatalogueMatchModel::Modified,
        metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")));
    fit(CCatalogueMatchModel::Attributes, metrics.horizontalAdvance(QStringLiteral("AHRSD")));
}

void CFindCatalogueWindow::RefreshMedia() {
    m_mediaNames = std::make_shared<std::vector<std::string>>();
    m_mediaTask.Start(m_location,
                      [names = m_mediaNames](ICatalogue& catalogue, const std::atomic<bool>&) {
                          for (auto& medium : catalogue.Media())
                              names->push_back(std::move(medium.name));
                      });
}

void CFindCatalogueWindow::EndMediaList(CCatalogueTask::Outcome outcome, const QString& error) {
    if (outcome == CCatalogueTask::Outcome::Failed)
        m_count->setText(error);
    else if (outcome == CCatalogueTask::Outcome::Done)
        FillMedia(*m_mediaNames);
}

// Each item keeps the medium's name as the catalogue's bytes.
void CFindCatalogueWindow::FillMedia(const std::vector<std::string>& names) {
    const QVariant current = m_medium->currentData();
    {
        QSignalBlocker block(m_medium);
        m_medium->clear();
        m_medium->addItem(tr("All media"));
        for (const std::string& name : names)
            m_medium->addItem(ReadableName(name), NameData(name));
        m_medium->setCurrentIndex(current.isValid() ? std::max(0, m_medium->findData(current)) : 0);
    }
    if (m_mediumToChoose)
        ChooseMedium(*m_mediumToChoose);
}

void CFindCatalogueWindow::ChooseMedium(const std::string& name) {
    m_mediumToChoose = name;
    const int index = m_medium->findData(NameData(name));
    if (index <= 0)
        return;
    m_mediumToChoose.reset();
    m_medium->setCurrentIndex(index);
}

FindQuery CFindCatalogueWindow::Query() const {
    FindQuery query;
    query.pattern = m_search->text().toStdString();
    if (m_medium->currentIndex() > 0)
        query.medium = m_medium->currentData().toByteArray().toStdString();
    query.minSize = SizeBound(m_minSize);
    query.maxSize = SizeBound(m_maxSize);
    if (m_useFrom->isChecked())
        query.modifiedFrom = m_from->date().startOfDay().toSecsSinceEpoch();
    if (m_useTo->isChecked())
        query.modifiedTo = m_to->date().endOfDay().toSecsSinceEpoch();
    query.order = m_model.Order();
    query.descending = m_model.Descending();
    // One more than is shown tells that there are more.
    query.limit = m_maxMatches + 1;
    return query;
}

void CFindCatalogueWindow::StartSearch() {
    m_searchTask.Stop();
    m_found.reset();
    m_bMoreMatches = false;
    m_model.Clear();
    m_count->clear();
    const FindQuery query = Query();
    if (query.pattern.empty()) {
        m_poll->stop();
        return;
    }
    m_found = std::make_shared<Found>();
    m_searchTask.Start(m_location, [found = m_found, query](ICatalogue& catalogue,
                                                            const std::atomic<bool>& stopped) {
        catalogue.Find(query, [&](const CatalogueMatch& match) {
            std::lock_guard lock(found->mutex);
            found->pending.push_back(match);
            return !stopped;
        });
    });
    m_count->setText(tr("Searching..."));
    m_poll->start();
}

bool CFindCatalogueWindow::Searching() const {
    return m_found != nullptr;
}

// Takes what the search found since the last look; a batch at a time keeps the table quick.
void CFindCatalogueWindow::TakeResults() {
    if (!m_found)
        return;
    std::vector<CatalogueMatch> batch;
    {
        std::lock_guard lock(m_found->mutex);
        batch.swap(m_found->pending);
    }
    const std::size_t room = m_maxMatches - static_cast<std::size_t>(m_model.rowCount());
    if (batch.size() > room) {
        batch.resize(room);
        m_bMoreMatches = true;
    }
    m_model.Append(std::move(batch));
    ShowCount(true);
}

void CFindCatalogueWindow::EndSearch(CCatalogueTask::Outcome outcome, const QString& error) {
    TakeResults();
    m_poll->stop();
    m_found.reset();
    if (outcome == CCatalogueTask::Outcome::Failed)
        m_count->setText(error);
    else
        ShowCount(false);
}

void CFindCatalogueWindow::ShowCount(bool searching) {
    const int rows = m_model.rowCount();
    QString count = rows == 1 ? tr("1 match") : tr("%1 matches").arg(QLocale().toString(rows));
    if (m_bMoreMatches)
        count =
            tr("The first %1: narrow the search to see the others").arg(QLocale().toString(rows));
    m_count->setText(searching ? count + QStringLiteral("...") : count);
}

QString CFindCatalogueWindow::CountText() const {
    return m_count->text();
}

void CFindCatalogueWindow::OpenContainingFolder(int row) {
    ::OpenContainingFolder(m_model.Match(row), m_openFolder, m_prompter);
}

void CFindCatalogueWindow::CopyPath(int row) {
    QGuiApplication::clipboard()->setMimeData(PathMimeData(m_model.Match(row).path).release());
}

void CFindCatalogueWindow::ShowContextMenu(const QPoint& position) {
    const QModelIndex index = m_table->indexAt(position);
    if (!index.isValid())
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("Open Containing Folder")), &QAction::triggered, this,
            [this, row = index.row()] { OpenContainingFolder(row); });
    connect(menu.addAction(tr("Copy Path")), &QAction::triggered, this,
            [this, row = index.row()] { CopyPath(row); });
    menu.exec(m_table->viewport()->mapToGlobal(position));
}

void CFindCatalogueWindow::closeEvent(QCloseEvent* event) {
    m_searchTask.Stop();
    m_searchTask.CloseKeptCatalogue();
    m_mediaTask.Stop();
    QSettings(m_settingsPath, QSettings::IniFormat).setValue(kSizeKey, size());
    QWidget::closeEvent(event);
}
