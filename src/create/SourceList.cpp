#include "create/SourceList.h"

#include "platform/Numbers.h"
#include "platform/Platform.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace SourceList {

int FindEndingSlash(const QString& path)
{
    return int(path.lastIndexOf(QLatin1Char('/'))) + 1;
}

QString FileFolder(const QString& fullPath)
{
    const int slash = FindEndingSlash(fullPath);
    if (slash <= 1)
        return QStringLiteral("/");
    return fullPath.left(slash - 1);
}

QString PathCell(const QString& folder, int rootLength, bool saveFolders, bool relativePaths)
{
    if (!saveFolders)
        return QString();
    QString path;
    if (relativePaths) {
        if (folder.size() > rootLength)
            path = folder.mid(rootLength);
    } else if (!folder.endsWith(QLatin1Char('/'))) {
        // The folder without its drive part: everything after the first "/".
        const qsizetype first = folder.indexOf(QLatin1Char('/'));
        path = first < 0 ? folder : folder.mid(first + 1);
    }
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

int FolderRootLength(const QString& chosenFolder)
{
    return FindEndingSlash(chosenFolder);
}

bool OlderThanCutOff(const QDateTime& lastWrite, int cutOffDay)
{
    if (cutOffDay <= 0)
        return false;
    static const QDate dayZero(1899, 12, 30);
    return dayZero.daysTo(lastWrite.toLocalTime().date()) < cutOffDay;
}

QString SizeText(int64_t size)
{
    return AddCommas(size);
}

QString DateText(const QDateTime& lastWrite)
{
    return Platform::DateTimeText(lastWrite.toLocalTime());
}

QStringList ChooseFilesToAdd(Prompter& prompter, QString& lastFolder)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Select files to include in the Zip File");
    request.filter = QStringLiteral("All files (*)");
    request.startFolder = lastFolder;
    const QStringList files = prompter.openFiles(request);
    if (!files.isEmpty())
        lastFolder = QFileInfo(files.first()).absolutePath();
    return files;
}


} // namespace SourceList

bool TUndoHistory::PopRecord(UndoRecord& out)
{
    if (actions_.empty() || actions_.back().records.empty())
        return false;
    out = std::move(actions_.back().records.back());
    actions_.back().records.pop_back();
    return true;
}
