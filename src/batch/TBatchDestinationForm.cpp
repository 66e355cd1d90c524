#include "batch/TBatchDestinationForm.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
void centreOnScreen(QDialog* d)
{
    d->adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen())
        d->move(s->availableGeometry().center() - d->rect().center());
}

QRadioButton* radio(QGroupBox* group, const char* name, const QString& caption)
{
    auto* r = new QRadioButton(caption, group);
    r->setObjectName(QString::fromLatin1(name));
    group->layout()->addWidget(r);
    return r;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

TBatchDestinationForm::TBatchDestinationForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("BatchDestinationForm"));
    setWindowTitle(QStringLiteral("Select Destination for Unzipped files"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    DestinationRadioGroup = new QGroupBox(QStringLiteral("Select the folder for the unzipped files"), this);
    DestinationRadioGroup->setObjectName(QStringLiteral("DestinationRadioGroup"));
    new QVBoxLayout(DestinationRadioGroup);
    SameFolderRadioButton = radio(DestinationRadioGroup, "SameFolderRadioButton",
                                  QStringLiteral("Unzip the files into the same folder where the zip file was found"));
    ChooseFolderRadioButton = radio(DestinationRadioGroup, "ChooseFolderRadioButton",
                                    QStringLiteral("I want to select the folder where the unzipped files will be placed"));
    SameFolderRadioButton->setChecked(true);
    layout->addWidget(DestinationRadioGroup);

    OKButton = button(this, "OKButton", QStringLiteral("OK"));
    OKButton->setDefault(true);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(ItemIndex() + 1); });

    centreOnScreen(this);
}

int TBatchDestinationForm::ItemIndex() const
{
    if (SameFolderRadioButton->isChecked())
        return 0;
    if (ChooseFolderRadioButton->isChecked())
        return 1;
    return -1;
}

TMoveOptionsForm::TMoveOptionsForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("MoveOptionsForm"));
    setWindowTitle(QStringLiteral("Move Zip File Folder Creation Options"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    ExplanationMemo = new QPlainTextEdit(this);
    ExplanationMemo->setObjectName(QStringLiteral("ExplanationMemo"));
    ExplanationMemo->setReadOnly(true);
    ExplanationMemo->setFrameShape(QFrame::NoFrame);
    ExplanationMemo->setPlainText(
        QStringLiteral("You have chosen to move the Zip files to a certain folder after unzipping them.  If you would "
                       "like to recreate the folders in which the zip file was originally found as a way of organizing "
                       "the zip files so you know which folder they originally belonged to check 'Recreate the folder "
                       "structure when moving zip file'.  If you just want to move the zip files to this new folder "
                       "without recreating the folder structure choose 'Do not create the folders when moving the zip "
                       "files.'") +
        QStringLiteral("\n\n") +
        QStringLiteral("Note that if you chose not to recreate the folder structure and two zip files have the same name "
                       "the program will create a folder such as 'Dupe01' to avoid overwriting the first zip file.  Also "
                       "zip files containing errors will be placed in a folder 'ZipError'."));
    ExplanationMemo->setMinimumSize(420, 170);
    layout->addWidget(ExplanationMemo);

    FolderCreationRadioGroup =
        new QGroupBox(QStringLiteral("Create the folder structure when moving Zip files to new folder?"), this);
    FolderCreationRadioGroup->setObjectName(QStringLiteral("FolderCreationRadioGroup"));
    new QVBoxLayout(FolderCreationRadioGroup);
    RecreateRadioButton = radio(FolderCreationRadioGroup, "RecreateRadioButton",
                                QStringLiteral("Recreate the folder structure when moving Zip file"));
    FlatRadioButton = radio(FolderCreationRadioGroup, "FlatRadioButton",
                            QStringLiteral("Do not create folders when moving zip files."));
    RecreateRadioButton->setChecked(true);
    layout->addWidget(FolderCreationRadioGroup);

    auto* buttons = new QHBoxLayout;
    OKButton = button(this, "OKButton", QStringLiteral("OK"));
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton", QStringLiteral("Cancel"));
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(OkResult); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(CancelResult); });

    centreOnScreen(this);
}

bool TMoveOptionsForm::RecreateChosen() const
{
    return RecreateRadioButton->isChecked();
}

void TMoveOptionsForm::reject()
{
    done(CancelResult);
}
