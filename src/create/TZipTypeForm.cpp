#include "create/TZipTypeForm.h"

#include "platform/Controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace Controls;

namespace {
QGroupBox* RadioBox(QWidget* parent, const QString& title, const QStringList& captions, QList<QRadioButton*>& items,
                    QButtonGroup*& group, int x, int y, int w)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QStringLiteral("RadioGroup1"));
    box->setGeometry(x, y, w, 30 + 24 * int(captions.size()));
    group = new QButtonGroup(box);
    for (int i = 0; i < captions.size(); ++i) {
        auto* b = new QRadioButton(captions[i], box);
        b->setObjectName(QStringLiteral("RadioItem%1").arg(i));
        b->setGeometry(10, 22 + 24 * i, w - 20, 22);
        group->addButton(b, i);
        items << b;
    }
    items.first()->setChecked(true);
    return box;
}
} // namespace

// ---------------------------------------------------------------- type

TZipTypeForm::TZipTypeForm(bool offerGz, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ZipTypeForm"));
    setWindowTitle(QStringLiteral("Select the File type to create..."));
    QStringList captions{QStringLiteral("Create a standard ZIP file ( .zip)"),
                         QStringLiteral("Create a GZipped Tar Ball ( *.tar.gz)"),
                         QStringLiteral("Create a Tar Ball ( *.tar)")};
    if (offerGz)
        captions << QStringLiteral("Create a GZ file ( *.gz)");
    RadioGroup1 = RadioBox(this, QStringLiteral("Create the following file type ..."), captions, Items, group_, 10, 10, 380);
    const int y = RadioGroup1->geometry().bottom() + 10;
    CheckBox1 = CheckBox(this, "CheckBox1", QStringLiteral("Set this file type as the default and do not ask again"), 10, y, 380);
    Label(this, "Label1", QStringLiteral("You can change this setting later on the Properties menu"), 10, y + 26, 380);
    Button1 = Button(this, "Button1", QStringLiteral("OK"), 160, y + 54, 80, 28);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TZipTypeForm::Button1Click);
    setFixedSize(400, y + 94);
}

int TZipTypeForm::ChosenType() const
{
    return group_->checkedId() + 1;
}

bool TZipTypeForm::SetAsDefault() const
{
    return CheckBox1->isChecked();
}

void TZipTypeForm::Button1Click()
{
    done(ChosenType());
}

// ---------------------------------------------------------------- span size

namespace {
constexpr qint64 SpanSizes[] = {678000000, 732000000, 542000000, 1508000};
}

TSpanSizeForm::TSpanSizeForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("SpanSizeForm"));
    setWindowTitle(QStringLiteral("Choose the maximuim size for each segment of the zip file "));
    RadioGroup1 = RadioBox(this, QString(),
                           {QStringLiteral("A Standard CD (650 MB)"), QStringLiteral("A 70 minute CD (700 MB)"),
                            QStringLiteral("A Rewritable CD (520 MB)"), QStringLiteral("A standard Floppy disk (1.44 MB)"),
                            QStringLiteral("A custom size")},
                           Items, group_, 10, 10, 300);
    const int y = RadioGroup1->geometry().bottom() + 10;
    CustomSizeEdit = new QSpinBox(this);
    CustomSizeEdit->setObjectName(QStringLiteral("CustomSizeEdit"));
    CustomSizeEdit->setRange(65536, 2000000000);
    CustomSizeEdit->setValue(65536);
    CustomSizeEdit->setGeometry(10, y + 20, 160, 24);
    CustomLabel1 = Label(this, "CustomLabel1", QStringLiteral("Set Custom Size in bytes"), 10, y, 200);
    CustomLabel2 = Label(this, "CustomLabel2", QStringLiteral("Max size approx 2 billion "), 180, y + 24, 150);
    Button1 = Button(this, "Button1", QStringLiteral("ACCEPT"), 110, y + 56, 90, 28);
    Button1->setDefault(true);
    connect(group_, &QButtonGroup::idClicked, this, &TSpanSizeForm::RadioGroup1Click);
    connect(Button1, &QPushButton::clicked, this, &TSpanSizeForm::Button1Click);
    setFixedSize(320, y + 96);
    RadioGroup1Click();
}

void TSpanSizeForm::RadioGroup1Click()
{
    const bool custom = group_->checkedId() == CustomItem;
    for (QWidget* w : {static_cast<QWidget*>(CustomSizeEdit), static_cast<QWidget*>(CustomLabel1),
                       static_cast<QWidget*>(CustomLabel2)}) {
        w->setVisible(custom);
        w->setEnabled(custom);
    }
}

qint64 TSpanSizeForm::ChosenSize() const
{
    const int i = group_->checkedId();
    if (i >= 0 && i < CustomItem)
        return SpanSizes[i];
    return CustomSizeEdit->value();
}

void TSpanSizeForm::Button1Click()
{
    accept();
}
