// The self-extractor: a Windows program that finds the option block right
// after its own image and the zip after the block, asks what its options say
// it should ask, extracts the chosen entries and runs the command line.
//
// Exit status: 0 done, 1 failed, 2 the user cancelled.

#include "SfxFormat.h"
#include "SfxWindows.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

using namespace sfxui;

namespace {

class FileReader : public sfx::Reader {
public:
    explicit FileReader(const std::wstring& path)
    {
        h_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER s;
        if (h_ != INVALID_HANDLE_VALUE && GetFileSizeEx(h_, &s))
            size_ = s.QuadPart;
    }
    ~FileReader() override
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    int64_t size() const override { return size_; }
    bool readAt(int64_t offset, void* dst, size_t n) override
    {
        if (offset < 0 || offset + int64_t(n) > size_)
            return false;
        LARGE_INTEGER at;
        at.QuadPart = offset;
        if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN))
            return false;
        auto* p = static_cast<char*>(dst);
        while (n > 0) {
            DWORD got = 0;
            const DWORD want = DWORD(n > (1u << 30) ? (1u << 30) : n);
            if (!ReadFile(h_, p, want, &got, nullptr) || got == 0)
                return false;
            p += got;
            n -= got;
        }
        return true;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
    int64_t size_ = 0;
};

std::wstring currentFolder()
{
    wchar_t buf[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, buf);
    return n && n < MAX_PATH ? std::wstring(buf, n) : std::wstring(L".");
}

std::wstring tempFolder()
{
    wchar_t buf[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buf);
    std::wstring s = n && n < MAX_PATH ? std::wstring(buf, n) : currentFolder();
    while (s.size() > 3 && (s.back() == L'\\' || s.back() == L'/'))
        s.pop_back();
    return s;
}

std::wstring join(std::wstring folder, const std::wstring& rel)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    std::wstring r = rel;
    for (wchar_t& c : r)
        if (c == L'/')
            c = L'\\';
    return folder + r;
}

