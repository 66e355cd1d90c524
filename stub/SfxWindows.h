#pragma once
// The stub's windows: one small form type serves the messages, the questions,
// the main extraction window and the password request. A test switch lets a
// file of answers drive every form through its own controls, and a log file
// record what each form said.

#include <windows.h>

#include <string>
#include <vector>

namespace sfxui {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& w);
// Option texts are UTF-8 when they are valid UTF-8, otherwise Windows-1252.
std::wstring OptionText(const std::string& bytes);

enum Button { Ok = 1, Cancel = 2, Yes = 6, No = 7, YesToAll = 20, NoToAll = 21, Browse = 30 };

// What a form shows and, after Run, what the user left in it.
struct Form {
    std::wstring caption;
    std::wstring text;
    std::vector<Button> buttons{Ok};
    bool hasEdit = false;     // a one-line edit (folder or password)
    bool password = false;    // the edit hides what is typed
    bool browse = false;      // a "Browse..." button beside the edit
    std::wstring edit;
    std::vector<std::wstring> items; // a list to choose entries from (all chosen at first)
    std::vector<bool> chosen;
    bool overwriteChoice = false; // the three overwrite modes
    int overwriteMode = 0;        // 0 confirm, 1 always, 2 never

    // Shows the form modally; returns the button that closed it (Cancel when
    // the window was closed).
    Button Run();
};

// Shortcuts over Form.
Button Message(const std::wstring& caption, const std::wstring& text, std::vector<Button> buttons = {Ok});

// The test switch: "/sfxtest=ANSWERS;LOG" on the command line. Each form
// writes "FORM caption | text" to LOG and takes the next line of ANSWERS, a
// list of key=value pairs separated by tabs: button=Yes|No|Ok|Cancel|YesToAll|
// NoToAll, edit=TEXT, select=NAME|NAME (the list's chosen rows), mode=0..2.
// A form with no answer left is cancelled.
void StartScript(const std::wstring& answers, const std::wstring& log);
bool Scripted();
void Log(const std::wstring& line);

} // namespace sfxui
