#pragma once
// Shared by the batch page's tests: a main window with a scripted prompter
// and its own data folder, small zips written on disk, answers for the run's
// dialogs, and waiting for a scan or run to end.

#include "../unzip/ZipFixture.h"
#include "TestTools.h"
#include "WindowFixture.h"

#include "app/TForm1.h"
#include "batch/TBatchDestinationForm.h"
#include "batch/TBatchPage.h"
#include "platform/Platform.h"
#include "settings/AppState.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>

class BatchFixture : public WindowFixture {
public:
    std::unique_ptr<QTemporaryDir> dir;  // the zips and folders of one test
    TBatchPage* page = nullptr;

    void start()
    {
        form.reset();
        Platform::SetFreeOnDiskHook({});
        dir = std::make_unique<QTemporaryDir>();
        newWindow();
        page = form->BatchPage;
        showPage(TForm1::BatchPageIndex);
    }
    void stop()
    {
        closeWindow();
        Platform::SetFreeOnDiskHook({});
    }

    TBatchState& state() { return form->appState().BatchState; }
    QString path(const QString& relative) const { return dir->filePath(relative); }

    // A stored zip at `relative` (folders made) with the given entries.
    QString zip(const QString& relative, const QList<ZipFixture::Entry>& entries)
    {
        return ZipFixture::Made(path(relative), entries);
    }
    QString zip(const QString& relative) { return zip(relative, {{QStringLiteral("a.txt"), "alpha"}}); }

    // SELECT FILES with `files` chosen.
    void select(const QStringList& files)
    {
        prompter.answerFiles(files);
        page->BatchUnzipOpenFileButton->click();
    }
    // SCAN FOLDER on `folder`, waiting for the scan's end.
    void scan(const QString& folder, bool subfolders = true)
    {
        page->ScanSubDirCheckBox->setChecked(subfolders);
        prompter.answerFolder(folder);
        page->ScanFolderForZipFilesButton->click();
        waitForEnd();
    }
    bool ended() { return !state().Running && !form->BatchUnzipTimer->isActive(); }
    void waitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(ended(), 60000); }

    // Answers for the run's dialogs: the destination (`folder` empty: beside
    // each zip) and, when moving, the folder-creation choice.
    void answerDestination(const QString& folder)
    {
        prompter.onDialog([folder](QDialog& d) {
            auto* f = qobject_cast<TBatchDestinationForm*>(&d);
            if (!f)
                return int(QDialog::Rejected);
            (folder.isEmpty() ? f->SameFolderRadioButton : f->ChooseFolderRadioButton)->setChecked(true);
            f->OKButton->click();
            return f->result();
        });
        if (!folder.isEmpty())
            prompter.answerFolder(folder);
    }
    void answerMoveOptions(bool recreate, bool cancel = false)
    {
        prompter.onDialog([recreate, cancel](QDialog& d) {
            auto* f = qobject_cast<TMoveOptionsForm*>(&d);
            if (!f)
                return int(QDialog::Rejected);
            (recreate ? f->RecreateRadioButton : f->FlatRadioButton)->setChecked(true);
            (cancel ? f->CancelButton : f->OKButton)->click();
            return f->result();
        });
    }
    // Puts `folder` into the move field through "?".
    void chooseMoveFolder(const QString& folder)
    {
        QDir().mkpath(folder);
        prompter.answerFolder(folder);
        page->MoveZipFileButton->click();
    }
    // UNZIP with the destination answered, waiting for the run's end.
    void unzip(const QString& destination = QString())
    {
        answerDestination(destination);
        page->BatchUnzipButton->click();
        waitForEnd();
    }

    int rows() const { return page->RowCount(); }
    QString cell(int row, int column) const { return page->BatchListModel->item(row, column)->text(); }
    int icon(int row) const { return page->BatchListModel->item(row, 0)->data(TBatchPage::ImageIndexRole).toInt(); }
    bool selected(int row) const { return page->BatchListView->selectionModel()->isRowSelected(row, QModelIndex()); }
    QStringList names() const
    {
        QStringList l;
        for (int r = 0; r < rows(); ++r)
            l << cell(r, 0);
        return l;
    }
    void selectOnly(const QList<int>& rowsToSelect)
    {
        QItemSelectionModel* sel = page->BatchListView->selectionModel();
        sel->clearSelection();
        for (int r : rowsToSelect)
            sel->select(page->BatchListModel->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};
