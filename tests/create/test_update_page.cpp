// The update page: OPEN and the listing, adding and replacing files, folders
// with relative paths, DELETE, RESET, and failed adds; after every operation
// the zip holds exactly the rows of the page.

#include "CreateFixture.h"

#include "create/TUpdatePage.h"
#include "zipengine/TZipEngine.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeView>

#include <csignal>
#include <sys/resource.h>

using namespace CreateFixture;

class TestUpdatePage : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    Window w_;
    TUpdatePage* page_ = nullptr;

    QString file(const QString& rel, const QByteArray& data = "data\n", const QDateTime& time = QDateTime())
    {
        const QString p = dir_.filePath(rel);
        WriteFile(p, data);
        if (time.isValid()) {
            QFile f(p);
            if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(time, QFileDevice::FileModificationTime))
                qFatal("cannot set the time of %s", qPrintable(p));
        }
        return p;
    }
    // A zip made by the peer tool from `files` under `base`.
    QString peerZip(const QString& name, const QString& base, const QStringList& files)
    {
        const QString zip = dir_.filePath(name);
        if (Run(QStringLiteral("zip"), QStringList{QStringLiteral("-q"), zip} + files, nullptr, base) != 0)
            qFatal("zip failed");
        return zip;
    }
    QStringList rows() const
    {
        QStringList l;
        for (int r = 0; r < page_->RowCount(); ++r)
            l << page_->EntryName(r).replace('\\', '/');
        l.sort();
        return l;
    }
    QStringList stored(const QString& zip) const
    {
        QStringList l = ZipNames(zip);
        l.sort();
        return l;
    }
    void open(const QString& zip)
    {
        w_.prompter.answerFile(zip);
        page_->OpenUpdateButtonClick();
    }
    void addFiles(const QStringList& files)
    {
        w_.prompter.answerFiles(files);
        page_->OpenFilesUpdateButtonClick();
    }
    QList<bool> buttons() const
    {
        return {page_->OpenFilesUpdateButton->isEnabled(), page_->AddfolderUpdatebutton->isEnabled(),
                page_->UpdateDeleteButton->isEnabled(), page_->UpdateResetButton->isEnabled()};
    }
    QString baseZip()
    {
        const QDateTime old(QDate(2010, 1, 1), QTime(10, 0));
        file(QStringLiteral("src/a.txt"), "old a", old);
        file(QStringLiteral("src/docs/b.txt"), "old b", old);
        return peerZip(QStringLiteral("base.zip"), dir_.filePath(QStringLiteral("src")),
                       {QStringLiteral("a.txt"), QStringLiteral("docs/b.txt")});
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        w_.open();
        w_.prompter.answer(PromptButton::Yes);
        w_.prompter.failOnUnexpected = false;
        w_.form->SelectPage(TForm1::UpdatePageIndex);
        w_.prompter.clear();
        w_.prompter.failOnUnexpected = true;
        page_ = w_.form->UpdatePage;
    }
    void cleanup()
    {
        QVERIFY2(w_.prompter.allAnswersUsed(), "unused answers");
        w_.form.reset();
    }

    void openListsTheZip()
    {
        QCOMPARE(buttons(), QList<bool>(4, false));
        const QString zip = baseZip();
        open(zip);
        QCOMPARE(rows(), stored(zip));
        QCOMPARE(page_->UpDateNumFilesEdit->text(), QStringLiteral("2"));
        QCOMPARE(page_->UpdatetotalFileSizeEdit->text(), QStringLiteral("10"));
        QCOMPARE(buttons(), QList<bool>(4, true));
        QCOMPARE(w_.form->appState().CurrentArchive, zip);
        QCOMPARE(w_.form->DropTarget(), page_->UpdateListView);
        // OPEN again asks first; No keeps the list.
        w_.prompter.answer(PromptButton::No);
        page_->OpenUpdateButtonClick();
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?"));
        QCOMPARE(page_->RowCount(), 2);
        // RESET empties the page, not the archive.
        page_->UpdateResetButtonClick();
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(buttons(), QList<bool>(4, false));
        QCOMPARE(stored(zip).size(), 2);
    }

    void newerFileReplacesItsEntry()
    {
        const QString zip = baseZip();
        open(zip);
        w_.settings().RelativePaths = true;
        // A newer b.txt in a folder named docs: same name and Path.
        const QString b = file(QStringLiteral("new/docs/b.txt"), "the new b", QDateTime(QDate(2020, 2, 2), QTime(2, 2, 2)));
        addFiles({b});
        QCOMPARE(page_->RowCount(), 2);
        QCOMPARE(rows(), stored(zip));
        QVERIFY(ZipTests(zip));
        QString text;
        QCOMPARE(Run(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, QStringLiteral("docs/b.txt")}, &text), 0);
        QCOMPARE(text, QStringLiteral("the new b"));
        QCOMPARE(page_->UpdatetotalFileSizeEdit->text(), QStringLiteral("14"));
        // The same file again changes nothing.
        const QByteArray before = ReadFile(zip);
        addFiles({b});
        QCOMPARE(ReadFile(zip), before);
        QCOMPARE(page_->RowCount(), 2);
        // An older one does not replace either.
        addFiles({file(QStringLiteral("older/docs/b.txt"), "older", QDateTime(QDate(2000, 1, 1), QTime(1, 0)))});
        QCOMPARE(ReadFile(zip), before);
    }

    void folderWithRelativePaths()
    {
        const QString zip = baseZip();
        open(zip);
        w_.settings().RelativePaths = true;
        file(QStringLiteral("data/f.txt"));
        file(QStringLiteral("data/x/g.txt"));
        file(QStringLiteral("data/.hidden"));
        w_.prompter.answerFolder(dir_.filePath(QStringLiteral("data")));
        page_->AddfolderUpdatebuttonClick();
        QCOMPARE(stored(zip), (QStringList{QStringLiteral("a.txt"), QStringLiteral("docs/b.txt"), QStringLiteral("f.txt"),
                                           QStringLiteral("x/g.txt")}));
        QCOMPARE(rows(), stored(zip));
        QVERIFY(ZipTests(zip));
        // Relative paths off: the folder without its leading "/".
        w_.settings().RelativePaths = false;
        const QString h = file(QStringLiteral("other/h.txt"));
        page_->UpdateDropUpdateWindow({h});
        QVERIFY(stored(zip).contains(h.mid(1)));
        QCOMPARE(rows(), stored(zip));
    }

    void deleteRules()
    {
        const QString zip = baseZip();
        open(zip);
        const QByteArray before = ReadFile(zip);
        // Nothing highlighted: the question, then nothing written.
        page_->UpdateListView->clearSelection();
        w_.prompter.answer(PromptButton::Yes);
        page_->UpdateDeleteButtonClick();
        QVERIFY(w_.prompter.lastText().startsWith(QStringLiteral("THE DELETE OPERATION WILL PERMANENTLY ERASE")));
        QCOMPARE(ReadFile(zip), before);
        QCOMPARE(page_->RowCount(), 2);
        // One entry.
        const int row = page_->EntryName(0) == QStringLiteral("a.txt") ? 0 : 1;
        page_->UpdateListView->selectionModel()->select(page_->UpdateListModel->index(row, 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w_.prompter.answer(PromptButton::Yes);
        page_->UpdateDeleteButtonClick();
        QCOMPARE(stored(zip), QStringList{QStringLiteral("docs/b.txt")});
        QCOMPARE(rows(), stored(zip));
        // Every entry: only OPEN stays enabled.
        page_->UpdateListView->selectAll();
        w_.prompter.answer(PromptButton::Yes);
        page_->UpdateDeleteButtonClick();
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(buttons(), QList<bool>(4, false));
        QVERIFY(page_->OpenUpdateButton->isEnabled());
        QCOMPARE(page_->UpDateNumFilesEdit->text(), QStringLiteral("0"));
    }

    void failedAddLeavesTheZipAsItWas()
    {
        const QString zip = baseZip();
        open(zip);
        w_.settings().RelativePaths = true;
        const QByteArray before = ReadFile(zip);
        QByteArray noise(2 << 20, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char(random.generate() & 0xff);
        const QString small = file(QStringLiteral("more/small.txt"));
        const QString big = file(QStringLiteral("more/big.bin"), noise);
        struct rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit limit = old;
        limit.rlim_cur = 1 << 20;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        addFiles({small, big});
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(ReadFile(zip), before);
        QCOMPARE(rows(), stored(zip));
        QCOMPARE(page_->RowCount(), 2);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("base.zip")});
    }
};

QTEST_MAIN(TestUpdatePage)
#include "test_update_page.moc"
