#pragma once
// The one settings record and its "config" file: 54 lines, CR LF, flags as
// "T"/"F", empty texts as "F".

#include <QByteArray>
#include <QString>

// A file-type opener that was replaced by ours (restored on undo).
struct TPreviousOpener {
    QString ClassName;    // at most 255 characters
    QString Description;  // at most 255 characters
    bool operator==(const TPreviousOpener&) const = default;
};

struct Settings {
    // Unzip options
    bool ExtractFolderNames = true;
    bool ExtractOverwrite = false;
    bool ExtractUpdate = false;
    bool ExtractFreshen = false;
    // Add options
    bool SaveFolders = true;
    bool RecurseFolders = true;
    bool ArchiveBitOnly = false;
    bool LongNames = true;
    bool PasswordProtect = false;
    bool SetZipTime = false;
    bool DateFilter = false;
    bool SpanDisks = false;
    bool EraseDisk = false;
    bool SelfExtracting = false;
    // Tar and gzip
    bool OpenTarInGzip = true;
    bool ShortGzipPaths = true;
    bool TarAttributes = false;
    bool RelativePaths = true;
    // Viewer
    bool ImageViewerOnClick = true;
    bool FitImageToScreen = true;
    bool SelectAllOnLoad = true;
    // 0 ask, 1 zip, 2 tar.gz, 3 tar, 4 gz
    int DefaultArchiveType = 1;
    int ThumbnailSize = 64;

    QString LastBatchFolder;
    QString LastOpenFolder;
    QString LastAddFolder;
    QString LastSaveFolder;
    QString LastIconFolder;
    QString SfxIconFile;
    QString LastUnzipFolder;

    // Openers replaced by ours, by ending.
    TPreviousOpener PreviousZip;
    TPreviousOpener PreviousGz;
    TPreviousOpener PreviousTar;
    TPreviousOpener PreviousTgz;
    TPreviousOpener PreviousRar;

    // Update page: walk sub-folders when adding a folder (line 28), and its
    // second flag (line 29).
    bool UpdateSubfolders = true;
    bool UpdatePageFlag = true;

    // Encrypt with AES-256 instead of the traditional zip encryption, which
    // older unzip tools read (line 30).
    bool AesEncryption = false;

    // Values no operation changes; they keep their lines.
    bool Reserved17 = true;
    QString Reserved23;
    int Reserved24 = 0;
    bool Reserved25 = false;
    bool Reserved31 = true;
    bool Reserved32 = false;
    bool Reserved33 = false;

    // Not stored.
    bool WordPadPresent = false;
    bool AddOptionsEditable = true;
    int CreateCutOff = 0;  // day number; 0 = not chosen yet
    int UpdateCutOff = 0;

    // Every option flag and DefaultArchiveType back to the built-in defaults
    // (texts untouched).
    void ApplyDefaults();
    // Empties every remembered folder, SfxIconFile, the reserved text, the
    // previous openers and the reserved values of lines 24 and 25.
    void ClearTexts();

    bool operator==(const Settings&) const = default;
};

namespace SettingsFile {

constexpr int LineCount = 54;
constexpr int OpenerTextLimit = 255;

// The 54 lines for `s`, each ended by CR LF.
QByteArray Serialize(const Settings& s);
// Reads `data` into `s`; lines past the end of the data take their
// missing-line values. Sets AddOptionsEditable.
void Parse(const QByteArray& data, Settings& s);

// The file itself: <folder>/config.
QString ConfigPath(const QString& folder);
// Returns whether the file was found (and read). A file that exists but cannot
// be read counts as not found; `readError` then says so.
bool Load(const QString& folder, Settings& s, bool* readError = nullptr);
// Writes the whole file through a temporary file renamed over the old one, so
// a failed write leaves the old file as it was. Returns whether it was written.
bool Save(const QString& folder, const Settings& s);
// Sets the fresh-file values in memory and writes them.
bool WriteDefaults(const QString& folder, Settings& s);

} // namespace SettingsFile
