// The program among the desktop's other programs: a folder named on the command line, folders
// dropped on the window by a file manager, two windows sharing one profile, and the real
// catalogrium3 answering --help and --version without a display.
#include "engine/Profile.h"
#include "shell/StartFolder.h"
#include "tests/app/AppFixture.h"
#include "tests/app/DropEvents.h"

#include <QMimeData>
#include <QProcess>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

namespace {

// A folder whose name is not UTF-8 (Latin-1 "caf\xe9"), as an old medium may hold.
const std::string kLatin1Name = "caf\xe9";

} // namespace

class StartFolderTest : public testing::Test {
protected:
    void SetUp() override {
        dir.MakeDir("music/rock");
        dir.MakeDir("with blank");
        dir.MakeDir(kLatin1Name);
        dir.WriteFile("music/list.txt", "x");
        std::filesystem::create_directory_symlink(Path("music/rock"), Path("rock-link"));
    }
    std::string Path(const std::string& relative) const { return dir.str() + "/" + relative; }
    TempDir dir;
};

TEST_F(StartFolderTest, OperandIsAPathOrAFileUriNamingAFolder) {
    struct Row {
        std::vector<std::string> operands;
        std::string path; // empty: refused
        std::string problem;
    };
    const std::string music = Path("music");
    const std::vector<Row> rows{
        {{}, "", ""},
        {{music}, music, ""},
        {{music + "/"}, music, ""},
        {{"music"}, music, ""},
        {{"./music//rock/."}, Path("music/rock"), ""},
        {{"./music/rock/.."}, Path("music/rock/.."), ""},
        {{"rock-link/.."}, Path("rock-link/.."), ""},
        {{"."}, dir.str(), ""},
        {{"file://" + Path("with%20blank")}, Path("with blank"), ""},
        {{"FILE://localhost" + Path("music/")}, music, ""},
        {{"file://" + Path("caf%E9")}, Path(kLatin1Name), ""},
        {{"file://" + Path("caf%e9?query#fragment")}, Path(kLatin1Name), ""},
        {{music, Path("with blank")}, "", "one folder at most, 2 were given"},
        {{Path("music/list.txt")}, "", "not a folder: " + Path("music/list.txt")},
        {{Path("missing")}, "", "cannot open " + Path("missing") + ": No such file or directory"},
        {{"https://example.org/music"}, "", "not a local folder: https://example.org/music"},
        {{"file://elsewhere.example/srv"}, "", "not a local folder: file://elsewhere.example/srv"},
        {{"file://" + Path("music%00/rock")},
         "",
         "not a local folder: file://" + Path("music%00/rock")},
        {{""}, "", "the folder name is empty"},
    };
    for (const Row& row : rows) {
        const std::string label = row.operands.empty() ? "(none)" : row.operands.front();
        const StartFolder start = FolderFromOperands(row.operands, dir.str());
        EXPECT_EQ(start.path, row.path) << label;
        EXPECT_EQ(start.problem, row.problem) << label;
    }
}

TEST_F(StartFolderTest, RelativeOperandNeedsTheCurrentFolder) {
    EXPECT_EQ(FolderFromOperands({"music"}, "").problem,
              "cannot open music: the current folder is unknown");
    EXPECT_EQ(FolderFromOperands({Path("music")}, "").path, Path("music"));
}

TEST(LocalPathOfUriTest, DecodesEveryByteAndRefusesOtherSchemesAndHosts) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> rows{
        {"file:///a%20b/%C3%A9%FF", "/a b/\xc3\xa9\xff"},
        {"file:/short/form", "/short/form"},
        {"file://localhost/x", "/x"},
        {"file:///100%25%zz%4", "/100%%zz%4"},
        {"file://", std::nullopt},
        {"file://host.example/x", std::nullopt},
        {"sftp:///x", std::nullopt},
        {"/plain/path", std::nullopt},
        {"file:relative", std::nullopt},
    };
    for (const auto& [uri, path] : rows)
        EXPECT_EQ(LocalPathOfUri(uri), path) << uri;
}

