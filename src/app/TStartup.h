#pragma once
// FormCreate: the window's start-up sequence, from the program's folders to
// the archive named on the command line.

#include <QStringList>

class QStyle;
class TBatchPage;
class TCreatePage;
class TMainHost;
class TSettingsKeeper;
class TSfxPage;
class TUnzipPage;
class TUpdatePage;
struct Settings;
struct TAppState;

class TStartup {
public:
    struct Parts {
        TMainHost& host;
        Settings& settings;
        TAppState& state;
        TSettingsKeeper& keeper;
        TUnzipPage& unzip;
        TUpdatePage& update;
        TCreatePage& create;
        TBatchPage& batch;
        TSfxPage& sfx;
        QStyle* style;
    };
    explicit TStartup(Parts parts) : p_(parts) {}

    // Steps 2 to 20 (the window shows the first page itself).
    void FormCreate(const QStringList& arguments);

private:
    void FillBatchImageList();
    void CreateAddFolderWindow();
    void OpenCommandLine(const QStringList& arguments);

    Parts p_;
};
