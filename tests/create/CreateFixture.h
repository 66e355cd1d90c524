#pragma once
// The window on its create page, files to add, and the peer tools that check
// what the page wrote.

#include "ScriptedPrompter.h"
#include "TestTools.h"
#include "WindowFixture.h"

#include "app/TForm1.h"
#include "create/TAddFolderForm.h"
#include "create/TCreatePage.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

namespace CreateFixture {

using namespace testtools;

// The stored names of a zip as unzip lists them.
inline QStringList ZipNames(const QString& zip)
{
    const Run r = run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (r.code != 0)
        return {QStringLiteral("<unzip -Z1 failed>")};
    return r.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline bool ZipTests(const QString& zip, const QString& password = QString())
{
    QStringList args{QStringLiteral("-tqq")};
    if (!password.isEmpty())
        args << QStringLiteral("-P") << password;
    return run(QStringLiteral("unzip"), args << zip).code == 0;
}

// Runs the folder scan a dialog shows to its end and reports whether the
// window's event loop turned while it ran.
inline int FinishScan(QDialog& d, int* loopTurns = nullptr)
{
    int turns = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&turns] { ++turns; });
    tick.start(0);
    const bool done = QTest::qWaitFor([&d] { return !d.isVisible(); }, 60000);
    tick.stop();
    if (loopTurns)
        *loopTurns = turns;
    return done ? d.result() : QDialog::Rejected;
}

// A test's own folder: the files to add, and "out" for what the page writes.
struct Scratch : QTemporaryDir {
    // Empties the folder and makes "out" in it.
    void reset()
    {
        QDir(path()).removeRecursively();
        QDir().mkpath(filePath(QStringLiteral("out")));
    }
    // Writes `data` to `rel` below the folder; returns its path.
    QString file(const QString& rel, const QByteArray& data)
    {
        const QString p = filePath(rel);
        writeFile(p, data);
        return p;
    }
    QString out(const QString& name) const { return filePath(QStringLiteral("out/") + name); }
};

// A window showing its create page, with default settings and its own data folder.
struct Window : WindowFixture {
    TCreatePage* page = nullptr;

    void open()
    {
        newWindow();
        page = form->CreatePage;
        showPage(TForm1::CreatePageIndex);
    }

    // ADD FILES with `files` chosen.
    void addFiles(const QStringList& files)
    {
        prompter.answerFiles(files);
        page->OpenFilesZipButtonClick();
    }
    // ADD FOLDER with `folder` chosen; the scan runs to its end.
    void addFolder(const QString& folder, int* loopTurns = nullptr)
    {
        prompter.answerFolder(folder);
        prompter.onDialog([loopTurns](QDialog& d) { return FinishScan(d, loopTurns); });
        page->OpenFolderzipButtonClick();
    }
    QString cell(int row, int column) const
    {
        return page->ZipListModel->item(row, column)->text();
    }
    QStringList column(int c) const
    {
        QStringList l;
        for (int r = 0; r < page->RowCount(); ++r)
            l << cell(r, c);
        return l;
    }
    // ZIP with `name` typed in the save dialog.
    void zip(const QString& name)
    {
        prompter.answerFile(name);
        page->ZipButtonClick();
    }
    // UNDO, RESET and ZIP.
    QList<bool> historyButtons() const
    {
        return {page->ZipUndoButton->isEnabled(), page->ZipResetButton->isEnabled(), page->ZipButton->isEnabled()};
    }
};

} // namespace CreateFixture
