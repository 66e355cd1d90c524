#pragma once
// The window on its create page, files to add, and the peer tools that check
// what the page wrote.

#include "ScriptedPrompter.h"

#include "app/TForm1.h"
#include "create/TAddFolderForm.h"
#include "create/TCreatePage.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace CreateFixture {

inline void WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a peer tool; returns its exit code (-1 when it did not run) and its output.
inline int Run(const QString& program, const QStringList& args, QString* out = nullptr,
               const QString& workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The stored names of a zip as unzip lists them.
inline QStringList ZipNames(const QString& zip)
{
    QString out;
    if (Run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip}, &out) != 0)
        return {QStringLiteral("<unzip -Z1 failed>")};
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline bool ZipTests(const QString& zip, const QString& password = QString())
{
    QStringList args{QStringLiteral("-tqq")};
    if (!password.isEmpty())
        args << QStringLiteral("-P") << password;
    return Run(QStringLiteral("unzip"), args << zip) == 0;
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

// A window showing its create page, with default settings and its own data folder.
struct Window {
    ScriptedPrompter prompter;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<TForm1> form;
    TCreatePage* page = nullptr;

    void open()
    {
        form.reset();
        prompter.clear();
        data = std::make_unique<QTemporaryDir>();
        qputenv("QUARN_DATA_DIR", QFile::encodeName(data->path()));
        form = std::make_unique<TForm1>(prompter, QStringList{});
        page = form->CreatePage;
        prompter.clear();
        if (!form->SelectPage(TForm1::CreatePageIndex))
            qFatal("cannot show the create page");
        prompter.clear();
    }
    Settings& settings() { return form->settings(); }

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
