// The cut-off date dialog: opening state, stepping by year and month, the
// limits of January 1945 and today, the clamp in today's month, the result.

#include "ScriptedPrompter.h"

#include "create/TDatePickForm.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const QDate Today(2025, 6, 15);

// PrevYear, nextyear, prevMonth, NextMonth enabled states.
QList<bool> buttons(const TDatePickForm& f)
{
    return {f.PrevYearButton->isEnabled(), f.nextyearButton->isEnabled(), f.prevMonthButton->isEnabled(),
            f.NextMonthButton->isEnabled()};
}
} // namespace

class TestDatePick : public QObject {
    Q_OBJECT
private slots:
    void dayNumbers()
    {
        QCOMPARE(TDatePickForm::DayNumber(QDate(1899, 12, 30)), 0);
        QCOMPARE(TDatePickForm::DayNumber(QDate(1900, 1, 1)), 2);
        QCOMPARE(TDatePickForm::DayNumber(QDate(2025, 6, 15)), 45823);
        QCOMPARE(TDatePickForm::DateOfDayNumber(45823), QDate(2025, 6, 15));
        QCOMPARE(TDatePickForm::DateLine(QDate(1945, 1, 7)), QStringLiteral("January 7, 1945"));
        QCOMPARE(TDatePickForm::DateLine(QDate(2024, 12, 31)), QStringLiteral("December 31, 2024"));
    }

    void opensOnToday()
    {
        TDatePickForm f(nullptr, Today);
        QCOMPARE(f.windowTitle(), QStringLiteral("Select the cut off date for selecting files to include in the Zip File"));
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(f.ShownDate(), Today);
        QCOMPARE(f.Calendar->selectedDate(), Today);
        QCOMPARE(f.Calendar->firstDayOfWeek(), Qt::Sunday);
        QCOMPARE(f.Edit1->text(), QStringLiteral("June 15, 2025"));
        QVERIFY(f.Edit1->isReadOnly());
        QCOMPARE(buttons(f), (QList<bool>{true, false, true, false}));
        QCOMPARE(f.AcceptButton->text(), QStringLiteral("ACCEPT"));
        QCOMPARE(f.CancelButton->text(), QStringLiteral("CANCEL"));
    }

    void steppingAndClamp()
    {
        TDatePickForm f(nullptr, Today);
        // Back a month, forward again: the day stays.
        QTest::mouseClick(f.prevMonthButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(2025, 5, 15));
        QCOMPARE(buttons(f), (QList<bool>{true, false, true, true}));
        f.ShowDate(QDate(2025, 5, 31));
        // Into today's month with a day after today: the day becomes today's.
        QTest::mouseClick(f.NextMonthButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), Today);
        QCOMPARE(buttons(f), (QList<bool>{true, false, true, false}));
        // A day picked in the calendar after today is clamped as well.
        f.Calendar->setSelectedDate(QDate(2025, 6, 28));
        QCOMPARE(f.ShownDate(), Today);
        QCOMPARE(f.Edit1->text(), QStringLiteral("June 15, 2025"));

        // A year back: next year comes on, and a later month of last year
        // stepped forward by a year lands after today's month, unclamped.
        QTest::mouseClick(f.PrevYearButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(2024, 6, 15));
        QCOMPARE(buttons(f), (QList<bool>{true, true, true, true}));
        f.ShowDate(QDate(2024, 9, 20));
        QTest::mouseClick(f.nextyearButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(2025, 9, 20));
        QCOMPARE(f.Edit1->text(), QStringLiteral("September 20, 2025"));
        QCOMPARE(buttons(f), (QList<bool>{true, false, true, true}));
        // The same step from today's month of last year is clamped to today.
        f.ShowDate(QDate(2024, 6, 30));
        QTest::mouseClick(f.nextyearButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), Today);

        // A leap day stepped by a year keeps to the month.
        f.ShowDate(QDate(2024, 2, 29));
        QTest::mouseClick(f.PrevYearButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(2023, 2, 28));
    }

    void lowerLimit()
    {
        TDatePickForm f(nullptr, Today);
        f.ShowDate(QDate(1946, 2, 10));
        QCOMPARE(buttons(f), (QList<bool>{true, true, true, true}));
        QTest::mouseClick(f.PrevYearButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(1945, 2, 10));
        QCOMPARE(buttons(f), (QList<bool>{false, true, true, true}));
        QTest::mouseClick(f.prevMonthButton, Qt::LeftButton);
        QCOMPARE(f.ShownDate(), QDate(1945, 1, 10));
        QCOMPARE(buttons(f), (QList<bool>{false, true, false, true}));
        // Nothing earlier than 1945 can be shown.
        f.ShowDate(QDate(1930, 5, 1));
        QCOMPARE(f.ShownDate(), QDate(1945, 1, 1));
    }

    void results()
    {
        ScriptedPrompter prompter;
        TDatePickForm accept(nullptr, Today);
        prompter.onDialog([](QDialog& d) {
            auto& f = static_cast<TDatePickForm&>(d);
            QTest::mouseClick(f.prevMonthButton, Qt::LeftButton);
            QTest::mouseClick(f.AcceptButton, Qt::LeftButton);
            return f.result();
        });
        QCOMPARE(prompter.runDialog(accept), TDatePickForm::DayNumber(QDate(2025, 5, 15)));
        QCOMPARE(prompter.dialogTitles.last(), accept.windowTitle());

        TDatePickForm cancel(nullptr, Today);
        prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TDatePickForm&>(d).CancelButton, Qt::LeftButton);
            return d.result();
        });
        QCOMPARE(prompter.runDialog(cancel), -1);

        // Escape cancels too (not the dialog's plain "rejected" 0, which is a day).
        TDatePickForm escape(nullptr, Today);
        prompter.onDialog([](QDialog& d) {
            QTest::keyClick(&d, Qt::Key_Escape);
            return d.result();
        });
        QCOMPARE(prompter.runDialog(escape), -1);
        QVERIFY(prompter.allAnswersUsed());
    }
};

QTEST_MAIN(TestDatePick)
#include "test_datepick.moc"
