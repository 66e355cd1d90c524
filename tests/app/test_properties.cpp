// The options dialog: its rules between controls, OK, Cancel and Restore.

#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

class TestProperties : public QObject {
    Q_OBJECT

    int saves_ = 0;
    std::function<bool()> counter()
    {
        return [this] {
            ++saves_;
            return true;
        };
    }

private slots:
    void init() { saves_ = 0; }

    void pagesCaptionsAndButtons()
    {
        Settings s;
        TPropertiesForm d(s, counter());
        QCOMPARE(d.windowTitle(), QStringLiteral("Zip File Properties"));
        QCOMPARE(d.CurrentPageIndex(), int(TPropertiesForm::TarGzPage));
        const QStringList captions{"Default Program", "Startup Links   .", "UNZIP", "Tar GZ ",
                                   "Default Type",    "ADD Files",         "ZIP ",  "Viewer"};
        QCOMPARE(d.TabbedNotebook->count(), captions.size());
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(d.TabbedNotebook->tabText(i), captions[i]);
        for (int p = TPropertiesForm::UnzipPage; p <= TPropertiesForm::ZipPage; ++p) {
            QVERIFY(d.RestoreButton(p));
            QCOMPARE(d.RestoreButton(p)->text(), QStringLiteral("Restore"));
            QCOMPARE(d.OkButton(p)->text(), QStringLiteral("OK"));
            QCOMPARE(d.CancelButton(p)->text(), QStringLiteral("Cancel"));
            QCOMPARE(d.HelpButton(p)->text(), QStringLiteral("HELP"));
        }
        QVERIFY(!d.RestoreButton(TPropertiesForm::ViewerPage));
        QVERIFY(d.HelpButton(TPropertiesForm::ViewerPage));
        QVERIFY(d.findChild<QCheckBox*>(QStringLiteral("OverwriteCheckBox")));
        QVERIFY(d.findChild<QGroupBox*>(QStringLiteral("ZipTypeRadioGroup")));
        QVERIFY(d.SpanCheckBox->isHidden());
        QVERIFY(d.SaveUnzipDefaultCheckBox->isHidden());
    }

    void updateAndFreshenExcludeEachOther()
    {
        Settings s;
        s.ExtractFreshen = true;
        TPropertiesForm d(s, counter());
        QVERIFY(d.FreshenFilesCheckBox->isChecked());
        d.UpdateFilesCheckBox->click();
        QVERIFY(d.UpdateFilesCheckBox->isChecked());
        QVERIFY(!d.FreshenFilesCheckBox->isChecked());
        d.FreshenFilesCheckBox->click();
        QVERIFY(d.FreshenFilesCheckBox->isChecked());
        QVERIFY(!d.UpdateFilesCheckBox->isChecked());
        // Unchecking one leaves the other alone.
        d.FreshenFilesCheckBox->click();
        QVERIFY(!d.FreshenFilesCheckBox->isChecked());
        QVERIFY(!d.UpdateFilesCheckBox->isChecked());
        d.OkButton(TPropertiesForm::UnzipPage)->click();
        QVERIFY(!s.ExtractUpdate);
        QVERIFY(!s.ExtractFreshen);
    }

    void savingFoldersOffClearsItsDependents()
    {
        Settings s;
        TPropertiesForm d(s, counter());
        QVERIFY(d.RecurseFoldersCheckBox->isChecked());
        QVERIFY(d.RelativePathCheckBox->isChecked());
        d.SaveZipFoldersCheckBox->click();
        QVERIFY(!d.RecurseFoldersCheckBox->isChecked());
        QVERIFY(!d.RelativePathCheckBox->isChecked());
        // Turning it back on does not bring them back by itself.
        d.SaveZipFoldersCheckBox->click();
        QVERIFY(!d.RecurseFoldersCheckBox->isChecked());
    }

    void spanningEnablesErase()
    {
        Settings s;
        s.SpanDisks = true;
        s.EraseDisk = true;
        TPropertiesForm d(s, counter());
        QVERIFY(d.EraseDiskCheckBox->isEnabled());
        QVERIFY(d.EraseDiskCheckBox->isChecked());
        d.SpanCheckBox->setChecked(false);
        QVERIFY(!d.EraseDiskCheckBox->isEnabled());
        QVERIFY(!d.EraseDiskCheckBox->isChecked());
        d.SpanCheckBox->setChecked(true);
        QVERIFY(d.EraseDiskCheckBox->isEnabled());
        QVERIFY(!d.EraseDiskCheckBox->isChecked());

        Settings off;
        TPropertiesForm d2(off, counter());
        QVERIFY(!d2.EraseDiskCheckBox->isEnabled());
    }

    // The AES choice is open only with the password option, and OK keeps it.
    void aesGoesWithThePassword()
    {
        Settings s;
        TPropertiesForm d(s, counter());
        QCOMPARE(d.AesCheckBox->text(), QStringLiteral("Encrypt with AES-256 (older unzip programs cannot read it)"));
        QVERIFY(!d.AesCheckBox->isEnabled());
        d.AddPasswordCheckBox->setChecked(true);
        QVERIFY(d.AesCheckBox->isEnabled());
        d.AesCheckBox->setChecked(true);
        d.OkButton(TPropertiesForm::ZipPage)->click();
        QVERIFY(s.PasswordProtect);
        QVERIFY(s.AesEncryption);

        s.AddOptionsEditable = false;
        TPropertiesForm locked(s, counter());
        QVERIFY(!locked.AesCheckBox->isEnabled());
        QVERIFY(locked.AesCheckBox->isChecked());
    }

