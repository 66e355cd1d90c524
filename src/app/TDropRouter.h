#pragma once
// DropFileTargetDrop: what a drop on the attached list does. Files dropped on
// the create list are added to it, on the update list (with an archive loaded
// there) to the archive's list; one archive dropped on an unzip list is
// listed there. Anything else is left alone.

#include <QStringList>

class QWidget;
class TCreatePage;
class TMainHost;
class TUnzipPage;
class TUpdatePage;
struct Settings;
struct TAppState;

class TDropRouter {
public:
    TDropRouter(TMainHost& host, Settings& settings, TAppState& state, TUnzipPage& unzip, TUpdatePage& update,
                TCreatePage& create);

    // `paths` were dropped on `target` (the list the drop target is attached to).
    void DropFileTargetDrop(QWidget* target, const QStringList& paths);

    // The text asked before a drop replaces a listing.
    static const char* const ReplaceQuestion;
    static const char* const MoreThanOneFile;

private:
    void DropOnUnzipList(bool filtered, const QString& path);
    // Asks before the drop replaces the listing; No or Cancel gives the
    // showing list the focus back.
    bool ReplaceListing();
    // Lists the dropped archive by its ending.
    void ListDropped(const QString& path);

    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
    TUnzipPage& unzip_;
    TUpdatePage& update_;
    TCreatePage& create_;
};
