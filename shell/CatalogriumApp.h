#pragma once

#include "shell/MessageBoxPrompter.h"

#include <memory>
#include <string>

class CCatalogriumDoc;
class CCatalogueMenu;
class CMainFrame;
class IPrompter;
class IViewDialogs;

// The application: the one document with its main frame and form view. Create it after the
// QApplication; InitInstance builds and shows the window. The prompter and the dialogs are
// the real message boxes and dialogs unless others are given (tests answer them). Destroying
// the application closes the window first, so the view writes the options to the profile
// while the document still exists.
class CCatalogriumApp {
public:
    CCatalogriumApp();
    CCatalogriumApp(IPrompter& prompter, IViewDialogs& dialogs);
    ~CCatalogriumApp();
    CCatalogriumApp(const CCatalogriumApp&) = delete;
    CCatalogriumApp& operator=(const CCatalogriumApp&) = delete;

    // The application's name and version, as --version and the window system show them.
    static void SetIdentity();
    // Sets the application's name and icon, builds the frame, the document and the view
    // (the view loads the options from the profile) and shows the window, with `folder` (the
    // folder named on the command line, or empty) in the form; nothing is read until Go.
    void InitInstance(const std::string& folder = {});
    // Destroys the window and the view, which writes the options to the profile.
    void CloseMainWindow();

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    CCatalogriumDoc* Document() const { return m_pDocument.get(); }
    // The Catalogue menu's commands (owned by the frame).
    CCatalogueMenu* CatalogueMenu() const { return m_pCatalogueMenu; }

private:
    std::unique_ptr<CMessageBoxPrompter> m_pOwnPrompter;
    std::unique_ptr<IViewDialogs> m_pOwnDialogs;
    IPrompter& m_prompter;
    IViewDialogs& m_dialogs;
    std::unique_ptr<CCatalogriumDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    CCatalogueMenu* m_pCatalogueMenu = nullptr;
};
