#include "TarCli.h"

#include "codecs/Gzip.h"
#include "codecs/GzipReader.h"
#include "codecs/TarReader.h"
#include "codecs/TarWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Gzip result codes as text for the console.
QString gzipFailure(int code, const QString& source, const QString& dest, bool compressing)
{
    if (compressing) {
        switch (code) {
        case 1: return QStringLiteral("cannot open %1").arg(source);
        case 2: return QStringLiteral("cannot create %1").arg(dest);
        case 101: return QStringLiteral("read error in %1").arg(source);
        case 102: return QStringLiteral("write error in %1 (disk full?)").arg(dest);
        default: return QStringLiteral("cannot finish %1").arg(dest);
        }
    }
    switch (code) {
    case 1: return QStringLiteral("cannot open %1").arg(source);
    case 2: return QStringLiteral("cannot create %1").arg(dest);
    case TGzip::DestinationCloseError: return QStringLiteral("cannot write %1 (disk full?)").arg(dest);
    default: return QStringLiteral("%1 is damaged (bad or truncated compressed data)").arg(source);
    }
}

quint16 modeOf(const QFileInfo& info)
{
    const QFile::Permissions p = info.permissions();
    quint16 m = 0;
    if (p & QFile::ReadOwner) m |= TarMode::OwnerRead;
    if (p & QFile::WriteOwner) m |= TarMode::OwnerWrite;
    if (p & QFile::ExeOwner) m |= TarMode::OwnerExecute;
    if (p & QFile::ReadGroup) m |= TarMode::GroupRead;
    if (p & QFile::WriteGroup) m |= TarMode::GroupWrite;
    if (p & QFile::ExeGroup) m |= TarMode::GroupExecute;
    if (p & QFile::ReadOther) m |= TarMode::OtherRead;
    if (p & QFile::WriteOther) m |= TarMode::OtherWrite;
    if (p & QFile::ExeOther) m |= TarMode::OtherExecute;
    return m;
}

// The stored name a new .tar.gz/.tgz gets for its inner tar.
QString innerTarName(const QString& archive)
{
    QString base = QFileInfo(archive).fileName();
    if (base.endsWith(QLatin1String(".tgz"), Qt::CaseInsensitive))
        return base.left(base.size() - 4) + QStringLiteral(".tar");
    return base.left(base.size() - 3); // ".gz"
}

// True when `path` lies inside `root` (both absolute, cleaned).
bool isInside(const QString& root, const QString& path)
{
    const QString r = QDir::cleanPath(root);
    const QString p = QDir::cleanPath(path);
    return p == r || p.startsWith(r.endsWith('/') ? r : r + '/');
}

class Session {
public:
    Session(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}

    int list(const QString& archive, TarKind kind);
    int extract(const QString& archive, TarKind kind, const QStringList& rest);
    int create(const QString& archive, TarKind kind, const QStringList& paths);

private:
    int fail(const QString& text)
    {
        err_ << "quarn-cli: " << text << Qt::endl;
        return 1;
    }
    int damaged(const TTarEntry& e)
    {
        return fail(QStringLiteral("damaged tar header at offset %1 (checksum mismatch); stopped").arg(e.headerPosition));
    }
    void note(const QString& text) { err_ << "quarn-cli: " << text << Qt::endl; }

    // Runs `work` on the tar of a .tar.gz/.tgz as it is decompressed, then
    // reads the compressed data to its end so damage anywhere is reported.
    template <typename Work>
    int onGzTar(const QString& archive, Work work);
    int listTar(TTarReader& r);
    int extractTar(TTarReader& r, const QString& dest, bool overwrite, const QStringList& names);
    int writeTar(const QString& tarPath, const QStringList& paths, const QStringList& exclude);
    void addTree(TTarWriter& w, const QFileInfo& info, const QString& member, const QStringList& exclude);

    QTextStream& out_;
    QTextStream& err_;
};

template <typename Work>
int Session::onGzTar(const QString& archive, Work work)
{
    TGzipReader gz(archive);
    if (!gz.open(QIODevice::ReadOnly))
        return fail(gzipFailure(TGzip::SourceOpenError, archive, QString(), false));
    int code = 0;
    try {
        TTarReader r(gz, archive);
        code = work(r);
        char rest[16384];
        qint64 got;
        while ((got = gz.read(rest, sizeof rest)) > 0) {
        }
        if (got < 0)
            throw TTarError(gz.errorString());
    } catch (const TTarError&) {
        if (gz.damaged())
            return fail(gzipFailure(TGzip::DataError, archive, QString(), false));
        throw;
    }
    return code;
}

