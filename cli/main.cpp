// quarn-cli: the archive commands without the window. list and extract read
// every kind through the archive layer (runArchiveCli); test, add, delete and
// create of a zip go through the same TZipEngine as the program (unattended:
// every message is written to the console instead of a box); creating the tar
// kinds goes to runTarCli.
//
// Exit status: 0 success, 1 the operation failed (its messages on standard
// error), 2 the command line was wrong.

#include "ArchiveCli.h"
#include "SfxCli.h"
#include "TarCli.h"
#include "archive/ArchiveKind.h"
#include "platform/Platform.h"
#include "zipdir/ScratchFiles.h"
#include "zipengine/TZipEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

const char* const kHelp =
    "usage: quarn-cli COMMAND ARCHIVE [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  list ARCHIVE\n"
    "      One line per entry: size, a tab, the date (YYYY-MM-DD HH:MM:SS), a tab,\n"
    "      the stored name (folders end in \"/\").\n"
    "  extract ARCHIVE [-d DIR] [--overwrite] [--password PW] [NAME...]\n"
    "      Extracts into DIR (default: the current folder), all entries or those\n"
    "      NAMEs pick (exact names, folders ending in \"/\", or * and ? patterns).\n"
    "      Existing files are kept unless --overwrite is given. Names are always\n"
    "      written inside DIR.\n"
    "  create ARCHIVE [--level N] [--password PW [--aes]] [--split SIZE] PATH...\n"
    "      Makes a new zip (replacing ARCHIVE only once it is complete) from the\n"
    "      PATHs; folders are recursed, names are relative to each PATH's parent.\n"
    "      --level 0 stores, 1..9 deflates (default 8); --password encrypts, with\n"
    "      the traditional zip encryption or, with --aes, with AES-256.\n"
    "      --split writes the zip as a set of parts of at most SIZE bytes each\n"
    "      (a k, m or g suffix counts KiB, MiB or GiB; at least 64k), named\n"
    "      ARCHIVE with 001, 002, ... before its extension, and prints their\n"
    "      names. list, test and extract read a set given its last part.\n"
    "  add ZIP [--level N] [--password PW [--aes]] PATH...\n"
    "      Adds or replaces the PATHs in ZIP (made when it does not exist).\n"
    "  delete ZIP NAME...\n"
    "      Removes the entries NAMEs pick.\n"
    "  test ZIP [--password PW]\n"
    "      Reads every entry and checks its CRC.\n"
    "\n"
    "Archives ending in .tar, .tar.gz, .tgz or .gz take list, extract and create\n"
    "(without --level, --password and --aes). Names in listings have control\n"
    "characters escaped (\\n, \\t, \\x1b, and \\\\ for a backslash). Warnings about\n"
    "a damaged archive that can still be read go to standard error.\n"
    "\n"
    "list and extract also read RAR archives (.rar; a multi-volume set from any of\n"
    "its parts, .partN.rar or .rar, .r00, ...), 7z, tar.xz/.txz, tar.bz2/.tbz2/.tbz,\n"
    "tar.zst/.tzst, tar.lz4, tar.lzma, single .xz, .bz2, .zst, .lz4 and .lzma files,\n"
    "iso, cab, cpio, ar/.deb and rpm. Encrypted RAR and 7z entries cannot be\n"
    "decrypted: they are reported and not extracted. The other commands refuse\n"
    "these kinds (exit status 2).\n"
    "\n"
    "Exit status: 0 success, 1 the operation failed, 2 a usage error.\n";

int usage(const QString& line)
{
    err() << "usage: " << line << "\nTry 'quarn-cli --help'." << Qt::endl;
    return 2;
}

QString storedName(const QString& engineName)
{
    QString n = engineName;
    n.replace('\\', '/');
    return n;
}

// One engine, set up for the console. `failed` turns true at the first error
// or warning any message carries.
struct ConsoleEngine {
    TZipEngine engine;
    bool failed = false;
    bool showInfo = false; // messages without an error code go to standard output

