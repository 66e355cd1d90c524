// The engine's password dialog: its layout, its results, and the window
// installing it as the engine's password dialog for adding and extracting.

#include "ScriptedPrompter.h"
#include "TestTools.h"

#include "app/TForm1.h"
#include "app/TPasswordDlg.h"
#include "zipengine/TZipEngine.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testtools::writeFile;

namespace {

// A script for the next dialog: type `text` and press button `k` (0 OK, 1
// Cancel, 2 Cancel all, 3 Abort); `seen` records title, prompt and button count.
ScriptedPrompter::DialogScript typeAndPress(const QString& text, int k, QStringList* seen = nullptr)
{
    return [text, k, seen](QDialog& d) {
        auto& dlg = static_cast<TPasswordDlg&>(d);
        if (seen)
            *seen << (dlg.windowTitle() + "|" + dlg.PromptLabel->text() + "|" + QString::number(dlg.ButtonCount()));
        QTest::keyClicks(dlg.PasswordEdit, text);
        if (k < dlg.ButtonCount())
            dlg.Buttons[k]->click();
        return dlg.result();
    };
}

} // namespace

class TestPasswordDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> data_;
    ScriptedPrompter prompter_;

private slots:
    void init()
    {
        data_ = std::make_unique<QTemporaryDir>();
        QVERIFY(data_->isValid());
        for (const char* v : {"QUARN_DATA_DIR", "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(v, data_->path().toLocal8Bit());
        prompter_.clear();
        prompter_.failOnUnexpected = true;
    }

    void cleanup()
    {
        QVERIFY2(prompter_.allAnswersUsed(), "scripted answers left over");
        data_.reset();
    }

    void layout_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::newRow("OK, Cancel") << 2;
        QTest::newRow("with Cancel all") << 3;
        QTest::newRow("all four") << 4;
    }

    void layout()
    {
        QFETCH(int, buttons);
        TPasswordDlg dlg("Password", "Enter Password ", buttons);
        QCOMPARE(dlg.windowTitle(), QString("Password"));
        QCOMPARE(dlg.size(), QSize(124 * buttons + 35, 137));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QCOMPARE(dlg.font().family(), QString("Arial"));
        QCOMPARE(dlg.font().pixelSize(), 12);
        QVERIFY(dlg.font().bold());

        QCOMPARE(dlg.PromptLabel->text(), QString("Enter Password "));
        QCOMPARE(dlg.PromptLabel->geometry(), QRect(20, 8, 297, 18));
        QCOMPARE(dlg.PasswordEdit->geometry().topLeft(), QPoint(20, 40));
        QCOMPARE(dlg.PasswordEdit->width(), 124 * buttons - 10);
        QCOMPARE(dlg.PasswordEdit->echoMode(), QLineEdit::Password);
        QCOMPARE(dlg.PasswordEdit->maxLength(), 80);

        const QStringList captions{"&Ok", "&Cancel", "Cancel all", "Abort"};
        const QStringList names{"OkButton", "CancelButton", "CancelAllButton", "AbortButton"};
        QCOMPARE(dlg.findChildren<QPushButton*>().size(), buttons);
        for (int k = 0; k < buttons; ++k) {
            auto* b = dlg.findChild<QPushButton*>(names[k]);
            QVERIFY2(b, qPrintable(names[k]));
            QCOMPARE(b->text(), captions[k]);
            QCOMPARE(b->geometry(), QRect(20 + 124 * k, 72, 114, 28));
        }
    }

    // Adding offers AES-256 on a row of its own above the buttons; its state
    // comes back after OK only.
    void aesOffered()
    {
        TPasswordDlg plain("Password", "Enter Password ", 2);
        QVERIFY(!plain.AesCheckBox);
        QVERIFY(!plain.findChild<QCheckBox*>());
        TPasswordDlg dlg("Password", "Enter Password ", 2, nullptr, true);
        QCOMPARE(dlg.size(), QSize(124 * 2 + 35, 165));
        QCOMPARE(dlg.AesCheckBox->objectName(), QString("PasswordAesCheckBox"));
        QCOMPARE(dlg.AesCheckBox->text(), QString("Encrypt with AES-256"));
        QCOMPARE(dlg.AesCheckBox->geometry().topLeft(), QPoint(20, 70));
        QCOMPARE(dlg.Buttons[0]->geometry(), QRect(20, 100, 114, 28));
        QCOMPARE(dlg.Buttons[1]->geometry(), QRect(144, 100, 114, 28));

        for (const bool ok : {true, false}) {
            prompter_.onDialog([ok](QDialog& d) {
                auto& p = static_cast<TPasswordDlg&>(d);
                if (!p.AesCheckBox->isChecked())
                    return 0;
                p.AesCheckBox->setChecked(false);
                QTest::keyClicks(p.PasswordEdit, "pw");
                p.Buttons[ok ? 0 : 1]->click();
                return p.result();
            });
            bool aes = true;
            QString got;
            QCOMPARE(TPasswordDlg::Ask(prompter_, "Password", "Enter Password ", 2, got, nullptr, &aes), ok ? 1 : 2);
            QCOMPARE(aes, !ok);
        }
    }

    void buttonResults_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("entry");
        QTest::newRow("OK") << 0 << 1 << "s3cret";
        QTest::newRow("Cancel") << 1 << 2 << "";
        QTest::newRow("Cancel all") << 2 << 9 << "";
        QTest::newRow("Abort") << 3 << 3 << "";
        QTest::newRow("closed") << 4 << 2 << "";
    }

    void buttonResults()
    {
        QFETCH(int, button);
        QFETCH(int, result);
        QFETCH(QString, entry);
        prompter_.onDialog(typeAndPress("s3cret", button));
        QString got = "untouched";
        QCOMPARE(TPasswordDlg::Ask(prompter_, "Password", "Enter Password ", 4, got), result);
        QCOMPARE(got, entry);
    }

    void entryIsCutAtEightyCharacters()
    {
        prompter_.onDialog(typeAndPress(QString(100, 'x'), 0));
        QString got;
        QCOMPARE(TPasswordDlg::Ask(prompter_, "Password", "Enter Password ", 2, got), 1);
        QCOMPARE(got, QString(80, 'x'));
    }

    // The window's engine asks through the dialog: twice with OK and Cancel
    // for adding, once with OK, Cancel and Cancel all for extracting.
    void windowEngineAsksThroughTheDialog()
    {
        auto f = std::make_unique<TForm1>(prompter_, QStringList{});
        TZipEngine& e = *f->ZipEngine;
        const QString dir = data_->path();
        writeFile(dir + "/in/secret.txt", QByteArray(3000, 's') + "end");
        const QString zip = dir + "/locked.zip";

        QStringList seen;
        prompter_.onDialog(typeAndPress("Pa55", 0, &seen));
        prompter_.onDialog(typeAndPress("Pa55", 0, &seen));
        e.SetZipFileName(zip);
        e.AddOptions = TZipEngine::AddDirNames | TZipEngine::AddEncrypt;
        e.RootDir = dir + "/in";
        e.FSpecArgs = QStringList{"secret.txt"};
        e.Add();
        QCOMPARE(seen, (QStringList{"Password|Enter Password |2", "Password|Confirm Password |2"}));
        QVERIFY2(e.SuccessCount == 1, qPrintable(e.LastMessage));
        QCOMPARE(e.Count, 1);
        QVERIFY(e.Entries.at(0).Encrypted);
        // The entered password was used, not kept.
        QVERIFY(e.Password.isEmpty());

        seen.clear();
        prompter_.onDialog(typeAndPress("Pa55", 0, &seen));
        e.ExtrBaseDir = dir + "/out";
        e.FSpecArgs = QStringList{"*.*"};
        e.Extract();
        QCOMPARE(seen, QStringList{"Password|Enter Password |3"});
        QCOMPARE(e.SuccessCount, 1);
        QCOMPARE(testtools::readFile(dir + "/out/secret.txt"), testtools::readFile(dir + "/in/secret.txt"));
        f->DoCloseCode();
    }

    // Two different entries: the engine's mismatch message, and no archive.
    void windowEngineRejectsMismatchedPasswords()
    {
        auto f = std::make_unique<TForm1>(prompter_, QStringList{});
        TZipEngine& e = *f->ZipEngine;
        const QString dir = data_->path();
        writeFile(dir + "/in/a.txt", "a");
        prompter_.onDialog(typeAndPress("first", 0));
        prompter_.onDialog(typeAndPress("First", 0));
        e.SetZipFileName(dir + "/never.zip");
        e.AddOptions = TZipEngine::AddDirNames | TZipEngine::AddEncrypt;
        e.RootDir = dir + "/in";
        e.FSpecArgs = QStringList{"a.txt"};
        e.Add();
        QVERIFY(prompter_.texts().contains("Error - passwords do NOT match\nPassword ignored"));
        QCOMPARE(e.SuccessCount, 0);
        QVERIFY(!QFileInfo::exists(dir + "/never.zip"));
        f->DoCloseCode();
    }
};

QTEST_MAIN(TestPasswordDlg)
#include "test_passworddlg.moc"
