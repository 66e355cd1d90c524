#include "ArchiveCli.h"

#include "archive/Archive.h"

#include <QFileInfo>

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool wildMatch(const QString& pattern, const QString& name)
{
    auto fold = [](QChar c) { return c.unicode() < 128 ? c.toLower() : c; };
    // One backtrack point for the last '*'.
    qsizetype p = 0, n = 0, star = -1, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            mark = n;
        } else if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

QString withoutTrailingSlashes(QString s)
{
    while (s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return s;
}

} // namespace

bool namePicks(const QString& wanted, const QString& name)
{
    const QString w = withoutTrailingSlashes(wanted);
    const QString n = withoutTrailingSlashes(name);
    if (w.contains(QLatin1Char('*')) || w.contains(QLatin1Char('?')))
        return wildMatch(w, n);
    return n == w || n.startsWith(w + QLatin1Char('/'));
}

QString escapedName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

namespace {

class Command {
public:
    Command(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}

    int list(const QString& path);
    int extract(const QString& path, const QStringList& rest);

private:
    int fail(const QString& text)
    {
        say(text);
        return 1;
    }
    void say(const QString& text) { err_ << "quarn-cli: " << text << Qt::endl; }
    // The archive's backend after the checks every command makes; null after a message.
    std::unique_ptr<Archive> open(const QString& path);
    void showWarnings(const Archive& a)
    {
        for (const QString& w : a.warnings())
            say(w);
    }

    QTextStream& out_;
    QTextStream& err_;
};

std::unique_ptr<Archive> Command::open(const QString& path)
{
    ArchiveKind kind = archivekind::fromName(path);
    // Any other name is taken for a zip (a self-extractor, a renamed archive).
    if (kind == ArchiveKind::None)
        kind = ArchiveKind::Zip;
    if (!QFileInfo(path).isFile()) {
        fail(QStringLiteral("cannot open %1").arg(path));
        return nullptr;
    }
    const QString mismatch = archivekind::contentMismatch(path, kind);
    if (!mismatch.isEmpty()) {
        fail(mismatch);
        return nullptr;
    }
    std::unique_ptr<Archive> a = openArchive(path, kind);
    if (!a)
        fail(QStringLiteral("%1 archives cannot be read yet").arg(archivekind::kindName(kind)));
    return a;
}

int Command::list(const QString& path)
{
    const std::unique_ptr<Archive> a = open(path);
    if (!a)
        return 1;
    const bool utc = a->kind() == ArchiveKind::Tar || a->kind() == ArchiveKind::TarGz || a->kind() == ArchiveKind::Other;
    const QString error = a->list([&](const ArchiveEntry& e) {
        QString name = e.name;
        if (e.folder() && !name.endsWith(QLatin1Char('/')))
            name += QLatin1Char('/');
        const QDateTime t = utc ? e.time.toUTC() : e.time.toLocalTime();
        out_ << e.size << '\t' << t.toString(DateFormat) << '\t' << escapedName(name) << '\n';
        return true;
    });
    out_.flush();
    showWarnings(*a);
    return error.isEmpty() ? 0 : fail(error);
}

int Command::extract(const QString& path, const QStringList& rest)
{
    ExtractRequest request;
    request.destination = QStringLiteral(".");
    request.replace = ReplacePolicy::Never;
    QStringList names;
    bool onlyNames = false;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& a = rest[i];
        if (onlyNames || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            names << a;
        } else if (a == QLatin1String("--")) {
            onlyNames = true;
        } else if (a == QLatin1String("--overwrite")) {
            request.replace = ReplacePolicy::Always;
        } else if ((a == QLatin1String("-d") || a == QLatin1String("--password")) && i + 1 < rest.size()) {
            (a == QLatin1String("-d") ? request.destination : request.password) = rest[++i];
        } else {
            err_ << (a == QLatin1String("-d") || a == QLatin1String("--password")
                         ? QStringLiteral("%1 needs a value").arg(a)
                         : QStringLiteral("unknown option %1").arg(a))
                 << "\nusage: quarn-cli extract ARCHIVE [-d DIR] [--overwrite] [--password PW] [NAME...]" << Qt::endl;
            return 2;
        }
    }
    const std::unique_ptr<Archive> a = open(path);
    if (!a)
        return 1;
    QVector<bool> used(names.size(), false);
    if (!names.isEmpty())
        request.selected = [&](const ArchiveEntry& e) {
            bool hit = false;
            for (qsizetype i = 0; i < names.size(); ++i)
                if (namePicks(names[i], e.name))
                    hit = used[i] = true;
            return hit;
        };
    request.note = [this](const QString& text) { say(text); };
    const ExtractResult r = a->extract(request);
    showWarnings(*a);
    int code = r.ok() ? 0 : 1;
    if (!r.error.isEmpty())
        say(r.error);
    for (qsizetype i = 0; i < names.size(); ++i)
        if (!used[i]) {
            say(QStringLiteral("no entry matches %1").arg(names[i]));
            code = 1;
        }
    return code;
}

} // namespace

std::optional<int> runArchiveCli(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (command != QLatin1String("list") && command != QLatin1String("extract"))
        return std::nullopt;
    if (args.isEmpty() || args.first().isEmpty()) {
        err << "usage: quarn-cli " << command << " ARCHIVE ..." << Qt::endl;
        return 2;
    }
    Command c(out, err);
    if (command == QLatin1String("list")) {
        if (args.size() != 1) {
            err << "usage: quarn-cli list ARCHIVE" << Qt::endl;
            return 2;
        }
        return c.list(args.first());
    }
    return c.extract(args.first(), args.mid(1));
}
