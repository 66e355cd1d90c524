#include "app/TScreenshots.h"

#include "app/TPageSwitcher.h"
#include "platform/Platform.h"
#include "settings/TPropertiesForm.h"
#include "unzip/TUnzipPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

QStringList TScreenshots::Save(QWidget& window, TPageSwitcher& pages, TUnzipPage& unzip, Settings& settings,
                               const QString& folder)
{
    QStringList written;
    QDir().mkpath(folder);
    auto grab = [&written](QWidget& w, const QString& file) {
        if (w.grab().save(file))
            written << file;
    };
    static const char* names[] = {"page0-unzip", "page1-update", "page2-create", "page3-batch", "page4-sfx"};
    for (int i = 0; i < 5; ++i) {
        pages.ShowPageQuietly(i);
        QCoreApplication::processEvents();
        grab(window, Platform::JoinPath(folder, QString::fromLatin1(names[i]) + QStringLiteral(".png")));
        if (i == 0)
            grab(window, Platform::JoinPath(folder, QStringLiteral("mainwindow.png")));
    }
    pages.ShowPageQuietly(pages.CurrentPage());
    // With an archive listed: the tree browser on it.
    const QString tree = Platform::JoinPath(folder, QStringLiteral("tree.png"));
    if (unzip.SaveTreeScreenshot(tree))
        written << tree;

    TPropertiesForm dlg(settings, [] { return true; }, &window);
    dlg.show();
    for (int p = 0; p < TPropertiesForm::PageCount; ++p) {
        dlg.SelectPage(p);
        QCoreApplication::processEvents();
        grab(dlg, Platform::JoinPath(folder, QStringLiteral("properties%1.png").arg(p)));
    }
    dlg.hide();
    // With an archive loaded: its pictures in the viewer and the browser.
    written << unzip.SaveImageScreenshots(folder);
    return written;
}
