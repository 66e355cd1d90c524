// "Image Browser" on the unzip page from start to end: the room check, the
// extraction of the image rows into the image folder with the unzip settings
// forced and restored, the thumbnail thread with its progress window and the
// 500-ms poll, the browser and what its results do; the thumbnail size items;
// the viewer's "Unzip"; the screenshots of the viewer and the browser.

#include "Pictures.h"
#include "TestTools.h"
#include "WindowFixture.h"
#include "../unzip/ZipFixture.h"

#include "app/TForm1.h"
#include "platform/Platform.h"
#include "settings/AppState.h"
#include "unzip/TUnzipPage.h"
#include "viewers/TImageBrowse.h"
#include "viewers/TImageBrowserForm.h"
#include "viewers/TImageForm.h"
#include "viewers/TThumbProgressForm.h"
#include "viewers/TThumbsizeForm.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QDir>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using ZipFixture::Entry;

namespace {
const QString NoGraphics = QStringLiteral("THIS FILE CONTAINED NO RECOGNIZED GRAPHICS FILES.");
const QString NoneShown = QStringLiteral(
    "THIS FILE CONTAINED NO RECOGNIZED GRAPHICS FILES OR THE FILES CONTAINED ERRORS AND CANNOT BE DISPLAYED.");

QByteArray encoded(const QImage& img, const char* format)
{
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return data;
}

QByteArray pngBytes(int w, int h) { return encoded(pictures::quadrants(w, h), "PNG"); }
} // namespace

class TestImageBrowse : public QObject {
    Q_OBJECT
    WindowFixture w_;
    std::unique_ptr<QTemporaryDir> dir_;
    qint64 freeBytes_ = qint64(1) << 40;
    TUnzipPage* page() { return w_.form->UnzipPage; }
    QString imageFolder() { return w_.form->appState().ImageTempFolder(); }

    QString archive(const QList<Entry>& entries)
    {
        return ZipFixture::Made(dir_->filePath("pics.zip"), entries);
    }
    QList<Entry> mixed()
    {
        QByteArray psd;
        {
            const QString p = dir_->filePath("crash.psd");
            pictures::psd(p, true);
            psd = testtools::readFile(p);
        }
        return {{"a.png", pngBytes(400, 200)},
                {"notes.txt", "text"},
                {"pics/b.jpg", encoded(pictures::quadrants(100, 300), "JPG")},
                {"pics/crash.psd", psd},
                {"bad.png", "not a png"},
                {"../up.png", pngBytes(20, 20)}};
    }
    // Opens `zip` as the command line would.
    void load(const QString& zip)
    {
        w_.newWindow({zip});
        if (page()->RowCount() == 0)
            qFatal("the archive is listed");
    }
    // Waits for the thread and lets the window's timer finish the browse.
    void finishBrowse()
    {
        TImageBrowse& browse = page()->ImageBrowse();
        QTRY_VERIFY_WITH_TIMEOUT(browse.State.ThumbsDone.load(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!browse.Building(), 5000);
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        freeBytes_ = qint64(1) << 40;
        Platform::SetFreeOnDiskHook([this](const QString&) { return freeBytes_; });
    }
    void cleanup()
    {
        w_.closeWindow();
        Platform::SetFreeOnDiskHook({});
    }

    // The whole browse over a zip with pictures, damaged pictures and other files.
    void browse()
    {
        load(archive(mixed()));
        Settings& s = w_.settings();
        s.ExtractFolderNames = false;
        s.ExtractOverwrite = false;
        s.ExtractUpdate = true;
        s.ThumbnailSize = 48;
        QStringList captions;
        QStringList onDisk;
        QList<QSize> iconSizes;
        w_.prompter.onDialog([&](QDialog& d) {
            auto& b = static_cast<TImageBrowserForm&>(d);
            for (int i = 0; i < b.ImageListView->count(); ++i)
                captions << b.ImageListView->item(i)->text();
            iconSizes << b.ImageListView->iconSize();
            onDisk = testtools::filesBelow(imageFolder());
            QTest::mouseClick(b.CloseButton, Qt::LeftButton);
            return d.result();
        });
        page()->ImageBrowser1Click();
        // While it builds: the progress window, the timer, the image rows highlighted.
        QTimer* timer = w_.form->Timer;
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 500);
        TThumbProgressForm* progress = page()->ImageBrowse().ProgressForm();
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->windowTitle(), QStringLiteral("Creating Thumbnails"));
        QCOMPARE(progress->StopButton->text(), QStringLiteral("Stop"));
        // The unzip settings were forced only for the extraction.
        QCOMPARE(s.ExtractFolderNames, false);
        QCOMPARE(s.ExtractOverwrite, false);
        QCOMPARE(s.ExtractUpdate, true);
        finishBrowse();
        QVERIFY(w_.prompter.allAnswersUsed());
        QCOMPARE(captions, (QStringList{"a.png", "b.jpg", "up.png"}));
        QCOMPARE(iconSizes, QList<QSize>{QSize(48, 48)});
        onDisk.sort();
        // Stored folders recreated; "../up.png" kept inside the image folder.
        QCOMPARE(onDisk, (QStringList{"a.png", "bad.png", "pics/b.jpg", "pics/crash.psd", "up.png"}));
        QVERIFY(!QFileInfo::exists(w_.form->appState().TempFolder() + "/up.png"));
        // Closed: the image folder is empty, the list ready again.
        QCOMPARE(testtools::filesBelow(imageFolder()), QStringList());
        QCOMPARE(QDir(imageFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!timer->isActive());
        QVERIFY(page()->UnzipListView->isEnabled());
        QCOMPARE(w_.prompter.texts(), QStringList());
    }

