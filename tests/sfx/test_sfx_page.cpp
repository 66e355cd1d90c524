// The self-extracting page: OPEN, the option rules, the icon, the auto-start
// chooser, CONVERT both ways with its texts, and the zip handed over by the
// unzip page.

#include "TestTools.h"
#include "WindowFixture.h"

#include "sfx/TSfxAutoStartForm.h"
#include "sfx/TSfxPage.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/SfxParts.h"
#include "zipengine/TZipEngine.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testtools;

namespace {

QString stubPath() { return QStringLiteral(QUARN_BIN_DIR "/sfxstub.bin"); }

// The option block of `program` (right after the stub).
QByteArray blockOf(const QString& program)
{
    const QByteArray p = readFile(program);
    const qint64 s = QFileInfo(stubPath()).size();
    return p.mid(s, 8 + 4 * 256);
}

// The block's message text (the fourth text).
QByteArray messageOf(const QByteArray& block)
{
    int at = 8;
    for (int i = 0; i < 3; ++i)
        at += 1 + uint8_t(block[at]);
    return block.mid(at + 1, uint8_t(block[at]));
}

} // namespace

class TestSfxPage : public QObject {
    Q_OBJECT
private:
    WindowFixture w;
    FreshFolders tmp;
    TSfxPage* page = nullptr;

