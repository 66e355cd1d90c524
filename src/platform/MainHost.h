#pragma once
// What the pages may ask of the main window. The window implements it; the
// pages get a reference in their constructor and never see the window class
// itself.

#include <QString>

class Prompter;
class QTimer;
class QWidget;
class TGzip;
class TZipEngine;

class TMainHost {
public:
    virtual ~TMainHost() = default;

    // The busy bracket around every long operation: DisableAll records the
    // remembered controls' states, EnableAll restores them.
    virtual void DisableAll() = 0;
    virtual void EnableAll() = 0;

    // Everything shown to the user goes through this.
    virtual Prompter& prompter() = 0;

    // The window's one zip engine, configured at start-up; the pages set its
    // archive, options and lists for each operation.
    virtual TZipEngine& zipEngine() = 0;

    // The window's gzip component.
    virtual TGzip& Gzip() = 0;

    // The notebook's page tabs on or off (a page locked for a long run).
    virtual void SetPageTabsEnabled(bool on) = 0;

    // The shared folder chooser. Classic: titled "DOUBLE CLICK TO Select
    // Folder", starting in LastUnzipFolder, creating a typed folder when
    // `allowCreate`; a chosen folder that does not exist afterwards gets the
    // folder error text. Returns the folder, or "" (cancelled or failed).
    virtual QString BrowseforFolder(const QString& title, bool classic, bool allowCreate) = 0;

    // Attaches the file drop target to `list` (nullptr detaches it).
    virtual void MoveDropTarget(QWidget* list) = 0;
    virtual QWidget* DropTarget() const = 0;

    // Opens the options dialog on `page` (0..7); returns whether OK was pressed.
    virtual bool ShowProperties(int page) = 0;

    // Opens ProgramFolder/help/<page> with the desktop's handler.
    virtual void OpenHelp(const char* page) = 0;

    // Runs the close sequence and ends the program (EXIT buttons).
    virtual void CloseProgram() = 0;

    // Switches the notebook to `page` as a user click would (the page-switch
    // rules apply); returns whether the switch happened.
    virtual bool SelectPage(int page) = 0;
    virtual int CurrentPage() const = 0;

    // Saves the settings now (after option changes that must persist).
    virtual bool SaveSettings() = 0;

    // The window's timers; a page connects its handler to the one it polls with.
    virtual QTimer* ImageBrowserTimer() = 0;  // 500 ms
    virtual QTimer* GzipProgressTimer() = 0;  // 100 ms
    virtual QTimer* BatchTimer() = 0;         // 50 ms scan, 100 ms batch
};
