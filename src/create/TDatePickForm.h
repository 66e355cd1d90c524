#pragma once
// The cut-off date dialog of the create and update pages: a month calendar
// stepped by year and month between January 1945 and today. Its result
// (exec() or Prompter::runDialog) is the chosen day as a whole day number
// counted from 30 December 1899, or -1 when cancelled.

#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QLineEdit;
class QPushButton;

class TDatePickForm : public QDialog {
    Q_OBJECT
public:
    // `today` is the day the dialog counts as today (tests fix it).
    explicit TDatePickForm(QWidget* parent = nullptr, const QDate& today = QDate::currentDate());

    QLineEdit* Edit1;
    QCalendarWidget* Calendar;
    QPushButton* PrevYearButton;
    QPushButton* nextyearButton;
    QPushButton* prevMonthButton;
    QPushButton* NextMonthButton;
    QPushButton* AcceptButton;  // "ACCEPT"
    QPushButton* CancelButton;  // "CANCEL"

    // The date the calendar shows.
    QDate ShownDate() const { return shown_; }
    // Shows `date` as a change of the calendar would (the rules below apply).
    void ShowDate(const QDate& date);

    void PrevYearButtonClick();
    void nextyearButtonClick();
    void prevMonthButtonClick();
    void NextMonthButtonClick();
    void AcceptButtonClick();
    void CancelButtonClick();

    // Day numbers counted from 30 December 1899 (day 0).
    static int DayNumber(const QDate& date);
    static QDate DateOfDayNumber(int day);
    // "June 5, 2024".
    static QString DateLine(const QDate& date);

    static constexpr int FirstYear = 1945;

    // Escape cancels like CANCEL (result -1).
    void reject() override;

private:
    // After every change: the clamp in today's month, the date line and the
    // four buttons' states.
    void CalendarChange();
    bool ShowsTodaysMonth() const;

    QDate today_;
    QDate shown_;
    bool changing_ = false;
};
