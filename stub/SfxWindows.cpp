#include "SfxWindows.h"

#include <shlobj.h>

#include <cstdio>
#include <deque>
#include <map>

namespace sfxui {

namespace {

constexpr int kEditId = 100, kListId = 101, kModeId = 110, kTimerId = 1;

struct Script {
    bool on = false;
    std::deque<std::wstring> answers;
    FILE* log = nullptr;
} g_script;

const wchar_t* buttonText(Button b)
{
    switch (b) {
    case Ok: return L"OK";
    case Cancel: return L"Cancel";
    case Yes: return L"Yes";
    case No: return L"No";
    case YesToAll: return L"Yes to All";
    case NoToAll: return L"No to All";
    case Browse: return L"Browse...";
    }
    return L"";
}

std::vector<std::wstring> split(const std::wstring& s, wchar_t sep)
{
    std::vector<std::wstring> out;
    size_t pos = 0;
    for (;;) {
        const size_t next = s.find(sep, pos);
        out.push_back(s.substr(pos, next == std::wstring::npos ? std::wstring::npos : next - pos));
        if (next == std::wstring::npos)
            return out;
        pos = next + 1;
    }
}

struct Running {
    Form* form;
    HWND edit = nullptr, list = nullptr, modes[3] = {};
    bool done = false;
    Button result = Cancel;
};

void collect(Running& r)
{
    Form& f = *r.form;
    if (r.edit) {
        const int n = GetWindowTextLengthW(r.edit);
        std::wstring s(size_t(n) + 1, L'\0');
        GetWindowTextW(r.edit, s.data(), n + 1);
        s.resize(size_t(n));
        f.edit = s;
    }
    if (r.list)
        for (size_t i = 0; i < f.items.size(); ++i)
            f.chosen[i] = SendMessageW(r.list, LB_GETSEL, i, 0) > 0;
    for (int i = 0; i < 3; ++i)
        if (r.modes[i] && SendMessageW(r.modes[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
            f.overwriteMode = i;
}

void browseForFolder(HWND owner, HWND edit)
{
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.lpszTitle = L"Choose the folder to extract to";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE id = SHBrowseForFolderW(&bi)) {
        wchar_t path[MAX_PATH];
        if (SHGetPathFromIDListW(id, path))
            SetWindowTextW(edit, path);
        CoTaskMemFree(id);
    }
}

// Applies one scripted answer line to the open form and presses its button.
void answer(HWND hwnd, Running& r)
{
    Form& f = *r.form;
    Button press = f.buttons.back();
    if (g_script.answers.empty()) {
        Log(L"NO ANSWER");
    } else {
        const std::wstring line = g_script.answers.front();
        g_script.answers.pop_front();
        for (const std::wstring& pair : split(line, L'\t')) {
            const size_t eq = pair.find(L'=');
            if (eq == std::wstring::npos)
                continue;
            const std::wstring key = pair.substr(0, eq), value = pair.substr(eq + 1);
            if (key == L"button") {
                static const std::map<std::wstring, Button> named{{L"Ok", Ok},   {L"Cancel", Cancel},
                                                                  {L"Yes", Yes}, {L"No", No},
                                                                  {L"YesToAll", YesToAll}, {L"NoToAll", NoToAll}};
                const auto it = named.find(value);
                if (it != named.end())
                    press = it->second;
            } else if (key == L"edit" && r.edit) {
                SetWindowTextW(r.edit, value.c_str());
            } else if (key == L"mode" && r.modes[0]) {
                const int m = _wtoi(value.c_str());
                for (int i = 0; i < 3; ++i)
                    SendMessageW(r.modes[i], BM_SETCHECK, i == m ? BST_CHECKED : BST_UNCHECKED, 0);
            } else if (key == L"select" && r.list) {
                const std::vector<std::wstring> names = split(value, L'|');
                for (size_t i = 0; i < f.items.size(); ++i) {
                    bool on = false;
                    for (const std::wstring& n : names)
                        on = on || n == f.items[i];
                    SendMessageW(r.list, LB_SETSEL, on, LPARAM(i));
                }
            }
        }
    }
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), 0);
}

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* r = reinterpret_cast<Running*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        break;
    case WM_TIMER:
        if (r && wp == kTimerId) {
            KillTimer(hwnd, kTimerId);
            answer(hwnd, *r);
        }
        return 0;
    case WM_COMMAND:
        if (r && HIWORD(wp) == BN_CLICKED) {
            const int id = LOWORD(wp);
            if (id == Browse) {
                browseForFolder(hwnd, r->edit);
                return 0;
            }
            if (id >= kModeId && id < kModeId + 3)
                return 0;
            collect(*r);
            r->result = Button(id);
            r->done = true;
            return 0;
        }
        break;
    case WM_CLOSE:
        if (r) {
            collect(*r);
            r->result = Cancel;
            r->done = true;
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
           DWORD exStyle = 0)
{
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return c;
}

} // namespace

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
    return w;
}

