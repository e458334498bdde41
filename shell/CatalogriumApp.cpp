#include "CatalogriumApp.h"

#include "AppIcon.h"
#include "CatalogriumDoc.h"
#include "CatalogriumView.h"
#include "MainFrame.h"
#include "Profile.h"
#include "Prompter.h"
#include "StandardViewDialogs.h"

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

void CCatalogriumApp::InitInstance() {
    QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("3.32"));
    QApplication::setDesktopFileName(QStringLiteral("catalogrium3"));
    QApplication::setWindowIcon(AppIcon());
    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pDocument = std::make_unique<CCatalogriumDoc>(m_prompter, *m_pMainFrame);
    m_pMainFrame->SetView(
        new CCatalogriumView(*m_pDocument, m_prompter, m_dialogs, DefaultProfilePath()));
    m_pMainFrame->show();
    m_pMainFrame->setWindowTitle(QString::fromLatin1(kAppTitle));
}

void CCatalogriumApp::CloseMainWindow() {
    m_pMainFrame.reset();
}
