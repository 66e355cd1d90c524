#pragma once
// A main window on a scripted prompter with its own data folder and a fake
// free-space measurement, for the unzip page's command tests.

#include "ScriptedPrompter.h"
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

struct PageFixture {
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<TForm1> form;
    TUnzipPage* page = nullptr;
    qint64 freeBytes = qint64(1) << 40;

    void newForm()
    {
        form.reset();
        prompter.clear();
        freeBytes = qint64(1) << 40;
        data = std::make_unique<QTemporaryDir>();
        qputenv("QUARN_DATA_DIR", QFile::encodeName(data->path()));
        Platform::SetFreeOnDiskHook([this](const QString&) { return freeBytes; });
        form = std::make_unique<TForm1>(prompter, QStringList());
        page = form->UnzipPage;
        prompter.clear();
    }
    void finish()
    {
        form.reset();
        Platform::SetFreeOnDiskHook({});
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString zip(const QString& name, const QList<ZipFixture::Entry>& entries)
    {
        const QString p = path(name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        if (!ZipFixture::Write(p, entries))
            qFatal("cannot write %s", qPrintable(p));
        return p;
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
    static QByteArray read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void write(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file));
    }
    // Every file below `root`, relative, sorted.
    static QStringList files(const QString& root)
    {
        QStringList out;
        QDir base(root);
        const QFileInfoList all = QDir(root).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QFileInfo& fi : all) {
            if (fi.isDir()) {
                for (const QString& f : files(fi.absoluteFilePath()))
                    out << fi.fileName() + QLatin1Char('/') + f;
            } else {
                out << fi.fileName();
            }
        }
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