std::string Utf8(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring OptionText(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0) > 0)
        return Wide(bytes);
    const int n = MultiByteToWideChar(1252, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(1252, 0, bytes.data(), int(bytes.size()), w.data(), n);
    return w;
}

void StartScript(const std::wstring& answers, const std::wstring& log)
{
    g_script.on = true;
    if (FILE* f = _wfopen(answers.c_str(), L"rb")) {
        std::string all;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            all.append(buf, n);
        fclose(f);
        for (std::wstring line : split(Wide(all), L'\n')) {
            if (!line.empty() && line.back() == L'\r')
                line.pop_back();
            if (!line.empty())
                g_script.answers.push_back(line);
        }
    }
    g_script.log = _wfopen(log.c_str(), L"ab");
}

bool Scripted() { return g_script.on; }

void Log(const std::wstring& line)
{
    if (!g_script.log)
        return;
    const std::string s = Utf8(line) + "\n";
    fwrite(s.data(), 1, s.size(), g_script.log);
    fflush(g_script.log);
}

Button Form::Run()
{
    static bool registered = false;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = formProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"QuarnSfxForm";
        RegisterClassW(&wc);
        registered = true;
    }
    Log(L"FORM " + caption + L" | " + text);
    chosen.assign(items.size(), true);

    const int width = 460, margin = 12, inner = width - 2 * margin;
    int lines = 1;
    for (wchar_t c : text)
        lines += c == L'\n';
    const int textHeight = 16 * lines + 16 * int(text.size() / 70);
    int height = margin + textHeight + 8;
    if (hasEdit)
        height += 32;
    if (!items.empty())
        height += 168;
    if (overwriteChoice)
        height += 84;
    height += 40;

    Running r{this};
    RECT rc{0, 0, width, height};
    AdjustWindowRect(&rc, WS_CAPTION | WS_SYSMENU, FALSE);
    HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, L"QuarnSfxForm", caption.c_str(), WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, rc.right - rc.left, rc.bottom - rc.top, nullptr,
                                nullptr, inst, &r);
    if (!hwnd)
        return Cancel;
    int y = margin;
    child(hwnd, L"STATIC", text.c_str(), 0, margin, y, inner, textHeight, -1);
    y += textHeight + 8;
    if (hasEdit) {
        const int editWidth = browse ? inner - 90 : inner;
        r.edit = child(hwnd, L"EDIT", edit.c_str(), WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0),
                       margin, y, editWidth, 24, kEditId, WS_EX_CLIENTEDGE);
        if (browse)
            child(hwnd, L"BUTTON", buttonText(Browse), WS_TABSTOP | BS_PUSHBUTTON, margin + editWidth + 6, y, 84, 24,
                  Browse);
        y += 32;
    }
    if (!items.empty()) {
        r.list = child(hwnd, L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT,
                       margin, y, inner, 160, kListId, WS_EX_CLIENTEDGE);
        for (const std::wstring& item : items)
            SendMessageW(r.list, LB_ADDSTRING, 0, LPARAM(item.c_str()));
        SendMessageW(r.list, LB_SETSEL, TRUE, -1);
        y += 168;
    }
    if (overwriteChoice) {
        const wchar_t* modes[3] = {L"Ask before replacing an existing file", L"Replace existing files",
                                   L"Never replace an existing file"};
        for (int i = 0; i < 3; ++i) {
            r.modes[i] = child(hwnd, L"BUTTON", modes[i], WS_TABSTOP | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0),
                               margin, y + 26 * i, inner, 22, kModeId + i);
            SendMessageW(r.modes[i], BM_SETCHECK, i == overwriteMode ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        y += 84;
    }
    const int bw = 84;
    int x = width - margin - int(buttons.size()) * (bw + 6) + 6;
    HWND first = nullptr;
    for (Button b : buttons) {
        HWND h = child(hwnd, L"BUTTON", buttonText(b), WS_TABSTOP | (first ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON), x, y,
                       bw, 26, b);
        if (!first)
            first = h;
        x += bw + 6;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    SetFocus(r.edit ? r.edit : first);
    if (g_script.on)
        SetTimer(hwnd, kTimerId, 50, nullptr);

    MSG m;
    while (!r.done && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_KEYDOWN && m.wParam == VK_RETURN && m.hwnd != r.list) {
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(buttons.front(), BN_CLICKED), 0);
            continue;
        }
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            continue;
        }
        if (!IsDialogMessageW(hwnd, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    DestroyWindow(hwnd);
    static const std::map<int, const wchar_t*> names{{Ok, L"OK"}, {Cancel, L"Cancel"}, {Yes, L"Yes"}, {No, L"No"},
                                                     {YesToAll, L"Yes to All"}, {NoToAll, L"No to All"}};
    Log(std::wstring(L"PRESSED ") + names.at(r.result));
    return r.result;
}

Button Message(const std::wstring& caption, const std::wstring& text, std::vector<Button> buttons)
{
    Form f;
    f.caption = caption;
    f.text = text;
    f.buttons = std::move(buttons);
    return f.Run();
}

} // namespace sfxui