    // A tar: its pictures come out through the tar extraction, folders kept.
    void browseTar()
    {
        const QString src = dir_->filePath("src");
        QDir().mkpath(src + "/d");
        pictures::quadrantFile(src + "/d/t.png", 50, 40);
        testtools::writeFile(src + "/x.txt", "x");
        const QString tar = dir_->filePath("pics.tar");
        QCOMPARE(testtools::run("tar", {"-cf", tar, "-C", src, "d", "x.txt"}).code, 0);
        load(tar);
        QStringList captions, onDisk;
        w_.prompter.onDialog([&](QDialog& d) {
            auto& b = static_cast<TImageBrowserForm&>(d);
            for (int i = 0; i < b.ImageListView->count(); ++i)
                captions << b.ImageListView->item(i)->text();
            onDisk = testtools::filesBelow(imageFolder());
            b.CloseButton->click();
            return d.result();
        });
        page()->ImageBrowser1Click();
        finishBrowse();
        QCOMPARE(captions, QStringList{"t.png"});
        QCOMPARE(onDisk, QStringList{"d/t.png"});
        QCOMPARE(w_.prompter.texts(), QStringList());
    }

    void noPictures()
    {
        load(archive({{"a.txt", "a"}, {"b/c.doc", "c"}}));
        page()->ImageBrowser1Click();
        QCOMPARE(w_.prompter.texts(), QStringList{NoGraphics});
        QVERIFY(!page()->ImageBrowse().Building());
        QCOMPARE(testtools::filesBelow(imageFolder()), QStringList());
    }

    void onlyBrokenPictures()
    {
        load(archive({{"a.png", "nope"}, {"b.gif", "GIF89a"}, {"c.jpg", QByteArray(100, '\0')}}));
        page()->ImageBrowser1Click();
        finishBrowse();
        QCOMPARE(w_.prompter.texts(), QStringList{NoneShown});
        QCOMPARE(testtools::filesBelow(imageFolder()), QStringList());
    }

    void notEnoughRoom()
    {
        load(archive({{"a.png", pngBytes(100, 100)}, {"b.txt", QByteArray(5000, 'b')}}));
        freeBytes_ = 10;
        page()->ImageBrowser1Click();
        QCOMPARE(w_.prompter.texts().size(), 1);
        QVERIFY(w_.prompter.lastText().startsWith("THE COMPUTER COULD NOT FIND ENOUGH ROOM FOR THE GRAPHICS FILES ON DRIVE "));
        QCOMPARE(testtools::filesBelow(imageFolder()), QStringList());
    }

    // "Stop" pressed at once: the thumbnails made so far, in order, or the
    // no-graphics message when there are none.
    void stopAtOnce()
    {
        QList<Entry> entries;
        QStringList names;
        for (int i = 0; i < 12; ++i) {
            names << QString("p%1.png").arg(i, 2, 10, QLatin1Char('0'));
            entries << Entry{names.last(), pngBytes(600, 400)};
        }
        load(archive(entries));
        QStringList captions;
        bool shown = false;
        w_.prompter.failOnUnexpected = false;  // either ending is right
        w_.prompter.onDialog([&](QDialog& d) {
            shown = true;
            auto& b = static_cast<TImageBrowserForm&>(d);
            for (int i = 0; i < b.ImageListView->count(); ++i)
                captions << b.ImageListView->item(i)->text();
            b.CloseButton->click();
            return d.result();
        });
        page()->ImageBrowser1Click();
        QTest::mouseClick(page()->ImageBrowse().ProgressForm()->StopButton, Qt::LeftButton);
        finishBrowse();
        if (shown) {
            QVERIFY(captions.size() < names.size());
            QCOMPARE(captions, names.mid(0, captions.size()));
        } else {
            w_.prompter.dialogs.clear();
            QCOMPARE(w_.prompter.texts(), QStringList{NoneShown});
        }
        QCOMPARE(testtools::filesBelow(imageFolder()), QStringList());
    }

