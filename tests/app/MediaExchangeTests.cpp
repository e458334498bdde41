// Export All, Export Selected and Import in the Media dialog, pressed by their keys through the
// window system, the file named by keys in the file dialog that opens; what they write checked
// against what ctlgrm writes of the same catalogue.

#include "catalogue/Adding.h"
#include "shell/MediaDlg.h"
#include "tests/support/AddMedium.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/ReadAll.h"
#include "tests/support/Recorders.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>

#include <fstream>

#ifdef CTLGRM_PATH
namespace {

using ::testing::HasSubstr;

class MediaExchangeTest : public testing::Test {
protected:
    void SetUp() override {
        disc.WriteFile("Beach.jpg", "12345");
        disc.WriteFile("trip/beach-ball.png", "ball");
        disc.WriteFile("trip/notes, \"day\" 1.txt", "notes");
        AddMedium(location, "Disc", disc.path());
        AddMedium(location, "Trip", disc.path() / "trip");
    }

    // The dialog over `catalogue`, shown and active.
    std::unique_ptr<CMediaDlg> Open(const std::string& catalogue) {
        auto dialog = std::make_unique<CMediaDlg>(catalogue, prompter);
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }

    // Presses Alt+`key` in `dialog`; in the file dialog that it opens, in the folder `files`,
    // types `name` and Enter. Returns once the button's work is done. (A button's key clicks it
    // a moment later, so the work runs while the test waits.)
    void ChooseFileByKeys(CMediaDlg& dialog, Qt::Key key, const std::string& name) {
        std::optional<bool> accepted;
        WhenModal<QFileDialog>([this, name, &accepted](QFileDialog& chooser) {
            chooser.setDirectory(QString::fromStdString(files.str()));
            EXPECT_TRUE(QTest::qWaitForWindowActive(&chooser));
            for (const char c : name)
                QTest::keyClick(chooser.windowHandle(), c);
            RefuseQuestions(chooser);
            // The first Enter may only close the list of names that the typing offered.
            for (int i = 0; i < 2 && chooser.isVisible(); ++i)
                QTest::keyClick(chooser.windowHandle(), Qt::Key_Return);
            accepted = !chooser.isVisible();
            if (!*accepted)
                chooser.reject();
        });
        // Keys reach a button only in the active window, which the file dialog may have left
        // to no window on closing.
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(dialog.windowHandle(), key, Qt::AltModifier);
        // The dialog's work ends before the events that the wait handles return.
        ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.has_value(); }));
        EXPECT_TRUE(*accepted);
    }

    // A question that the file dialog asks (to replace a file, or that one is missing) fails
    // the test instead of waiting for an answer.
    static void RefuseQuestions(QFileDialog& chooser) {
        auto* poll = new QTimer(&chooser);
        QObject::connect(poll, &QTimer::timeout, poll, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << box->text().toStdString();
                box->reject();
            }
        });
        poll->start(20);
    }

    // What ctlgrm writes of `location` with `args` (and -o FILE).
    std::string Ctlgrm(std::vector<std::string> args) {
        const auto out = data.path() / "ctlgrm.out";
        args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", location});
        args.insert(args.end(), {"-o", out.string()});
        EXPECT_EQ(RunCommand(args).status, 0);
        return ReadAll(out);
    }

    static std::vector<Medium> MediaOf(const std::string& catalogue) {
        return OpenCatalogue(catalogue)->Media();
    }

    TempDir disc;
    TempDir data;
    TempDir files;
    std::string location = (data.path() / "catalogue.sqlite").string();
    RecordingPrompter prompter;
};

TEST_F(MediaExchangeTest, ExportsEveryMediumOrTheSelectedOneInTheTypeOfTheFile) {
    auto dialog = Open(location);
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Down);
    ASSERT_EQ(dialog->SelectedName(), "Trip");

    ChooseFileByKeys(*dialog, Qt::Key_S, "trip.json");
    EXPECT_EQ(ReadAll(files.path() / "trip.json"),
              Ctlgrm({"--export", "json", "--medium", "Trip"}));
    ChooseFileByKeys(*dialog, Qt::Key_E, "all.csv");
    EXPECT_EQ(ReadAll(files.path() / "all.csv"), Ctlgrm({"--export", "csv"}));
    ChooseFileByKeys(*dialog, Qt::Key_S, "page.html");
    EXPECT_EQ(ReadAll(files.path() / "page.html"), Ctlgrm({"--html", "--medium", "Trip"}));
    // A name of no known type is given the type of the filter shown, JSON at first.
    ChooseFileByKeys(*dialog, Qt::Key_E, "everything");
    EXPECT_EQ(ReadAll(files.path() / "everything.json"), Ctlgrm({"--export", "json"}));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MediaExchangeTest, ImportsAnExportAndAsksBeforeItReplacesAMedium) {
    const auto trip = files.path() / "trip.json";
    std::ofstream(trip) << Ctlgrm({"--export", "json", "--medium", "Trip"});
    const std::string other = (data.path() / "other.sqlite").string();
    OpenCatalogue(other);
    auto dialog = Open(other);
    ChooseFileByKeys(*dialog, Qt::Key_I, "trip.json");
    ASSERT_EQ(MediaOf(other).size(), 1u);
    EXPECT_EQ(MediaOf(other)[0].name, "Trip");
    EXPECT_EQ(MediaOf(other)[0].files, MediaOf(location)[1].files);
    EXPECT_EQ(MediaOf(other)[0].bytes, MediaOf(location)[1].bytes);
    EXPECT_EQ(dialog->Table()->rowCount(), 1);
    EXPECT_TRUE(prompter.messages.empty());

    // Again, with a note: No keeps the medium as it is, Yes replaces it.
    std::string again = Ctlgrm({"--export", "json", "--medium", "Trip"});
    const std::string noNote = "\"note\": \"\"";
    ASSERT_NE(again.find(noNote), std::string::npos);
    again.replace(again.find(noNote), noNote.size(), "\"note\": \"second\"");
    std::ofstream(trip) << again;
    prompter.yesNoAnswer = MessageAnswer::No;
    ChooseFileByKeys(*dialog, Qt::Key_I, "trip.json");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, HasSubstr("Replace it?"));
    ASSERT_EQ(MediaOf(other).size(), 1u);
    EXPECT_EQ(MediaOf(other)[0].note, "");
    prompter.yesNoAnswer = MessageAnswer::Yes;
    ChooseFileByKeys(*dialog, Qt::Key_I, "trip.json");
    EXPECT_EQ(prompter.messages.size(), 2u);
    ASSERT_EQ(MediaOf(other).size(), 1u);
    EXPECT_EQ(MediaOf(other)[0].note, "second");
}

TEST_F(MediaExchangeTest, AMalformedFileIsReportedAndChangesNothing) {
    std::ofstream(files.path() / "bad.json")
        << "{\"format\": \"catalogrium3-catalogue\", \"version\": 1,\n"
           "\"media\": [{\"name\": \"New\", \"entries\": [}]}";
    auto dialog = Open(location);
    ChooseFileByKeys(*dialog, Qt::Key_I, "bad.json");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, HasSubstr("bad.json: line 2, column 39"));
    EXPECT_EQ(MediaOf(location).size(), 2u);
    EXPECT_EQ(dialog->Table()->rowCount(), 2);
}

} // namespace
#endif
