// Start-up links: the links dialog, the Start-menu folder chooser and the
// launchers they write.

#include "TestTools.h"
#include "XdgSandbox.h"
#include "ScriptedPrompter.h"

#include "shell/DesktopEntry.h"
#include "shell/StartupLinks.h"
#include "shell/TStartMenuTreeForm.h"
#include "shell/TStartmenuForm.h"
#include "shell/XdgFolders.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace testtools;

namespace {
QTreeWidgetItem* child(QTreeWidgetItem* parent, const QString& text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

void requireValid(const QString& desktopFile)
{
    QUARN_REQUIRE_PEER("desktop-file-validate");
    const Run v = run("desktop-file-validate", {desktopFile});
    QVERIFY2(v.code == 0 && v.out.isEmpty(), v.out + v.err);
}
} // namespace

class TestShellLinks : public QObject {
    Q_OBJECT
private slots:
    void longPathsAreShortenedAfterSeventyCharacters()
    {
        const QString seventy = "/" + QString(69, 'a');
        QCOMPARE(TStartMenuTreeForm::ShownPath(seventy), seventy);
        const QString tail = "c" + QString(31, 'd') + "e";
        const QString seventyOne = "/" + QString(34, 'b') + "XYZ" + tail;
        QCOMPARE(seventyOne.size(), 71);
        QCOMPARE(TStartMenuTreeForm::ShownPath(seventyOne), "/" + QString(34, 'b') + " ... " + tail);
        QCOMPARE(TStartMenuTreeForm::ShownPath(seventyOne).size(), 35 + 5 + 33);
    }

    void desktopFolderIsReadLikeXdgUserDir()
    {
        QUARN_REQUIRE_PEER("xdg-user-dir");
        XdgSandbox box;
        auto peer = [] { return run("xdg-user-dir", {"DESKTOP"}).outText().trimmed(); };
        QCOMPARE(Xdg::DesktopFolder(), box.home + "/Desktop");
        QCOMPARE(Xdg::DesktopFolder(), peer());
        writeFile(box.configHome + "/user-dirs.dirs",
                  "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
        QCOMPARE(Xdg::DesktopFolder(), box.home + "/Schreibtisch");
        QCOMPARE(Xdg::DesktopFolder(), peer());
        writeFile(box.configHome + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + box.root.path().toUtf8() + "/elsewhere\"\n");
        QCOMPARE(Xdg::DesktopFolder(), box.root.path() + "/elsewhere");
        QCOMPARE(Xdg::DesktopFolder(), peer());
    }

    void folderChooserTree()
    {
        XdgSandbox box;
        const QString apps = box.userApps();
        for (const char* d : {"Games", "Utilities/Archivers", "Utilities/Text", ".hidden"})
            QDir().mkpath(apps + "/" + d);
        writeFile(apps + "/other.desktop", "x");
        ScriptedPrompter prompter;
        TStartMenuTreeForm form(apps, prompter);
        QCOMPARE(form.windowTitle(), QStringLiteral("Choose a folder on the Start Menu in which to place the link to this program..."));
        QTreeWidget* tree = form.StartMenuTreeView;
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), apps);
        QCOMPARE(root->childCount(), 2);  // no hidden folder, no file
        QVERIFY(root->isExpanded() && root->child(0)->isExpanded());
        QTreeWidgetItem* utilities = child(root, "Utilities");
        QVERIFY(utilities && child(utilities, "Archivers") && child(utilities, "Text"));
        QCOMPARE(tree->currentItem(), root);
        QCOMPARE(form.PathEdit->text(), apps);

        // The root chosen: the link goes straight into the Start-menu folder.
        form.AcceptButton->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.ChosenFolder(), QString());

        // A deeper folder: its path relative to the Start-menu folder.
        QTreeWidgetItem* archivers = child(utilities, "Archivers");
        tree->setCurrentItem(archivers);
        QCOMPARE(form.PathEdit->text(), TStartMenuTreeForm::ShownPath(apps + "/Utilities/Archivers"));
        QVERIFY(form.AcceptButton->isEnabled());
        QCOMPARE(form.DisplayedPath(archivers), apps + "/Utilities/Archivers");
        form.AcceptButton->click();
        QCOMPARE(form.ChosenFolder(), QStringLiteral("Utilities/Archivers"));

