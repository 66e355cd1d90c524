#pragma once
// The main window: five tab pages, the File menu, the timers and the zip
// engine, wired together. Its jobs are done by small classes of this folder:
// start-up (TStartup), closing (TCloseSequence), the settings file
// (TSettingsKeeper), page switches (TPageSwitcher), the busy bracket
// (TBusyBracket), the engine's events (TEngineEvents) and drops
// (TDropFileTarget, TDropRouter).

#include "platform/MainHost.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>

class QAction;
class QMenu;
class QTabWidget;
class QTimer;
class TBatchPage;
class TBusyBracket;
class TCloseSequence;
class TCreatePage;
class TDropFileTarget;
class TDropRouter;
class TEngineEvents;
class TGzip;
class TPageSwitcher;
class TPrompterZipUser;
class TSettingsKeeper;
class TSfxPage;
class TUnzipPage;
class TUpdatePage;
class TZipEngine;

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
    // The file drop target, attached to one list at a time.
    TDropFileTarget* DropFileTarget;

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

    // The layout rule for an outer window size W x H.
    void FormResize(int W, int H);
    // The close sequence; runs once.
    void DoCloseCode();
    bool CloseCodeDone() const;
    // A single-archive operation holds the busy bracket (not a batch run).
    bool SingleArchiveOperationRunning() const;

    // The engine's events as the window answers them (TEngineEvents).
    void ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite);
    void ZipEngineProgress(int type, const QString& fileName, int32_t fileSize);
    void ZipEngineMessage(int32_t errCode, const QString& text);

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

private:
    void buildPages();
    void buildMenu();
    void buildTimers();
    void buildZipEngine();
    void buildBusyBracket();
    void connectPages();

    Prompter& prompter_;
    Settings settings_;
    TAppState state_;
    std::unique_ptr<TZipEngine> zipEngine_;
    std::unique_ptr<TPrompterZipUser> zipUser_;
    std::unique_ptr<TGzip> gzip_;
    std::unique_ptr<TSettingsKeeper> keeper_;
    std::unique_ptr<TBusyBracket> busy_;
    std::unique_ptr<TEngineEvents> engineEvents_;
    std::unique_ptr<TDropRouter> dropRouter_;
    TPageSwitcher* switcher_ = nullptr;
    TCloseSequence* closer_ = nullptr;
};
