#include "BrowserDlg.h"

#include "dialogs/DialogFrame.h"
#include "dialogs/FileSystemNamespace.h"
#include "dialogs/ShellTree.h"

CBrowserDlg::CBrowserDlg(QWidget* parent)
    : CBrowserDlg(std::make_unique<CFileSystemNamespace>(), parent) {}

CBrowserDlg::CBrowserDlg(std::unique_ptr<INamespaceProvider> provider, QWidget* parent)
    : CBrowserDlg(*provider, parent) {
    m_pOwnedProvider = std::move(provider);
}

CBrowserDlg::CBrowserDlg(INamespaceProvider& provider, QWidget* parent) : CModalDialog(parent) {
    setWindowTitle(QStringLiteral("Browser"));
    SetModalFrame(*this, true);
    m_pTree = PlaceControl(new CShellTree(provider, this), "1055", 2, 3, 176, 117);
    LayOutTemplate(*this, 180, 123);
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, &CBrowserDlg::OnSelChanged);
    connect(m_pTree, &QWidget::customContextMenuRequested, this, &CBrowserDlg::OnRightClick);
}

CBrowserDlg::~CBrowserDlg() {
    // The tree's records go before the provider they came from.
    delete m_pTree;
}

// The tree is filled once the dialog runs, so that a first selection that ends it at once
// ends a running dialog.
void CBrowserDlg::OnInitDialog() {
    QMetaObject::invokeMethod(this, &CBrowserDlg::FillTree, Qt::QueuedConnection);
}

void CBrowserDlg::FillTree() {
    m_pTree->SetSystemImageList();
    m_pTree->FillRoot();
}

void CBrowserDlg::OnSelChanged() {
    if (const auto path = m_pTree->OnSelChanged()) {
        m_strPath = *path;
        if (!m_bInRightClick)
            accept();
    }
}

// A right click that selects a folder with a path ends the dialog once the item's menu is
// closed: the menu opens over the dialog, never over the window left when the dialog goes.
void CBrowserDlg::OnRightClick(const QPoint& pos) {
    m_bInRightClick = true;
    m_pTree->OnRightClick(pos);
    m_bInRightClick = false;
    if (!m_strPath.empty())
        accept();
}
