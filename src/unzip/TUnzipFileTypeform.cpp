#include "unzip/TUnzipFileTypeform.h"

#include "platform/Controls.h"
#include "platform/Platform.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

using namespace Controls;

TUnzipFileTypeform::TUnzipFileTypeform(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("UnzipFileTypeform"));
    setWindowTitle(QStringLiteral("Unzip File Display Filter"));
    setFixedSize(340, 470);

    Label(this, nullptr, QStringLiteral("Using the options below you can filter the way the results are displayed"), 10, 8, 320);
    Label(this, nullptr, QStringLiteral("in the Unzip file display window..."), 10, 26, 320);

    FileTypeCheckBox = CheckBox(this, "FileTypeCheckBox", QStringLiteral("Select File types to show in the display"), 10, 52, 320);
    ListView = ReportView(this, "ListView", {QStringLiteral("File Types")}, {295}, &ListModel);
    ListView->setGeometry(10, 76, 320, 190);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setEnabled(false);

    MatchCheckBox = CheckBox(this, "MatchCheckBox", QStringLiteral("Match this search pattern"), 10, 276, 320);
    Edit = Controls::Edit(this, "Edit", 10, 300, 320);
    Edit->setEnabled(false);
    WholeWordCheckBox = CheckBox(this, "WholeWordCheckBox", QStringLiteral("Whole Word"), 10, 328, 150);
    CaseCheckBox = CheckBox(this, "CaseCheckBox", QStringLiteral("Case Sensitive"), 170, 328, 150);

    Label(this, nullptr, QStringLiteral("Display the entire zip file..."), 10, 362, 200);
    BitBtn2 = Button(this, "BitBtn2", QStringLiteral("Display All"), 10, 382, 110, 28);

    OKButton = Button(this, "OKButton", QStringLiteral("OK"), 10, 430, 95, 28);
    OKButton->setDefault(true);
    OKButton->setEnabled(false);
    UnzipHelpButton = Button(this, "UnzipHelpButton", QStringLiteral("HELP"), 122, 430, 95, 28);
    UnzipCloseButton = Button(this, "UnzipCloseButton", QStringLiteral("CANCEL"), 235, 430, 95, 28);

    OpenHelp = [] { Platform::OpenHelpPage(QStringLiteral("filter.html")); };

    connect(FileTypeCheckBox, &QCheckBox::clicked, this, &TUnzipFileTypeform::FileTypeCheckBoxClick);
    connect(MatchCheckBox, &QCheckBox::clicked, this, &TUnzipFileTypeform::MatchCheckBoxClick);
    // Ticking a box in the list is its click.
    connect(ListModel, &QStandardItemModel::itemChanged, this, [this] { ListViewClick(); });
    connect(OKButton, &QPushButton::clicked, this, &TUnzipFileTypeform::OKButtonClick);
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(DisplayAll); });
    connect(UnzipHelpButton, &QPushButton::clicked, this, [this] {
        if (OpenHelp)
            OpenHelp();
    });
    connect(UnzipCloseButton, &QPushButton::clicked, this, [this] { done(Cancel); });
    Edit->installEventFilter(this);
}

void TUnzipFileTypeform::AddTypeRow(const QString& caption, const QIcon& icon)
{
    auto* item = new QStandardItem(icon, caption);
    item->setCheckable(true);
    item->setCheckState(Qt::Unchecked);
    item->setEditable(false);
    int row = 0;
    while (row < ListModel->rowCount() && ListModel->item(row)->text() < caption)
        ++row;
    ListModel->insertRow(row, item);
}

int TUnzipFileTypeform::TypeRowCount() const
{
    return ListModel->rowCount();
}

bool TUnzipFileTypeform::SetTypeTicked(const QString& caption, bool ticked)
{
    for (int r = 0; r < ListModel->rowCount(); ++r) {
        QStandardItem* item = ListModel->item(r);
        if (item->text() == caption) {
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            return true;
        }
    }
    return false;
}

bool TUnzipFileTypeform::AnyTypeTicked() const
{
    for (int r = 0; r < ListModel->rowCount(); ++r)
        if (ListModel->item(r)->checkState() == Qt::Checked)
            return true;
    return false;
}

void TUnzipFileTypeform::FileTypeCheckBoxClick()
{
    if (FileTypeCheckBox->isChecked()) {
        ListView->setEnabled(true);
        if (!MatchCheckBox->isChecked())
            OKButton->setEnabled(AnyTypeTicked());
    } else {
        ListView->setEnabled(false);
        if (!MatchCheckBox->isChecked())
            OKButton->setEnabled(false);
        else if (Edit->text().isEmpty())
            OKButton->setEnabled(false);
    }
}

void TUnzipFileTypeform::MatchCheckBoxClick()
{
    if (MatchCheckBox->isChecked()) {
        Edit->setEnabled(true);
        if (!Edit->text().isEmpty())
            OKButton->setEnabled(true);
    } else {
        Edit->setEnabled(false);
        if (!FileTypeCheckBox->isChecked())
            OKButton->setEnabled(false);
        else
            OKButton->setEnabled(AnyTypeTicked());
    }
}

void TUnzipFileTypeform::ListViewClick()
{
    if (!MatchCheckBox->isChecked())
        OKButton->setEnabled(AnyTypeTicked());
}

void TUnzipFileTypeform::EditKeyUp(int key)
{
    const bool filled = !Edit->text().isEmpty();
    if (filled && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        OKButtonClick();
        return;
    }
    if (filled)
        OKButton->setEnabled(true);
    else if (FileTypeCheckBox->isChecked())
        OKButton->setEnabled(AnyTypeTicked());
}

void TUnzipFileTypeform::OKButtonClick()
{
    FilterTypes.clear();
    if (FileTypeCheckBox->isChecked())
        for (int r = 0; r < ListModel->rowCount(); ++r) {
            const QStandardItem* item = ListModel->item(r);
            if (item->checkState() == Qt::Checked)
                FilterTypes << item->text().section(QLatin1Char(' '), 0, 0).toLower();
        }
    FilterPattern = MatchCheckBox->isChecked() ? Edit->text() : QString();
    done(Accept);
}

void TUnzipFileTypeform::reject()
{
    done(Cancel);
}

bool TUnzipFileTypeform::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit && event->type() == QEvent::KeyRelease)
        EditKeyUp(static_cast<QKeyEvent*>(event)->key());
    return QDialog::eventFilter(watched, event);
}