int Session::listTar(TTarReader& r)
{
    TTarEntry e;
    while (r.nextEntry(e)) {
        if (!e.checksumOk)
            return damaged(e);
        QString name = e.name;
        if (e.fileType == TTarFileType::Directory && !name.endsWith('/'))
            name += '/';
        out_ << e.size << '\t' << e.time.toString(DateFormat) << '\t' << name << '\n';
    }
    out_.flush();
    return 0;
}

int Session::list(const QString& archive, TarKind kind)
{
    if (!QFileInfo(archive).isFile())
        return fail(QStringLiteral("cannot open %1").arg(archive));
    if (kind == TarKind::Gz) {
        TGzip gz;
        gz.WindowOnError = false;
        gz.FileSource = archive;
        const int r = gz.readHeader();
        if (r != 0)
            return fail(QStringLiteral("%1 is not a gzip file that can be read").arg(archive));
        const QFileInfo info(archive);
        QString name = gz.storedName();
        if (name.isEmpty())
            name = innerTarName(archive);
        out_ << info.size() << '\t' << info.lastModified().toString(DateFormat) << '\t' << name << Qt::endl;
        return 0;
    }
    if (kind == TarKind::Tar) {
        TTarReader r(archive);
        return listTar(r);
    }
    return onGzTar(archive, [this](TTarReader& r) { return listTar(r); });
}

int Session::extractTar(TTarReader& r, const QString& dest, bool overwrite, const QStringList& names)
{
    QList<QRegularExpression> patterns;
    for (const QString& n : names)
        patterns << QRegularExpression(QRegularExpression::wildcardToRegularExpression(
            n, QRegularExpression::UnanchoredWildcardConversion));
    QVector<bool> used(names.size(), false);
    auto wanted = [&](const QString& name) {
        if (names.isEmpty())
            return true;
        QString bare = name;
        while (bare.endsWith('/'))
            bare.chop(1);
        bool hit = false;
        for (int i = 0; i < names.size(); ++i) {
            QString n = names[i];
            while (n.endsWith('/'))
                n.chop(1);
            if (bare == n || bare.startsWith(n + '/') || patterns[i].match(bare).hasMatch()) {
                used[i] = true;
                hit = true;
            }
        }
        return hit;
    };

    const QString root = QDir(dest).absolutePath();
    if (!QDir().mkpath(root))
        return fail(QStringLiteral("cannot create the folder %1").arg(root));

    // No part of the path below DEST may be a symbolic link: writing through
    // one could land outside DEST.
    auto safeParent = [&](const QString& rel) {
        const QStringList parts = rel.split('/');
        QString at = root;
        for (int i = 0; i + 1 < parts.size(); ++i) {
            at += '/' + parts[i];
            const QFileInfo fi(at);
            if (fi.isSymLink())
                return false;
            if (fi.exists() && !fi.isDir())
                return false;
        }
        return QDir().mkpath(QFileInfo(root + '/' + rel).absolutePath());
    };

    struct Link {
        QString rel, target;
        bool hard;
    };
    QList<Link> links;
    int problems = 0;
    TTarEntry e;
    while (r.nextEntry(e)) {
        // Nothing after a damaged header can be trusted (its size included).
        if (!e.checksumOk)
            return damaged(e);
        if (!wanted(e.name))
            continue;
        const QString rel = tarSafeRelativePath(e.name);
        if (rel.isEmpty())
            continue;
        if (rel != QDir::cleanPath(e.name).remove(QRegularExpression("^/+")))
            note(QStringLiteral("%1 extracted as %2").arg(e.name, rel));
        const QString target = root + '/' + rel;
        switch (e.fileType) {
        case TTarFileType::Directory:
            if (!safeParent(rel + "/x") || !QDir().mkpath(target)) {
                note(QStringLiteral("cannot create the folder %1").arg(target));
                ++problems;
            }
            continue;
        case TTarFileType::SymbolicLink:
        case TTarFileType::HardLink:
            links << Link{rel, e.linkName, e.fileType == TTarFileType::HardLink};
            continue;
        case TTarFileType::Regular:
        case TTarFileType::Contiguous:
            break;
        default:
            note(QStringLiteral("%1 skipped (not a file or folder)").arg(e.name));
            continue;
        }
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink()) {
            if (!overwrite) {
                note(QStringLiteral("%1 exists; kept (use --overwrite to replace it)").arg(target));
                continue;
            }
            if (existing.isDir() && !existing.isSymLink()) {
                note(QStringLiteral("%1 is a folder; not replaced").arg(target));
                ++problems;
                continue;
            }
            QFile::remove(target);
        }
        if (!safeParent(rel)) {
            note(QStringLiteral("cannot create the folder for %1").arg(target));
            ++problems;
            continue;
        }
        try {
            r.copyEntryDataToFile(target);
        } catch (const TTarError&) {
            QFile::remove(target); // cut short: no half-written file is left
            throw;
        }
        QFile f(target);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(e.time, QFileDevice::FileModificationTime);
    }

    // Links last, so no file of this archive is written through one.
    for (const Link& l : links) {
        const QString target = root + '/' + l.rel;
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
            if (!overwrite) {
                note(QStringLiteral("%1 exists; kept (use --overwrite to replace it)").arg(target));
                continue;
            }
            QFile::remove(target);
        }
        if (!safeParent(l.rel)) {
            note(QStringLiteral("cannot create the folder for %1").arg(target));
            ++problems;
            continue;
        }
        if (l.hard) {
            const QString from = root + '/' + tarSafeRelativePath(l.target);
            if (!QFileInfo(from).isFile() || !QFile::copy(from, target)) {
                note(QStringLiteral("%1 skipped (link to %2, which was not extracted)").arg(l.rel, l.target));
                ++problems;
            }
            continue;
        }
        const QString resolved = QDir::cleanPath(QFileInfo(target).absolutePath() + '/' + l.target);
        if (l.target.startsWith('/') || !isInside(root, resolved)) {
            note(QStringLiteral("%1 skipped (its link target %2 lies outside the folder)").arg(l.rel, l.target));
            continue;
        }
        if (!QFile::link(l.target, target)) {
            note(QStringLiteral("cannot create the link %1").arg(target));
            ++problems;
        }
    }

    for (int i = 0; i < names.size(); ++i)
        if (!used[i]) {
            note(QStringLiteral("no entry matches %1").arg(names[i]));
            ++problems;
        }
    return problems ? 1 : 0;
}