TEST_F(StartFolderTest, DropTakesTheFirstFolderElseTheFolderOfTheFirstFile) {
    const std::string music = Path("music");
    const std::string rock = Path("music/rock");
    const std::string file = Path("music/list.txt");
    const std::string missing = Path("missing");
    EXPECT_EQ(FolderOfDroppedPaths({rock}), rock);
    EXPECT_EQ(FolderOfDroppedPaths({file}), music);
    EXPECT_EQ(FolderOfDroppedPaths({file, missing, rock}), rock);
    EXPECT_EQ(FolderOfDroppedPaths({missing, file}), music);
    EXPECT_EQ(FolderOfDroppedPaths({"/"}), "/");
    EXPECT_EQ(FolderOfDroppedPaths({missing}), std::nullopt);
    EXPECT_EQ(FolderOfDroppedPaths({}), std::nullopt);
}

// ---- the real window ---------------------------------------------------------------------

class DesktopTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        folder.MakeDir("music/rock");
        folder.MakeDir(kLatin1Name);
        folder.WriteFile("music/list.txt", "x");
    }

    QLineEdit* FolderEdit() const { return Control<QLineEdit>(IDC_FOLDER); }
    // The middle of a control of the form, in the window's coordinates.
    QPoint CentreOf(int id) const {
        QWidget* control = Control(id);
        return control->mapTo(Frame(), control->rect().center());
    }

    bool DragAndDrop(const QMimeData& mime, QPoint at) { return ::DragAndDrop(*Frame(), mime, at); }
    QString Uri(const std::string& relative) const {
        return QUrl::fromLocalFile(QString::fromStdString(folder.str() + "/" + relative))
            .toString(QUrl::FullyEncoded);
    }
};

TEST_F(DesktopTest, FolderOfTheCommandLineFillsTheEditAndNothingIsRead) {
    app.reset();
    app = std::make_unique<CCatalogriumApp>(prompter, dialogs);
    const std::string latin1 = folder.str() + "/" + kLatin1Name;
    app->InitInstance(FolderFromOperands({"file://" + folder.str() + "/caf%E9"}, "/").path);
    // The edit shows the name as best it can; Go lists the folder of the bytes given.
    EXPECT_EQ(View()->Folder(), latin1);
    EXPECT_EQ(FolderEdit()->text(), QString::fromStdString(latin1));
    EXPECT_EQ(Doc().m_entryList.size(), 0u);
    EXPECT_TRUE(Doc().m_strListedFolder.empty());
}

TEST_F(DesktopTest, RefusedOperandOpensAnEmptyWindow) {
    app.reset();
    app = std::make_unique<CCatalogriumApp>(prompter, dialogs);
    app->InitInstance(FolderFromOperands({folder.str(), folder.str()}, "/").path);
    EXPECT_TRUE(FolderEdit()->text().isEmpty());
    EXPECT_TRUE(Frame()->isVisible());
}

TEST_F(DesktopTest, DroppedFolderOrFileFillsTheEditAndOthersAreRefused) {
    struct Row {
        const char* what;
        QStringList uris;
        int over;             // the control the drop lands on
        std::string expected; // relative to the folder; empty: refused, the edit unchanged
    };
    const std::vector<Row> rows{
        {"a folder over the edit", {Uri("music")}, IDC_FOLDER, "music"},
        {"a file, whose folder is taken", {Uri("music/list.txt")}, IDC_GO, "music"},
        {"a file before a folder",
         {Uri("music/list.txt"), Uri("music/rock")},
         IDC_SIZE,
         "music/rock"},
        {"a web page before a folder",
         {"https://example.org/", Uri("music/rock")},
         IDC_FOLDER,
         "music/rock"},
        {"a name that is not UTF-8",
         {"file://" + QString::fromStdString(folder.str()) + "/caf%E9"},
         IDC_CD,
         kLatin1Name},
        {"a web page", {"https://example.org/music"}, IDC_FOLDER, ""},
        {"a folder of another host", {"file://elsewhere.example/srv"}, IDC_FOLDER, ""},
        {"a missing file", {Uri("gone.txt")}, IDC_GO, ""},
    };
    for (const Row& row : rows) {
        Control<QLineEdit>(IDC_FOLDER)->clear();
        View()->UpdateData(true);
        const bool accepted = DragAndDrop(*DraggedItems(row.uris), CentreOf(row.over));
        EXPECT_EQ(accepted, !row.expected.empty()) << row.what;
        const std::string expected = row.expected.empty() ? "" : folder.str() + "/" + row.expected;
        EXPECT_EQ(View()->Folder(), expected) << row.what;
        EXPECT_EQ(FolderEdit()->text(), QString::fromStdString(expected)) << row.what;
    }
}

