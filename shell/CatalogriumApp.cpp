#include "CatalogriumApp.h"

#include "engine/CatalogriumDoc.h"
#include "engine/Profile.h"
#include "engine/Prompter.h"
#include "form/CatalogriumView.h"
#include "form/StandardViewDialogs.h"
#include "shell/AppIcon.h"
#include "shell/CatalogueMenu.h"
#include "shell/MainFrame.h"

#include <QApplication>

CCatalogriumApp::CCatalogriumApp()
    : m_pOwnPrompter(std::make_unique<CMessageBoxPrompter>()),
      m_pOwnDialogs(std::make_unique<CStandardViewDialogs>()), m_prompter(*m_pOwnPrompter),
      m_dialogs(*m_pOwnDialogs) {}

CCatalogriumApp::CCatalogriumApp(IPrompter& prompter, IViewDialogs& dialogs)
    : m_prompter(prompter), m_dialogs(dialogs) {}

CCatalogriumApp::~CCatalogriumApp() {
    CloseMainWindow();
}

void CCatalogriumApp::SetIdentity() {
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.32"));
}

void CCatalogriumApp::InitInstance(const std::string& folder) {
    SetIdentity();
    QApplication::setDesktopFileName(QStringLiteral("catalogrium3"));
    QApplication::setWindowIcon(AppIcon());
    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pDocument = std::make_unique<CCatalogriumDoc>(m_prompter, *m_pMainFrame);
    auto* view = new CCatalogriumView(*m_pDocument, m_prompter, m_dialogs, DefaultProfilePath());
    m_pMainFrame->SetView(view);
    m_pCatalogueMenu = new CCatalogueMenu(*m_pMainFrame, *m_pDocument, m_prompter);
    if (!folder.empty())
        view->SetFolder(folder);
    m_pMainFrame->show();
    m_pMainFrame->setWindowTitle(QString::fromLatin1(kAppTitle));
}

void CCatalogriumApp::CloseMainWindow() {
    m_pMainFrame.reset();
}