int Session::extract(const QString& archive, TarKind kind, const QStringList& rest)
{
    QString dest = QStringLiteral(".");
    bool overwrite = false;
    QStringList names;
    for (int i = 0; i < rest.size(); ++i) {
        if (rest[i] == QLatin1String("-d")) {
            if (i + 1 >= rest.size()) {
                err_ << "usage: quarn-cli extract ARCHIVE [-d DIR] [--overwrite] [NAME...]" << Qt::endl;
                return 2;
            }
            dest = rest[++i];
        } else if (rest[i] == QLatin1String("--overwrite")) {
            overwrite = true;
        } else if (rest[i].startsWith('-') && rest[i].size() > 1) {
            err_ << "quarn-cli: unknown option " << rest[i] << Qt::endl;
            return 2;
        } else {
            names << rest[i];
        }
    }
    if (!QFileInfo(archive).isFile())
        return fail(QStringLiteral("cannot open %1").arg(archive));

    if (kind == TarKind::Tar) {
        TTarReader r(archive);
        return extractTar(r, dest, overwrite, names);
    }
    if (kind == TarKind::TarGz)
        return onGzTar(archive, [&](TTarReader& r) { return extractTar(r, dest, overwrite, names); });

    TGzip gz;
    gz.WindowOnError = false;
    gz.FileSource = archive;
    if (gz.readHeader() != 0)
        return fail(QStringLiteral("%1 is not a gzip file that can be read").arg(archive));
    QString name = QFileInfo(tarSafeRelativePath(gz.storedName())).fileName();
    if (name.isEmpty())
        name = innerTarName(archive);
    if (!names.isEmpty() && !names.contains(name))
        return fail(QStringLiteral("no entry matches %1").arg(names.join(' ')));
    if (!QDir().mkpath(dest))
        return fail(QStringLiteral("cannot create the folder %1").arg(dest));
    const QString target = QDir(dest).absoluteFilePath(name);
    if (QFileInfo(target).exists() && !overwrite) {
        note(QStringLiteral("%1 exists; kept (use --overwrite to replace it)").arg(target));
        return 0;
    }
    // Written beside the target first, so a failure leaves an existing file alone.
    const QString part = target + QStringLiteral(".quarn-part");
    gz.FileDestination = part;
    const int r = gz.decompress();
    if (r != 0) {
        QFile::remove(part);
        return fail(gzipFailure(r, archive, target, false));
    }
    QFile::remove(target);
    if (!QFile::rename(part, target))
        return fail(QStringLiteral("cannot create %1").arg(target));
    return 0;
}

void Session::addTree(TTarWriter& w, const QFileInfo& info, const QString& member, const QStringList& exclude)
{
    const QString abs = info.absoluteFilePath();
    for (const QString& x : exclude)
        if (isInside(x, abs))
            return;
    if (info.isDir() && !info.isSymLink()) {
        w.permissions = modeOf(info);
        w.addDirectory(member, info.lastModified().toUTC());
        const QFileInfoList children = QDir(abs).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo& c : children)
            addTree(w, c, member + '/' + c.fileName(), exclude);
        return;
    }
    if (!info.isFile()) {
        note(QStringLiteral("%1 skipped (not a file or folder)").arg(abs));
        return;
    }
    w.permissions = modeOf(info);
    w.addFile(abs, member);
}

