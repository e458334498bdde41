#pragma once

#include "dialogs/DialogFrame.h"
#include "dialogs/Namespace.h"

#include <memory>
#include <string>

class CShellTree;

// The folder browser: a tree of the namespace with no OK button. The first selection of a
// folder that has a file-system path ends the dialog with Accepted and that path in
// `m_strPath`; Esc or the close box end it with Rejected and `m_strPath` empty.
class CBrowserDlg : public CModalDialog {
    Q_OBJECT
public:
    // Over the local file system.
    explicit CBrowserDlg(QWidget* parent = nullptr);
    // Over `provider`, borrowed for the dialog's life.
    explicit CBrowserDlg(INamespaceProvider& provider, QWidget* parent = nullptr);
    ~CBrowserDlg() override;

    CShellTree& Tree() { return *m_pTree; }

    std::string m_strPath;

protected:
    void OnInitDialog() override;

private:
    CBrowserDlg(std::unique_ptr<INamespaceProvider> provider, QWidget* parent);
    void FillTree();
    void OnSelChanged();
    void OnRightClick(const QPoint& pos);

    std::unique_ptr<INamespaceProvider> m_pOwnedProvider;
    CShellTree* m_pTree = nullptr;
    bool m_bInRightClick = false;
};
