#include "create/TUpdatePage.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace Controls;

TUpdatePage::TUpdatePage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent)
    : QWidget(parent), host_(host), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("UpdatePage"));

    Step1Panel = Panel(this, "UpdateStep1Panel", 4, 4, 300, 58);
    Label(Step1Panel, nullptr, QStringLiteral("Step 1...."), 6, 3);
    OpenUpdateButton = Button(Step1Panel, "OpenUpdateButton", QStringLiteral("OPEN"), 6, 24, 80, 28);
    UpdateResetButton = Button(Step1Panel, "UpdateResetButton", QStringLiteral("RESET"), 90, 24, 76, 28);
    Button1 = Button(Step1Panel, "Button1", QStringLiteral("Properties"), 170, 24, 84, 28);

    Step2Panel = Panel(this, "UpdateStep2Panel", 4, 66, 320, 58);
    Label(Step2Panel, nullptr, QStringLiteral("Step 2...."), 6, 3);
    OpenFilesUpdateButton = Button(Step2Panel, "OpenFilesUpdateButton", QStringLiteral("ADD FILES"), 6, 24, 96, 28);
    AddfolderUpdatebutton = Button(Step2Panel, "AddfolderUpdatebutton", QStringLiteral("ADD FOLDER"), 106, 24, 100, 28);
    UpdateDeleteButton = Button(Step2Panel, "UpdateDeleteButton", QStringLiteral("DELETE"), 210, 24, 90, 28);
    UpdateHelpButton = Button(this, "UpdateHelpButton", QStringLiteral("HELP"), 420, 90, 75, 28);
    UpdateExitButton = Button(this, "UpdateExitButton", QStringLiteral("EXIT"), 504, 90, 75, 28);

    UpdateListView = ReportView(this, "UpdateListView",
                                {QStringLiteral("File "), QStringLiteral("Size"), QStringLiteral("Date"),
                                 QStringLiteral("Path")},
                                {150, 120, 128, 600}, &UpdateListModel);
    UpdateListView->setGeometry(4, 128, 570, 187);

    UpdateTotalsPanel = Panel(this, "UpdateTotalsPanel", 4, 319, 570, 36);
    Label(UpdateTotalsPanel, nullptr, QStringLiteral("Number of files : "), 6, 9);
    UpDateNumFilesEdit = ReadOnlyEdit(UpdateTotalsPanel, "UpDateNumFilesEdit", QStringLiteral("0"), 112, 7, 70);
    Label(UpdateTotalsPanel, nullptr, QStringLiteral("Total File Size :"), 190, 9);
    UpdatetotalFileSizeEdit = ReadOnlyEdit(UpdateTotalsPanel, "UpdatetotalFileSizeEdit", QStringLiteral("0"), 290, 7, 110);
    UpdateStatusBar = StatusBar(UpdateTotalsPanel, "UpdateStatusBar", 406, 7, 158);
    UpdateProgressBar = ProgressBar(this, "UpdateProgressBar", 4, 359, 570);

    SetZipButtonsEnabled(false);

    connect(OpenUpdateButton, &QPushButton::clicked, this, &TUpdatePage::OpenUpdateButtonClick);
    connect(OpenFilesUpdateButton, &QPushButton::clicked, this, &TUpdatePage::OpenFilesUpdateButtonClick);
    connect(AddfolderUpdatebutton, &QPushButton::clicked, this, &TUpdatePage::AddfolderUpdatebuttonClick);
    connect(UpdateDeleteButton, &QPushButton::clicked, this, &TUpdatePage::UpdateDeleteButtonClick);
    connect(UpdateResetButton, &QPushButton::clicked, this, &TUpdatePage::UpdateResetButtonClick);
    connect(Button1, &QPushButton::clicked, this, &TUpdatePage::Button1Click);
}

int TUpdatePage::RowCount() const
{
    return UpdateListModel->rowCount();
}

void TUpdatePage::FormResize(int W, int H)
{
    Controls::PlaceAt(UpdateTotalsPanel, H - 140, W - 51);
    Controls::PlaceAt(UpdateProgressBar, H - 100, W - 51);
    UpdateListView->resize(W - 51, H - 272);
}

bool TUpdatePage::ArchiveLoaded() const
{
    return UpdateResetButton->isEnabled();
}

void TUpdatePage::ClearList()
{
    UpdateListModel->removeRows(0, UpdateListModel->rowCount());
    UpdateListTotal = 0;
    UpDateNumFilesEdit->setText(QStringLiteral("0"));
    UpdatetotalFileSizeEdit->setText(QStringLiteral("0"));
}

void TUpdatePage::SetZipButtonsEnabled(bool on)
{
    for (QPushButton* b : {OpenFilesUpdateButton, AddfolderUpdatebutton, UpdateDeleteButton, UpdateResetButton})
        b->setEnabled(on);
}

void TUpdatePage::ShowTotals()
{
    UpDateNumFilesEdit->setText(AddCommas(RowCount()));
    UpdatetotalFileSizeEdit->setText(AddCommas(UpdateListTotal));
}