        form.CollapseClick();
        QCOMPARE(tree->currentItem(), root);
        QVERIFY(root->isExpanded() && !utilities->isExpanded());
        form.ExpandClick();
        QVERIFY(utilities->isExpanded());
    }

    void folderChooserMakesNewFolders()
    {
        XdgSandbox box;
        const QString apps = box.userApps();
        QDir().mkpath(apps + "/Games");
        ScriptedPrompter prompter;
        TStartMenuTreeForm form(apps, prompter);
        QTreeWidget* tree = form.StartMenuTreeView;
        QTreeWidgetItem* games = child(tree->topLevelItem(0), "Games");
        tree->setCurrentItem(games);

        // Characters a folder name cannot hold are refused as they are typed.
        QTest::keyClicks(form.NewFolderEdit, "Ar/c\\h:i*v?e\"r<s>|");
        QCOMPARE(form.NewFolderEdit->text(), QStringLiteral("Archivers"));
        QTest::keyClick(form.NewFolderEdit, Qt::Key_Return);
        QVERIFY(QFileInfo(apps + "/Games/Archivers").isDir());
        QTreeWidgetItem* made = child(games, "Archivers");
        QVERIFY(made);
        QCOMPARE(tree->currentItem(), made);
        QCOMPARE(form.PathEdit->text(), TStartMenuTreeForm::ShownPath(apps + "/Games/Archivers"));

        // An existing folder: nothing happens. An empty name: nothing happens.
        tree->setCurrentItem(games);
        form.CreateFolderButton->click();
        QCOMPARE(games->childCount(), 1);
        form.NewFolderEdit->clear();
        form.CreateFolderButton->click();
        QCOMPARE(games->childCount(), 1);

        // A folder that cannot be made: the system's reason, the tree unchanged.
        QVERIFY(QDir(apps + "/Games").removeRecursively());
        form.NewFolderEdit->setText("New");
        tree->setCurrentItem(made);
        form.CreateFolderButton->click();
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages[0].kind, PromptKind::Error);
        QCOMPARE(prompter.messages[0].text, QStringLiteral("No such file or directory"));
        QCOMPARE(made->childCount(), 0);
    }

    void linksDialogPlacesLaunchers()
    {
        XdgSandbox box;
        const QString program = QCoreApplication::applicationFilePath();
        const QString desktop = box.home + "/Desktop";
        QDir().mkpath(desktop);
        ScriptedPrompter prompter;
        {
            TStartmenuForm form(program, prompter);
            QCOMPARE(form.windowTitle(), QStringLiteral("Insert a link onto the Windows Start Menu"));
            QCOMPARE(form.StartmenuCheckBox->text(), QStringLiteral("Check  this box to add a link to the Pop up Windows Start Menu"));
            QVERIFY(form.StartmenuCheckBox->isChecked() && form.OKButton->isEnabled());
            form.StartmenuCheckBox->click();
            QVERIFY(!form.OKButton->isEnabled());
            form.QuicklaunchCheckBox->click();
            QVERIFY(form.OKButton->isEnabled());
            form.QuicklaunchCheckBox->click();
            form.DesktopCheckBox->click();
            QVERIFY(form.OKButton->isEnabled());
            form.OKButton->click();
            QCOMPARE(form.result(), int(QDialog::Accepted));
        }
        const QString onDesktop = desktop + "/quarn.desktop";
        QVERIFY(QFileInfo(onDesktop).isExecutable());
        requireValid(onDesktop);
        QCOMPARE(DesktopEntry::Value(onDesktop, "Exec"), program + " %f");
        QCOMPARE(DesktopEntry::Value(onDesktop, "MimeType"), QString());  // a launcher opens no archives by itself
        QVERIFY(prompter.messages.isEmpty());

        // An existing launcher is never replaced.
        writeFile(onDesktop, "mine");
        QVERIFY(!StartupLinks::Create(program, StartupLinks::Place::Desktop, QString()));
        QCOMPARE(readFile(onDesktop), QByteArray("mine"));

        // The Start menu: the chooser's folder, or the Start-menu folder itself for the root.
        QDir().mkpath(box.userApps() + "/Utilities");
        auto startMenu = [&](const QString& pick) {
            prompter.onDialog([pick](QDialog& d) {
                auto* chooser = qobject_cast<TStartMenuTreeForm*>(&d);
                if (!chooser)
                    qFatal("the Start-menu folder chooser was expected");
                QTreeWidgetItem* root = chooser->StartMenuTreeView->topLevelItem(0);
                chooser->StartMenuTreeView->setCurrentItem(pick.isEmpty() ? root : child(root, pick));
                chooser->AcceptClick();
                return chooser->result();
            });
            TStartmenuForm form(program, prompter);
            form.OKButton->click();
        };
        startMenu("Utilities");
        QVERIFY(QFileInfo(box.userApps() + "/Utilities/quarn.desktop").isExecutable());
        QVERIFY(!QFileInfo::exists(box.userApps() + "/quarn.desktop"));
        startMenu(QString());
        QVERIFY(QFileInfo(box.userApps() + "/quarn.desktop").isExecutable());
        requireValid(box.userApps() + "/quarn.desktop");
        QVERIFY(prompter.allAnswersUsed());

        // Cancel in the chooser: no link.
        QVERIFY(QFile::remove(box.userApps() + "/Utilities/quarn.desktop"));
        prompter.onDialog([](QDialog& d) { d.reject(); return int(QDialog::Rejected); });
        {
            TStartmenuForm form(program, prompter);
            form.OKButton->click();
        }
        QVERIFY(!QFileInfo::exists(box.userApps() + "/Utilities/quarn.desktop"));

        // Quick Launch has no folder here: nothing is written anywhere.
        const QStringList before = filesBelow(box.root.path());
        {
            TStartmenuForm form(program, prompter);
            form.StartmenuCheckBox->click();
            form.QuicklaunchCheckBox->click();
            form.OKButton->click();
        }
        QCOMPARE(filesBelow(box.root.path()), before);
        // A link never leaves the place's folder.
        QVERIFY(!StartupLinks::Create(program, StartupLinks::Place::StartMenu, "../.."));
        QVERIFY(!StartupLinks::Create(program, StartupLinks::Place::StartMenu, box.root.path()));
        QCOMPARE(filesBelow(box.root.path()), before);
    }

    void startMenuThatCannotBeFound()
    {
        XdgSandbox box;
        writeFile(box.userApps(), "not a folder");
        ScriptedPrompter prompter;
        TStartmenuForm form(QCoreApplication::applicationFilePath(), prompter);
        form.OKButton->click();
        QCOMPARE(prompter.texts(), QStringList{"Windows returned an error when trying to locate the Start Menu directory.  "
                                               "The link to this program was not created."});
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestShellLinks t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_shell_links.moc"
