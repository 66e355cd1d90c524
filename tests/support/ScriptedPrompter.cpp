#include "ScriptedPrompter.h"

#include <QFileInfo>
#include <QTest>
#include <QtGlobal>

void ScriptedPrompter::unexpected(const QString& what)
{
    if (failOnUnexpected)
        QTest::qFail(qPrintable(QStringLiteral("unexpected prompt: ") + what), __FILE__, __LINE__);
}

PromptButton ScriptedPrompter::message(PromptKind kind, const QString& text, PromptButtonSet buttons,
                                       const QString& title)
{
    messages.append({kind, text, buttons, title});
    const bool onlyOk = buttons == PromptButtons::Ok || buttons == 0;
    if (onlyOk && (answers.empty() || answers.front() != PromptButton::Ok))
        return PromptButton::Ok;
    if (answers.empty()) {
        unexpected(text);
        if (buttons & unsigned(PromptButton::Cancel)) return PromptButton::Cancel;
        if (buttons & unsigned(PromptButton::No)) return PromptButton::No;
        return PromptButton::Ok;
    }
    const PromptButton b = answers.front();
    answers.pop_front();
    if (!(buttons & unsigned(b)))
        unexpected(QStringLiteral("answer not offered for: ") + text);
    return b;
}

QString ScriptedPrompter::openFile(const FileDialogRequest& request)
{
    const QStringList l = openFiles(request);
    return l.isEmpty() ? QString() : l.first();
}

QStringList ScriptedPrompter::openFiles(const FileDialogRequest& request)
{
    fileRequests.append(request);
    if (files.empty()) {
        unexpected(QStringLiteral("file chooser: ") + request.title);
        return {};
    }
    QStringList l = files.front();
    files.pop_front();
    return l;
}

QString ScriptedPrompter::saveFile(const FileDialogRequest& request)
{
    // The queued answer is the name typed; like Qt's dialog, a name without
    // an ending gets the default one.
    QString name = openFile(request);
    if (!name.isEmpty() && !request.defaultSuffix.isEmpty() && !QFileInfo(name).fileName().contains(QLatin1Char('.')) && !QFileInfo(name).isDir())
        name += QLatin1Char('.') + request.defaultSuffix;
    return name;
}

QString ScriptedPrompter::chooseFolder(const FileDialogRequest& request)
{
    fileRequests.append(request);
    if (folders.empty()) {
        unexpected(QStringLiteral("folder chooser: ") + request.title);
        return {};
    }
    QString f = folders.front();
    folders.pop_front();
    return f;
}

int ScriptedPrompter::runDialog(QDialog& dialog)
{
    dialogTitles.append(dialog.windowTitle());
    if (dialogs.empty()) {
        unexpected(QStringLiteral("dialog: ") + dialog.windowTitle());
        return QDialog::Rejected;
    }
    DialogScript script = std::move(dialogs.front());
    dialogs.pop_front();
    dialog.show();
    const int result = script(dialog);
    dialog.hide();
    return result;
}

QStringList ScriptedPrompter::texts() const
{
    QStringList l;
    for (const auto& m : messages)
        l << m.text;
    return l;
}

void ScriptedPrompter::clear()
{
    messages.clear();
    fileRequests.clear();
    dialogTitles.clear();
    answers.clear();
    files.clear();
    folders.clear();
    dialogs.clear();
}
