#include "viewers/TThumbsizeForm.h"

#include "platform/Controls.h"

#include <QPushButton>
#include <QSpinBox>

TThumbsizeForm::TThumbsizeForm(int current, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("ThumbsizeForm"));
    setWindowTitle(QStringLiteral("Choose Thumbnail Size"));
    setFixedSize(230, 110);
    Controls::Label(this, "Label1", QStringLiteral("Choose Thumbnail Size"), 12, 12);
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(16, 256);
    SpinEdit1->setValue(current);
    SpinEdit1->setGeometry(12, 36, 80, 24);
    OKButton = Controls::Button(this, "OKButton", QStringLiteral("OK"), 36, 72, 75, 28);
    CancelButton = Controls::Button(this, "CancelButton", QStringLiteral("Cancel"), 120, 72, 75, 28);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] {
        SpinEdit1->interpretText();
        done(SpinEdit1->value());
    });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(Cancelled); });
}