    ConsoleEngine()
    {
        engine.Unattended = true;
        engine.SetDLLDirectory(Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules));
        engine.OnMessage = [this](TZipEngine& e, int32_t code, const QString& rawText) {
            // The engine's own messages carry code 0 and leave their number in
            // ErrCode; the libraries' carry their error code.
            const bool error = code != 0 || e.ErrCode != 0;
            // What the directory reader reads past is a warning, as on the unzip page.
            const bool warning = code == 0 && (e.ErrCode == ZipMsg::LI_GarbageAtEOF || e.ErrCode == ZipMsg::LI_WrongZipStruct);
            e.ErrCode = 0;
            // The engine hands names on with "\" separators; this is a "/" system.
            const QString text = storedName(rawText);
            if (warning) {
                err() << text << Qt::endl;
            } else if (error) {
                failed = true;
                err() << text << Qt::endl;
            } else if (showInfo && !text.isEmpty() && !text.startsWith(QLatin1String("Copying: "))) {
                // (Joining a set names each entry it copies; the output stays
                // that of a whole zip.)
                out() << text << Qt::endl;
            }
        };
        engine.OnExtractSkipped = [](TZipEngine&, const QString& file, TZipEngine::UnZipSkipTypes type, int32_t) {
            if (type == TZipEngine::stNoOverwrite)
                err() << storedName(file) << " exists; kept (use --overwrite to replace it)" << Qt::endl;
        };
        // No one to ask: a missing or wrong password ends the requests.
        engine.OnPasswordError = [](TZipEngine&, bool, QString& pw, const QString&, uint32_t& repeat,
                                    TZipEngine::TPasswordButton& action) {
            pw.clear();
            repeat = 0;
            action = TZipEngine::pwbCancelAll;
        };
    }
};

// Options shared by the commands; `rest` keeps the other arguments in order.
struct Options {
    std::optional<QString> dir;
    bool overwrite = false;
    std::optional<QString> password;
    bool aes = false;
    int level = 8;
    qint64 split = 0; // bytes per part of a set; 0: one whole zip
    QStringList rest;
};

// "1457664", "640k", "2m", "1g": a part size in bytes, or -1.
qint64 partSizeOf(const QString& text)
{
    QString digits = text.trimmed().toLower();
    qint64 unit = 1;
    if (digits.endsWith('k'))
        unit = 1024;
    else if (digits.endsWith('m'))
        unit = 1024 * 1024;
    else if (digits.endsWith('g'))
        unit = 1024 * 1024 * 1024;
    if (unit != 1)
        digits.chop(1);
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    if (!ok || n <= 0 || digits.startsWith('+') || n > std::numeric_limits<int32_t>::max() / unit)
        return -1;
    return n * unit;
}

// Parses `args`, accepting the options named in `allowed`. Returns a usage
// problem, or an empty text.
QString parseOptions(const QStringList& args, const QStringList& allowed, Options& o)
{
    bool onlyNames = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (onlyNames || !a.startsWith('-') || a == "-") {
            o.rest << a;
            continue;
        }
        if (a == "--") {
            onlyNames = true;
            continue;
        }
        if (!allowed.contains(a))
            return QStringLiteral("unknown option %1").arg(a);
        if (a == "--overwrite" || a == "--aes") {
            (a == "--aes" ? o.aes : o.overwrite) = true;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(a);
        const QString v = args[++i];
        if (a == "-d") {
            o.dir = v;
        } else if (a == "--password") {
            if (v.isEmpty())
                return QStringLiteral("--password needs a value");
            o.password = v;
        } else if (a == "--split") {
            o.split = partSizeOf(v);
            if (o.split < 65536 || o.split > std::numeric_limits<int32_t>::max())
                return QStringLiteral("--split takes a size from 64k to 2147483647 bytes");
        } else if (a == "--level") {
            bool ok = false;
            o.level = v.toInt(&ok);
            if (!ok || o.level < 0 || o.level > 9)
                return QStringLiteral("--level takes 0 to 9");
        }
    }
    if (o.aes && !o.password)
        return QStringLiteral("--aes needs --password");
    return QString();
}

bool isZipFile(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        err() << path << ": no such file" << Qt::endl;
        return false;
    }
    return true;
}

int cmdTest(const QString& zip, const Options& o)
{
    if (!isZipFile(zip))
        return 1;
    ConsoleEngine c;
    c.showInfo = true;
    c.engine.SetZipFileName(zip);
    // A warning about the structure still leaves entries to read.
    if (c.failed && c.engine.Entries.empty())
        return 1;
    if (o.password)
        c.engine.Password = *o.password;
    c.engine.ExtrOptions = TZipEngine::ExtrTest | TZipEngine::ExtrDirNames;
    c.engine.FSpecArgs = o.rest;
    c.engine.Extract();
    return c.failed ? 1 : 0;
}

// Paths grouped by their parent folder, so that each group's names start at
// that folder.
std::map<QString, QStringList> groupByParent(const QStringList& paths, bool& ok)
{
    std::map<QString, QStringList> groups;
    ok = true;
    for (const QString& p : paths) {
        const QFileInfo fi(p);
        if (!fi.exists()) {
            err() << p << ": no such file or folder" << Qt::endl;
            ok = false;
            continue;
        }
        const QString abs = QDir::cleanPath(fi.absoluteFilePath());
        if (abs == "/") {
            err() << p << ": the root folder cannot be added" << Qt::endl;
            ok = false;
            continue;
        }
        groups[QFileInfo(abs).absolutePath()] << abs;
    }
    return groups;
}