bool makeFolders(const std::wstring& path)
{
    if (path.empty())
        return false;
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES)
        return a & FILE_ATTRIBUTE_DIRECTORY;
    const size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && !(cut == 2 && path[1] == L':'))
        makeFolders(path.substr(0, cut));
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void setFileTime(HANDLE h, uint32_t dos)
{
    FILETIME local, utc;
    if (DosDateTimeToFileTime(WORD(dos >> 16), WORD(dos & 0xFFFF), &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(h, nullptr, nullptr, &utc);
}

class Extractor {
public:
    Extractor(FileReader& r, const sfx::Options& o, std::wstring caption)
        : r_(r), o_(o), caption_(std::move(caption))
    {
    }

    int overwriteMode = 0; // 0 ask, 1 always, 2 never
    bool quiet = false;    // auto-run: nothing is asked that need not be

    // Extracts `chosen` entries of `all` into `folder`. Returns false when
    // something failed or the user stopped the run.
    bool Run(const std::vector<sfx::Entry>& all, const std::vector<bool>& chosen, const std::wstring& folder)
    {
        bool ok = true;
        for (size_t i = 0; i < all.size(); ++i) {
            if (!chosen[i])
                continue;
            const sfx::Entry& e = all[i];
            const std::string rel = sfx::SafeRelativeName(sfx::NameUtf8(e));
            if (rel.empty())
                continue;
            const std::wstring target = join(folder, Wide(rel));
            if (e.isFolder()) {
                if (!makeFolders(target)) {
                    Message(caption_, L"The folder " + target + L" could not be made.");
                    ok = false;
                }
                continue;
            }
            const size_t cut = target.find_last_of(L'\\');
            if (cut != std::wstring::npos)
                makeFolders(target.substr(0, cut));
            if (!one(e, target, rel, ok))
                return false;
        }
        return ok;
    }
    int Extracted() const { return extracted_; }

private:
    // False stops the whole run.
    bool one(const sfx::Entry& e, const std::wstring& target, const std::string& rel, bool& ok)
    {
        if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
            int mode = overwriteMode;
            if (mode == 0 && quiet)
                mode = 2;
            if (mode == 0 && yesToAll_)
                mode = 1;
            if (mode == 0 && noToAll_)
                mode = 2;
            if (mode == 0) {
                switch (Message(caption_, L"The file " + target + L" already exists.\nReplace it?",
                                {Yes, No, YesToAll, NoToAll})) {
                case Yes: mode = 1; break;
                case YesToAll: yesToAll_ = true; mode = 1; break;
                case NoToAll: noToAll_ = true; mode = 2; break;
                case Cancel: return false;
                default: mode = 2; break;
                }
            }
            if (mode == 2) {
                Log(L"KEPT " + Wide(rel));
                return true;
            }
        }
        if (e.encrypted() && !askPassword(e, rel)) {
            Log(L"SKIPPED " + Wide(rel));
            ok = false;
            return true;
        }
        // Written under a scratch name first, so a failed entry never
        // leaves a half file in place of a good one.
        const std::wstring part = target + L".sfxpart";
        HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            Message(caption_, L"The file " + target + L" could not be written.");
            ok = false;
            return true;
        }
        const sfx::Result res = sfx::Extract(r_, e, password_, [h](const void* p, size_t n) {
            DWORD done = 0;
            return WriteFile(h, p, DWORD(n), &done, nullptr) && done == n;
        });
        if (res == sfx::Result::Ok)
            setFileTime(h, e.dosTime);
        CloseHandle(h);
        if (res != sfx::Result::Ok || !MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileW(part.c_str());
            const wchar_t* why = res == sfx::Result::CrcError      ? L"its data is damaged (CRC error)"
                                 : res == sfx::Result::Unsupported ? L"its compression method is not supported"
                                 : res == sfx::Result::WriteError  ? L"the disk could not take it"
                                 : res == sfx::Result::BadPassword ? L"the password is wrong"
                                 : res == sfx::Result::Ok          ? L"it could not replace the existing file"
                                                                   : L"the archive is damaged";
            Message(caption_, L"The file " + Wide(rel) + L" was not extracted: " + why + L".");
            ok = false;
            return true;
        }
        Log(L"EXTRACTED " + Wide(rel));
        ++extracted_;
        return true;
    }

    bool askPassword(const sfx::Entry& e, const std::string& rel)
    {
        if (!password_.empty() && sfx::PasswordFits(r_, e, password_))
            return true;
        for (int tries = 0; tries < 3; ++tries) {
            Form f;
            f.caption = caption_;
            f.text = tries == 0 ? L"Enter the password for " + Wide(rel)
                                : L"The password is wrong. Enter the password for " + Wide(rel);
            f.hasEdit = true;
            f.password = true;
            f.buttons = {Ok, Cancel};
            if (f.Run() != Ok)
                return false;
            password_ = Utf8(f.edit);
            if (sfx::PasswordFits(r_, e, password_))
                return true;
        }
        return false;
    }

    FileReader& r_;
    const sfx::Options& o_;
    std::wstring caption_;
    std::string password_;
    bool yesToAll_ = false, noToAll_ = false;
    int extracted_ = 0;
};

// Runs the command line after extraction: "><" + a name runs that extracted file.
void runCommand(const std::wstring& command, const std::wstring& folder, bool ask, const std::wstring& caption)
{
    std::wstring file, params;
    bool extracted = command.rfind(L"><", 0) == 0;
    if (extracted) {
        std::wstring rel = command.substr(2);
        while (!rel.empty() && (rel.front() == L'\\' || rel.front() == L'/'))
            rel.erase(0, 1);
        file = join(folder, Wide(sfx::SafeRelativeName(Utf8(rel))));
    }
    const std::wstring shown = extracted ? file : command;
    if (ask && Message(caption, L"Run " + shown + L" now?", {Yes, No}) != Yes)
        return;
    Log(L"RUN " + shown);
    if (extracted) {
        const HINSTANCE h = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
        if (INT_PTR(h) <= 32)
            Message(caption, L"The file " + file + L" could not be started.");
        return;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = command;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        Message(caption, L"The command " + command + L" could not be started.");
    }
}

