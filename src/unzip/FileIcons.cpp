#include "unzip/FileIcons.h"
#include "unzip/UnzipListing.h"

#include "settings/AppState.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

namespace FileIcons {

namespace {
// The registered type of a dotted ending; an invalid type when there is none.
QMimeType TypeOfExtension(const QString& ext)
{
    static QMimeDatabase db;
    const QList<QMimeType> types = db.mimeTypesForFileName(QStringLiteral("x") + ext);
    if (types.isEmpty() || !types.first().isValid() || types.first().isDefault())
        return QMimeType();
    return types.first();
}
} // namespace

QString TypeDescription(const QString& extension)
{
    const QMimeType type = TypeOfExtension(extension);
    return type.isValid() ? type.comment() : QString();
}

int ImageFor(TAppState& state, const QString& name)
{
    // 1
    const QString ext = UnzipListing::Extension(name);
    if (ext.isEmpty())
        return 1;
    const QString lowerExt = ext.toLower();
    const bool program = lowerExt == QLatin1String(".exe") || lowerExt == QLatin1String(".ico");
    if (!program) {
        // 2
        for (int i = 0; i < state.IconCache.size(); ++i)
            if (state.IconCache[i].compare(lowerExt, Qt::CaseInsensitive) == 0)
                return i + 4;
        // 3
        if (!state.NoIconTypes.contains(lowerExt)) {
            const int image = RegistryIconExtraction(state, ext);
            if (image != 0) {
                state.IconCache << lowerExt;
                return image;
            }
            state.NoIconTypes.insert(lowerExt);
        }
    }
    // 4: the icon of the file itself, when a file of that name can be reached.
    const QFileInfo fi(name);
    QIcon own;
    if (fi.isFile()) {
        if (lowerExt == QLatin1String(".ico"))
            own = QIcon(fi.absoluteFilePath());
        if (own.isNull() || own.availableSizes().isEmpty())
            own = QFileIconProvider().icon(fi);
    }
    if (!own.isNull()) {
        const int image = state.SmallImages.Add(own);
        state.IconCache << QStringLiteral("*");
        state.LargeImages.Add(own);
        return image;
    }
    return lowerExt == QLatin1String(".exe") ? 2 : 1;
}

int RegistryIconExtraction(TAppState& state, const QString& extension)
{
    // 1
    QString ext = extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
    if (ext.compare(QLatin1String(".exe"), Qt::CaseInsensitive) == 0)
        ext = QStringLiteral(".com");
    if (ext.size() < 2)
        return 0;
    // 2: the file type of the extension in the shared MIME database.
    const QMimeType type = TypeOfExtension(ext);
    if (!type.isValid())
        return 0;
    // 3-4: its theme icon, then the generic one, then the style's file icon.
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileIconProvider::File);
    if (icon.isNull())
        return 0;
    const int image = state.SmallImages.Add(icon);
    // A QIcon renders at every size, so the large list gets the same icon.
    state.LargeImages.Add(icon);
    return image;
}

} // namespace FileIcons