    // "Exit" in the browser closes the program.
    void exitFromBrowser()
    {
        load(archive({{"a.png", pngBytes(30, 30)}}));
        w_.prompter.onDialog([](QDialog& d) {
            static_cast<TImageBrowserForm&>(d).ExitButton->click();
            return d.result();
        });
        page()->ImageBrowser1Click();
        finishBrowse();
        QVERIFY(w_.form->CloseCodeDone());
    }

    void thumbnailSizeItems()
    {
        w_.newWindow();
        TUnzipPage* p = page();
        QVERIFY(p->Thumb64->isChecked());
        p->Thumb32->trigger();
        QCOMPARE(w_.settings().ThumbnailSize, 32);
        QVERIFY(p->Thumb32->isChecked());
        // "Other", then "Cancel": size and tick stay.
        int start = 0;
        w_.prompter.onDialog([&start](QDialog& d) {
            auto& f = static_cast<TThumbsizeForm&>(d);
            start = f.SpinEdit1->value();
            f.CancelButton->click();
            return d.result();
        });
        p->ThumbOther->trigger();
        QCOMPARE(start, 32);
        QCOMPARE(w_.settings().ThumbnailSize, 32);
        QVERIFY(p->Thumb32->isChecked());
        QVERIFY(!p->ThumbOther->isChecked());
        // "Other", 100, "OK"; the spin field keeps to 16..256.
        QPair<int, int> range;
        w_.prompter.onDialog([&range](QDialog& d) {
            auto& f = static_cast<TThumbsizeForm&>(d);
            range = {f.SpinEdit1->minimum(), f.SpinEdit1->maximum()};
            f.SpinEdit1->setValue(100);
            f.OKButton->click();
            return d.result();
        });
        p->ThumbOther->trigger();
        QCOMPARE(w_.settings().ThumbnailSize, 100);
        QCOMPARE(range, qMakePair(16, 256));
        QVERIFY(p->ThumbOther->isChecked());
        // A stored 100 ticks "Other" at start-up.
        p->CheckThumbnailSizeItem(192);
        QVERIFY(p->Thumb192->isChecked());
        p->CheckThumbnailSizeItem(100);
        QVERIFY(p->ThumbOther->isChecked());
    }

    // The viewer's "Unzip" extracts the highlighted entry with UNZIP's
    // extraction into the folder chosen.
    void viewerUnzipExtractsTheEntry()
    {
        load(archive({{"a.png", pngBytes(40, 30)}, {"b.txt", "b"}}));
        QTreeView* list = page()->UnzipListView;
        list->clearSelection();
        list->selectionModel()->select(list->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString picture = pictures::quadrantFile(dir_->filePath("shown.png"), 40, 30);
        const QString out = dir_->filePath("out");
        QDir().mkpath(out);
        w_.prompter.onDialog([](QDialog& d) {
            static_cast<TImageForm&>(d).Unzip1->trigger();
            return d.result();
        });
        w_.prompter.answerFolder(out);
        QCOMPARE(page()->ViewAnImage(picture), TImageForm::UnzipResult);
        QCOMPARE(testtools::filesBelow(out), QStringList{"a.png"});
        QCOMPARE(w_.prompter.texts(), QStringList{"THE ARCHIVE FILE pics.zip\rWAS OPENED IN THE FOLDER " + out});
    }

    // quarn --screenshot DIR ARCHIVE: the viewer and the browser besides the pages.
    void screenshots()
    {
        const QString zip = archive({{"x.txt", "x"}, {"first.png", pngBytes(300, 200)}, {"d/second.jpg",
                                     encoded(pictures::quadrants(64, 64), "JPG")}});
        const QString out = dir_->filePath("shots");
        QTemporaryDir data;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARN_DATA_DIR", data.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUARN_BIN_DIR "/quarn"), {"--screenshot", out, zip});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QImage viewer(out + "/image-viewer.png");
        QImage browser(out + "/image-browser.png");
        QVERIFY(!viewer.isNull());
        QVERIFY(!browser.isNull());
        QVERIFY(viewer.width() >= 300);  // first.png at its natural size
        QVERIFY(QFileInfo(out + "/page0-unzip.png").isFile());
        QCOMPARE(testtools::filesBelow(data.path() + "/temp"), QStringList());
    }
};

QTEST_MAIN(TestImageBrowse)
#include "test_image_browse.moc"