int Session::writeTar(const QString& tarPath, const QStringList& paths, const QStringList& exclude)
{
    TTarWriter w(tarPath);
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (!info.exists())
            throw TTarError(QStringLiteral("cannot find %1").arg(p));
        QString member = QDir::cleanPath(info.absoluteFilePath()).section('/', -1);
        if (member.isEmpty())
            throw TTarError(QStringLiteral("cannot store %1 under a name").arg(p));
        addTree(w, QFileInfo(QDir::cleanPath(info.absoluteFilePath())), member, exclude);
    }
    w.close();
    return 0;
}

int Session::create(const QString& archive, TarKind kind, const QStringList& paths)
{
    const QString final = QFileInfo(archive).absoluteFilePath();
    const QString part = final + QStringLiteral(".quarn-part");
    QFile::remove(part);
    auto commit = [&]() {
        QFile::remove(final);
        if (!QFile::rename(part, final)) {
            QFile::remove(part);
            return fail(QStringLiteral("cannot create %1").arg(final));
        }
        return 0;
    };

    if (kind == TarKind::Gz) {
        if (paths.size() != 1 || !QFileInfo(paths[0]).isFile()) {
            err_ << "quarn-cli: a .gz archive holds exactly one file" << Qt::endl;
            return 2;
        }
        TGzip gz;
        gz.WindowOnError = false;
        gz.FileSource = paths[0];
        gz.FileDestination = part;
        const int r = gz.compress();
        if (r != 0) {
            QFile::remove(part);
            return fail(gzipFailure(r, paths[0], final, true));
        }
        return commit();
    }

    const QStringList exclude{final, part};
    if (kind == TarKind::Tar) {
        try {
            writeTar(part, paths, exclude);
        } catch (const TTarError& e) {
            QFile::remove(part);
            return fail(e.message());
        }
        return commit();
    }

    // tar.gz: a tar in a scratch folder beside the archive, then compressed.
    QTemporaryDir tmp(QFileInfo(final).absolutePath() + QStringLiteral("/.quarn-XXXXXX"));
    if (!tmp.isValid())
        return fail(QStringLiteral("cannot create a temporary folder beside %1").arg(final));
    const QString tar = tmp.filePath(innerTarName(final));
    try {
        writeTar(tar, paths, exclude + QStringList{tmp.path()});
    } catch (const TTarError& e) {
        return fail(e.message());
    }
    TGzip gz;
    gz.WindowOnError = false;
    gz.FileSource = tar;
    gz.FileDestination = part;
    const int r = gz.compress();
    if (r != 0) {
        QFile::remove(part);
        return fail(gzipFailure(r, tar, final, true));
    }
    return commit();
}

} // namespace

TarKind tarKindOf(const QString& archive)
{
    const QString n = QFileInfo(archive).fileName();
    if (n.endsWith(QLatin1String(".tar.gz"), Qt::CaseInsensitive) || n.endsWith(QLatin1String(".tgz"), Qt::CaseInsensitive))
        return n.size() > 4 ? TarKind::TarGz : TarKind::None;
    if (n.endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        return TarKind::Tar;
    if (n.endsWith(QLatin1String(".gz"), Qt::CaseInsensitive) && n.size() > 3)
        return TarKind::Gz;
    return TarKind::None;
}

std::optional<int> runTarCli(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (command != QLatin1String("list") && command != QLatin1String("extract") && command != QLatin1String("create"))
        return std::nullopt;
    if (args.isEmpty())
        return std::nullopt;
    const TarKind kind = tarKindOf(args[0]);
    if (kind == TarKind::None)
        return std::nullopt;

    Session s(out, err);
    const QStringList rest = args.mid(1);
    try {
        if (command == QLatin1String("list")) {
            if (!rest.isEmpty()) {
                err << "usage: quarn-cli list ARCHIVE" << Qt::endl;
                return 2;
            }
            return s.list(args[0], kind);
        }
        if (command == QLatin1String("extract"))
            return s.extract(args[0], kind, rest);
        if (rest.isEmpty()) {
            err << "usage: quarn-cli create ARCHIVE PATH..." << Qt::endl;
            return 2;
        }
        return s.create(args[0], kind, rest);
    } catch (const TTarError& e) {
        err << "quarn-cli: " << e.message() << Qt::endl;
        return 1;
    }
}

std::optional<int> runTarCli(const QString& command, const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runTarCli(command, args, out, err);
}
