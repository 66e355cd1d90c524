#pragma once
// Page 0, "UNZIP A ZIP FILE   .": the controls and the page's own state
// rules. Listing, extraction and filtering live in the other files of this folder.

#include "archive/Archive.h"
#include "archive/ArchiveKind.h"
#include "platform/BusyControl.h"
#include "platform/Prompter.h"

#include <QSet>
#include <QRegularExpression>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QFrame;
class QIcon;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QStatusBar;
class QTreeView;
struct Settings;
struct TAppState;
class TFileTree;
class TImageBrowse;
class TImageLoader;
class TMainHost;
class TUnzipTreeviewForm;

class TUnzipPage : public QWidget {
    Q_OBJECT
public:
    TUnzipPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);
    ~TUnzipPage() override;

    // Step 1
    QFrame* Step1Panel;
    QPushButton* OpenUnzipButton;
    QPushButton* UnzipPropertiesButton;
    QPushButton* SelectAllButton;
    QPushButton* UnSelectAllButton;
    QPushButton* SelectButton;  // "Filter"
    QPushButton* UnzipResetButton;
    QPushButton* TreeButton;
    // Step 2
    QFrame* Step2Panel;
    QPushButton* UnzipButton;
    QPushButton* UnzipHelpButton;
    QPushButton* UnzipCloseButton;  // "EXIT"

    // The full list and the filtered view; exactly one is visible.
    QTreeView* UnzipListView;
    QStandardItemModel* UnzipListModel;
    QTreeView* UnzipFilteredListView;
    QStandardItemModel* UnzipFilteredListModel;
    // Running total of the full list's uncompressed sizes.
    int64_t UnzipListTotal = 0;

    // Totals
    QFrame* Panel6;
    QLineEdit* UnzipNumFilesEdit;
    QLineEdit* UnzipTotalFileSizeEdit;
    QStatusBar* UnzipStatusBar;
    QProgressBar* UnzipProgressBar;

    // Pop-up menu of both lists
    QMenu* UnzipPopupMenu;
    QAction* Open1;
    QAction* NotePad1;
    QAction* WordPad1;
    QAction* QuickView1;
    QAction* ImageView1;
    QAction* ImageBrowser1;
    QMenu* ThumbnailSizeMenu;
    QActionGroup* ThumbnailSizeGroup;
    QAction* Thumb32;
    QAction* Thumb64;
    QAction* Thumb128;
    QAction* Thumb192;
    QAction* ThumbOther;

    // Whichever of the two lists is showing.
    QTreeView* VisibleListView() const;
    bool FilteredViewShowing() const;
    int RowCount() const;
    int FilteredRowCount() const;
    // The full list in front of the filtered view, with the drop target on it.
    void ShowFullListWithDropTarget();
    // Enables and focuses whichever list is showing.
    void FocusVisibleList();
    // Hides and disables the filtered view and shows the full list (the
    // caller moves the drop target).
    void ShowFullList();
    // Clears both lists, the total and the count fields, and disables
    // Select All, UnSelect All, TREE, Filter, RESET and UNZIP.
    void ClearUnzipListView();
    // The button states after a successful listing: Select All, Filter,
    // UnSelect All, RESET and UNZIP on; TREE on with at least 2 rows.
    void SetLoadedButtonStates();
    // Select All, UnSelect All and Filter on or off; TREE on only with them
    // and at least 2 rows.
    void SetSelectionButtons(bool on);
    // The controls the window's busy bracket disables, in order.
    QList<TBusyControl> BusyControls() const;
    // After the bracket: the selection buttons follow Select All's remembered state.
    void RestoreAfterBusy(const std::function<bool(QObject*)>& wasEnabled);
    // The window's layout rule for an outer size W x H.
    void FormResize(int W, int H);
    // Shows the row count and running total in the totals fields.
    // The row count and the running total; the tar kinds show them with
    // thousands separators.
    void ShowTotals(bool separators = false);
    // Ticks the thumbnail-size item for `size` (Other for sizes without an item).
    void CheckThumbnailSizeItem(int size);
    // The Path column's header shows the folder image of the shared list.
    void SetPathHeaderImage(const QIcon& folder);

    // ---- Listing (UnzipListing.cpp)
    // The image index a row's caption shows (the caption item's data under this role).
    static constexpr int ImageIndexRole = Qt::UserRole + 64;
    // OPEN: the reload question, the open dialog and the dispatch by ending.
    void OpenUnzipButtonClick();
    // Lists the zip at `path` in the full list; ends with EnableAll.
    void UpdateUnzipWindow(const QString& path);
    // Gives row `row` of the full list the image for the file name `name`.
    void FindFilesIcon(const QString& name, int row);
    // The index of the small image added for the type of `ext`, or 0 when none.
    int RegistryIconExtraction(const QString& ext);
    // Appends the last small image, at the large size, to the large list.
    void ResizeSmallIcon();
    // RESET.
    void UnzipResetButtonClick();
    // Clears IconCache and cuts both shared icon lists back to their 4 fixed images.
    void TrimIconLists();
    // Listers of the other archive kinds, attached by the code that lists
    // them. While one is unset, OPEN lists nothing for that ending.
    std::function<void(const QString&)> ListTarGz, ListGz, ListTar, ListRar;
    // Whether the gzip file holds a tar.
    std::function<bool(const QString&)> GzipHoldsTar;

    // ---- Extraction (UnzipExtract.cpp)
    // A tar row's attached data: the entry's place in the archive (Archive's
    // entry index), by which it is extracted and viewed.
    static constexpr int RowDataRole = Qt::UserRole + 65;
    // UNZIP: DoUnzip into a folder the user chooses, with the success message.
    void UnzipButtonClick();
    // Extracts the highlighted rows of CurrentArchive into `destination`, or
    // into a chosen folder when it is empty. With a destination given a zip
    // extraction is quiet and replaces existing files without asking.
    void DoUnzip(const QString& destination = QString());
    // The image browser's variant: no space or security checks, replace
    // everything, nothing said when nothing is highlighted.
    void DoGraphicsUnzip(const QString& destination);
    // The "..\" check of the highlighted zip rows; false halts the extraction.
    bool ZipFileSecurityCheck();
    // Extractors of the other kinds, attached by the code that reads them.
    // While one is unset, UNZIP extracts nothing from that kind.
    std::function<void(const QString& destination)> ExtractGz, ExtractTar, ExtractRar;

    // ---- Selection and the filter (UnzipSelection.cpp)
    // A filtered row's attached data: the index of its row in the full list.
    static constexpr int FullRowRole = Qt::UserRole + 66;
    void SelectAllButtonClick();
    void UnSelectAllButtonClick();
    void UnzipLVSelect(bool on);
    // Carries the filtered view's selection back to the full list.
    void SetFilteredSelect();
    void UnzipFilteredListviewClear();
    // Mouse handlers of both lists (called after the list handled the event).
    void UnzipListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void UnzipFilteredListViewMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void UnzipListViewMouseUp();
    void UnzipFilteredListViewMouseUp();
    // Filter: builds, shows and applies the display filter dialog.
    void SelectButtonClick();
    // Opens the entry in row `fullRow` of the full list with its viewer. Set
    // by the viewers; while unset a plain click only selects.
    std::function<void(int fullRow)> LaunchEntry;
    // The last accepted filter.
    QStringList FilterTypes;
    QString FilterPattern;
    // The filter's pattern test on a File caption. A plain pattern passes a
    // caption that holds it (Whole Word: that begins with it). A pattern
    // holding "*" or "?" is a wildcard: it must match a part of the caption
    // (Whole Word: the whole caption).
    class PatternTest {
    public:
        PatternTest(const QString& pattern, bool wholeWord, bool caseSensitive);
        bool operator()(const QString& caption) const;

    private:
        QString pattern_;
        bool wholeWord_;
        Qt::CaseSensitivity cs_;
        QRegularExpression wildcard_;  // valid only for a wildcard pattern
    };
    static bool PatternMatches(const QString& caption, const QString& pattern, bool wholeWord, bool caseSensitive)
    {
        return PatternTest(pattern, wholeWord, caseSensitive)(caption);
    }
    // One flag per row of `view`: highlighted or not.
    static QList<bool> SelectionFlags(const QTreeView* view);
    // The archive indices that the highlighted rows of the full list hold under `role`.
    QSet<int> SelectedEntryIndices(int role) const;

    // ---- The tree browser (UnzipTree.cpp)
    // TREE: shows the list's rows as a tree and extracts what it hands back.
    void TreeButtonClick();
    // The tree of the full list's rows under the archive's file name.
    TFileTree AssembleFileTree() const;
    // Selects exactly the rows whose Path begins with `folder` (exact case).
    void UnzipAFolder(const QString& folder);
    // Selects only the first row whose Path and caption make up `file`
    // (docs\img\a.png; a name without "\" lies at the archive's root).
    void UnzipAFile(const QString& file);
    // Opens a file chosen in the tree browser: its name, its Path value and
    // the viewer choice. Set by the viewers; while unset the tree browser
    // opens nothing.
    std::function<void(const QString& name, const QString& path, const QString& viewer)> LaunchFromTreeview;
    // Writes the tree browser on the listed archive, its first folder chosen,
    // into `file` (a PNG); false when nothing is listed or it cannot be written.
    bool SaveTreeScreenshot(const QString& file);

    // ---- Tar, tar.gz and gz (UnzipTarGz.cpp)
    // Whether the gzip file's stored name ends in ".tar".
    bool IsaGzippedTarBall(const QString& path);
    // Lists the tar in a gzip file as it is decompressed; the gzip file
    // becomes CurrentArchive.
    bool UpDateTarGZipWindow(const QString& path);
    // Lists a tar: one row per file entry.
    bool UpdateTarWindow(const QString& path);
    // The rows of the tar at `path` read as `kind` (Tar or TarGz).
    bool ListTarRows(const QString& path, ArchiveKind kind);
    // Lists a gzip file as its one stored file.
    bool UpdateGZipWindow(const QString& path);
    // Extract the highlighted tar rows (of a tar or a gzipped tar), or the
    // gzip file, into `destination`.
    void UnzipTarFile(const QString& destination);
    void UnzipGZFile(const QString& destination);
    // The name a gzip file's data gets on disk: its stored name as a plain
    // file name, or, when the header stores none, the gzip file's own name
    // without ".gz" (".tgz" becomes ".tar"). "" when the file cannot be read.
    QString GzipTargetName(const QString& gzipPath, int* result = nullptr);
    // GzipTargetName for listing: "" after telling the user the file holds
    // nothing readable (the window is enabled again).
    QString ListableGzipName(const QString& gzipPath);

    // ---- Pictures (UnzipImages.cpp)
    // "Image Browser": extracts the pictures of the visible list into the
    // image folder and starts their thumbnails; the browser follows.
    void ImageBrowser1Click();
    // The "Thumbnail Size" items: a fixed size, or "Other" with its dialog.
    void SetThumbnailSize(int size);
    void Other1Click();
    // Shows the picture file `path` in the image viewer; its "Unzip"
    // extracts the highlighted entry with UNZIP's extraction. Returns the
    // viewer's result (0 when the picture could not be shown).
    int ViewAnImage(const QString& path);
    // Pictures of the loaded archive's first image entry in the viewer and of
    // all its image entries in the browser; the files written.
    QStringList SaveImageScreenshots(const QString& folder);
    // Ends a thumbnail build and the decoder helper (the program is closing).
    void UnloadImageLibrary();
    TImageLoader& ImageLoader();
    TImageBrowse& ImageBrowse();
    // The screen size the viewer's sizing rules use (empty: the real one).
    QSize ViewerScreen;

    // ---- Opening entries in viewers (UnzipLaunch.cpp)
    // The pop-up menu's viewer commands: the associated program, Notepad,
    // WordPad, Quick View, the image viewer.
    void Open1Click();
    void NotePad1Click();
    void WordPad1Click();
    void QuickView1Click();
    void ImageView1Click();
    // Opens the entry of the first highlighted row of the visible list with
    // `viewer` (a ViewerTypes choice, a viewer program's path, or "" for the
    // associated program). Nothing happens when no row is highlighted.
    void UnzipLaunchFile(const QString& viewer);
    // The tree browser's launch: highlights only the first row of the full
    // list with caption `name` and Path `path` (exact case) and opens it.
    void UnzipLaunchfileFromTreeview(const QString& name, const QString& path, const QString& viewer);
    // Extracts the entry of full-list row `row` into the scratch folder under
    // its file name alone and hands it to `viewer`.
    void LaunchRow(int row, const QString& viewer);
    // Hands the extracted file to the image viewer or to the shell.
    void DoShellExecute(const QString& viewer, const QString& file);
    // The path's short form: the path itself on this platform.
    static QString GetShortFilename(const QString& path);
    // Enables the viewer items for the visible list's highlighted rows.
    void UnzipPopupMenuPopup();
    // Where launched entries are written: DataFolder/temp, owner-only.
    QString LaunchFolder() const;

    // ---- RAR (UnzipRar.cpp)
    // Lists a RAR archive: one row per file entry.
    void UpDateRARWindow(const QString& path);
    // Extracts the highlighted RAR rows into `destination`.
    void UnzipRarFile(const QString& destination);
    // The RAR replace question; Yes at once when no file is there, No under
    // No to All. Sets YesToAll and NoToAll. Returns Yes or No.
    PromptButton RarOverwriteQuestion(const QString& diskFile, const QString& entryName, qint64 entrySize,
                                      const QString& entryDate);
    // The password of the current RAR extraction, asked once.
    QString RarReqPassword();
    QString RarPassword;

    // ---- The kinds libarchive reads (UnzipOther.cpp)
    // A row's attached data: the entry's place in the archive.
    static constexpr int EntryIndexRole = Qt::UserRole + 67;
    // Lists 7z, compressed tars, single compressed files, iso, cab, cpio, ar, rpm.
    void UpdateOtherWindow(const QString& path);
    // Extracts their highlighted rows into `destination`.
    void UnzipOtherFile(const QString& destination);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Writes the entry of row `row` to `file` in the scratch folder (made
    // when missing); false when there is nothing to open.
    bool ExtractForLaunch(int row, ArchiveKind kind, const QString& file);
    // The launch of one row for each archive kind: the entry written to
    // `file`; false when there is nothing to open.
    bool LaunchFromZipFile(int row, const QString& file);
    bool LaunchFromTarFile(int row, const QString& file);
    bool LaunchFromGZFile(const QString& file);
    bool LaunchFromRarFile(int row, const QString& file);
    bool LaunchFromOtherFile(int row, const QString& file);
    // Writes the first file entry of `archive` that row `row` stands for
    // (EntryMatchesRow) to `file`; false when there is none.
    bool LaunchMatchingEntry(Archive& archive, int row, const std::function<QString(qint64)>& sizeText,
                             const QString& file);
    // Writes entry `index` of `archive` to `file`; a failure is said.
    bool ExtractEntryForLaunch(Archive& archive, int index, const QString& file);
    // Whether `entry` is the one row `row` stands for: its name splits into
    // the row's caption and Path, and it has the row's date text and the
    // size text `sizeText` gives it.
    bool EntryMatchesRow(const ArchiveEntry& entry, int row, const std::function<QString(qint64)>& sizeText) const;
    // The extraction behind DoUnzip and DoGraphicsUnzip.
    void RunUnzip(const QString& destination, bool graphics);
    // Selects exactly the rows `rows` of `view` (ascending), in one selection change.
    static void SelectRows(QTreeView* view, const QList<int>& rows);
    // Full-list indices of the filtered view's selected rows, ascending.
    QList<int> FilteredSelectionInFullList() const;
    bool forwarding_ = false;
    // The tree browser over the full list's rows.
    std::unique_ptr<TUnzipTreeviewForm> NewTreeviewForm();
    // Select All, UnSelect All, TREE, Filter, RESET and UNZIP off (the Empty page).
    void SetEmptyButtonStates();
    // Steps of a browse up to the extraction; false when there is nothing to
    // show (with its message unless `quiet`).
    bool PrepareImageBrowse(bool quiet);
    void ConnectImageCommands();
    void ConnectLaunchCommands();
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
    std::unique_ptr<TImageLoader> imageLoader_;
    std::unique_ptr<TImageBrowse> imageBrowse_;
};
