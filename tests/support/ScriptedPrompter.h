#pragma once
// A Prompter for tests: records every message and chooser call and answers from
// queues the test fills beforehand. A question or chooser nobody expected fails
// the running test (and is answered with the gentlest button offered).

#include "platform/Prompter.h"

#include <QDialog>
#include <QList>
#include <deque>
#include <functional>

struct RecordedMessage {
    PromptKind kind;
    QString text;
    PromptButtonSet buttons;
    QString title;
};

class ScriptedPrompter : public Prompter {
public:
    using DialogScript = std::function<int(QDialog&)>;

    // Answers for the next questions (message boxes with more than one button).
    // Boxes with only OK are answered OK without a queued answer.
    void answer(PromptButton b) { answers.push_back(b); }
    void answerFile(const QString& path) { files.push_back(QStringList{path}); }
    void answerFiles(const QStringList& paths) { files.push_back(paths); }
    void answerFolder(const QString& path) { folders.push_back(path); }
    // The next runDialog() call runs `script` on the dialog (already shown,
    // non-modal) and returns what it returns.
    void onDialog(DialogScript script) { dialogs.push_back(std::move(script)); }

    PromptButton message(PromptKind kind, const QString& text, PromptButtonSet buttons,
                         const QString& title = QString()) override;
    QString openFile(const FileDialogRequest& request) override;
    QStringList openFiles(const FileDialogRequest& request) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString chooseFolder(const FileDialogRequest& request) override;
    int runDialog(QDialog& dialog) override;

    // What was shown, in order.
    QList<RecordedMessage> messages;
    QList<FileDialogRequest> fileRequests;
    QStringList dialogTitles;

    QStringList texts() const;
    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }
    bool allAnswersUsed() const { return answers.empty() && files.empty() && folders.empty() && dialogs.empty(); }
    void clear();

    std::deque<PromptButton> answers;
    std::deque<QStringList> files;
    std::deque<QString> folders;
    std::deque<DialogScript> dialogs;

    // When false, an unexpected question does not fail the test (used by tests
    // that only count messages).
    bool failOnUnexpected = true;

private:
    void unexpected(const QString& what);
};
