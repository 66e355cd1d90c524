#include "settings/Settings.h"

#include "platform/Platform.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <functional>

void Settings::ApplyDefaults()
{
    const Settings d;
    ExtractFolderNames = d.ExtractFolderNames;
    ExtractOverwrite = d.ExtractOverwrite;
    ExtractUpdate = d.ExtractUpdate;
    ExtractFreshen = d.ExtractFreshen;
    SaveFolders = d.SaveFolders;
    RecurseFolders = d.RecurseFolders;
    ArchiveBitOnly = d.ArchiveBitOnly;
    LongNames = d.LongNames;
    PasswordProtect = d.PasswordProtect;
    AesEncryption = d.AesEncryption;
    SetZipTime = d.SetZipTime;
    DateFilter = d.DateFilter;
    SpanDisks = d.SpanDisks;
    EraseDisk = d.EraseDisk;
    SelfExtracting = d.SelfExtracting;
    OpenTarInGzip = d.OpenTarInGzip;
    ShortGzipPaths = d.ShortGzipPaths;
    TarAttributes = d.TarAttributes;
    RelativePaths = d.RelativePaths;
    ImageViewerOnClick = d.ImageViewerOnClick;
    FitImageToScreen = d.FitImageToScreen;
    SelectAllOnLoad = d.SelectAllOnLoad;
    DefaultArchiveType = d.DefaultArchiveType;
}

void Settings::ClearTexts()
{
    LastBatchFolder.clear();
    LastOpenFolder.clear();
    LastAddFolder.clear();
    LastSaveFolder.clear();
    LastIconFolder.clear();
    SfxIconFile.clear();
    LastUnzipFolder.clear();
    Reserved23.clear();
    for (TPreviousOpener* p : {&PreviousZip, &PreviousGz, &PreviousTar, &PreviousTgz, &PreviousRar})
        *p = TPreviousOpener{};
    Reserved24 = 0;
    Reserved25 = false;
}

