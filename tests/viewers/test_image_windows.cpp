// The image viewer's sizing rules on an injected 1024 x 768 screen, its Info
// text and its results; the image browser's UNZIP, selection items, viewing
// and saving, layout rule and the clean-up of its image folder.

#include "Pictures.h"
#include "TestTools.h"
#include "WindowFixture.h"

#include "platform/Platform.h"
#include "viewers/ImageLoader.h"
#include "viewers/TImageBrowserForm.h"
#include "viewers/TImageForm.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

using namespace pictures;

namespace {
const QSize Screen(1024, 768);
const QString Replace = QStringLiteral(
    "THE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\rTO REPLACE THIS FILE CHOOSE  YES\r"
    "TO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL");
const QString Complete = QStringLiteral("THE OPERATION IS COMPLETE.");

QImage picture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::gray);
    return img;
}

bool fitItems(const TImageForm& f, bool fit, bool full)
{
    return f.FitToScreen1->isEnabled() == fit && f.FitToScreen2->isEnabled() == fit &&
           f.ShowFullImage1->isEnabled() == full && f.ShowFullImage2->isEnabled() == full;
}
} // namespace

class TestImageWindows : public QObject {
    Q_OBJECT
    WindowFixture w_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const QString& name) const { return dir_->filePath(name); }

    // A browser over `files` (copied into a fresh image folder) with their thumbnails.
    std::unique_ptr<TImageBrowserForm> browser(TImageLoader& loader, const QStringList& names)
    {
        const QString folder = path("img");
        QDir().mkpath(folder);
        auto b = std::make_unique<TImageBrowserForm>(*w_.form, loader, true, folder);
        b->ViewerScreen = Screen;
        b->Thumbs.Size = 32;
        for (const QString& n : names) {
            const QString p = Platform::JoinPath(folder, n);
            QDir().mkpath(QFileInfo(p).absolutePath());
            quadrantFile(p, 40, 20);
            b->Thumbs.ThumbList << p + "*" + QString::number(b->Thumbs.Images.size());
            b->Thumbs.Images << picture(32, 32);
        }
        if (b->AddThumbnailItems() != names.size())
            qFatal("every line has a thumbnail");
        return b;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        w_.newWindow();
    }
    void cleanup() { w_.closeWindow(); }

    void fittedSizes()
    {
        QCOMPARE(TImageForm::FittedSize(640, 480, 1024, 768), QSize(640, 480));
        QCOMPARE(TImageForm::FittedSize(2000, 1000, 1024, 768), QSize(1004, 502));
        QCOMPARE(TImageForm::FittedSize(1000, 3000, 1024, 768), QSize(240, 720));
        // Only too wide: width 1004, height scaled by it.
        QCOMPARE(TImageForm::FittedSize(2008, 100, 1024, 768), QSize(1004, 50));
        // Large sides stay exact (64-bit products).
        QCOMPARE(TImageForm::FittedSize(60000, 65000, 1024, 768), QSize(664, 720));
    }

    void viewerSizes()
    {
        {
            TImageForm f(w_.prompter, picture(640, 480), TImageInfo(), Screen);
            f.Arrange(true);
            QCOMPARE(f.ShownSize(), QSize(640, 480));
            QCOMPARE(f.ScrollBox1->size(), QSize(640, 480));
            QVERIFY(fitItems(f, false, false));
        }
        {
            TImageForm f(w_.prompter, picture(2000, 1000), TImageInfo(), Screen);
            f.Arrange(true);
            QCOMPARE(f.Image1->size(), QSize(1004, 502));
            QCOMPARE(f.ScrollBox1->size(), QSize(1004, 502));
            QCOMPARE(f.ScrollBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QVERIFY(fitItems(f, false, true));
            QCOMPARE(f.pos(), QPoint((1024 - f.width()) / 2, (768 - f.height()) / 2));
            f.ShowFullImage1->trigger();
            QCOMPARE(f.Image1->size(), QSize(2000, 1000));
            QCOMPARE(f.ScrollBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QCOMPARE(f.ScrollBox1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QCOMPARE(f.size(), Screen);
            QCOMPARE(f.pos(), QPoint(0, 0));
            QVERIFY(fitItems(f, true, false));
        }
        {
            // 1000 wide, 3000 high: fitted 240 x 720; at full size a vertical
            // bar over 3000 rows, the window as high as the screen, centred across.
            TImageForm f(w_.prompter, picture(1000, 3000), TImageInfo(), Screen);
            f.Arrange(true);
            QCOMPARE(f.Image1->size(), QSize(240, 720));
            f.ShowFullImage2->trigger();
            QCOMPARE(f.Image1->height(), 3000);
            QCOMPARE(f.ScrollBox1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            QCOMPARE(f.ScrollBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(f.height(), 768);
            QCOMPARE(f.width(), 1000);
            QCOMPARE(f.pos(), QPoint(12, 0));
            f.FitToScreen2->trigger();
            QCOMPARE(f.Image1->size(), QSize(240, 720));
        }
        {
            // The setting off: a large picture opens at full size.
            TImageForm f(w_.prompter, picture(2000, 1000), TImageInfo(), Screen);
            f.Arrange(false);
            QCOMPARE(f.Image1->size(), QSize(2000, 1000));
            QVERIFY(fitItems(f, true, false));
        }
    }

    // "Info" on a 2048-byte picture 10 wide and 20 high.
    void info()
    {
        const QString file = quadrantFile(path("info.bmp"), 10, 20);
        QByteArray bytes = testtools::readFile(file);
        QVERIFY(bytes.size() < 2048);
        bytes.append(2048 - bytes.size(), '\0');
        testtools::writeFile(file, bytes);
        TImageLoader loader(&w_.prompter);
        QVERIFY(loader.LoadImageFile(file));
        TImageForm f(w_.prompter, loader.DecodedBitmap, loader.ImageInfo, Screen);
        f.Arrange(true);
        f.Info2->trigger();
        QCOMPARE(w_.prompter.texts(), QStringList{"info.bmp\r\r20 x 10\r2 KB\r" +
                                                  Platform::DateTimeText(QFileInfo(file).lastModified())});
    }

    void viewerResults()
    {
        TImageLoader loader(&w_.prompter);
        const QString file = quadrantFile(path("v.png"), 30, 20);
        // A click on the picture closes it.
        w_.prompter.onDialog([](QDialog& d) {
            auto& f = static_cast<TImageForm&>(d);
            QTest::mouseClick(f.Image1, Qt::LeftButton, {}, QPoint(5, 5));
            return d.result();
        });
        QCOMPARE(ShowImageViewer(w_.prompter, loader, file, true, true, Screen), TImageForm::CloseResult);
        QVERIFY(loader.DecodedBitmap.isNull());
        // "Unzip" from either menu.
        bool infoOff = false;
        w_.prompter.onDialog([&infoOff](QDialog& d) {
            auto& f = static_cast<TImageForm&>(d);
            infoOff = !f.Info1->isEnabled();  // the browser's use
            f.Unzip2->trigger();
            return d.result();
        });
        QCOMPARE(ShowImageViewer(w_.prompter, loader, file, true, false, Screen), TImageForm::UnzipResult);
        QVERIFY(infoOff);
        // A picture that cannot be decoded: its message and no viewer.
        testtools::writeFile(path("bad.png"), "no");
        QCOMPARE(ShowImageViewer(w_.prompter, loader, path("bad.png"), true, true, Screen), 0);
        QCOMPARE(w_.prompter.texts(), QStringList{"Image Error"});
    }

    // UNZIP with two checked items and no selection copies both; into the
    // same folder again, the replace question decides.
    void browserUnzip()
    {
        TImageLoader loader(&w_.prompter);
        auto b = browser(loader, {"a.png", "b.png", "c.png"});
        b->ImageListView->item(0)->setCheckState(Qt::Checked);
        b->ImageListView->item(2)->setCheckState(Qt::Checked);
        const QString out = path("out");
        QDir().mkpath(out);
        w_.prompter.answerFolder(out);
        QTest::mouseClick(b->UnzipButton, Qt::LeftButton);
        QCOMPARE(w_.prompter.texts(), QStringList{Complete});
        QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"a.png", "c.png"}));
        QCOMPARE(testtools::readFile(out + "/a.png"), testtools::readFile(b->ImageFolder() + "/a.png"));

        // Both exist now: No keeps a.png, Yes to All replaces c.png and the
        // newly selected b.png goes in without a question.
        testtools::writeFile(out + "/a.png", "old a");
        testtools::writeFile(out + "/c.png", "old c");
        b->ImageListView->item(1)->setSelected(true);
        w_.prompter.clear();
        w_.prompter.answerFolder(out);
        w_.prompter.answer(PromptButton::No);
        w_.prompter.answer(PromptButton::YesToAll);
        b->UnzipButtonClick();
        QCOMPARE(w_.prompter.texts(), (QStringList{Replace, Replace, Complete}));
        QCOMPARE(testtools::readFile(out + "/a.png"), QByteArray("old a"));
        QCOMPARE(testtools::readFile(out + "/c.png"), testtools::readFile(b->ImageFolder() + "/c.png"));
        QVERIFY(QFileInfo(out + "/b.png").isFile());

        // No to All keeps every existing file.
        for (const char* n : {"a.png", "b.png", "c.png"})
            testtools::writeFile(out + "/" + n, "old");
        w_.prompter.clear();
        w_.prompter.answerFolder(out);
        w_.prompter.answer(PromptButton::NoToAll);
        b->UnzipButtonClick();
        QCOMPARE(w_.prompter.texts(), (QStringList{Replace, Complete}));
        for (const char* n : {"a.png", "b.png", "c.png"})
            QCOMPARE(testtools::readFile(out + "/" + n), QByteArray("old"));
        // A picture that went missing is skipped.
        QFile::remove(b->ImageFolder() + "/a.png");
        const QString out2 = path("out2");
        QDir().mkpath(out2);
        w_.prompter.clear();
        w_.prompter.answerFolder(out2);
        b->UnzipButtonClick();
        QCOMPARE(QDir(out2).entryList(QDir::Files), (QStringList{"b.png", "c.png"}));
    }

    void browserUnzipNothingChosen()
    {
        TImageLoader loader(&w_.prompter);
        auto b = browser(loader, {"a.png"});
        b->UnzipButtonClick();
        QCOMPARE(w_.prompter.texts(),
                 QStringList{"NO FILES HAVE BEEN HIGHLIGHTED OR CHECKED!\rCHOOSE  SELECT ALL  OR CLICK FILES TO "
                             "HIGHLIGHT OR CHECK THEM\rAND TRY AGAIN.  (ONLY HIGHLIGHTED OR CHECKMARKED FILES IN THE "
                             "LIST WILL BE UNZIPPED)"});
        QVERIFY(!b->UnzipButton->isEnabled());
    }

    void selectAllItems()
    {
        TImageLoader loader(&w_.prompter);
        auto b = browser(loader, {"a.png", "b.png"});
        QVERIFY(b->SelectAll1->isEnabled());
        QVERIFY(!b->UnSelectall1->isEnabled());
        b->SelectAll1->trigger();
        for (int i = 0; i < 2; ++i) {
            QVERIFY(b->ImageListView->item(i)->isSelected());
            QCOMPARE(b->ImageListView->item(i)->checkState(), Qt::Checked);
        }
        QVERIFY(!b->SelectAll1->isEnabled());
        QVERIFY(b->UnSelectall1->isEnabled());
        b->UnSelectall1->trigger();
        QVERIFY(b->ImageListView->selectedItems().isEmpty());
        QCOMPARE(b->ImageListView->item(1)->checkState(), Qt::Unchecked);
        QVERIFY(b->SelectAll1->isEnabled());
        QVERIFY(!b->UnSelectall1->isEnabled());
        QCOMPARE(b->UnSelectall1->text(), QStringLiteral("UnSelect all "));
    }

    // A click views the picture; the viewer's "Unzip" saves it where the
    // user says, with the picture's own ending.
    void viewAndSave()
    {
        TImageLoader loader(&w_.prompter);
        auto b = browser(loader, {"a.png", "b.png"});
        b->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.get()));
        QListWidget* list = b->ImageListView;
        w_.prompter.onDialog([](QDialog& d) {
            auto& f = static_cast<TImageForm&>(d);
            if (f.ShownSize() != QSize(40, 20))
                qFatal("the viewer shows the clicked picture");
            f.Unzip1->trigger();
            return d.result();
        });
        w_.prompter.answerFile(path("saved"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QVERIFY(w_.prompter.allAnswersUsed());
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(testtools::readFile(path("saved.png")), testtools::readFile(b->ImageFolder() + "/b.png"));
        const FileDialogRequest r = w_.prompter.fileRequests.last();
        QCOMPARE(r.title, QStringLiteral("Save as"));
        QCOMPARE(r.filter, QStringLiteral(".png (*.png)"));
        QCOMPARE(r.defaultName, QStringLiteral("b.png"));
        QCOMPARE(r.startFolder, QStringLiteral("/"));
        // The next save starts where the last one went; Shift-click views nothing.
        w_.prompter.onDialog([](QDialog& d) {
            static_cast<TImageForm&>(d).Close1->trigger();
            return d.result();
        });
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          list->visualItemRect(list->item(1)).center());
        b->SaveImage(b->ImageFolder() + "/missing.png");  // a file that is gone: nothing
        w_.prompter.answerFile(path("second.png"));
        b->SaveImage(b->ImageFolder() + "/a.png");
        QCOMPARE(w_.prompter.fileRequests.last().startFolder, dir_->path());
        QVERIFY(QFileInfo(path("second.png")).isFile());
    }

    void layoutRule()
    {
        TImageLoader loader(&w_.prompter);
        auto b = browser(loader, {"a.png"});
        b->FormResize(1000, 700);
        QCOMPARE(b->ImageListView->size(), QSize(956, 607));
        QCOMPARE(b->UnzipButton->pos(), QPoint(268, 632));
        QCOMPARE(b->HelpButton->pos(), QPoint(388, 632));
        QCOMPARE(b->CloseButton->pos(), QPoint(508, 632));
        QCOMPARE(b->ExitButton->pos(), QPoint(628, 632));
        QCOMPARE(b->CloseButton->toolTip(), QStringLiteral("CLOSE WINDOW"));
        QCOMPARE(b->ExitButton->toolTip(), QStringLiteral("EXIT PROGRAM"));
    }

    // "Close" and "Exit": their results, and an image folder with no files and
    // no sub-folders left (the folder itself stays).
    void closingEmptiesTheImageFolder()
    {
        TImageLoader loader(&w_.prompter);
        for (QPushButton* TImageBrowserForm::*button : {&TImageBrowserForm::CloseButton, &TImageBrowserForm::ExitButton}) {
            auto b = browser(loader, {"a.png", "deep/b.png"});
            testtools::writeFile(b->ImageFolder() + "/deep/er/.hidden", "x");
            b->show();
            QTest::mouseClick((*b).*button, Qt::LeftButton);
            QCOMPARE(b->result(), button == &TImageBrowserForm::CloseButton ? -1 : 255);
            QVERIFY(QFileInfo(b->ImageFolder()).isDir());
            QCOMPARE(QDir(b->ImageFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
            QCOMPARE(b->ImageListView->count(), 0);
            QVERIFY(b->Thumbs.ThumbList.isEmpty());
        }
    }
};

QTEST_MAIN(TestImageWindows)
#include "test_image_windows.moc"
