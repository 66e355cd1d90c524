// RAR archives on the unzip page: OPEN lists the file rows, UNZIP extracts
// the highlighted ones with the RAR replace question, the password prompt,
// the library's error boxes and the end-of-archive box; archives whose names
// are encrypted or that hold only folders say so. Also the other kinds
// libarchive reads (7z here), offered by the OPEN dialog's last filter.

#include "../rar/SolidRar4.h"
#include "PageFixture.h"

#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/TRarPasswordForm.h"

#include <QLineEdit>

namespace {

const QString NoReadable = QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ");
const QString AllDone = QStringLiteral("End of archive, All Done !");

QString sample(const QString& name) { return QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/") + name; }

} // namespace

class TestUnzipRar : public QObject {
    Q_OBJECT
    PageFixture f_;

    QStringList column(int col) const
    {
        QStringList l;
        for (int r = 0; r < f_.page->RowCount(); ++r)
            l << f_.page->UnzipListModel->item(r, col)->text();
        return l;
    }
    QString copy(const QString& name)
    {
        const QString to = f_.path(name);
        QFile::remove(to);
        if (!QFile::copy(sample(name), to))
            qFatal("cannot copy %s", qPrintable(name));
        return to;
    }
    // UNZIP into `dest`.
    void unzip(const QString& dest)
    {
        f_.prompter.answerFolder(dest);
        QTest::mouseClick(f_.page->UnzipButton, Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
    }
    void cleanup() { f_.finish(); }

    void commandLineOpensRar()
    {
        // The program is the registered opener of ".rar": a double-click lists it.
        const QString archive = copy("test_read_format_rar.rar");
        f_.form.reset();
        f_.form = std::make_unique<TForm1>(f_.prompter, QStringList{archive});
        f_.page = f_.form->UnzipPage;
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
        QCOMPARE(f_.page->RowCount(), 3);
        QCOMPARE(f_.form->appState().CurrentArchive, archive);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->UnzipListView->isEnabled());
    }