// Adds every group to `zip`, one engine call per group. True when all went in.
bool addGroups(const QString& zip, const std::map<QString, QStringList>& groups, const Options& o)
{
    for (const auto& [root, specs] : groups) {
        ConsoleEngine c;
        // A file that does not exist yet is a new archive, not an error: the
        // directory is read quietly here, and the library reports a damaged one.
        auto onMessage = std::move(c.engine.OnMessage);
        c.engine.OnMessage = nullptr;
        c.engine.SetZipFileName(zip);
        c.engine.OnMessage = std::move(onMessage);
        c.engine.ErrCode = 0;
        c.engine.AddOptions = TZipEngine::AddDirNames | TZipEngine::AddRecurseDirs | TZipEngine::AddHiddenFiles
                              | TZipEngine::AddSeparateDirs;
        if (o.password) {
            c.engine.AddOptions |= TZipEngine::AddEncrypt;
            c.engine.Password = *o.password;
            c.engine.AddAes = o.aes;
        }
        c.engine.AddCompLevel = o.level;
        c.engine.RootDir = root;
        c.engine.FSpecArgs = specs;
        c.engine.Add();
        if (c.failed || c.engine.SuccessCount <= 0) {
            if (!c.failed)
                err() << "nothing was added to " << zip << Qt::endl;
            return false;
        }
    }
    return true;
}