TEST_F(DesktopTest, DroppedTextIsNotPastedIntoTheEdit) {
    TypeFolder("/srv");
    View()->UpdateData(true);
    QMimeData text;
    text.setText(QString::fromStdString(folder.str()));
    EXPECT_FALSE(DragAndDrop(text, CentreOf(IDC_FOLDER)));
    EXPECT_EQ(FolderEdit()->text(), "/srv");
    EXPECT_EQ(View()->Folder(), "/srv");
}

// The Go sequence reads the folder path while the scan runs; a drop then changes nothing.
TEST_F(DesktopTest, DropWhileTheFolderIsReadIsRefused) {
    Click(IDC_STANDARD);
    TypeFolder(folder.str());
    std::vector<bool> acceptedDuringScan;
    QObject::connect(Frame(), &CMainFrame::progressBegun, Frame(), [&] {
        acceptedDuringScan.push_back(
            DragAndDrop(*DraggedItems({Uri("music")}), CentreOf(IDC_FOLDER)));
    });
    ClickGo();
    EXPECT_EQ(acceptedDuringScan, std::vector<bool>({false, false}));
    EXPECT_EQ(View()->Folder(), folder.str());
    EXPECT_EQ(Doc().m_strListedFolder, folder.str());
    EXPECT_TRUE(DragAndDrop(*DraggedItems({Uri("music")}), CentreOf(IDC_FOLDER)));
}

// Each window loads the profile when it opens and writes its own settings when it closes.
TEST_F(DesktopTest, ProfileHoldsTheSettingsOfTheWindowThatClosedLast) {
    for (const bool otherClosesLast : {false, true}) {
        RecordingPrompter otherPrompter;
        ScriptedDialogs otherDialogs;
        CCatalogriumApp other(otherPrompter, otherDialogs);
        other.InitInstance();
        Click(IDC_STANDARD);
        QTest::mouseClick(other.MainFrame()->View()->findChild<QRadioButton*>(ControlName(IDC_ZIP)),
                          Qt::LeftButton);
        if (otherClosesLast) {
            Exit();
            other.CloseMainWindow();
        } else {
            other.CloseMainWindow();
            Exit();
        }
        EXPECT_EQ(StoredOptions().m_nPrintAs, otherClosesLast ? kPrintZip : kPrintStandard);
        Start();
    }
}

