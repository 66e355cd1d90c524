#include "settings/TPropertiesForm.h"

#include "platform/Controls.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

using namespace Controls;

namespace {
constexpr int DialogWidth = 470;
constexpr int DialogHeight = 330;
constexpr int ButtonTop = 256;

QButtonGroup* radioGroup(QGroupBox* box, const char* prefix, const QStringList& items, int width)
{
    auto* group = new QButtonGroup(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* r = new QRadioButton(items[i], box);
        r->setObjectName(QString::fromLatin1(prefix) + QString::number(i));
        r->setGeometry(10, 22 + 22 * i, width - 20, 20);
        group->addButton(r, i);
    }
    return group;
}

void check(QButtonGroup* g, int id)
{
    if (QAbstractButton* b = g->button(id))
        b->setChecked(true);
}
} // namespace

TPropertiesForm::TPropertiesForm(Settings& settings, std::function<bool()> save, QWidget* parent)
    : QDialog(parent), settings_(settings), save_(std::move(save))
{
    setObjectName(QStringLiteral("PropertiesForm"));
    setWindowTitle(QStringLiteral("Zip File Properties"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(DialogWidth, DialogHeight);
    setModal(true);

    TabbedNotebook = new QTabWidget(this);
    TabbedNotebook->setObjectName(QStringLiteral("TabbedNotebook"));
    TabbedNotebook->setGeometry(6, 6, DialogWidth - 12, DialogHeight - 12);
    ok_.resize(PageCount);
    cancel_.resize(PageCount);
    restore_.resize(PageCount);
    help_.resize(PageCount);

    // 0 "Default Program"
    {
        QWidget* p = addPage(QStringLiteral("Default Program"), QString());
        const char* labels[] = {"DefaultZipProgramLabel", "DefaultGZProgramLabel", "DefaultTARProgramLabel",
                                "DefaultTGZProgramLabel", "DefaultRARProgramLabel"};
        const char* boxes[] = {"DZipCheckBox", "DGZCheckbox", "DTARCheckBox", "DTGZCheckBox", "DRARCheckBox"};
        const QStringList exts{QStringLiteral(".ZIP"), QStringLiteral(".GZ"), QStringLiteral(".TAR"),
                               QStringLiteral(".TGZ"), QStringLiteral(".RAR")};
        Label(p, nullptr, QStringLiteral("Current default program :"), 150, 8);
        QLabel* l[5];
        QCheckBox* c[5];
        for (int i = 0; i < 5; ++i) {
            c[i] = CheckBox(p, boxes[i], exts[i], 20, 30 + 26 * i, 100);
            l[i] = Label(p, labels[i], QStringLiteral("None"), 150, 32 + 26 * i, 290);
        }
        DZipCheckBox = c[0]; DGZCheckbox = c[1]; DTARCheckBox = c[2]; DTGZCheckBox = c[3]; DRARCheckBox = c[4];
        DefaultZipProgramLabel = l[0]; DefaultGZProgramLabel = l[1]; DefaultTARProgramLabel = l[2];
        DefaultTGZProgramLabel = l[3]; DefaultRARProgramLabel = l[4];
        setQuarnDefaultButton = Button(p, "setQuarnDefaultButton", QStringLiteral("Set Quarn as the default Zip program"),
                                       20, 166, 410, 28);
        RestorePreviousZipDefaultButton = Button(p, "RestorePreviousZipDefaultButton",
                                                 QStringLiteral("Restore the previous default Zip program(s)"),
                                                 20, 200, 410, 28);
        addButtons(DefaultProgramPage, p, false, nullptr);
    }
    // 1 "Startup Links   ."
    {
        QWidget* p = addPage(QStringLiteral("Startup Links   ."), QString());
        Label(p, nullptr, QStringLiteral("Links that start Quarn from the desktop and the application menu."), 20, 30, 420);
        StartUpButton = Button(p, "StartUpButton", QStringLiteral("Create Quarn Start Up Links "), 20, 60, 410, 32);
        addButtons(StartupLinksPage, p, false, nullptr);
    }
    // 2 "UNZIP"
    {
        QWidget* p = addPage(QStringLiteral("UNZIP"), QStringLiteral("UNZIP Options for ZIP Files..."));
        UnzipFoldersCheckbox = CheckBox(p, "UnzipFoldersCheckbox", QStringLiteral("Create Folders on disk as contained in zip file"), 16, 36, 420);
        OverwriteCheckBox = CheckBox(p, "OverwriteCheckBox", QStringLiteral("Replace files with the same name on disk when unzipping"), 16, 62, 420);
        UpdateFilesCheckBox = CheckBox(p, "UpdateFilesCheckBox", QStringLiteral("Unzip only new files and files that are newer than disk files"), 16, 88, 420);
        FreshenFilesCheckBox = CheckBox(p, "FreshenFilesCheckBox", QStringLiteral("Unzip only new versions of files that already exist on disk"), 16, 114, 420);
        SaveUnzipDefaultCheckBox = CheckBox(p, "SaveUnzipDefaultCheckBox", QStringLiteral("Save these settings and use for all Zip files"), 16, 150, 420);
        SaveUnzipDefaultCheckBox->hide();
        addButtons(UnzipPage, p, true, "unzipprop.html");
    }
    // 3 "Tar GZ "
    {
        QWidget* p = addPage(QStringLiteral("Tar GZ "), QStringLiteral("TAR GZ Options..."));
        OpenTarCheckBox = CheckBox(p, "OpenTarCheckBox", QStringLiteral("When a GZip file contains a tar ball, open the tar archive"), 16, 32, 420);
        Label(p, nullptr, QStringLiteral("Uncheck this box if you want the tar archive rather than"), 36, 54);
        Label(p, nullptr, QStringLiteral("the files it contains..."), 36, 70);
        TarAttrCheckBox = CheckBox(p, "TarAttrCheckBox", QStringLiteral("Set Tar file attributes before creating the file"), 16, 96, 420);
        ShortGZPathCheckBox = CheckBox(p, "ShortGZPathCheckBox", QStringLiteral("Pass Short (DOS type) file paths when opening GZip files"), 16, 126, 420);
        Label(p, nullptr, QStringLiteral("If you are using a system that does not support DOS"), 36, 148);
        Label(p, nullptr, QStringLiteral("paths you will need to uncheck this box.  Gzip may fail"), 36, 164);
        Label(p, nullptr, QStringLiteral("to recognize certain long folder names."), 36, 180);
        addButtons(TarGzPage, p, true, "unzipprop.html");
    }
    // 4 "Default Type"
    {
        QWidget* p = addPage(QStringLiteral("Default Type"), QString());
        ZipTypeRadioGroup = new QGroupBox(QStringLiteral("Use the following option as the default when zipping"), p);
        ZipTypeRadioGroup->setObjectName(QStringLiteral("ZipTypeRadioGroup"));
        ZipTypeRadioGroup->setGeometry(10, 8, 436, 140);
        ZipTypeButtons = radioGroup(ZipTypeRadioGroup, "ZipTypeRadio",
                                    {QStringLiteral("Always ask me what type of file to create when zipping"),
                                     QStringLiteral("Create a standard ZIP file ( .zip)"),
                                     QStringLiteral("Create a GZipped Tar Ball ( *.tar.gz)"),
                                     QStringLiteral("Create a Tar Ball ( *.tar)"),
                                     QStringLiteral("Create a GZ file ( *.gz) -note, can only contain one file")},
                                    436);
        SelectAllCheckBox = CheckBox(p, "SelectAllCheckBox", QStringLiteral("Select All Files (highlighted) when loading a new file"), 16, 160, 420);
        addButtons(DefaultTypePage, p, true, "createprop.html");
    }
    // 5 "ADD Files"
    {
        QWidget* p = addPage(QStringLiteral("ADD Files"), QStringLiteral("When adding files to the ZIP Window..."));
        SaveZipFoldersCheckBox = CheckBox(p, "SaveZipFoldersCheckBox", QStringLiteral("Save folders in Archive file as they exist on disk"), 16, 36, 420);
        RecurseFoldersCheckBox = CheckBox(p, "RecurseFoldersCheckBox", QStringLiteral("Include the folders which are inside the selected folders"), 16, 62, 420);
        RelativePathCheckBox = CheckBox(p, "RelativePathCheckBox", QStringLiteral("Use relative paths when saving folders"), 16, 88, 420);
        addButtons(AddFilesPage, p, true, "createprop.html");
    }
    // 6 "ZIP "
    {
        QWidget* p = addPage(QStringLiteral("ZIP "), QStringLiteral("ZIP File Options..."));
        ArchiveBitCheckBox = CheckBox(p, "ArchiveBitCheckBox", QStringLiteral("Add files only if the Archive bit is set"), 16, 32, 420);
        LongFileNamesCheckBox = CheckBox(p, "LongFileNamesCheckBox", QStringLiteral("Use Long file Names (as used by Windows programs)"), 16, 56, 420);
        AddPasswordCheckBox = CheckBox(p, "AddPasswordCheckBox", QStringLiteral("Password Protect the Zip File (you will be asked for a password)"), 16, 80, 420);
        SetTimeCheckBox = CheckBox(p, "SetTimeCheckBox", QStringLiteral("Set the zip file time to the time of the newest file it contains"), 16, 104, 420);
        OnlybyDateCheckBox = CheckBox(p, "OnlybyDateCheckBox", QStringLiteral("Only Add files that are newer than a certain date"), 16, 128, 420);
        Label(p, nullptr, QStringLiteral("Could be used for backups - you will be asked for the date"), 36, 150);
        // The span, erase and self-extracting options keep their values but have no visible control.
        SpanCheckBox = CheckBox(p, "SpanCheckBox", QStringLiteral("Break the zip file into pieces that will fit on multiple disks"), 16, 172, 420);
        QLabel* spanNote = Label(p, "SpanNote", QStringLiteral("You will be asked for the maximum size of each segment"), 36, 192);
        EraseDiskCheckBox = CheckBox(p, "EraseDiskCheckBox", QStringLiteral("Erase the disk first (you will be reminded before erasing)"), 16, 210, 420);
        SelfExtractingCheckBox = CheckBox(p, "SelfExtractingCheckBox", QStringLiteral("Create self extracting Zip file"), 16, 172, 420);
        SaveZipDefaultCheckBox = CheckBox(p, "SaveZipDefaultCheckBox", QStringLiteral("Save these settings and use for all Zip files"), 16, 172, 420);
        AesCheckBox = CheckBox(p, "AesCheckBox", QStringLiteral("Encrypt with AES-256 (older unzip programs cannot read it)"), 36, 232, 420);
        for (QWidget* w : std::initializer_list<QWidget*>{SpanCheckBox, spanNote, EraseDiskCheckBox, SelfExtractingCheckBox,
                                                          SaveZipDefaultCheckBox})
            w->hide();
        addButtons(ZipPage, p, true, "createprop.html");
    }
    // 7 "Viewer"
    {
        QWidget* p = addPage(QStringLiteral("Viewer"), QString());
        PictureRadioGroup = new QGroupBox(QStringLiteral("When a picture file is clicked"), p);
        PictureRadioGroup->setObjectName(QStringLiteral("PictureRadioGroup"));
        PictureRadioGroup->setGeometry(10, 8, 436, 76);
        PictureButtons = radioGroup(PictureRadioGroup, "PictureRadio",
                                    {QStringLiteral("View the file with the Image Viewer"),
                                     QStringLiteral("Launch my computer's graphics application")},
                                    436);
        PictureFitRadioGroup = new QGroupBox(QStringLiteral("When a picture file is to large for the screen"), p);
        PictureFitRadioGroup->setObjectName(QStringLiteral("PictureFitRadioGroup"));
        PictureFitRadioGroup->setGeometry(10, 94, 436, 76);
        PictureFitButtons = radioGroup(PictureFitRadioGroup, "PictureFitRadio",
                                       {QStringLiteral("Adjust the size to fit the screen"),
                                        QStringLiteral("Show the full size image (with scrollbars)")},
                                       436);
        addButtons(ViewerPage, p, false, "");
    }

    // Rules between controls.
    connect(UpdateFilesCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            FreshenFilesCheckBox->setChecked(false);
    });
    connect(FreshenFilesCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            UpdateFilesCheckBox->setChecked(false);
    });
    connect(SaveZipFoldersCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            RecurseFoldersCheckBox->setChecked(false);
            RelativePathCheckBox->setChecked(false);
        }
    });
    connect(AddPasswordCheckBox, &QCheckBox::toggled, this, [this](bool on) { AesCheckBox->setEnabled(on && settings_.AddOptionsEditable); });
    connect(SpanCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            EraseDiskCheckBox->setChecked(false);
        EraseDiskCheckBox->setEnabled(on);
    });

    LoadControls();
    SelectPage(TarGzPage);
}

