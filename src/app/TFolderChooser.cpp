#include "app/TFolderChooser.h"

#include "platform/Prompter.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFileInfo>

QString TFolderChooser::BrowseforFolder(Prompter& prompter, Settings& settings, const QString& title, bool classic,
                                        bool allowCreate)
{
    FileDialogRequest request;
    if (!classic) {
        request.title = title;
        return prompter.chooseFolder(request);
    }
    request.title = QStringLiteral("DOUBLE CLICK TO Select Folder");
    request.startFolder = settings.LastUnzipFolder;
    request.allowNewFolder = allowCreate;
    const QString folder = prompter.chooseFolder(request);
    if (folder.isEmpty())
        return QString();
    if (allowCreate && !QFileInfo(folder).exists())
        QDir().mkpath(folder);
    if (QFileInfo(folder).isDir()) {
        settings.LastUnzipFolder = folder;
        return folder;
    }
    prompter.information(QStringLiteral(
        "ERROR.  THE FOLDER DOES NOT EXIST OR CANNOT BE CREATED.\r"
        "YOU MAY HAVE ENTERED CHARACTERS THAT ARE NOT ALLOWED IN FOLDER NAMES.\r"
        "THE FOLLOWING CHARACTERS ARE NOT ALLOWED : \r* ? / : \" < > |"));
    return QString();
}