// The window system groups the window under the desktop entry by its class (X11) or by the
// entry's name (Wayland), and both show the entry's icon, which the window carries at every
// size of the theme.
TEST_F(DesktopTest, WindowMatchesItsDesktopEntry) {
    std::ifstream entry(CATALOGRIUM_DESKTOP_ENTRY);
    std::map<std::string, std::string> keys;
    for (std::string line; std::getline(entry, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    EXPECT_EQ(QString::fromStdString(keys["StartupWMClass"]), QCoreApplication::applicationName());
    EXPECT_EQ(QGuiApplication::desktopFileName() + ".desktop",
              QString::fromStdString(
                  std::filesystem::path(CATALOGRIUM_DESKTOP_ENTRY).filename().string()));
    EXPECT_EQ(keys["Icon"], "catalogrium3");
    EXPECT_EQ(keys["Exec"], "catalogrium3 %f");
    const QList<QSize> sizes = Frame()->windowIcon().availableSizes();
    for (int size : {16, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

// ---- the program itself ------------------------------------------------------------------

#ifdef CATALOGRIUM3_PATH
class ProgramTest : public testing::Test {
protected:
    void SetUp() override {
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
        GTEST_SKIP() << "ThreadSanitizer (Clang 14) stops with a failed check in the clone that "
                        "QProcess starts a program with";
#endif
#endif
    }
    // Runs catalogrium3 with `arguments` and no display at all, in a session that is otherwise
    // complete (Qt remarks on a missing runtime folder).
    QProcess& Run(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.str()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(config.str()));
        process.setProcessEnvironment(env);
        process.start(CATALOGRIUM3_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        return process;
    }
    // Starts catalogrium3 on the offscreen platform.
    void StartWindow(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.str()));
        process.setProcessEnvironment(env);
        process.setReadChannel(QProcess::StandardError);
        process.start(CATALOGRIUM3_PATH, arguments);
    }
    // Standard error until it holds `expected` or the program ends.
    QString WaitForMessage(const QString& expected) {
        QString messages;
        while (!messages.contains(expected) && process.waitForReadyRead(30000))
            messages += QString::fromUtf8(process.readAllStandardError());
        return messages;
    }
    void TearDown() override {
        process.kill();
        process.waitForFinished();
    }

    TempDir config;
    QProcess process;
};

TEST_F(ProgramTest, VersionAndHelpNeedNoDisplay) {
    QProcess& version = Run({"--version"});
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), "Catalogrium3 " CATALOGRIUM_VERSION "\n");
    QProcess& help = Run({"-h"});
    EXPECT_EQ(help.exitCode(), 0);
    const QString usage = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_TRUE(usage.contains("[options] [FOLDER]")) << usage.toStdString();
    EXPECT_TRUE(usage.contains("--version")) << usage.toStdString();
}

// Without any display the command line is still answered, never with a crash: --help-all
// lists Qt's own options too, an unknown option is reported (its control characters as "?"),
// and a command line that would open the window says why it cannot.
TEST_F(ProgramTest, CommandLineIsAnsweredWithoutADisplay) {
    QProcess& all = Run({"--help-all"});
    EXPECT_EQ(all.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(all.exitCode(), 0);
    const QString usage = QString::fromUtf8(all.readAllStandardOutput());
    EXPECT_TRUE(usage.contains("[FOLDER]")) << usage.toStdString();
    EXPECT_TRUE(usage.contains("-platform")) << usage.toStdString();

    const std::vector<std::pair<QStringList, QString>> rows{
        {{"--bogus"}, "catalogrium3: Unknown option 'bogus'.\n"},
        {{"--b\x1b]0;owned\x07", "/"}, "catalogrium3: Unknown option 'b?]0;owned?'.\n"},
        {{"/"},
         "catalogrium3: cannot open the window: no display is set (DISPLAY, "
         "WAYLAND_DISPLAY)\n"},
    };
    for (const auto& [arguments, expected] : rows) {
        QProcess& refused = Run(arguments);
        EXPECT_EQ(refused.exitStatus(), QProcess::NormalExit) << expected.toStdString();
        EXPECT_EQ(refused.exitCode(), 1) << expected.toStdString();
        EXPECT_EQ(QString::fromUtf8(refused.readAllStandardError()), expected);
    }
}

TEST_F(ProgramTest, UnknownOptionEndsTheProgram) {
    StartWindow({"--bogus"});
    EXPECT_TRUE(WaitForMessage("Unknown option 'bogus'").contains("Unknown option 'bogus'"));
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 1);
}

TEST_F(ProgramTest, RefusedFolderIsReportedAndTheWindowOpensAll) {
    TempDir dir;
    const std::string file = dir.WriteFile("notes.txt", "x").string();
    const std::vector<std::pair<QStringList, QString>> rows{
        {{"/", "/tmp"}, "catalogrium3: one folder at most, 2 were given\n"},
        {{QString::fromStdString(file)},
         "catalogrium3: not a folder: " + QString::fromStdString(file) + "\n"},
        {{"/no\x1b]0;owned\x07"},
         "catalogrium3: cannot open /no?]0;owned?: No such file or "
         "directory\n"},
    };
    for (const auto& [arguments, expected] : rows) {
        StartWindow(arguments);
        EXPECT_TRUE(WaitForMessage(expected).contains(expected)) << expected.toStdString();
        // The window is open: the program waits for its user.
        EXPECT_FALSE(process.waitForFinished(500));
        process.kill();
        process.waitForFinished();
    }
}
#endif
