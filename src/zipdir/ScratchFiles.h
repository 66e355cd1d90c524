#pragma once
// Scratch files that must not outlive the run, and putting a finished one in
// place. Scratch files must not outlive the run: while one is registered, an
// interrupt, hang-up or termination signal removes every registered file
// before the signal takes its usual course, and the file-size limit signal is
// ignored so that a write past the limit fails (and is cleaned up) instead of
// ending the process.

#include <string>

namespace zipdir {

class ScratchFile {
public:
    explicit ScratchFile(const std::string& path);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // The file is no longer scratch (renamed into place or removed).
    void Release();

private:
    int slot_ = -1;
};

// Keeps the signal handling of scratch files in place while it lives, so that
// a run registering one file after another sets it up once, not per file.
class ScratchScope {
public:
    ScratchScope();
    ~ScratchScope();
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;
};

// Removes a scratch file; a removal that failed once is tried again.
void RemoveScratchFile(const std::string& path);

// Writes what the system holds of the file `path` to disk (fsync). False,
// errno kept, when it cannot: the file may then not be whole after a crash.
bool SyncFile(const std::string& path);
// Writes the folder holding `path` to disk, so that a name just given there
// survives a system crash. Best effort: nothing is lost when it fails.
void SyncFolderOf(const std::string& path);

// Puts the complete file `from` in the place of `to`, synced to disk before
// it takes the name and the folder synced after: a rename, or, when
// `to` has other names (hard links) that a rename would leave with the old
// content, the content written over `to` itself, its room claimed first so
// that a full disk stops the run before the old content is touched, and its
// old content kept in a copy beside it that is put back if the writing fails. On
// success `from` is gone; on failure `to` is as it was, `why` says what went
// wrong, errno is kept and `from` is left for the caller. `synced`, when
// given, is set false when `from` itself could not be written to disk (it is
// then not to be trusted, not even under another name).
bool ReplaceFile(const std::string& from, const std::string& to, std::string& why, bool* synced = nullptr);

} // namespace zipdir
