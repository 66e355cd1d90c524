#include "ScriptedPrompter.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Once the next modal file dialog is up, types `name` into its name field
// and presses its accept button; records what the dialog's options were.
struct DialogTyper {
    QString name;
    QFileDialog::Options options;
    bool seen = false;
    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }
    void poll()
    {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg) {
            QTimer::singleShot(10, [this] { poll(); });
            return;
        }
        seen = true;
        options = dlg->options();
        auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dlg->reject();
            return;
        }
        edit->setText(name);
        static_cast<QDialog*>(dlg)->accept();  // the dialog checks the name as its button would
    }
};

} // namespace

class TestPrompter : public QObject {
    Q_OBJECT
private slots:
    void lineBreaks()
    {
        QCOMPARE(displayText(QStringLiteral("A\rB\r\nC")), QStringLiteral("A\nB\nC"));
    }
    void scriptedAnswersInOrder()
    {
        ScriptedPrompter p;
        p.answer(PromptButton::No);
        p.answer(PromptButton::YesToAll);
        QCOMPARE(p.information(QStringLiteral("DONE")), PromptButton::Ok);
        QCOMPARE(p.question(QStringLiteral("Q1")), PromptButton::No);
        QCOMPARE(p.question(QStringLiteral("Q2"), PromptButtons::YesNoAll), PromptButton::YesToAll);
        QCOMPARE(p.texts(), (QStringList{"DONE", "Q1", "Q2"}));
        QVERIFY(p.allAnswersUsed());
    }
    void scriptedDialog()
    {
        ScriptedPrompter p;
        p.onDialog([](QDialog& d) {
            d.setWindowTitle(QStringLiteral("seen"));
            return 42;
        });
        QDialog dlg;
        dlg.setWindowTitle(QStringLiteral("Mine"));
        QCOMPARE(p.runDialog(dlg), 42);
        QCOMPARE(p.dialogTitles, QStringList{"Mine"});
    }

    // The production choosers, driven through Qt's own dialog.
    void saveDialogAddsTheDefaultEnding()
    {
        QTemporaryDir dir;
        QtPrompter p;
        DialogTyper typer{QStringLiteral("backup"), {}};
        typer.arm();
        FileDialogRequest r;
        r.startFolder = dir.path();
        r.filter = QStringLiteral("GZipped TAR Files (*.tar.gz)");
        r.defaultSuffix = QStringLiteral("tar.gz");
        QCOMPARE(p.saveFile(r), dir.filePath(QStringLiteral("backup.tar.gz")));
        QVERIFY(typer.seen);
    }
    void folderChooserAcceptsANewName()
    {
        QTemporaryDir dir;
        QtPrompter p;
        DialogTyper typer{QStringLiteral("made later"), {}};
        typer.arm();
        FileDialogRequest r;
        r.startFolder = dir.path();
        r.allowNewFolder = true;
        QCOMPARE(p.chooseFolder(r), dir.filePath(QStringLiteral("made later")));
        QVERIFY(typer.seen);
        // An existing folder is chosen as before.
        QDir(dir.path()).mkdir(QStringLiteral("there"));
        typer = DialogTyper{QStringLiteral("there"), {}};
        typer.arm();
        QCOMPARE(p.chooseFolder(r), dir.filePath(QStringLiteral("there")));
    }
    void openDialogCanLeaveLinksAlone()
    {
        QTemporaryDir dir;
        QFile::link(dir.filePath(QStringLiteral("target.zip")), dir.filePath(QStringLiteral("link.zip")));
        QFile f(dir.filePath(QStringLiteral("target.zip")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QtPrompter p;
        FileDialogRequest r;
        r.startFolder = dir.path();
        r.followLinks = false;
        DialogTyper typer{QStringLiteral("link.zip"), {}};
        typer.arm();
        QCOMPARE(p.openFile(r), dir.filePath(QStringLiteral("link.zip")));
        QVERIFY(typer.options.testFlag(QFileDialog::DontResolveSymlinks));
        r.followLinks = true;
        typer = DialogTyper{QStringLiteral("link.zip"), {}};
        typer.arm();
        p.openFile(r);
        QVERIFY(!typer.options.testFlag(QFileDialog::DontResolveSymlinks));
    }
};

QTEST_MAIN(TestPrompter)
#include "test_prompter.moc"
