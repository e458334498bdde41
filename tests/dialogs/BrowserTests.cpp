#include "dialogs/BrowserDlg.h"
#include "dialogs/FileSystemNamespace.h"
#include "dialogs/ShellTree.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/TempDir.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include <map>

namespace {

// A namespace held in memory. Items are identified by their names; siblings are ordered by
// reversed name, so the tree's order shows that the folder's comparison was used.
struct FakeNode {
    std::string name;
    bool folder = true;
    bool fileSystem = true;
    bool unreadable = false;
    bool nameFails = false;
    std::vector<FakeNode> children;

    bool HasSubFolder() const {
        return std::any_of(children.begin(), children.end(), [](auto& c) { return c.folder; });
    }
    const FakeNode* Child(const ItemId& id) const {
        for (const auto& child : children)
            if (child.name == id)
                return &child;
        return nullptr;
    }
};

struct FakeWorld {
    FakeNode root;
    std::map<std::string, int> reads;
    std::string failingCommand; // a command that fails with this message when not empty
    bool menuFails = false;
};

class FakeFolder : public INamespaceFolder {
public:
    FakeFolder(FakeWorld& world, const FakeNode& node) : m_world(world), m_node(node) {}

    std::optional<std::vector<ItemId>> EnumObjects() override {
        ++m_world.reads[m_node.name];
        if (m_node.unreadable)
            return std::nullopt;
        std::vector<ItemId> items;
        for (const auto& child : m_node.children)
            items.push_back(child.name);
        return items;
    }
    unsigned GetAttributesOf(const ItemId& id) override {
        const FakeNode* child = m_node.Child(id);
        return (child->folder ? kNsFolder : 0u) | (child->HasSubFolder() ? kNsHasSubFolder : 0u) |
               (child->fileSystem ? kNsFileSystem : 0u);
    }
    std::optional<std::string> GetDisplayNameOf(const ItemId& id) override {
        const FakeNode* child = m_node.Child(id);
        if (child->nameFails)
            return std::nullopt;
        return child->name;
    }
    int CompareIDs(const ItemId& a, const ItemId& b) override { return b.compare(a); }
    std::shared_ptr<INamespaceFolder> BindToObject(const ItemId& id) override {
        const FakeNode* child = m_node.Child(id);
        if (!child->folder)
            return nullptr;
        return std::make_shared<FakeFolder>(m_world, *child);
    }
    bool GetContextMenu(const ItemId&, std::vector<ContextCommand>& commands,
                        std::string& error) override {
        if (m_world.menuFails) {
            error = "No menu here.";
            return false;
        }
        commands.push_back({"Fail", [this](QWidget*, std::string& failure) {
                                failure = m_world.failingCommand;
                                return false;
                            }});
        return true;
    }

private:
    FakeWorld& m_world;
    const FakeNode& m_node;
};

class FakeNamespace : public INamespaceProvider {
public:
    explicit FakeNamespace(FakeWorld& world) : m_world(world) {}
    std::shared_ptr<INamespaceFolder> GetDesktopFolder() override {
        return std::make_shared<FakeFolder>(m_world, m_world.root);
    }
    std::optional<std::string> GetPathFromIDList(const ItemIdList& ids) override {
        const FakeNode* node = &m_world.root;
        std::string path = "/fake";
        for (const auto& id : ids) {
            node = node->Child(id);
            path += "/" + id;
        }
        if (!node->fileSystem)
            return std::nullopt;
        return path;
    }
    QIcon GetIcon(const ItemIdList&, bool) override { return {}; }

private:
    FakeWorld& m_world;
};

FakeNode Folder(std::string name, std::vector<FakeNode> children = {}, bool fileSystem = true) {
    FakeNode node;
    node.name = std::move(name);
    node.fileSystem = fileSystem;
    node.children = std::move(children);
    return node;
}

FakeNode File(std::string name) {
    FakeNode node;
    node.name = std::move(name);
    node.folder = false;
    return node;
}

QStringList Texts(QTreeWidgetItem* parent) {
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

QStringList TopLevelTexts(QTreeWidget& tree) {
    return Texts(tree.invisibleRootItem());
}

QTreeWidgetItem* Find(QTreeWidget& tree, const QString& text) {
    const auto found = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

class BrowserTest : public testing::Test {
protected:
    BrowserTest() {
        world.root = Folder(
            "desktop", {
                           Folder("Alpha", {Folder("inner", {}, false)}, false),
                           File("top.txt"),
                           Folder("Zeta",
                                  {
                                      Folder("docs", {Folder("a"), Folder("bad"), Folder("c")}),
                                      Folder("music"),
                                      File("readme"),
                                      Folder("locked", {Folder("hidden")}),
                                  },
                                  false),
                       });
        world.root.children[2].children[0].children[1].nameFails = true;
        world.root.children[2].children[3].unreadable = true;
    }

    // Shows the dialog without running it, with its tree filled.
    CShellTree& ShowFilled() {
        dialog.show();
        QCoreApplication::processEvents();
        return dialog.Tree();
    }

    void RightClick(QTreeWidgetItem* item, int xFromLabelStart = 2) {
        CShellTree& tree = dialog.Tree();
        const QRect rect = tree.visualItemRect(item);
        RightClickAt(QPoint(rect.left() + xFromLabelStart, rect.center().y()));
    }
    void RightClickAt(const QPoint& pos) {
        CShellTree& tree = dialog.Tree();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree.viewport()->mapToGlobal(pos));
        QApplication::sendEvent(tree.viewport(), &event);
    }

    FakeWorld world;
    FakeNamespace provider{world};
    CBrowserDlg dialog{provider};
};

TEST_F(BrowserTest, StartsWithTheFirstTopLevelFolderExpandedAndSelected) {
    CShellTree& tree = ShowFilled();
    EXPECT_EQ(dialog.windowTitle(), "Browser");
    EXPECT_EQ(TopLevelTexts(tree), QStringList({"Zeta", "Alpha"}));
    QTreeWidgetItem* zeta = tree.topLevelItem(0);
    EXPECT_TRUE(zeta->isExpanded());
    EXPECT_EQ(tree.currentItem(), zeta);
    EXPECT_EQ(Texts(zeta), QStringList({"music", "locked", "docs"}));
    EXPECT_EQ(world.reads["Zeta"], 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.m_strPath.empty());
}

TEST_F(BrowserTest, MarksOnlyFoldersWithSubFoldersAsExpandable) {
    CShellTree& tree = ShowFilled();
    EXPECT_EQ(Find(tree, "docs")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Find(tree, "music")->childIndicatorPolicy(),
              QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_EQ(Find(tree, "readme"), nullptr);
    EXPECT_EQ(Find(tree, "top.txt"), nullptr);
}

TEST_F(BrowserTest, ReadsAFolderOnlyWhenFirstExpandedOrSelectedAndNeverTwice) {
    CShellTree& tree = ShowFilled();
    EXPECT_EQ(world.reads.count("Alpha"), 0u);
    QTreeWidgetItem* alpha = Find(tree, "Alpha");
    tree.setCurrentItem(alpha);
    EXPECT_TRUE(dialog.isVisible()) << "a virtual folder has no path";
    EXPECT_EQ(world.reads["Alpha"], 1);
    alpha->setExpanded(true);
    alpha->setExpanded(false);
    alpha->setExpanded(true);
    EXPECT_EQ(world.reads["Alpha"], 1);
    EXPECT_EQ(Texts(alpha), QStringList({"inner"}));
}

TEST_F(BrowserTest, EndsAtTheFirstSelectedFileSystemFolderWithItsPath) {
    WhenModal<CBrowserDlg>([](CBrowserDlg& dlg) {
        // The tree fills from the running dialog's first turn of events.
        QCoreApplication::sendPostedEvents(&dlg, QEvent::MetaCall);
        dlg.Tree().setCurrentItem(Find(dlg.Tree(), "music"));
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strPath, "/fake/Zeta/music");
}

TEST_F(BrowserTest, SelectingAFolderReadsItsChildrenOnceEvenAsItEndsTheDialog) {
    CShellTree& tree = ShowFilled();
    QTreeWidgetItem* docs = Find(tree, "docs");
    tree.setCurrentItem(docs);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strPath, "/fake/Zeta/docs");
    docs->setExpanded(true);
    EXPECT_EQ(world.reads["docs"], 1);
    // The name of "bad" cannot be read: the fill stops there, "a" stays.
    EXPECT_EQ(Texts(docs), QStringList({"a"}));
}

TEST_F(BrowserTest, AnUnreadableFolderShowsNoChildren) {
    CShellTree& tree = ShowFilled();
    QTreeWidgetItem* locked = Find(tree, "locked");
    locked->setExpanded(true);
    EXPECT_EQ(world.reads["locked"], 1);
    EXPECT_EQ(locked->childCount(), 0);
    EXPECT_EQ(locked->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TEST_F(BrowserTest, AFolderFoundEmptyWhenSelectedLosesItsButton) {
    world.root.children[0].unreadable = true;
    CShellTree& tree = ShowFilled();
    QTreeWidgetItem* alpha = Find(tree, "Alpha");
    EXPECT_EQ(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    tree.setCurrentItem(alpha);
    EXPECT_EQ(world.reads["Alpha"], 1);
    EXPECT_EQ(alpha->childCount(), 0);
    EXPECT_EQ(alpha->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TEST_F(BrowserTest, EndsAtOnceWhenTheFirstTopLevelItemIsAFileSystemFolder) {
    world.root = Folder("desktop", {Folder("Home", {Folder("x")})});
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strPath, "/fake/Home");
}

TEST_F(BrowserTest, EscLeavesThePathEmpty) {
    WhenModal<CBrowserDlg>([](CBrowserDlg& dlg) { QTest::keyClick(&dlg.Tree(), Qt::Key_Escape); });
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    EXPECT_TRUE(dialog.m_strPath.empty());
}

TEST_F(BrowserTest, ARightClickSelectsTheItemAndRunsTheChosenCommand) {
    CShellTree& tree = ShowFilled();
    world.failingCommand = "The command failed.";
    bool menuShown = false;
    QString message;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menuShown = true;
        AnswerNextMessage(message);
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    RightClick(Find(tree, "music"));
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(dialog.m_strPath, "/fake/Zeta/music");
    EXPECT_EQ(message, "The command failed.");
}

// A right click on the label of a folder with a path or of a virtual folder, in the running
// dialog, with the right button of the mouse.
struct RightClickCase {
    const char* item;
    bool endsTheDialog;
};

void PrintTo(const RightClickCase& click, std::ostream* out) {
    *out << click.item;
}

class BrowserRightClickTest : public BrowserTest,
                              public testing::WithParamInterface<RightClickCase> {};

// The item's menu opens over the dialog while it is still up; a folder with a path ends the
// dialog once the menu is closed, and no menu is left behind.
TEST_P(BrowserRightClickTest, TheMenuOpensOverTheRunningDialog) {
    const RightClickCase& click = GetParam();
    bool menuOverDialog = false;
    WhenModal<CBrowserDlg>([&](CBrowserDlg& dlg) {
        QCoreApplication::sendPostedEvents(&dlg, QEvent::MetaCall);
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menuOverDialog = menu && dlg.isVisible();
            if (menu)
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        CShellTree& tree = dlg.Tree();
        const QRect label = tree.visualItemRect(Find(tree, click.item));
        const QPoint pos = tree.viewport()->mapTo(&dlg, label.topLeft() + QPoint(2, 2));
        QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, {}, pos);
        if (dlg.isVisible())
            dlg.reject();
    });
    const int result = dialog.DoModal();
    EXPECT_TRUE(menuOverDialog);
    EXPECT_EQ(result, click.endsTheDialog ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(dialog.m_strPath.empty(), !click.endsTheDialog);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Items, BrowserRightClickTest,
                         testing::Values(RightClickCase{"music", true},
                                         RightClickCase{"Alpha", false}));

TEST_F(BrowserTest, ARightClickBesideTheLabelOnlySelects) {
    CShellTree& tree = ShowFilled();
    QTreeWidgetItem* alpha = Find(tree, "Alpha");
    RightClickAt(QPoint(tree.viewport()->width() - 2, tree.visualItemRect(alpha).center().y()));
    EXPECT_EQ(tree.currentItem(), alpha);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(BrowserTest, ARightClickOnNoItemClearsTheSelection) {
    CShellTree& tree = ShowFilled();
    RightClickAt(QPoint(5, tree.viewport()->height() - 2));
    EXPECT_EQ(tree.currentItem(), nullptr);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(BrowserTest, AMenuThatCannotBeHadIsReported) {
    CShellTree& tree = ShowFilled();
    world.menuFails = true;
    QString message;
    AnswerNextMessage(message);
    RightClick(Find(tree, "Alpha"));
    EXPECT_EQ(message, "No menu here.");
}

TEST(MountTable, FindsTheVolumesBelowTheVolumeRoots) {
    const std::string table = "/dev/sda1 / ext4 rw 0 0\n"
                              "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                              "/dev/sdc1 /mnt ext4 rw 0 0\n"
                              "/dev/sdd1 /mntx ext4 rw 0 0\n"
                              "/dev/sde1 /run/media/bob/CD cdfs ro 0 0\n"
                              "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                              "tmpfs /run tmpfs rw 0 0\n"
                              "\n";
    EXPECT_EQ(CFileSystemNamespace::VolumesOf(table, {"/media", "/run/media", "/mnt"}),
              (std::vector<std::string>{"/media/ann/USB STICK", "/mnt", "/run/media/bob/CD"}));
}

class FileSystemBrowserTest : public testing::Test {
protected:
    FileSystemBrowserTest() {
        for (const char* folder : {"home/beta", "home/Alpha", "home/gamma/g1", "home/.config",
                                   "home/beta/.git", "desk", "media/USB STICK"})
            temp.MakeDir(folder);
        temp.WriteFile("home/notes.txt", "text");
        std::filesystem::create_directory_symlink(temp.path() / "home/beta",
                                                  temp.path() / "home/link");
        temp.WriteFile("mounts", "/dev/sdb1 " + temp.str() + "/media/USB\\040STICK vfat rw 0 0\n");
        locations.home = temp.str() + "/home";
        locations.desktop = temp.str() + "/desk";
        locations.mountTable = temp.str() + "/mounts";
        locations.volumeRoots = {temp.str() + "/media"};
    }

    TempDir temp;
    NamespaceLocations locations;
};

// Files and hidden folders (".config", and ".git", which alone gives "beta" no button) are
// never offered.
TEST_F(FileSystemBrowserTest, ShowsComputerHomeAndDesktopWithFoldersOnly) {
    CFileSystemNamespace provider(locations);
    CBrowserDlg dialog(provider);
    dialog.show();
    QCoreApplication::processEvents();
    CShellTree& tree = dialog.Tree();
    ASSERT_EQ(TopLevelTexts(tree), QStringList({"Computer", "Home", "Desktop"}));
    EXPECT_EQ(Texts(tree.topLevelItem(0)),
              QStringList({"/", QString::fromStdString(temp.str() + "/media/USB STICK")}));
    EXPECT_TRUE(dialog.isVisible());

    QTreeWidgetItem* home = tree.topLevelItem(1);
    home->setExpanded(true);
    EXPECT_EQ(Texts(home), QStringList({"Alpha", "beta", "gamma", "link"}));
    EXPECT_EQ(Find(tree, "gamma")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Find(tree, "beta")->childIndicatorPolicy(),
              QTreeWidgetItem::DontShowIndicatorWhenChildless);

    tree.setCurrentItem(Find(tree, "gamma"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_strPath, temp.str() + "/home/gamma");
}

TEST_F(FileSystemBrowserTest, LeavesOutAMissingDesktop) {
    locations.desktop = temp.str() + "/nowhere";
    CFileSystemNamespace provider(locations);
    auto top = provider.GetDesktopFolder()->EnumObjects();
    ASSERT_TRUE(top);
    EXPECT_EQ(*top, (std::vector<std::string>{kComputerId, locations.home}));
}

TEST_F(FileSystemBrowserTest, OffersOpenCopyPathAndProperties) {
    CFileSystemNamespace provider(locations);
    auto top = provider.GetDesktopFolder();
    std::vector<ContextCommand> commands;
    std::string error;
    ASSERT_TRUE(top->GetContextMenu(locations.home, commands, error));
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].text, "Open");
    EXPECT_EQ(commands[2].text, "Properties");
    ASSERT_EQ(commands[1].text, "Copy Path");
    EXPECT_TRUE(commands[1].run(nullptr, error));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), locations.home);

    commands.clear();
    EXPECT_TRUE(top->GetContextMenu(kComputerId, commands, error));
    EXPECT_TRUE(commands.empty());

    auto home = top->BindToObject(locations.home);
    ASSERT_TRUE(home);
    EXPECT_FALSE(home->GetContextMenu(locations.home + "/gone", commands, error));
    EXPECT_NE(error.find("/gone\" is no longer there."), std::string::npos);
    EXPECT_FALSE(provider.GetPathFromIDList({kComputerId}));
    EXPECT_EQ(provider.GetPathFromIDList({kComputerId, "/"}), "/");
}

} // namespace
