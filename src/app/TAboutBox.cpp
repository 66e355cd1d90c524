#include "app/TAboutBox.h"

#include "platform/Controls.h"

#include <QLabel>
#include <QPushButton>

#ifndef QUARN_VERSION
#define QUARN_VERSION "0"
#endif

using namespace Controls;

QString TAboutBox::VersionText()
{
    return QStringLiteral("Version ") + QStringLiteral(QUARN_VERSION);
}

TAboutBox::TAboutBox(Kind kind, QWidget* parent) : QDialog(parent)
{
    const bool about = kind == About;
    setObjectName(about ? QStringLiteral("AboutBox") : QStringLiteral("DonationForm"));
    setWindowTitle(about ? QStringLiteral("About") : QStringLiteral("Donation Ware"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(360, 200);
    setModal(true);

    ProductName = Label(this, "ProductName", QStringLiteral("Quarn"), 20, 16, 320, 30);
    QFont f = ProductName->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    ProductName->setFont(f);
    Version = Label(this, "Version", VersionText(), 20, 50, 320);
    const QString text = about
        ? QStringLiteral("An archive utility: open, view and extract zip, tar, gzip and RAR archives, "
                         "create and update zip files, unzip many zips in one batch and make "
                         "self extracting zip files.")
        : QStringLiteral("Quarn is Donation Ware: use it freely. If it saves you time, please "
                         "consider a donation to the people who keep it going.");
    Comments = Label(this, "Comments", text, 20, 76, 320, 72);
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    OKButton = Button(this, "OKButton", QStringLiteral("OK"), 140, 160, 80, 28);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