    void addOptionsLockedWhileFilesAreListed()
    {
        Settings s;
        s.AddOptionsEditable = false;
        TPropertiesForm d(s, counter());
        for (QCheckBox* c : {d.SaveZipFoldersCheckBox, d.RecurseFoldersCheckBox, d.RelativePathCheckBox,
                             d.ArchiveBitCheckBox, d.LongFileNamesCheckBox, d.AddPasswordCheckBox,
                             d.SetTimeCheckBox, d.OnlybyDateCheckBox})
            QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        QVERIFY(d.OverwriteCheckBox->isEnabled());
        QVERIFY(d.SelectAllCheckBox->isEnabled());
    }

    void archiveTypeOutOfRangeShowsAsk()
    {
        Settings s;
        s.DefaultArchiveType = 9;
        TPropertiesForm d(s, counter());
        QCOMPARE(d.ZipTypeButtons->checkedId(), 0);
        s.DefaultArchiveType = 4;
        d.LoadControls();
        QCOMPARE(d.ZipTypeButtons->checkedId(), 4);
    }

    void okCopiesEveryPageAndSaves()
    {
        Settings s;
        TPropertiesForm d(s, counter());
        d.OverwriteCheckBox->setChecked(true);
        d.ShortGZPathCheckBox->setChecked(false);
        d.ZipTypeButtons->button(2)->click();
        d.SelectAllCheckBox->setChecked(false);
        d.LongFileNamesCheckBox->setChecked(false);
        d.PictureButtons->button(1)->click();
        d.PictureFitButtons->button(1)->click();
        d.OkButton(TPropertiesForm::ViewerPage)->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(saves_, 1);
        QVERIFY(s.ExtractOverwrite);
        QVERIFY(!s.ShortGzipPaths);
        QCOMPARE(s.DefaultArchiveType, 2);
        QVERIFY(!s.SelectAllOnLoad);
        QVERIFY(!s.LongNames);
        QVERIFY(!s.ImageViewerOnClick);
        QVERIFY(!s.FitImageToScreen);
        // The record keeps what the dialog does not show.
        Settings expected;
        expected.ExtractOverwrite = true;
        expected.ShortGzipPaths = false;
        expected.DefaultArchiveType = 2;
        expected.SelectAllOnLoad = false;
        expected.LongNames = false;
        expected.ImageViewerOnClick = false;
        expected.FitImageToScreen = false;
        QVERIFY(s == expected);
    }

    void cancelCopiesNothing()
    {
        Settings s;
        s.LastOpenFolder = QStringLiteral("/x");
        const Settings before = s;
        TPropertiesForm d(s, counter());
        d.OverwriteCheckBox->setChecked(true);
        d.ZipTypeButtons->button(0)->click();
        d.CancelButton(TPropertiesForm::ZipPage)->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(saves_, 0);
        QVERIFY(s == before);
    }

    void restorePutsDefaultsBackAndStaysOpen()
    {
        Settings s;
        s.ExtractFolderNames = false;
        s.ExtractOverwrite = true;
        s.SaveFolders = false;
        s.TarAttributes = true;
        s.DefaultArchiveType = 0;
        s.ImageViewerOnClick = false;
        s.LastAddFolder = QStringLiteral("/kept");
        s.ThumbnailSize = 128;
        TPropertiesForm d(s, counter());
        d.show();
        d.SelectPage(TPropertiesForm::AddFilesPage);
        d.RestoreButton(TPropertiesForm::AddFilesPage)->click();
        QVERIFY(d.isVisible());
        QCOMPARE(saves_, 1);
        QVERIFY(s.ExtractFolderNames);
        QVERIFY(!s.ExtractOverwrite);
        QVERIFY(s.SaveFolders);
        QVERIFY(!s.TarAttributes);
        QCOMPARE(s.DefaultArchiveType, 1);
        QVERIFY(s.ImageViewerOnClick);
        QCOMPARE(s.LastAddFolder, QStringLiteral("/kept"));
        // The controls show the restored values.
        QVERIFY(d.UnzipFoldersCheckbox->isChecked());
        QVERIFY(!d.OverwriteCheckBox->isChecked());
        QVERIFY(d.SaveZipFoldersCheckBox->isChecked());
        QVERIFY(!d.TarAttrCheckBox->isChecked());
        QCOMPARE(d.ZipTypeButtons->checkedId(), 1);
        QCOMPARE(d.PictureButtons->checkedId(), 0);
        // A later Cancel keeps what Restore saved.
        d.CancelButton(TPropertiesForm::AddFilesPage)->click();
        QCOMPARE(s.DefaultArchiveType, 1);
    }
};

QTEST_MAIN(TestProperties)
#include "test_properties.moc"
