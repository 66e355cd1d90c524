#include "viewers/TThumbProgressForm.h"

#include "platform/Controls.h"
#include "viewers/TThumbThread.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

TThumbProgressForm::TThumbProgressForm(TThumbState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      state_(state)
{
    setObjectName(QStringLiteral("ThumbProgressForm"));
    setWindowTitle(QStringLiteral("Creating Thumbnails"));
    setFixedSize(300, 90);
    ProgressBar1 = Controls::ProgressBar(this, "ProgressBar1", 12, 14, 276, 18);
    StopButton = Controls::Button(this, "StopButton", QStringLiteral("Stop"), 112, 48, 75, 28);
    StopButton->setCursor(Qt::PointingHandCursor);
    connect(StopButton, &QPushButton::clicked, this, &TThumbProgressForm::StopButtonClick);
    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, &TThumbProgressForm::ShowProgress);
    poll_->start();
}

void TThumbProgressForm::ShowProgress()
{
    ProgressBar1->setRange(0, qMax(0, state_.Total.load()));
    ProgressBar1->setValue(state_.Progress.load());
}

void TThumbProgressForm::StopButtonClick()
{
    state_.ThumbStop = true;
}
