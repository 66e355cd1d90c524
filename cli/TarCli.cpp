#include "TarCli.h"

#include "codecs/Gzip.h"
#include "codecs/GzipWriter.h"
#include "codecs/TarWriter.h"
#include "platform/Platform.h"
#include "zipdir/ScratchFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>


namespace {

// Gzip compression result codes as text for the console.
QString gzipFailure(int code, const QString& source, const QString& dest)
{
    switch (code) {
    case 1: return QStringLiteral("cannot open %1").arg(source);
    case 2: return QStringLiteral("cannot create %1").arg(dest);
    case 101: return QStringLiteral("read error in %1").arg(source);
    case 102: return QStringLiteral("write error in %1 (disk full?)").arg(dest);
    default: return QStringLiteral("cannot finish %1").arg(dest);
    }
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
    explicit Session(QTextStream& err) : err_(err) {}

    int create(const QString& archive, TarKind kind, const QStringList& paths);

private:
    int fail(const QString& text)
    {
        err_ << "quarn-cli: " << text << Qt::endl;
        return 1;
    }
    void note(const QString& text) { err_ << "quarn-cli: " << text << Qt::endl; }

    int writeTar(const QString& tarPath, const QStringList& paths, const QStringList& exclude);
    void writeTar(QIODevice& sink, const QString& name, const QStringList& paths, const QStringList& exclude);
    void addAll(TTarWriter& w, const QStringList& paths, const QStringList& exclude);
    void addTree(TTarWriter& w, const QFileInfo& info, const QString& member, const QStringList& exclude);

    QTextStream& err_;
};

void Session::addTree(TTarWriter& w, const QFileInfo& info, const QString& member, const QStringList& exclude)
{
    const QString abs = info.absoluteFilePath();
    for (const QString& x : exclude)
        if (isInside(x, abs))
            return;
    if (info.isDir() && !info.isSymLink()) {
        w.permissions = TTarWriter::fileMode(info);
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
    w.permissions = TTarWriter::fileMode(info);
    w.addFile(info, member);
}

int Session::writeTar(const QString& tarPath, const QStringList& paths, const QStringList& exclude)
{
    TTarWriter w(tarPath);
    addAll(w, paths, exclude);
    w.close();
    return 0;
}

void Session::writeTar(QIODevice& sink, const QString& name, const QStringList& paths, const QStringList& exclude)
{
    TTarWriter w(sink, name);
    addAll(w, paths, exclude);
    w.close();
}

void Session::addAll(TTarWriter& w, const QStringList& paths, const QStringList& exclude)
{
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (!info.exists())
            throw TTarError(QStringLiteral("cannot find %1").arg(p));
        QString member = QDir::cleanPath(info.absoluteFilePath()).section('/', -1);
        if (member.isEmpty())
            throw TTarError(QStringLiteral("cannot store %1 under a name").arg(p));
        addTree(w, QFileInfo(QDir::cleanPath(info.absoluteFilePath())), member, exclude);
    }
}

int Session::create(const QString& archive, TarKind kind, const QStringList& paths)
{
    const QString final = QFileInfo(archive).absoluteFilePath();
    // A part file of a name nothing has takes the archive's place in one
    // step: an archive already there stays whole until then, and neither a
    // file of the user's nor another run's part file is touched.
    const QString part = Platform::ScratchNameBeside(final);
    auto commit = [&]() {
        std::string why;
        if (!zipdir::ReplaceFile(QFile::encodeName(part).toStdString(), QFile::encodeName(final).toStdString(), why)) {
            Platform::RemoveScratch(part);
            return fail(QString::fromLocal8Bit(why));
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
            Platform::RemoveScratch(part);
            return fail(gzipFailure(r, paths[0], final));
        }
        return commit();
    }

    const QStringList exclude{final, part};
    if (kind == TarKind::Tar) {
        try {
            writeTar(part, paths, exclude);
        } catch (const TTarError& e) {
            Platform::RemoveScratch(part);
            return fail(e.message());
        }
        return commit();
    }

    // tar.gz: the tar streams straight into the compressor, which writes the
    // part file on every core; an unfinished part file is removed.
    TGzipWriter gz(part);
    gz.storedName = innerTarName(final).toUtf8();
    if (!gz.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot create %1").arg(final));
    try {
        writeTar(gz, final, paths, exclude);
    } catch (const TTarError& e) {
        gz.discard();
        return fail(e.message());
    }
    if (!gz.finish())
        return fail(QStringLiteral("write error in %1 (disk full?)").arg(final));
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

std::optional<int> runTarCli(const QString& command, const QStringList& args, QTextStream& err)
{
    if (command != QLatin1String("create") || args.isEmpty())
        return std::nullopt;
    const TarKind kind = tarKindOf(args[0]);
    if (kind == TarKind::None)
        return std::nullopt;
    const QStringList rest = args.mid(1);
    if (rest.isEmpty()) {
        err << "usage: quarn-cli create ARCHIVE PATH..." << Qt::endl;
        return 2;
    }
    Session s(err);
    try {
        return s.create(args[0], kind, rest);
    } catch (const TTarError& e) {
        err << "quarn-cli: " << e.message() << Qt::endl;
        return 1;
    }
}

std::optional<int> runTarCli(const QString& command, const QStringList& args)
{
    QTextStream err(stderr);
    return runTarCli(command, args, err);
}
