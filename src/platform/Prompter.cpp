#include "platform/Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

QString displayText(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

namespace {

struct ButtonMap {
    PromptButton button;
    QMessageBox::StandardButton standard;
};

constexpr ButtonMap kButtons[] = {
    {PromptButton::Ok, QMessageBox::Ok},           {PromptButton::Yes, QMessageBox::Yes},
    {PromptButton::YesToAll, QMessageBox::YesToAll}, {PromptButton::No, QMessageBox::No},
    {PromptButton::NoToAll, QMessageBox::NoToAll},  {PromptButton::Retry, QMessageBox::Retry},
    {PromptButton::Abort, QMessageBox::Abort},     {PromptButton::Cancel, QMessageBox::Cancel},
};

QMessageBox::Icon iconFor(PromptKind kind)
{
    switch (kind) {
    case PromptKind::Information: return QMessageBox::Information;
    case PromptKind::Warning: return QMessageBox::Warning;
    case PromptKind::Error: return QMessageBox::Critical;
    case PromptKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

PromptButton QtPrompter::message(PromptKind kind, const QString& text, PromptButtonSet buttons,
                                 const QString& title)
{
    QMessageBox box(iconFor(kind), title.isEmpty() ? QStringLiteral("Quarn") : title,
                    displayText(text), QMessageBox::NoButton, parent_);
    for (const auto& b : kButtons)
        if (buttons & unsigned(b.button))
            box.addButton(b.standard);
    if (buttons == 0)
        box.addButton(QMessageBox::Ok);
    const auto pressed = QMessageBox::StandardButton(box.exec());
    for (const auto& b : kButtons)
        if (b.standard == pressed)
            return b.button;
    // Closed with Escape or the title bar: the gentlest answer offered.
    if (buttons & unsigned(PromptButton::Cancel)) return PromptButton::Cancel;
    if (buttons & unsigned(PromptButton::No)) return PromptButton::No;
    return PromptButton::Ok;
}

namespace {

QFileDialog::Options linkOptions(const FileDialogRequest& r)
{
    return r.followLinks ? QFileDialog::Options() : QFileDialog::DontResolveSymlinks;
}

// A folder dialog that also accepts the name of a folder that does not exist
// yet; the caller decides whether to create it.
class NewFolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && !QFileInfo::exists(chosen.first())) {
            typed_ = chosen.first();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
    QString result() const
    {
        if (!typed_.isEmpty())
            return typed_;
        const QStringList chosen = selectedFiles();
        return chosen.isEmpty() ? QString() : chosen.first();
    }

private:
    QString typed_;
};

} // namespace

QString QtPrompter::openFile(const FileDialogRequest& r)
{
    return QFileDialog::getOpenFileName(parent_, r.title, r.startFolder, r.filter, nullptr, linkOptions(r));
}

QStringList QtPrompter::openFiles(const FileDialogRequest& r)
{
    return QFileDialog::getOpenFileNames(parent_, r.title, r.startFolder, r.filter, nullptr, linkOptions(r));
}

QString QtPrompter::saveFile(const FileDialogRequest& r)
{
    // Qt's own dialog: it adds the default ending before its overwrite
    // question, so the question is about the name returned.
    QFileDialog dlg(parent_, r.title, r.startFolder, r.filter);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(r.defaultSuffix);
    if (!r.defaultName.isEmpty())
        dlg.selectFile(r.defaultName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first();
}

QString QtPrompter::chooseFolder(const FileDialogRequest& r)
{
    if (!r.allowNewFolder)
        return QFileDialog::getExistingDirectory(parent_, r.title, r.startFolder);
    NewFolderDialog dlg(parent_, r.title, r.startFolder);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    if (dlg.exec() != QDialog::Accepted)
        return {};
    return dlg.result();
}

int QtPrompter::runDialog(QDialog& dialog)
{
    return dialog.exec();
}