    void listsAndExtracts()
    {
        f_.open(copy("test_read_format_rar.rar"));
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
        // Folders are no rows; the link is.
        QCOMPARE(column(0), (QStringList{"test.txt", "testlink", "test.txt"}));
        QCOMPARE(column(3), (QStringList{"", "", "testdir\\"}));
        QCOMPARE(column(1), (QStringList{"20", "0", "20"}));
        QCOMPARE(f_.page->UnzipNumFilesEdit->text(), QStringLiteral("3"));
        QCOMPARE(f_.page->UnzipTotalFileSizeEdit->text(), QStringLiteral("40"));
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->TreeButton->isEnabled());
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{0, 1, 2}));

        const QString dest = f_.folder("out");
        f_.prompter.answer(PromptButton::Ok);
        unzip(dest);
        QCOMPARE(f_.prompter.texts(), QStringList{AllDone});
        QCOMPARE(testtools::readFile(dest + "/testdir/test.txt").size(), 20);
        QCOMPARE(testtools::readFile(dest + "/test.txt"), testtools::readFile(dest + "/testdir/test.txt"));
        QCOMPARE(QFileInfo(dest + "/testlink").symLinkTarget(), QFileInfo(dest + "/test.txt").absoluteFilePath());
    }

    void nothingHighlighted()
    {
        f_.open(copy("test_read_format_rar5_multiple_files.rar"));
        f_.page->UnzipListView->clearSelection();
        unzip(f_.folder("none"));
        QCOMPARE(f_.prompter.lastText(), QStringLiteral("YOU HAVE NOT SELECTED ANY FILES TO ADD TO THIS ZIP FILE"));
        QVERIFY(PageFixture::files(f_.path("none")).isEmpty());
    }

    // No to All at the first existing file skips every later existing file
    // without asking; the others are still extracted.
    void noToAll()
    {
        f_.open(copy("test_read_format_rar5_multiple_files.rar"));
        const QString dest = f_.folder("out");
        testtools::writeFile(dest + "/test1.bin", "mine 1");
        testtools::writeFile(dest + "/test3.bin", "mine 3");
        f_.prompter.answer(PromptButton::NoToAll);
        f_.prompter.answer(PromptButton::Ok);
        unzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 2);
        const QString question = f_.prompter.messages[0].text;
        QVERIFY2(question.startsWith(dest + "/test1.bin  0 KB  ") && question.contains("\r\rtest1.bin  4 KB  ")
                     && question.endsWith("\r\rTHE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r"
                                          "TO REPLACE THIS FILE CHOOSE  YES\r"
                                          "TO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL"),
                 qPrintable(question));
        QCOMPARE(f_.prompter.messages[1].text, AllDone);
        QCOMPARE(testtools::readFile(dest + "/test1.bin"), QByteArray("mine 1"));
        QCOMPARE(testtools::readFile(dest + "/test3.bin"), QByteArray("mine 3"));
        QCOMPARE(testtools::readFile(dest + "/test2.bin").size(), 4096);
        QCOMPARE(testtools::readFile(dest + "/test4.bin").size(), 4096);
    }

    // Cancelling the password prompt stops the walk quietly; the entry
    // before the encrypted one stays extracted.
    void cancelledPassword()
    {
        f_.open(copy("test_read_format_rar4_encrypted.rar"));
        const QString dest = f_.folder("out");
        QString title;
        f_.prompter.onDialog([&](QDialog& d) {
            title = d.windowTitle();
            auto* form = qobject_cast<TRarPasswordForm*>(&d);
            if (!form)
                return int(QDialog::Rejected);
            // OK on an empty field leaves the prompt open.
            QTest::mouseClick(form->OKButton, Qt::LeftButton);
            if (d.result() == QDialog::Accepted)
                return int(QDialog::Accepted);
            QTest::mouseClick(form->CancelButton, Qt::LeftButton);
            return d.result();
        });
        unzip(dest);
        QCOMPARE(title, QStringLiteral("Enter password"));
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
        QCOMPARE(PageFixture::files(dest), QStringList{"a.txt"});
    }

    // A password is passed on; the library still cannot decrypt, and says
    // so naming the entry, in one error box; nothing of it is written.
    void passwordGiven()
    {
        f_.open(copy("test_read_format_rar5_encrypted.rar"));
        const QString dest = f_.folder("out");
        f_.prompter.onDialog([](QDialog& d) {
            auto* form = qobject_cast<TRarPasswordForm*>(&d);
            if (!form)
                return int(QDialog::Rejected);
            if (form->PasswordEdit->echoMode() != QLineEdit::Password)
                return int(QDialog::Rejected);
            form->PasswordEdit->setText("password");
            QTest::mouseClick(form->OKButton, Qt::LeftButton);
            return d.result();
        });
        f_.prompter.answer(PromptButton::Ok);
        unzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 1);
        QVERIFY2(f_.prompter.lastText().startsWith("b.txt is encrypted"), qPrintable(f_.prompter.lastText()));
        QCOMPARE(f_.form->UnzipPage->RarPassword, QStringLiteral("password"));
        QCOMPARE(PageFixture::files(dest), QStringList{"a.txt"});
    }

    // An entry of a solid RAR 4 archive past the first: one error box names
    // it and the reason, and nothing of it is written.
    void solidEntry()
    {
        const QString f = f_.path("solid.rar");
        testtools::writeFile(f, rartests::solidRar4(sample("test_read_format_rar4_solid_encrypted.rar")));
        f_.open(f);
        QCOMPARE(column(0), (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));
        PageFixture::select(f_.page->UnzipListView, {2});
        const QString dest = f_.folder("outsolid");
        f_.prompter.answer(PromptButton::Ok);
        unzip(dest);
        QCOMPARE(f_.prompter.messages.size(), 1);
        QVERIFY2(f_.prompter.lastText().startsWith("c.txt is in a solid RAR 4 archive"), qPrintable(f_.prompter.lastText()));
        QCOMPARE(PageFixture::files(dest), QStringList());
    }

    // Names that cannot be read: the reason, then the no-files message.
    void encryptedNames()
    {
        f_.open(copy("test_read_format_rar5_encrypted_filenames.rar"));
        QCOMPARE(f_.prompter.messages.size(), 2);
        QVERIFY(f_.prompter.messages[0].text.contains("encrypted"));
        QCOMPARE(f_.prompter.lastText(), NoReadable);
        QCOMPARE(f_.page->RowCount(), 0);
    }

    void otherKinds()
    {
        testtools::writeFile(f_.path("src/docs/a.txt"), "alpha");
        testtools::writeFile(f_.path("src/b.bin"), testtools::randomData(70000, 5));
        QCOMPARE(testtools::run("7z", {"a", "-bso0", f_.path("t.7z"), "."}, f_.path("src")).code, 0);
        f_.open(f_.path("t.7z"));
        QVERIFY(f_.prompter.fileRequests.last().filter.endsWith(";;Other archives (*.tar.xz *.tar.bz2 *.tar.zst *.tar.lz4 "
                                                               "*.tar.lzma *.txz *.tbz2 *.tbz *.tzst *.tlz *.7z *.iso *.cab "
                                                               "*.cpio *.deb *.ar *.rpm *.xz *.bz2 *.zst *.lz4 *.lzma)"));
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
        QCOMPARE(f_.page->RowCount(), 2);
        PageFixture::select(f_.page->UnzipListView, {static_cast<int>(column(0).indexOf("a.txt"))});
        const QString dest = f_.folder("out7z");
        unzip(dest);
        QCOMPARE(PageFixture::files(dest), QStringList{"docs/a.txt"});
        QCOMPARE(testtools::readFile(dest + "/docs/a.txt"), QByteArray("alpha"));
        QCOMPARE(f_.prompter.lastText(), success("t.7z", dest));
    }

    // An archive of folders only (made here: RAR 5 blocks around one folder).
    void foldersOnly()
    {
        const QString archive = f_.path("folders.rar");
        const testtools::Run r = testtools::python(R"(
import sys, zlib, struct
def vint(n):
    out = b''
    while True:
        b = n & 0x7f; n >>= 7
        out += bytes([b | (0x80 if n else 0)])
        if not n: return out
def block(body):
    data = vint(len(body)) + body
    return struct.pack('<I', zlib.crc32(data)) + data
name = b'only/folder'
main = vint(1) + vint(0) + vint(0)
entry = vint(2) + vint(0) + vint(1) + vint(0) + vint(0o40755) + vint(0) + vint(1) + vint(len(name)) + name
end = vint(5) + vint(0) + vint(0)
open(sys.argv[1], 'wb').write(b'Rar!\x1a\x07\x01\x00' + block(main) + block(entry) + block(end))
)", {archive});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        f_.open(archive);
        QCOMPARE(f_.prompter.texts(), QStringList{NoReadable});
        QCOMPARE(f_.page->RowCount(), 0);
        QVERIFY(!f_.page->UnzipButton->isEnabled());
    }
};

QTEST_MAIN(TestUnzipRar)
#include "test_unzip_rar.moc"
