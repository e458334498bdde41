// The menu, the accelerator keys and the commands they send to the view.
#include "form/CatalogriumView.h"
#include "shell/AboutDlg.h"
#include "shell/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>

namespace {

// Room above the Command menu's first item, its separator: at the very top the style would
// draw that line under the menu's border.
constexpr int kLeadingSeparatorGap = 3;

// The application's style, with greyed menu items that can be highlighted, as on the classic
// desktop: a greyed item shows its prompt in the status bar like any other, and still does
// nothing when chosen.
class CMenuStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, const char* name,
                                const QString& tip) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(tip);
    return action;
}

void CMainFrame::CreateMenus() {
    auto* menuStyle = new CMenuStyle(QApplication::style()->name());
    menuStyle->setParent(this);
    m_pCommandMenu = menuBar()->addMenu(tr("&Command"));
    m_pCommandMenu->setStyle(menuStyle);
    // The menu begins with a separator, as it always has.
    m_pCommandMenu->setSeparatorsCollapsible(false);
    m_pCommandMenu->setContentsMargins(0, kLeadingSeparatorGap, 0, 0);
    m_pCommandMenu->addSeparator();
    AddCommand(m_pCommandMenu, tr("&Go"), "actionGo", tr("Print listing"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    m_pPreviewAction =
        AddCommand(m_pCommandMenu, tr("&Preview"), "actionPreview", tr("Display full pages"));
    AddCommand(m_pCommandMenu, tr("P&rint Setup..."), "actionPrintSetup",
               tr("Change the printer and printing options"));
    m_pCommandMenu->addSeparator();
    connect(AddCommand(m_pCommandMenu, tr("E&xit"), "actionExit",
                       tr("Quit the application; prompts to save documents")),
            &QAction::triggered, this, &QWidget::close);
    connect(m_pCommandMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);

    QMenu* settingMenu = menuBar()->addMenu(tr("&Setting"));
    settingMenu->setStyle(menuStyle);
    AddCommand(settingMenu, tr("&Options"), "actionOptions",
               tr("Sorting order, print line numbers, etc."));
    settingMenu->addSeparator();
    connect(AddCommand(settingMenu, tr("&About Catalogrium..."), "actionAbout",
                       tr("Display program information, version number and copyright")),
            &QAction::triggered, this, &CMainFrame::OnAppAbout);

    // The catalogue's commands are wired by the catalogue menu (CCatalogueMenu).
    // Alt+A is the form's Attributes box.
    QMenu* catalogueMenu = menuBar()->addMenu(tr("Cata&logue"));
    catalogueMenu->setObjectName(QStringLiteral("catalogueMenu"));
    AddCommand(catalogueMenu, tr("&Add Listing to Catalogue..."), "actionAddToCatalogue",
               tr("Add the listed folder to the catalogue"));
    AddCommand(catalogueMenu, tr("&Find in Catalogue..."), "actionFindInCatalogue",
               tr("Find catalogued files by name"));
    AddCommand(catalogueMenu, tr("&Media..."), "actionMedia",
               tr("Rename or remove catalogued media"));
    AddCommand(catalogueMenu, tr("&Duplicates..."), "actionDuplicates",
               tr("Find the files held more than once"));
}

// Keys without a menu item: Ctrl+P prints (as Go does), Ctrl+N, Ctrl+O and Ctrl+S are the
// listing file's New, Open and Save.
void CMainFrame::CreateAccelerators() {
    const auto addKey = [this](QKeyCombination key, const char* name) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(QKeySequence(key));
        addAction(action);
    };
    addKey(Qt::CTRL | Qt::Key_P, "actionPrint");
    addKey(Qt::CTRL | Qt::Key_N, "actionNew");
    addKey(Qt::CTRL | Qt::Key_O, "actionOpen");
    addKey(Qt::CTRL | Qt::Key_S, "actionSave");
}

void CMainFrame::ConnectViewCommands() {
    const auto bind = [this](const char* name, void (CCatalogriumView::*command)()) {
        connect(findChild<QAction*>(QString::fromLatin1(name)), &QAction::triggered, m_pView,
                command);
    };
    bind("actionGo", &CCatalogriumView::OnFilePrint);
    bind("actionPrint", &CCatalogriumView::OnFilePrint);
    bind("actionPreview", &CCatalogriumView::OnFilePrintPreview);
    bind("actionPrintSetup", &CCatalogriumView::OnFilePrintSetup);
    bind("actionOptions", &CCatalogriumView::OnOptions);
    bind("actionNew", &CCatalogriumView::OnFileNew);
    bind("actionOpen", &CCatalogriumView::OnFileOpen);
    bind("actionSave", &CCatalogriumView::OnFileSave);
    connect(m_pView, &CCatalogriumView::layoutChanged, this, &CMainFrame::UpdateCommandStates);
    UpdateCommandStates();
}

// Preview is greyed while the listing goes to a file.
void CMainFrame::UpdateCommandStates() {
    if (m_pView)
        m_pPreviewAction->setEnabled(m_pView->CanPreview());
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}