namespace SettingsFile {

namespace {

QByteArray flag(bool b)
{
    return b ? QByteArrayLiteral("T") : QByteArrayLiteral("F");
}
QByteArray text(const QString& t)
{
    return t.isEmpty() ? QByteArrayLiteral("F") : t.toUtf8();
}
bool readFlag(const QByteArray& line)
{
    return line == "T";
}
QString readText(const QByteArray& line)
{
    return line == "F" ? QString() : QString::fromUtf8(line);
}
QString readOpener(const QByteArray& line)
{
    return readText(line).left(OpenerTextLimit);
}
// Only the texts in [lo, hi] are taken; anything else reads as 0.
int readChoice(const QByteArray& line, int lo, int hi)
{
    for (int v = lo; v <= hi; ++v)
        if (line == QByteArray::number(v))
            return v;
    return 0;
}
int readThumbnailSize(const QByteArray& line)
{
    bool ok = false;
    const int v = line.trimmed().toInt(&ok);
    if (!ok)
        return 64;
    if (v <= 15)
        return 16;
    if (v > 256)
        return 64;
    return v;
}

// One description per line: how it is written, how it is read and what it
// takes when the file has ended. Reading and writing share the table so the
// two sides cannot drift apart.
struct Line {
    std::function<QByteArray(const Settings&)> write;
    std::function<void(Settings&, const QByteArray&)> read;  // null: skipped
    std::function<void(Settings&)> missing;                  // null: nothing
};

#define FLAG(field, ifMissing)                                         \
    Line{[](const Settings& s) { return flag(s.field); },              \
         [](Settings& s, const QByteArray& l) { s.field = readFlag(l); }, \
         [](Settings& s) { s.field = ifMissing; }}
#define TEXT(field)                                                     \
    Line{[](const Settings& s) { return text(s.field); },               \
         [](Settings& s, const QByteArray& l) { s.field = readText(l); }, \
         [](Settings& s) { s.field.clear(); }}
#define OPENER(field)                                                     \
    Line{[](const Settings& s) { return text(s.field.left(OpenerTextLimit)); }, \
         [](Settings& s, const QByteArray& l) { s.field = readOpener(l); }, \
         [](Settings& s) { s.field.clear(); }}
#define SKIPPED Line{[](const Settings&) { return QByteArrayLiteral("F"); }, nullptr, nullptr}

const QList<Line>& lines()
{
    static const QList<Line> table = {
        FLAG(ExtractFolderNames, true),          // 1
        FLAG(ExtractOverwrite, false),           // 2
        FLAG(ExtractUpdate, false),              // 3
        FLAG(ExtractFreshen, false),             // 4
        SKIPPED,                                 // 5
        FLAG(SaveFolders, true),                 // 6
        FLAG(RecurseFolders, true),              // 7
        FLAG(ArchiveBitOnly, false),             // 8
        FLAG(LongNames, true),                   // 9
        FLAG(PasswordProtect, false),            // 10
        FLAG(SetZipTime, false),                 // 11
        FLAG(DateFilter, false),                 // 12
        FLAG(SpanDisks, false),                  // 13
        FLAG(EraseDisk, false),                  // 14
        FLAG(SelfExtracting, false),             // 15
        SKIPPED,                                 // 16
        Line{[](const Settings&) { return QByteArrayLiteral("T"); },  // 17: always written "T"
             [](Settings& s, const QByteArray& l) { s.Reserved17 = readFlag(l); },
             [](Settings& s) { s.Reserved17 = true; }},
        SKIPPED,                                 // 18
        TEXT(LastBatchFolder),                   // 19
        TEXT(LastOpenFolder),                    // 20
        TEXT(LastAddFolder),                     // 21
        TEXT(LastSaveFolder),                    // 22
        TEXT(Reserved23),                        // 23
        Line{[](const Settings& s) { return QByteArray::number(s.Reserved24); },  // 24
             [](Settings& s, const QByteArray& l) { s.Reserved24 = readChoice(l, 0, 3); },
             [](Settings& s) { s.Reserved24 = 0; }},
        FLAG(Reserved25, false),                 // 25
        OPENER(PreviousZip.ClassName),           // 26
        OPENER(PreviousZip.Description),         // 27
        FLAG(UpdateSubfolders, true),            // 28
        FLAG(UpdatePageFlag, true),              // 29
        FLAG(AesEncryption, false),              // 30
        FLAG(Reserved31, true),                  // 31
        FLAG(Reserved32, false),                 // 32
        FLAG(Reserved33, false),                 // 33
        SKIPPED,                                 // 34
        TEXT(LastIconFolder),                    // 35
        TEXT(SfxIconFile),                       // 36
        TEXT(LastUnzipFolder),                   // 37
        OPENER(PreviousGz.ClassName),            // 38
        OPENER(PreviousGz.Description),          // 39
        Line{[](const Settings& s) { return QByteArray::number(s.DefaultArchiveType); },  // 40
             [](Settings& s, const QByteArray& l) { s.DefaultArchiveType = readChoice(l, 0, 4); },
             [](Settings& s) { s.DefaultArchiveType = 0; }},
        FLAG(OpenTarInGzip, true),               // 41
        FLAG(ShortGzipPaths, true),              // 42
        OPENER(PreviousTar.ClassName),           // 43
        OPENER(PreviousTar.Description),         // 44
        FLAG(TarAttributes, true),               // 45
        FLAG(RelativePaths, true),               // 46
        FLAG(ImageViewerOnClick, true),          // 47
        FLAG(FitImageToScreen, true),            // 48
        FLAG(SelectAllOnLoad, true),             // 49
        Line{[](const Settings& s) { return QByteArray::number(s.ThumbnailSize); },  // 50
             [](Settings& s, const QByteArray& l) { s.ThumbnailSize = readThumbnailSize(l); },
             [](Settings& s) { s.ThumbnailSize = 64; }},
        OPENER(PreviousTgz.ClassName),           // 51
        OPENER(PreviousTgz.Description),         // 52
        OPENER(PreviousRar.ClassName),           // 53
        OPENER(PreviousRar.Description),         // 54
    };
    return table;
}

#undef FLAG
#undef TEXT
#undef OPENER
#undef SKIPPED

// A text that holds a line break would shift every following line; it is
// written with the break replaced by a space.
QByteArray oneLine(QByteArray v)
{
    v.replace('\r', ' ');
    v.replace('\n', ' ');
    return v;
}

} // namespace

QByteArray Serialize(const Settings& s)
{
    QByteArray out;
    for (const Line& l : lines()) {
        out += oneLine(l.write(s));
        out += "\r\n";
    }
    return out;
}

void Parse(const QByteArray& data, Settings& s)
{
    // Lines end at CR LF, or at a lone LF or CR (files edited by hand).
    QList<QByteArray> split;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '\r' || c == '\n') {
            split << data.mid(start, i - start);
            if (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < data.size())
        split << data.mid(start);

    const QList<Line>& table = lines();
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (i < split.size()) {
            if (table[i].read)
                table[i].read(s, split[i]);
        } else if (table[i].missing) {
            table[i].missing(s);
        }
    }
    s.AddOptionsEditable = true;
}

QString ConfigPath(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("config")
                                             : folder + QStringLiteral("/config");
}

bool Load(const QString& folder, Settings& s, bool* readError)
{
    if (readError)
        *readError = false;
    QFile f(ConfigPath(folder));
    if (!f.exists())
        return false;
    if (!f.open(QIODevice::ReadOnly)) {
        if (readError)
            *readError = true;
        return false;
    }
    // Far more than 54 lines of folder names could ever need; a larger file is not ours.
    constexpr qint64 limit = 4 * 1024 * 1024;
    const QByteArray data = f.read(limit);
    Parse(data, s);
    return true;
}

bool Save(const QString& folder, const Settings& s)
{
    QSaveFile f(ConfigPath(folder));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = Serialize(s);
    if (f.write(data) != data.size()) {
        f.cancelWriting();
        return false;
    }
    return Platform::CommitSaveFile(f);
}

bool WriteDefaults(const QString& folder, Settings& s)
{
    Settings fresh;  // the fresh-file values are the record's defaults
    fresh.WordPadPresent = s.WordPadPresent;
    fresh.CreateCutOff = s.CreateCutOff;
    fresh.UpdateCutOff = s.UpdateCutOff;
    fresh.AddOptionsEditable = true;
    s = fresh;
    return Save(folder, s);
}

} // namespace SettingsFile
