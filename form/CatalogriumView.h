#pragma once

#include "engine/ListingOptions.h"
#include "print/ListingPrinter.h"

#include <QPrinter>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

class CCatalogriumDoc;
class IPrompter;
class IViewDialogs;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;

// A folder listed from a record of it instead of the disk (a catalogue): the path the folder
// edit shows for it, and what fills the document with its entries (false after a message, the
// listing left empty); the sort follows as after a scan.
struct RecordedFolder {
    std::string folder;
    std::function<bool(CCatalogriumDoc& doc, int filesAndFolders)> read;
};

// The application's form: the folder path, the layout and the columns, the commands of the
// form and of the menu, and the Go sequence that turns the folder into a listing file or a
// print job.
//
// The view owns the options record (loaded from the profile when the view is built, written
// back when it is destroyed), the printer settings and the listing printer of the print jobs.
// The document, the prompter and the dialogs are borrowed and must outlive the view; the view
// points the document at its options for its life.
class CCatalogriumView final : public QWidget {
    Q_OBJECT

public:
    CCatalogriumView(CCatalogriumDoc& doc, IPrompter& prompter, IViewDialogs& dialogs,
                     std::string profilePath, QWidget* parent = nullptr);
    ~CCatalogriumView() override;

    // Shows the loaded options in the form and sets the controls' enabled states.
    void OnInitialUpdate();
    // true: reads the form into the options and the folder path; false: shows them.
    void UpdateData(bool saveAndValidate);
    // Enables, disables and unchecks the controls for the layout chosen in the form.
    void UpdateControlStates();

    // The Go button: a print job with a freshly composed title.
    void OnGo();
    // The Print command (menu Go, Ctrl+P, Ctrl+G): a print job that keeps the composed title
    // when it prints the listing already read.
    void OnFilePrint();
    // The Preview command: a preview job with a freshly composed title.
    void OnFilePrintPreview();
    // Preview is offered for every layout but To File.
    bool CanPreview() const;
    void OnOptions();
    void OnBrowse();
    // Shows `folder` in the folder edit, as the folder browser does (the bytes are kept).
    void SetFolder(std::string folder);
    // Shows the recorded folder's path in the folder edit; Go lists it from the record until
    // another folder is typed or chosen, which returns the form to the disk.
    void SetRecordedFolder(RecordedFolder recorded);
    bool ListsRecordedFolder() const { return m_recorded.has_value(); }
    void OnFilePrintSetup();
    // New: the listing is emptied and the last saved file forgotten.
    void OnFileNew();
    // Open: the chosen file is not read; the listing is emptied.
    void OnFileOpen();
    // Save: writes the listing again to the last saved file, or asks for one.
    void OnFileSave();
    // Save As: asks for a file and writes the listing to it.
    void OnFileSaveAs();

    ListingOptions& Options() { return m_options; }
    const std::string& Folder() const { return m_strFolder; }
    // The file the listing was last saved to; empty before the first save.
    const std::string& PathName() const { return m_strPathName; }
    QPrinter& Printer() { return m_printer; }
    CListingPrinter& ListingPrinter() { return m_listingPrinter; }

    // "Catalogrium3:   " and the first 25 characters of `folder`.
    static QString FolderWindowTitle(const std::string& folder);

signals:
    // The layout changed (the Preview command's state may follow).
    void layoutChanged();
    // The form lists from the disk again, after a recorded folder.
    void recordedFolderLeft();
    // A Go (or Print, or Preview) read the folder afresh into the document.
    void listingRead();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class JobKind { Print, Preview };

    void FindControls();
    void ConnectControls();
    QAbstractButton* MnemonicButton(const QKeyEvent& event) const;
    void ExchangeFolder(bool save);
    void ExchangeCheck(QCheckBox* box, int& value, bool save);
    void ExchangeLayout(bool save);
    void SetEnabled(std::initializer_list<QWidget*> controls, bool enabled);
    void ApplyCaseInsertStates(bool wasCaseInsert);
    void ApplyPageLayoutStates(bool wasCaseInsert);
    void EnableTitleSummaryComments(bool enabled);
    void OnReadForm();
    void OnFolderEdited();
    void LeaveRecordedFolder();
    bool ReadFolder();
    void OnComments();
    void OnDelimited();
    void OnLayoutChange();

    void RunJob(JobKind kind);
    bool OnPreparePrinting(JobKind kind);
    void OnEndPrinting();
    bool ReadListing();
    bool PrepareListing();
    void OfferComments();
    bool AskEmptyFolder();
    bool DoPreparePrinting(JobKind kind, int pageCount);
    void PrintPages();
    void PreviewPages();
    void SetMainTitle(const QString& title);
    void SaveTo(const std::string& path);
    void ForgetListing();

    CCatalogriumDoc& m_doc;
    IPrompter& m_prompter;
    IViewDialogs& m_dialogs;
    std::string m_profilePath;
    ListingOptions m_options;

    std::string m_strFolder;
    std::optional<RecordedFolder> m_recorded;
    std::string m_strLastFolder;
    int m_bSavedDate = 0;
    int m_bSavedAttribute = 0;
    std::string m_strPathName;

    QPrinter m_printer;
    CListingPrinter m_listingPrinter;

    QLineEdit* m_editFolder = nullptr;
    QButtonGroup* m_layoutGroup = nullptr;
    QCheckBox* m_checkSize = nullptr;
    QCheckBox* m_checkDate = nullptr;
    QCheckBox* m_checkAttributes = nullptr;
    QCheckBox* m_checkPrintSummary = nullptr;
    QCheckBox* m_checkPrintTitle = nullptr;
    QCheckBox* m_checkComments = nullptr;
    QCheckBox* m_checkTwoColumn = nullptr;
    QCheckBox* m_checkDelimited = nullptr;
};
