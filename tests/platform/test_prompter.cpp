#include "ScriptedPrompter.h"
#include "platform/Prompter.h"

#include <QDialog>
#include <QTest>

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
};

QTEST_MAIN(TestPrompter)
#include "test_prompter.moc"