    void open()
    {
        w.newWindow();
        page = w.form->SfxPage;
        w.form->ZipEngine->HowToDelete = TZipEngine::htdFinal;
        w.showPage(TForm1::SfxPageIndex);
    }
    QString zipIn(const QString& dir, const QString& name = "t.zip")
    {
        writeFile(dir + "/src/a.txt", sampleData(3000, 1));
        writeFile(dir + "/src/docs/b.txt", sampleData(500, 2));
        const QString zip = dir + "/" + name;
        return run("zip", {"-qr", zip, "."}, dir + "/src").code == 0 ? zip : QString();
    }
    void openFile(const QString& path)
    {
        w.prompter.answerFile(path);
        page->OpenSFXZipButtonClick();
    }
    bool optionsEnabled() const
    {
        return page->CaptionEdit->isEnabled() && page->SFXDirComboBox->isEnabled() && page->AutoUnzipCheckBox->isEnabled()
               && page->SFXIconButton->isEnabled() && page->SelectAutoStartButton->isEnabled();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(stubPath()).isFile(), "sfxstub.bin is not built");
        QVERIFY2(havePeer("zip") && havePeer("unzip"), "zip and unzip");
    }
    void cleanup() { w.closeWindow(); }

    // OPEN: a file the engine cannot read leaves the page disabled and the
    // current archive as it was; a zip enables everything; a program only
    // CONVERT and RESET.
    void openingFiles()
    {
        open();
        const QString dir = tmp.fresh();
        writeFile(dir + "/bad.zip", "this is not a zip at all, just text");
        w.form->appState().CurrentArchive = "/somewhere/else.zip";
        w.prompter.failOnUnexpected = false;
        openFile(dir + "/bad.zip");
        QVERIFY(!w.prompter.messages.isEmpty());
        QVERIFY(!page->SFXCreateButton->isEnabled());
        QVERIFY(!optionsEnabled());
        QCOMPARE(w.form->appState().CurrentArchive, QString("/somewhere/else.zip"));
        QCOMPARE(w.prompter.fileRequests.last().title, QString("Choose a zip file to Open"));
        QVERIFY(w.prompter.fileRequests.last().filter.startsWith("Zip and Self Extracting Files (*.zip *.exe)"));
        w.prompter.clear();

        const QString zip = zipIn(dir);
        openFile(zip);
        QVERIFY(optionsEnabled());
        QVERIFY(page->SFXCreateButton->isEnabled() && page->SFXResetButton->isEnabled());
        QCOMPARE(page->ZipFileNameLabel->text(), zip);
        QCOMPARE(w.form->appState().CurrentArchive, zip);
        QCOMPARE(w.settings().LastOpenFolder, dir);

        page->SFXResetButton->click();
        QVERIFY(!page->SFXCreateButton->isEnabled());
        QVERIFY(page->ZipFileNameLabel->text().isEmpty());

        QByteArray p = readFile(stubPath()) + QByteArray("MPV\0\0\1\x0c\0\0\0\0\0", 12) + readFile(zip);
        writeFile(dir + "/prog.exe", p);
        QCOMPARE(run("zip", {"-qA", dir + "/prog.exe"}).code, 0);
        openFile(dir + "/prog.exe");
        QVERIFY(page->SFXCreateButton->isEnabled() && page->SFXResetButton->isEnabled());
        QVERIFY(!optionsEnabled());
    }

    // Each option keeps the others consistent.
    void optionRules()
    {
        open();
        const QString dir = tmp.fresh();
        openFile(zipIn(dir));
        page->SetMessageType(2);
        page->SFXDirComboBox->setCurrentIndex(1);
        QCOMPARE(page->SelDirEdit->text(), QString("The Users Temporary Directory"));
        page->CancelAutoStartCheckBox->setChecked(true);
        page->ShowContentsCheckBox->setChecked(true);
        page->SuccessMessageCheckBox->setChecked(false);

        page->AutoUnzipCheckBox->setChecked(true);
        QCOMPARE(page->MessageType(), 0);
        QVERIFY(!page->CancelAutoStartCheckBox->isChecked());
        QVERIFY(!page->ShowContentsCheckBox->isChecked());
        QVERIFY(page->SuccessMessageCheckBox->isChecked());
        QCOMPARE(page->SFXDirComboBox->currentIndex(), 0);
        QCOMPARE(page->SelDirEdit->text(), QString("The Users Currently Open Folder"));

        // Each of these unticks auto-unzip again.
        const std::function<void()> undo[] = {
            [this] { page->SetMessageType(3); },
            [this] { page->ShowContentsCheckBox->setChecked(true); },
            [this] { page->SuccessMessageCheckBox->setChecked(false); },
            [this] { page->CancelAutoStartCheckBox->setChecked(true); },
            [this] { page->SFXDirComboBox->setCurrentIndex(1); },
        };
        for (const auto& step : undo) {
            page->AutoUnzipCheckBox->setChecked(true);
            step();
            QVERIFY(!page->AutoUnzipCheckBox->isChecked());
        }

        // A selected folder: the chooser's folder, or back to the first item.
        w.prompter.answerFolder("/opt/target");
        page->SFXDirComboBox->setCurrentIndex(2);
        QCOMPARE(page->SelDirEdit->text(), QString("/opt/target"));
        QCOMPARE(w.prompter.fileRequests.last().title,
                 QString("SELECT THE FOLDER FOR SELF EXTRACTING ZIP FILE OPERATION ON THE USERS COMPUTER"));
        w.prompter.answerFolder(QString());
        page->SFXDirComboBox->setCurrentIndex(1);
        page->SFXDirComboBox->setCurrentIndex(2);
        QCOMPARE(page->SFXDirComboBox->currentIndex(), 0);
        QCOMPARE(page->SelDirEdit->text(), QString("The Users Currently Open Folder"));
    }

    // Auto-unzip renames the zip to "!" + its name; the program carries the
    // auto-run flags and no message; the page reports and disables itself.
    void convertWithAutoUnzip()
    {
        open();
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        openFile(zip);
        page->AutoUnzipCheckBox->setChecked(true);
        page->CaptionEdit->setText("Unpacker");
        page->SFXCreateButton->click();
        const QString exe = dir + "/!t.exe";
        QVERIFY(QFileInfo::exists(exe));
        QVERIFY(!QFileInfo::exists(zip));
        QVERIFY(!QFileInfo::exists(dir + "/!t.zip"));
        QCOMPARE(w.prompter.lastText(), SfxTexts::ConvertedToProgramText(zip));
        QVERIFY(w.prompter.lastText().startsWith("THE ZIP FILE \rt.zip\rWAS CONVERTED TO A SELF EXTRACTING ZIP FILE"));
        const QByteArray block = blockOf(exe);
        QCOMPARE(block.left(3), QByteArray("MPV"));
        // Auto-run and hidden overwrite box; size checked (bit 5 clear).
        QCOMPARE(uint8_t(block[3]), uint8_t(0x40 | 0x04));
        QCOMPARE(block.mid(9, 8), QByteArray("Unpacker"));
        QVERIFY(messageOf(block).isEmpty());
        QVERIFY(!page->SFXCreateButton->isEnabled());
        QCOMPARE(run("unzip", {"-tq", exe}).code, 0);

        // A zip whose name starts with "!" keeps it.
        const QString bang = zipIn(tmp.fresh(), "!own.zip");
        openFile(bang);
        page->AutoUnzipCheckBox->setChecked(true);
        page->SFXCreateButton->click();
        QVERIFY(QFileInfo::exists(QFileInfo(bang).path() + "/!own.exe"));
    }

    // Message kind 3 is stored as 0x02 + the text; kind 1 without text stores
    // nothing; the folder, the title default and the auto-start file.
    void convertWithOptions()
    {
        open();
        const QString dir = tmp.fresh();
        openFile(zipIn(dir));
        page->SetMessageType(3);
        page->MessageTextEdit->setText("Install it?");
        page->SFXDirComboBox->setCurrentIndex(1);
        page->AutoStartFileNameLabel->setText("docs\\b.txt");
        page->SuccessMessageCheckBox->setChecked(true);
        page->SFXCreateButton->click();
        QByteArray block = blockOf(dir + "/t.exe");
        QCOMPARE(messageOf(block), QByteArray("\x02" "Install it?"));
        // Ask command line, ask files, no success message; size checked.
        QCOMPARE(uint8_t(block[3]), uint8_t(0x01 | 0x02 | 0x80));
        QCOMPARE(block.mid(8, 25), QByteArray("\x18" "Self Extracting Zip File"));
        QCOMPARE(block.mid(33, 3), QByteArray("\x02><"));
        QCOMPARE(block.mid(36, 13), QByteArray("\x0c><docs\\b.txt"));

        // Back to a zip, then again with kind 1 and no text.
        w.prompter.clear();
        openFile(dir + "/t.exe");
        page->SFXCreateButton->click();
        QCOMPARE(w.prompter.lastText(), SfxTexts::ConvertedToZipText(dir + "/t.exe"));
        openFile(dir + "/t.zip");
        page->SetMessageType(1);
        page->SFXCreateButton->click();
        QVERIFY(messageOf(blockOf(dir + "/t.exe")).isEmpty());
    }

    // Select Icon: a 48x48 icon is refused and the previous one stays; a
    // 32x32 16-colour one goes into the engine and the settings.
    void icons()
    {
        open();
        const QString dir = tmp.fresh();
        QByteArray good = SfxIconImage::BuiltIn();
        good[60] = char(0x42);
        writeFile(dir + "/good.ico", good);
        QByteArray big = SfxIconImage::BuiltIn();
        big[6] = 48;
        big[7] = 48;
        writeFile(dir + "/big.ico", big);
        w.prompter.answerFile(dir + "/good.ico");
        page->SFXIconButtonClick();
        QCOMPARE(w.form->ZipEngine->SFXIcon, good);
        QCOMPARE(w.settings().SfxIconFile, dir + "/good.ico");
        QCOMPARE(w.settings().LastIconFolder, dir);
        QCOMPARE(w.prompter.fileRequests.last().title, QString("Select an Icon for the Self Extracting Zip File"));
        QVERIFY(!page->SFXIconImage->pixmap().isNull());
        w.prompter.answerFile(dir + "/big.ico");
        page->SFXIconButtonClick();
        QCOMPARE(w.prompter.lastText(),
                 QString("YOU MUST CHOOSE AN ICON THAT IS 32 BY 32 PIXELS AND WHICH CONTAINS ONLY 16 COLORS."));
        QCOMPARE(w.form->ZipEngine->SFXIcon, good);
        QCOMPARE(w.settings().SfxIconFile, dir + "/good.ico");
    }

    // The auto-start chooser lists the zip's entries; OK only with a row.
    void autoStartChooser()
    {
        open();
        const QString dir = tmp.fresh();
        openFile(zipIn(dir));
        bool okBefore = true;
        int rows = 0;
        w.prompter.onDialog([&](QDialog& d) {
            auto& f = static_cast<TSfxAutoStartForm&>(d);
            okBefore = f.OkButton->isEnabled();
            rows = f.AutoStartListView->topLevelItemCount();
            for (int i = 0; i < rows; ++i)
                if (f.AutoStartListView->topLevelItem(i)->text(0) == "b.txt")
                    f.AutoStartListView->topLevelItem(i)->setSelected(true);
            if (!f.OkButton->isEnabled())
                return int(QDialog::Rejected);
            f.OkButton->click();
            return f.result();
        });
        page->SelectAutoStartButton->click();
        QVERIFY(!okBefore);
        QVERIFY(rows >= 2);
        QCOMPARE(page->AutoStartFileNameLabel->text(), QString("docs\\b.txt"));

        // A root entry keeps its bare name; Cancel with a row takes it too.
        w.prompter.onDialog([&](QDialog& d) {
            auto& f = static_cast<TSfxAutoStartForm&>(d);
            for (int i = 0; i < f.AutoStartListView->topLevelItemCount(); ++i)
                if (f.AutoStartListView->topLevelItem(i)->text(0) == "a.txt")
                    f.AutoStartListView->topLevelItem(i)->setSelected(true);
            f.CancelButton->click();
            return f.result();
        });
        page->SelectAutoStartButton->click();
        QCOMPARE(page->AutoStartFileNameLabel->text(), QString("a.txt"));
    }

    // A zip listed on the unzip page is handed over when the user switches;
    // a program converted back is listed again on return.
    void handOverAndReturn()
    {
        open();
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        w.showPage(TForm1::UnzipPageIndex);
        w.prompter.answerFile(zip);
        w.form->UnzipPage->OpenUnzipButtonClick();
        QVERIFY(w.form->UnzipPage->RowCount() > 0);
        w.showPage(TForm1::SfxPageIndex);
        QCOMPARE(w.form->UnzipPage->RowCount(), 0);
        QCOMPARE(page->ZipFileNameLabel->text(), zip);
        QCOMPARE(w.form->ZipEngine->ZipFileName(), zip);
        QVERIFY(optionsEnabled());
        page->SFXCreateButton->click();
        QVERIFY(QFileInfo::exists(dir + "/t.exe"));

        openFile(dir + "/t.exe");
        page->SFXCreateButton->click();
        QVERIFY(w.form->appState().BatchState.ReloadOnReturn);
        QCOMPARE(w.form->appState().CurrentArchive, zip);
        QVERIFY(QFileInfo::exists(zip));
        w.showPage(TForm1::UnzipPageIndex);
        QVERIFY(!w.form->appState().BatchState.ReloadOnReturn);
        QVERIFY(w.form->UnzipPage->RowCount() > 0);
    }
};

QTEST_MAIN(TestSfxPage)
#include "test_sfx_page.moc"
