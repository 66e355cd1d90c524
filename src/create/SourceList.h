#pragma once
// The create page's source rows: the undo history of additions and the rule
// that gives each file the folder (Path) under which the archive stores it.
// Paths on disk use "/"; the Path cells use "\" as the archive lists show them.

#include "platform/Prompter.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace SourceList {

// 1-based position of the last "/" of `path` (0 when it has none).
int FindEndingSlash(const QString& path);

// The folder part of a full path, without a trailing "/" except for the root.
QString FileFolder(const QString& fullPath);

// The Path cell of a file in folder `folder` (as FileFolder gives it) for the
// root length `rootLength` (FindEndingSlash of the chosen item's folder).
QString PathCell(const QString& folder, int rootLength, bool saveFolders, bool relativePaths);

// The root length for a folder chosen or dropped as a whole.
int FolderRootLength(const QString& chosenFolder);

// Whether a file last written at `lastWrite` is older than the cut-off day
// (a day number counted from 30 December 1899; 0 means none set).
bool OlderThanCutOff(const QDateTime& lastWrite, int cutOffDay);

// The Size and Date cell texts.
QString SizeText(int64_t size);
QString DateText(const QDateTime& lastWrite);

// Asks for files to add to a list in a dialog opened in `lastFolder`, which
// becomes the folder of the first file chosen. Empty when none was chosen.
QStringList ChooseFilesToAdd(Prompter& prompter, QString& lastFolder);


} // namespace SourceList

// One row an addition made: enough to find the row again when it is undone.
struct UndoRecord {
    QString name;  // the File caption
    QString path;  // the Path cell
    int64_t size = 0;
};

// One addition (ADD FILES, ADD FOLDER or a drop) and the rows it added,
// oldest first.
struct UndoAction {
    std::vector<UndoRecord> records;
};

// The stack of additions, newest on top.
class TUndoHistory {
public:
    // Starts a new addition.
    void PushUndoList() { actions_.emplace_back(); }
    // The addition being made (PushUndoList first).
    UndoAction& Current() { return actions_.back(); }
    void PushRecord(const QString& name, const QString& path, int64_t size)
    {
        actions_.back().records.push_back({name, path, size});
    }
    // Discards the newest addition with its records.
    void PopUndoList()
    {
        if (!actions_.empty())
            actions_.pop_back();
    }
    // Takes the newest record of the newest addition; false when it has none.
    bool PopRecord(UndoRecord& out);
    void DisposeUndoList() { actions_.clear(); }

    bool Empty() const { return actions_.empty(); }
    int ActionCount() const { return int(actions_.size()); }
    int RecordCount() const { return actions_.empty() ? 0 : int(actions_.back().records.size()); }

private:
    std::vector<UndoAction> actions_;
};
