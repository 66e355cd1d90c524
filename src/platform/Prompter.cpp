#include "platform/Prompter.h"

#include <QDialog>
#include <QFileDialog>
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

QString QtPrompter::openFile(const FileDialogRequest& r)
{
    return QFileDialog::getOpenFileName(parent_, r.title, r.startFolder, r.filter);
}

QStringList QtPrompter::openFiles(const FileDialogRequest& r)
{
    return QFileDialog::getOpenFileNames(parent_, r.title, r.startFolder, r.filter);
}

QString QtPrompter::saveFile(const FileDialogRequest& r)
{
    QString start = r.startFolder;
    if (!r.defaultName.isEmpty())
        start = start.isEmpty() ? r.defaultName : start + QLatin1Char('/') + r.defaultName;
    return QFileDialog::getSaveFileName(parent_, r.title, start, r.filter);
}

QString QtPrompter::chooseFolder(const FileDialogRequest& r)
{
    return QFileDialog::getExistingDirectory(parent_, r.title, r.startFolder);
}

int QtPrompter::runDialog(QDialog& dialog)
{
    return dialog.exec();
}
