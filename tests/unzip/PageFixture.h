#pragma once
// A main window on a scripted prompter with its own data folder and a fake
// free-space measurement, for the unzip page's command tests.

#include "TestTools.h"
#include "WindowFixture.h"
#include "ZipFixture.h"

#include "app/TForm1.h"
#include "platform/Platform.h"
#include "unzip/TUnzipPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

// The message of an extraction into a folder the user chose.
inline QString success(const QString& archive, const QString& folder)
{
    return QStringLiteral("THE ARCHIVE FILE ") + archive + QStringLiteral("\rWAS OPENED IN THE FOLDER ") + folder;
}

struct PageFixture : WindowFixture {
    QTemporaryDir dir;
    TUnzipPage* page = nullptr;
    qint64 freeBytes = qint64(1) << 40;

    void newForm()
    {
        form.reset();
        freeBytes = qint64(1) << 40;
        Platform::SetFreeOnDiskHook([this](const QString&) { return freeBytes; });
        newWindow();
        page = form->UnzipPage;
    }
    void finish()
    {
        closeWindow();
        Platform::SetFreeOnDiskHook({});
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString zip(const QString& name, const QList<ZipFixture::Entry>& entries)
    {
        return ZipFixture::Made(path(name), entries);
    }
    // OPEN with `archive` chosen in the dialog.
    void open(const QString& archive)
    {
        prompter.answerFile(archive);
        QTest::mouseClick(page->OpenUnzipButton, Qt::LeftButton);
    }
    // A new empty folder below the temporary folder.
    QString folder(const QString& name)
    {
        const QString p = path(name);
        QDir(p).removeRecursively();
        QDir().mkpath(p);
        return p;
    }
    // Every file below `root`, relative, sorted.
    static QStringList files(const QString& root)
    {
        QStringList out = testtools::filesBelow(root);
        out.sort();
        return out;
    }
    // Highlights exactly `rows` of `view`.
    static void select(QTreeView* view, const QList<int>& rows)
    {
        view->clearSelection();
        for (int r : rows)
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QList<int> selected(const QTreeView* view)
    {
        QList<int> rows;
        for (const QModelIndex& i : view->selectionModel()->selectedRows())
            rows << i.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};
