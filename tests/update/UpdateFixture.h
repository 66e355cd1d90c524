#pragma once
// The window on its update page with a zip listed, files to add, and the
// checks that the page's rows are exactly what the archive holds.

#include "../create/CreateFixture.h"
#include "../unzip/ZipFixture.h"
#include "FileSizeLimit.h"

#include "create/TUpdatePage.h"
#include "zipengine/TZipEngine.h"

#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTreeView>

namespace UpdateFixture {

using namespace testtools;
using CreateFixture::ZipNames;
using CreateFixture::ZipTests;

// A DOS date-time for the fixture zips.
inline uint32_t Dos(int year, int month, int day, int hour, int minute, int second)
{
    return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11 |
           uint32_t(minute) << 5 | uint32_t(second / 2);
}

// Sets a file's last-write time.
inline void SetTime(const QString& path, const QDateTime& when)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(when, QFileDevice::FileModificationTime))
        qFatal("cannot set the time of %s", qPrintable(path));
}

struct Window : WindowFixture {
    TUpdatePage* page = nullptr;

    void open()
    {
        newWindow();
        page = form->UpdatePage;
        showPage(TForm1::UpdatePageIndex);
    }
    TZipEngine& engine() { return *form->ZipEngine; }

    // OPEN with `zip` chosen (no rows listed yet).
    void openZip(const QString& zip)
    {
        prompter.answerFile(zip);
        page->OpenUpdateButtonClick();
    }
    void addFiles(const QStringList& files)
    {
        prompter.answerFiles(files);
        page->OpenFilesUpdateButtonClick();
    }
    void addFolder(const QString& folder)
    {
        prompter.answerFolder(folder);
        prompter.onDialog([](QDialog& d) { return CreateFixture::FinishScan(d); });
        page->AddfolderUpdatebuttonClick();
    }
    // DELETE with the rows whose entry names are given highlighted, answered `answer`.
    void deleteEntries(const QStringList& names, PromptButton answer = PromptButton::Yes)
    {
        QItemSelectionModel* sel = page->UpdateListView->selectionModel();
        sel->clearSelection();
        for (int r = 0; r < page->RowCount(); ++r)
            if (names.contains(page->EntryName(r)))
                sel->select(page->UpdateListModel->index(r, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        prompter.answer(answer);
        page->UpdateDeleteButtonClick();
    }

    QString cell(int row, int column) const { return page->UpdateListModel->item(row, column)->text(); }
    int rowOf(const QString& entry) const
    {
        for (int r = 0; r < page->RowCount(); ++r)
            if (page->EntryName(r) == entry)
                return r;
        return -1;
    }
    // The rows' entry names with "/" as unzip shows them, sorted.
    QStringList rowNames() const
    {
        QStringList l;
        for (int r = 0; r < page->RowCount(); ++r)
            l << page->EntryName(r).replace(QLatin1Char('\\'), QLatin1Char('/'));
        l.sort();
        return l;
    }
    // ADD FILES, ADD FOLDER, DELETE, RESET.
    QList<bool> zipButtons() const
    {
        return {page->OpenFilesUpdateButton->isEnabled(), page->AddfolderUpdatebutton->isEnabled(),
                page->UpdateDeleteButton->isEnabled(), page->UpdateResetButton->isEnabled()};
    }
};

inline QStringList Sorted(QStringList l)
{
    l.sort();
    return l;
}

} // namespace UpdateFixture

// The page's rows are exactly the archive's entries, and the archive tests good.
#define VERIFY_LIST_IS_ARCHIVE(w, zip)                                                      \
    do {                                                                                    \
        QCOMPARE((w).rowNames(), UpdateFixture::Sorted(UpdateFixture::ZipNames(zip)));      \
        QVERIFY2(UpdateFixture::ZipTests(zip), qPrintable(zip));                            \
    } while (0)
