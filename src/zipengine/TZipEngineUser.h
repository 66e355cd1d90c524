#pragma once
// How the zip engine reaches the person at the screen. The window implements
// this with its prompter; quarn-cli answers on the console; tests script it.
// The engine's `Unattended` switch keeps it from being called for messages.

#include "platform/Prompter.h"

#include <QString>
#include <functional>

class TZipEngineUser {
public:
    virtual ~TZipEngineUser() = default;

    // A plain message box with the text as written ("\n" is a line break).
    virtual void ShowMessage(const QString& text) = 0;

    // A question with the given buttons (disk prompts, overwriting a part file).
    virtual PromptButton Ask(const QString& text, PromptButtonSet buttons) = 0;

    // The password dialog: `buttons` is how many of OK, Cancel, Cancel all,
    // Abort are offered (in that order). Returns the dialog result: 1 OK,
    // 2 Cancel, 9 Cancel all, 3 Abort; `entry` receives the text after OK.
    virtual int AskPassword(const QString& title, const QString& prompt, int buttons, QString& entry) = 0;

    // The first password dialog of adding encrypted files (OK and Cancel),
    // which may also offer AES-256 encryption: `aes` comes in as the options
    // set it and goes out as chosen.
    virtual int AskAddPassword(const QString& title, const QString& prompt, QString& entry, bool& aes)
    {
        Q_UNUSED(aes);
        return AskPassword(title, prompt, 2, entry);
    }
};

// The engine user over a Prompter. The password dialog is a window of the
// program; whoever owns one installs it in PasswordDialog (none: Cancel).
class TPrompterZipUser : public TZipEngineUser {
public:
    explicit TPrompterZipUser(Prompter& prompter) : prompter_(prompter) {}

    void ShowMessage(const QString& text) override { prompter_.information(text); }
    PromptButton Ask(const QString& text, PromptButtonSet buttons) override
    {
        return prompter_.question(text, buttons);
    }
    int AskPassword(const QString& title, const QString& prompt, int buttons, QString& entry) override
    {
        if (!PasswordDialog)
            return 2;
        return PasswordDialog(title, prompt, buttons, entry, nullptr);
    }
    int AskAddPassword(const QString& title, const QString& prompt, QString& entry, bool& aes) override
    {
        if (!PasswordDialog)
            return 2;
        return PasswordDialog(title, prompt, 2, entry, &aes);
    }

    // `aes`: null, or the AES-256 choice the dialog offers.
    std::function<int(const QString& title, const QString& prompt, int buttons, QString& entry, bool* aes)> PasswordDialog;

private:
    Prompter& prompter_;
};