// A name beside `target` that does not exist yet.
QString scratchBeside(const QString& target)
{
    const QFileInfo fi(target);
    for (;;) {
        const QString name = fi.absolutePath() + "/." + fi.fileName() + "."
                             + QString::number(QRandomGenerator::global()->generate(), 36) + ".part";
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

// Copies `from`, with its permissions, into the new file `to` itself (no
// temporary name of its own, which the signal clean-up would not know).
bool copyInto(const QString& from, const QString& to)
{
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !out.setPermissions(in.permissions()))
        return false;
    for (QByteArray block; !(block = in.read(1 << 20)).isEmpty();)
        if (out.write(block) != block.size())
            return false;
    return in.error() == QFileDevice::NoError && out.flush();
}

bool replaceWith(const QString& scratch, const QString& target)
{
    std::string why;
    if (!zipdir::ReplaceFile(QFile::encodeName(scratch).toStdString(), QFile::encodeName(target).toStdString(), why)) {
        err() << QString::fromLocal8Bit(why) << Qt::endl;
        QFile::remove(scratch);
        return false;
    }
    return true;
}

// The file `path` names, through any symbolic links: an archive is written
// where it lies, and the links to it stay links.
QString behindLinks(const QString& path)
{
    QFileInfo fi(path);
    for (int depth = 0; depth < 40 && fi.isSymLink(); ++depth)
        fi.setFile(fi.symLinkTarget());
    return fi.filePath();
}

// Copies the finished zip `scratch` out as the set named after `zip` and
// prints the parts' names; the scratch zip goes in any case.
bool writeSet(const QString& scratch, const QString& zip, qint64 partSize)
{
    ConsoleEngine c;
    c.engine.MaxVolumeSize = int32_t(partSize);
    // Parts of an earlier set under the same names are replaced.
    c.engine.OnStatusDisk = [](TZipEngine&, int32_t, const QString&, int32_t status, int32_t& action) {
        action = (status & TZipEngine::zdsNotEnoughSpace) ? TZipEngine::zdaCancel : TZipEngine::zdaOk;
    };
    const int32_t result = c.engine.WriteSpan(scratch, zip);
    QFile::remove(scratch);
    if (result != 0 || c.failed)
        return false;
    for (int32_t part = 1; part <= c.engine.CurrentDisk + 1; ++part)
        out() << TZipEngine::PartFileName(zip, part) << Qt::endl;
    return true;
}

int cmdCreateOrAdd(const QString& given, const Options& o, bool create)
{
    const QString zip = behindLinks(given);
    if (QFileInfo::exists(zip)
        && !(QFile::permissions(zip) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
        err() << given << " is read-only; it was left unchanged" << Qt::endl;
        return 1;
    }
    if (QFileInfo(zip).isDir()) {
        err() << zip << " is a folder" << Qt::endl;
        return 1;
    }
    if (!create && QFileInfo::exists(zip) && !QFileInfo(zip).isFile()) {
        err() << zip << " is not a file" << Qt::endl;
        return 1;
    }
    bool ok = false;
    const auto groups = groupByParent(o.rest, ok);
    if (!ok)
        return 1;
    // Each engine call replaces its archive only when it succeeds; several
    // groups, or a new archive, are built under a scratch name first so that
    // a failure half-way leaves ZIP as it was.
    if (!create && groups.size() == 1)
        return addGroups(zip, groups, o) ? 0 : 1;
    const QString scratch = scratchBeside(zip);
    zipdir::ScratchFile removedOnSignals(QFile::encodeName(scratch).toStdString());
    if (!create && QFileInfo::exists(zip) && !copyInto(zip, scratch)) {
        err() << "cannot copy " << zip << " to " << scratch << Qt::endl;
        QFile::remove(scratch);
        return 1;
    }
    if (!addGroups(scratch, groups, o)) {
        QFile::remove(scratch);
        return 1;
    }
    if (create && o.split > 0)
        return writeSet(scratch, zip, o.split) ? 0 : 1;
    if (create) {
        // The scratch file got the usual permissions; an archive replaced keeps its own.
        if (QFileInfo::exists(zip))
            QFile::setPermissions(scratch, QFile::permissions(zip));
    }
    return replaceWith(scratch, zip) ? 0 : 1;
}

int cmdDelete(const QString& zip, const QStringList& names)
{
    if (!isZipFile(zip))
        return 1;
    ConsoleEngine c;
    c.engine.SetZipFileName(zip);
    if (c.failed)
        return 1;
    c.engine.FSpecArgs = names;
    try {
        c.engine.Delete();
    } catch (const EZipEngine& e) {
        c.engine.IssueException(e);
        c.failed = true;
    }
    if (!c.failed && c.engine.SuccessCount <= 0) {
        err() << "nothing was deleted from " << zip << Qt::endl;
        return 1;
    }
    return c.failed ? 1 : 0;
}

int run(const QStringList& argv)
{
    if (argv.isEmpty())
        return usage("quarn-cli COMMAND ARCHIVE ...");
    const QString command = argv.first();
    if (command == "--help" || command == "-h" || command == "help") {
        out() << kHelp << "\nSelf-extracting programs:\n" << kSfxHelp;
        out().flush();
        return 0;
    }
    const QStringList args = argv.mid(1);
    if (args.contains("--help")) {
        out() << kHelp << "\nSelf-extracting programs:\n" << kSfxHelp;
        out().flush();
        return 0;
    }
    static const QStringList commands{"list", "extract", "create", "add", "delete", "test", "sfx", "unsfx"};
    if (!commands.contains(command)) {
        err() << "unknown command " << command << Qt::endl;
        return usage("quarn-cli COMMAND ARCHIVE ...");
    }
    if (args.isEmpty() || args.first().isEmpty())
        return usage(QStringLiteral("quarn-cli %1 ARCHIVE ...").arg(command));

    if (std::optional<int> code = runSfxCli(command, args, out(), err()))
        return *code;
    if (std::optional<int> code = runArchiveCli(command, args, out(), err()))
        return *code;
    if (tarKindOf(args.first()) != TarKind::None) {
        if (std::optional<int> code = runTarCli(command, args))
            return *code;
        err() << command << " is for zip archives only" << Qt::endl;
        return 2;
    }

    // The kinds read through the RAR library and libarchive are read only.
    const ArchiveKind readOnly = archivekind::fromName(args.first());
    if (readOnly == ArchiveKind::Rar || readOnly == ArchiveKind::Other) {
        if (command == "create")
            err() << "create writes zip, tar, tar.gz and gz archives only" << Qt::endl;
        else
            err() << command << " is for zip archives only" << Qt::endl;
        return 2;
    }

    const QString zip = args.first();
    Options o;
    if (command == "test") {
        const QString problem = parseOptions(args.mid(1), {"--password"}, o);
        if (!problem.isEmpty() || !o.rest.isEmpty()) {
            if (!problem.isEmpty())
                err() << problem << Qt::endl;
            return usage("quarn-cli test ZIP [--password PW]");
        }
        return cmdTest(zip, o);
    }
    if (command == "create" || command == "add") {
        const QStringList allowed = command == "create" ? QStringList{"--level", "--password", "--aes", "--split"}
                                                        : QStringList{"--level", "--password", "--aes"};
        const QString problem = parseOptions(args.mid(1), allowed, o);
        if (!problem.isEmpty() || o.rest.isEmpty()) {
            if (!problem.isEmpty())
                err() << problem << Qt::endl;
            return usage(command == "create" ? QStringLiteral("quarn-cli create ARCHIVE [--level N] [--password PW [--aes]] [--split SIZE] PATH...")
                                             : QStringLiteral("quarn-cli add ZIP [--level N] [--password PW [--aes]] PATH..."));
        }
        return cmdCreateOrAdd(zip, o, command == "create");
    }
    // delete
    const QString problem = parseOptions(args.mid(1), {}, o);
    if (!problem.isEmpty() || o.rest.isEmpty()) {
        if (!problem.isEmpty())
            err() << problem << Qt::endl;
        return usage("quarn-cli delete ZIP NAME...");
    }
    return cmdDelete(zip, o.rest);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int code = run(app.arguments().mid(1));
    out().flush();
    err().flush();
    return code;
}
