#pragma once
// The main window: five tab pages, the File menu, the busy bracket, the
// page-switch rules, the start-up sequence and the close sequence.

#include "platform/MainHost.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <memory>

class QAction;
class QMenu;
class QTabWidget;
class QTimer;
class TBatchPage;
class TDropFileTarget;
class TDropRouter;
class TCreatePage;
class TSfxPage;
class TUnzipPage;
class TUpdatePage;
class TGzip;
class TZipEngine;
class TPrompterZipUser;

class TForm1 : public QMainWindow, public TMainHost {
    Q_OBJECT
public:
    // `arguments` are the command-line arguments after the program name.
    TForm1(Prompter& prompter, const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;

    // Page indices of TabbedNotebook.
    enum Page { UnzipPageIndex = 0, UpdatePageIndex = 1, CreatePageIndex = 2, BatchPageIndex = 3, SfxPageIndex = 4 };

    QTabWidget* TabbedNotebook;
    TUnzipPage* UnzipPage;
    TUpdatePage* UpdatePage;
    TCreatePage* CreatePage;
    TBatchPage* BatchPage;
    TSfxPage* SfxPage;

    QMenu* FileMenu;
    QAction* PProperties;
    QAction* PAbout;
    QAction* PDonation;
    QAction* PSoftware;
    QAction* PExit;

    // The window's zip engine (created with the window, configured for the
    // pages; its libraries are loaded at start-up and unloaded at close).
    TZipEngine* ZipEngine;

    QTimer* Timer;            // 500 ms, the image browser's poll
    QTimer* GzipTimer;        // 100 ms, gzip progress
    QTimer* BatchUnzipTimer;  // the scan and batch poll

    Settings& settings() { return settings_; }
    TAppState& appState() { return state_; }

    // TMainHost
    void DisableAll() override;
    void EnableAll() override;
    Prompter& prompter() override { return prompter_; }
    void MoveDropTarget(QWidget* list) override;
    QWidget* DropTarget() const override;
    bool ShowProperties(int page) override;
    TZipEngine& zipEngine() override { return *ZipEngine; }
    TGzip& Gzip() override;
    void SetPageTabsEnabled(bool on) override;
    QString BrowseforFolder(const QString& title, bool classic, bool allowCreate) override;
    void OpenHelp(const char* page) override;
    void CloseProgram() override;
    bool SelectPage(int page) override;
    int CurrentPage() const override;
    bool SaveSettings() override;
    QTimer* ImageBrowserTimer() override { return Timer; }
    QTimer* GzipProgressTimer() override { return GzipTimer; }
    QTimer* BatchTimer() override { return BatchUnzipTimer; }

    // The page-switch rules for a change from the current page to `requested`;
    // returns whether the change is allowed (its moves are done when it is).
    bool TabbedNotebookChange(int requested);
    // After a switch: enable and focus the new page's list.
    void TabbedNotebookClick();
    // The layout rule for an outer window size W x H.
    void FormResize(int W, int H);
    // The close sequence; runs once.
    void DoCloseCode();
    bool CloseCodeDone() const { return closeDone_; }

    // The zip engine's events (installed on ZipEngine). The batch worker
    // raises them on its own thread: they then never ask or show anything,
    // and the progress bar is updated through a queued call.
    void ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite);
    void ZipEngineProgress(int type, const QString& fileName, int32_t fileSize);
    void ZipEngineMessage(int32_t errCode, const QString& text);
    // Whether the archive's copy of the disk file `diskFile`, which an
    // extraction is about to replace, is older than that file.
    bool ArchiveCopyIsOlder(const QString& diskFile) const;

    // Exit handlers.
    void UnzipCloseButtonClick();
    void ZipExitButtonClick();

    // Writes one PNG per page and per options-dialog page into `folder`;
    // returns the files written.
    QStringList SaveScreenshots(const QString& folder);

    // Outer frame the resize rule counts on top of the client area: the
    // borders, the caption and the menu bar of a single-border window.
    static constexpr int FrameWidth = 8;
    static constexpr int FrameHeight = 46;  // caption, menu bar and borders
    static constexpr int ClientWidth = 613;
    static constexpr int ClientHeight = 413;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void buildTimers();
    void buildZipEngine();
    // A batch extraction is running (not a folder scan).
    bool BatchRunInProgress() const;
    // The busy bracket is open for work on one archive (not a batch run).
    bool SingleArchiveOperationRunning() const;
    void connectPages();
    void FormCreate(const QStringList& arguments);
    void FormShow();

    // Start-up steps that belong to other subsystems. Each one is named for
    // what it does; the ones whose subsystem has not arrived are empty and
    // say which change fills them.
    void ResetCreateScratchState();
    void CreateGzipComponent();
    void ResetTarAttributeOptions();
    void RegisterFileClass();
    void DiscoverViewers();
    void FillBatchImageList();
    void PointEngineAtProgramFolder();
    void LoadSettings();
    void LoadSfxIconAtStartup();
    void LoadCompressionLibraries();
    void CreateAddFolderWindow();
    void OpenCommandLine(const QStringList& arguments);
    // Listers the command line calls.
    void ListZip(const QString& path);
    void ListTarGzFromCommandLine(const QString& path);
    void ListGzFromCommandLine(const QString& path);
    void ListTarFromCommandLine(const QString& path);
    // The engine's current archive (the self-extracting page and the update page).
    void SetEngineZipFileName(const QString& path);
    QString EngineZipFileName() const;

    // Close-sequence steps of other subsystems.
    void FreeAddFolderWindow();
    void UnloadImageLibrary();
    void FreeGzipComponent();
    void UnloadCompressionLibraries();

    // Page-switch moves.
    void MoveZipfileToUpdate();
    void ClearCreatePageForSwitch();
    void ReportSettingsNotSaved();

    void PropertiesClick();
    void AboutClick();
    void DonationClick();
    void SoftwareClick();

    Prompter& prompter_;
    Settings settings_;
    TAppState state_;
    TDropFileTarget* DropFileTarget;
    std::unique_ptr<TDropRouter> dropRouter_;
    // Enabled states recorded by DisableAll for the remembered controls.
    QHash<QObject*, bool> remembered_;
    bool disabled_ = false;
    bool closeDone_ = false;
    bool settingsWarned_ = false;
    // The config file exists but could not be read: never write over it.
    bool settingsReadOnly_ = false;
    int currentPage_ = 0;
    bool switching_ = false;
    QTimer* closeWaiter_ = nullptr;
    std::unique_ptr<TZipEngine> zipEngine_;
    std::unique_ptr<TGzip> gzip_;
    std::unique_ptr<TPrompterZipUser> zipUser_;
};