QWidget* TPropertiesForm::addPage(const QString& caption, const QString& heading)
{
    auto* p = new QWidget;
    p->setObjectName(QStringLiteral("PropertiesPage%1").arg(TabbedNotebook->count()));
    if (!heading.isEmpty()) {
        QLabel* h = Label(p, nullptr, heading, 10, 8);
        QFont f = h->font();
        f.setBold(true);
        h->setFont(f);
        h->resize(h->sizeHint().width() + 4, h->height());
    }
    TabbedNotebook->addTab(p, caption);
    return p;
}

void TPropertiesForm::addButtons(int page, QWidget* w, bool restore, const char* help)
{
    const QString n = QString::number(page);
    QPushButton* ok = Button(w, ("OKButton" + n).toLatin1().constData(), QStringLiteral("OK"), 10, ButtonTop, 80, 26);
    QPushButton* cancel = Button(w, ("CancelButton" + n).toLatin1().constData(), QStringLiteral("Cancel"), 96, ButtonTop, 80, 26);
    ok_[page] = ok;
    cancel_[page] = cancel;
    connect(ok, &QPushButton::clicked, this, &TPropertiesForm::OKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (restore) {
        QPushButton* r = Button(w, ("RestoreButton" + n).toLatin1().constData(), QStringLiteral("Restore"), 182, ButtonTop, 80, 26);
        restore_[page] = r;
        connect(r, &QPushButton::clicked, this, &TPropertiesForm::RestoreClick);
    }
    if (help) {
        QPushButton* h = Button(w, ("HelpButton" + n).toLatin1().constData(), QStringLiteral("HELP"), 366, ButtonTop, 80, 26);
        help_[page] = h;
        const QString pageName = QString::fromLatin1(help);
        if (!pageName.isEmpty())  // the Viewer page's HELP has no action
            connect(h, &QPushButton::clicked, this, [pageName] { Platform::OpenHelpPage(pageName); });
    }
}

QPushButton* TPropertiesForm::OkButton(int page) const { return ok_.value(page); }
QPushButton* TPropertiesForm::CancelButton(int page) const { return cancel_.value(page); }
QPushButton* TPropertiesForm::RestoreButton(int page) const { return restore_.value(page); }
QPushButton* TPropertiesForm::HelpButton(int page) const { return help_.value(page); }

void TPropertiesForm::SelectPage(int page)
{
    if (page >= 0 && page < PageCount)
        TabbedNotebook->setCurrentIndex(page);
}

int TPropertiesForm::CurrentPageIndex() const
{
    return TabbedNotebook->currentIndex();
}

void TPropertiesForm::LoadControls()
{
    const Settings& s = settings_;
    // Set without the rules: the record may hold combinations the rules would change.
    auto set = [](QCheckBox* c, bool on) {
        const bool blocked = c->blockSignals(true);
        c->setChecked(on);
        c->blockSignals(blocked);
    };
    set(UnzipFoldersCheckbox, s.ExtractFolderNames);
    set(OverwriteCheckBox, s.ExtractOverwrite);
    set(UpdateFilesCheckBox, s.ExtractUpdate);
    set(FreshenFilesCheckBox, s.ExtractFreshen);
    set(OpenTarCheckBox, s.OpenTarInGzip);
    set(TarAttrCheckBox, s.TarAttributes);
    set(ShortGZPathCheckBox, s.ShortGzipPaths);
    check(ZipTypeButtons, s.DefaultArchiveType >= 0 && s.DefaultArchiveType <= 4 ? s.DefaultArchiveType : 0);
    set(SelectAllCheckBox, s.SelectAllOnLoad);
    set(SaveZipFoldersCheckBox, s.SaveFolders);
    set(RecurseFoldersCheckBox, s.RecurseFolders);
    set(RelativePathCheckBox, s.RelativePaths);
    set(ArchiveBitCheckBox, s.ArchiveBitOnly);
    set(LongFileNamesCheckBox, s.LongNames);
    set(AddPasswordCheckBox, s.PasswordProtect);
    set(AesCheckBox, s.AesEncryption);
    set(SetTimeCheckBox, s.SetZipTime);
    set(OnlybyDateCheckBox, s.DateFilter);
    set(SpanCheckBox, s.SpanDisks);
    set(EraseDiskCheckBox, s.EraseDisk);
    EraseDiskCheckBox->setEnabled(s.SpanDisks);
    set(SelfExtractingCheckBox, s.SelfExtracting);
    check(PictureButtons, s.ImageViewerOnClick ? 0 : 1);
    check(PictureFitButtons, s.FitImageToScreen ? 0 : 1);

    // While files are listed on the create or update page, the add options stay as they are.
    for (QCheckBox* c : {SaveZipFoldersCheckBox, RecurseFoldersCheckBox, RelativePathCheckBox, ArchiveBitCheckBox,
                         LongFileNamesCheckBox, AddPasswordCheckBox, SetTimeCheckBox, OnlybyDateCheckBox})
        c->setEnabled(s.AddOptionsEditable);
    // The kind of encryption goes with the password option.
    AesCheckBox->setEnabled(s.AddOptionsEditable && s.PasswordProtect);
}

void TPropertiesForm::StoreControls()
{
    Settings& s = settings_;
    s.ExtractFolderNames = UnzipFoldersCheckbox->isChecked();
    s.ExtractOverwrite = OverwriteCheckBox->isChecked();
    s.ExtractUpdate = UpdateFilesCheckBox->isChecked();
    s.ExtractFreshen = FreshenFilesCheckBox->isChecked();
    s.OpenTarInGzip = OpenTarCheckBox->isChecked();
    s.TarAttributes = TarAttrCheckBox->isChecked();
    s.ShortGzipPaths = ShortGZPathCheckBox->isChecked();
    s.DefaultArchiveType = qMax(0, ZipTypeButtons->checkedId());
    s.SelectAllOnLoad = SelectAllCheckBox->isChecked();
    s.SaveFolders = SaveZipFoldersCheckBox->isChecked();
    s.RecurseFolders = RecurseFoldersCheckBox->isChecked();
    s.RelativePaths = RelativePathCheckBox->isChecked();
    s.ArchiveBitOnly = ArchiveBitCheckBox->isChecked();
    s.LongNames = LongFileNamesCheckBox->isChecked();
    s.PasswordProtect = AddPasswordCheckBox->isChecked();
    s.AesEncryption = AesCheckBox->isChecked();
    s.SetZipTime = SetTimeCheckBox->isChecked();
    s.DateFilter = OnlybyDateCheckBox->isChecked();
    s.SpanDisks = SpanCheckBox->isChecked();
    s.EraseDisk = EraseDiskCheckBox->isChecked();
    s.SelfExtracting = SelfExtractingCheckBox->isChecked();
    s.ImageViewerOnClick = PictureButtons->checkedId() != 1;
    s.FitImageToScreen = PictureFitButtons->checkedId() != 1;
}

void TPropertiesForm::OKClick()
{
    StoreControls();
    if (save_)
        save_();
    accept();
}

void TPropertiesForm::RestoreClick()
{
    settings_.ApplyDefaults();
    settings_.DefaultArchiveType = 1;
    if (save_)
        save_();
    LoadControls();
    check(ZipTypeButtons, 1);
}
