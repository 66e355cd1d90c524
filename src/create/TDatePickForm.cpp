#include "create/TDatePickForm.h"

#include "platform/Controls.h"

#include <QCalendarWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Controls;

namespace {
const QDate DayZero(1899, 12, 30);
} // namespace

TDatePickForm::TDatePickForm(QWidget* parent, const QDate& today)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      today_(today.isValid() ? today : QDate::currentDate())
{
    setObjectName(QStringLiteral("DatePickForm"));
    setWindowTitle(QStringLiteral("Select the cut off date for selecting files to include in the Zip File"));
    setFixedSize(470, 370);

    auto* text = Label(this, "Memo1",
                       QStringLiteral("You have chosen to only include files in your zip file which are newer \n"
                                      "than a certain date (perhaps for backup purposes).  Select the cut off \n"
                                      "date using the calendar below.  Only files which are newer than the cut \n"
                                      "off date will be included in the zip file..."),
                       10, 8, 450, 68);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Edit1 = ReadOnlyEdit(this, "Edit1", QString(), 10, 84, 220);

    Calendar = new QCalendarWidget(this);
    Calendar->setObjectName(QStringLiteral("Calendar"));
    Calendar->setGeometry(10, 114, 300, 200);
    Calendar->setFirstDayOfWeek(Qt::Sunday);
    Calendar->setNavigationBarVisible(false);
    Calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar->setMinimumDate(QDate(FirstYear, 1, 1));
    // The year buttons stop at today's year; the calendar's own keys stop there too.
    Calendar->setMaximumDate(QDate(today_.year(), 12, 31));

    auto* yearBox = new QGroupBox(QStringLiteral("YEAR"), this);
    yearBox->setObjectName(QStringLiteral("YearGroupBox"));
    yearBox->setGeometry(322, 114, 138, 60);
    PrevYearButton = Button(yearBox, "PrevYearButton", QStringLiteral("<"), 10, 24, 54, 26);
    nextyearButton = Button(yearBox, "nextyearButton", QStringLiteral(">"), 74, 24, 54, 26);

    auto* monthBox = new QGroupBox(QStringLiteral("MONTH"), this);
    monthBox->setObjectName(QStringLiteral("MonthGroupBox"));
    monthBox->setGeometry(322, 184, 138, 60);
    prevMonthButton = Button(monthBox, "prevMonthButton", QStringLiteral("<"), 10, 24, 54, 26);
    NextMonthButton = Button(monthBox, "NextMonthButton", QStringLiteral(">"), 74, 24, 54, 26);

    AcceptButton = Button(this, "AcceptButton", QStringLiteral("ACCEPT"), 280, 330, 85, 28);
    CancelButton = Button(this, "CancelButton", QStringLiteral("CANCEL"), 375, 330, 85, 28);
    AcceptButton->setDefault(true);

    connect(PrevYearButton, &QPushButton::clicked, this, &TDatePickForm::PrevYearButtonClick);
    connect(nextyearButton, &QPushButton::clicked, this, &TDatePickForm::nextyearButtonClick);
    connect(prevMonthButton, &QPushButton::clicked, this, &TDatePickForm::prevMonthButtonClick);
    connect(NextMonthButton, &QPushButton::clicked, this, &TDatePickForm::NextMonthButtonClick);
    connect(AcceptButton, &QPushButton::clicked, this, &TDatePickForm::AcceptButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TDatePickForm::CancelButtonClick);
    connect(Calendar, &QCalendarWidget::selectionChanged, this, [this] {
        if (!changing_)
            ShowDate(Calendar->selectedDate());
    });

    // Opening: the calendar shows today; nothing lies ahead of it.
    ShowDate(today_);
    nextyearButton->setEnabled(false);
    NextMonthButton->setEnabled(false);

    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

int TDatePickForm::DayNumber(const QDate& date)
{
    return int(DayZero.daysTo(date));
}

QDate TDatePickForm::DateOfDayNumber(int day)
{
    return DayZero.addDays(day);
}

QString TDatePickForm::DateLine(const QDate& date)
{
    static const char* const months[12] = {"January", "February", "March",     "April",   "May",      "June",
                                           "July",    "August",   "September", "October", "November", "December"};
    if (!date.isValid())
        return QString();
    return QString::fromLatin1(months[date.month() - 1]) + QLatin1Char(' ') + QString::number(date.day()) +
           QStringLiteral(", ") + QString::number(date.year());
}

bool TDatePickForm::ShowsTodaysMonth() const
{
    return shown_.year() == today_.year() && shown_.month() == today_.month();
}

void TDatePickForm::ShowDate(const QDate& date)
{
    if (!date.isValid())
        return;
    shown_ = qBound(Calendar->minimumDate(), date, Calendar->maximumDate());
    CalendarChange();
}

void TDatePickForm::CalendarChange()
{
    if (ShowsTodaysMonth() && shown_.day() > today_.day())
        shown_ = today_;
    changing_ = true;
    Calendar->setSelectedDate(shown_);
    Calendar->setCurrentPage(shown_.year(), shown_.month());
    changing_ = false;
    Edit1->setText(DateLine(shown_));
    nextyearButton->setEnabled(shown_.year() != today_.year());
    PrevYearButton->setEnabled(shown_.year() > FirstYear);
    prevMonthButton->setEnabled(!(shown_.year() == FirstYear && shown_.month() == 1));
    NextMonthButton->setEnabled(!ShowsTodaysMonth());
}

void TDatePickForm::PrevYearButtonClick()
{
    ShowDate(shown_.addYears(-1));
}

void TDatePickForm::nextyearButtonClick()
{
    ShowDate(shown_.addYears(1));
}

void TDatePickForm::prevMonthButtonClick()
{
    ShowDate(shown_.addMonths(-1));
}

void TDatePickForm::NextMonthButtonClick()
{
    if (ShowsTodaysMonth()) {
        NextMonthButton->setEnabled(false);
        return;
    }
    ShowDate(shown_.addMonths(1));
}

void TDatePickForm::AcceptButtonClick()
{
    done(DayNumber(shown_));
}

void TDatePickForm::CancelButtonClick()
{
    done(-1);
}

void TDatePickForm::reject()
{
    done(-1);
}