int run()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a.rfind(L"/sfxtest=", 0) == 0) {
            const std::wstring v = a.substr(9);
            const size_t semi = v.find(L';');
            StartScript(v.substr(0, semi), semi == std::wstring::npos ? std::wstring() : v.substr(semi + 1));
        }
    }
    if (argv)
        LocalFree(argv);

    wchar_t self[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
    const std::wstring title = L"Self-extracting Archive";
    FileReader r(std::wstring(self, n));
    sfx::Options o;
    std::vector<sfx::Entry> entries;
    const int64_t imageEnd = r.ok() ? sfx::PeImageEnd(r) : -1;
    if (imageEnd < 0 || !sfx::ReadOptions(r, imageEnd, o)) {
        Message(title, L"This program carries no archive, or its archive is damaged.");
        return 1;
    }
    const std::wstring caption = o.caption.empty() ? title : OptionText(o.caption);
    const std::string problem = sfx::ReadDirectory(r, entries);
    if (!problem.empty()) {
        Message(caption, Wide(problem));
        return 1;
    }

    const bool autoRun = o.has(sfx::AutoRun);
    std::wstring folder;
    std::vector<bool> chosen(entries.size(), true);
    Extractor x(r, o, caption);
    x.overwriteMode = o.has(sfx::OverwriteAlways) ? 1 : o.has(sfx::OverwriteNever) ? 2 : 0;
    if (autoRun) {
        folder = currentFolder();
        x.quiet = true;
    } else {
        if (!o.message.empty()) {
            const unsigned char kind = static_cast<unsigned char>(o.message[0]);
            const std::wstring text = OptionText(kind == 1 || kind == 2 ? o.message.substr(1) : o.message);
            const Button b = kind == 1   ? Message(caption, text, {Ok, Cancel})
                             : kind == 2 ? Message(caption, text, {Yes, No})
                                         : Message(caption, text, {Ok});
            if (b == Cancel || b == No)
                return 2;
        }
        const std::wstring dir = OptionText(o.defaultDir);
        folder = dir.empty() ? currentFolder() : dir == L"><" ? tempFolder() : dir;

        Form f;
        f.caption = caption;
        f.text = L"Extract the files of this archive to the folder:";
        f.hasEdit = true;
        f.browse = true;
        f.edit = folder;
        if (o.has(sfx::AskFiles)) {
            f.text = L"Choose the files to extract and the folder to extract them to:";
            for (const sfx::Entry& e : entries)
                f.items.push_back(Wide(sfx::NameUtf8(e)));
        }
        f.overwriteChoice = !o.has(sfx::HideOverwriteBox);
        f.overwriteMode = x.overwriteMode;
        f.buttons = {Ok, Cancel};
        if (f.Run() != Ok)
            return 2;
        folder = f.edit;
        if (!f.items.empty())
            chosen = f.chosen;
        x.overwriteMode = f.overwriteMode;
    }
    if (folder.empty())
        folder = currentFolder();
    if (!makeFolders(folder)) {
        Message(caption, L"The folder " + folder + L" could not be made.");
        return 1;
    }

    if (!o.has(sfx::NoSizeCheck)) {
        uint64_t needed = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (chosen[i])
                needed += entries[i].size;
        ULARGE_INTEGER avail;
        if (GetDiskFreeSpaceExW(folder.c_str(), &avail, nullptr, nullptr) && avail.QuadPart < needed) {
            Message(caption, L"There is not enough free space in " + folder + L" for the files of this archive.");
            return 1;
        }
    }

    const bool ok = x.Run(entries, chosen, folder);
    if (!ok && x.Extracted() == 0)
        return 1;
    if (!o.commandLine.empty())
        runCommand(OptionText(o.commandLine), folder, o.has(sfx::AskCmdLine) && !autoRun, caption);
    if (!autoRun && !o.has(sfx::NoSuccessMessage))
        Message(caption, std::to_wstring(x.Extracted()) + (x.Extracted() == 1 ? L" file was" : L" files were")
                             + L" extracted to " + folder + L".");
    return ok ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const int code = run();
    Log(L"EXIT " + std::to_wstring(code));
    return code;
}
