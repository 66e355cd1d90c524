#pragma once
// Desktop applications for launch tests, inside an XdgSandbox: each is a
// .desktop entry whose Exec is a shell script that writes its arguments,
// one per line, to a file of its own. A test sees exactly which program got
// which path, and no real program ever starts.

#include "XdgSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

struct RecordingApps {
    XdgSandbox& box;
    QString scripts;

    // The system's MIME database stays visible in the sandbox (its
    // applications do not): file types are told as on the desktop.
    explicit RecordingApps(XdgSandbox& sandbox) : box(sandbox), scripts(sandbox.root.filePath(QStringLiteral("scripts")))
    {
        QDir().mkpath(scripts);
        const QString mime = QStringLiteral("/usr/share/mime");
        if (!QFileInfo::exists(mime + QStringLiteral("/mime.cache")) ||
            !QFile::link(mime, box.systemData + QStringLiteral("/mime")))
            qFatal("the shared MIME database (shared-mime-info) is needed and missing");
    }

    // The file the program `name` writes its arguments to.
    QString argsFile(const QString& name) const { return scripts + QLatin1Char('/') + name + QStringLiteral(".args"); }

    // A script `name` that records its arguments; its path.
    QString script(const QString& name) const
    {
        const QString path = scripts + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + QFile::encodeName(argsFile(name)) +
                ".part\"\nmv \"" + QFile::encodeName(argsFile(name)) + ".part\" \"" +
                QFile::encodeName(argsFile(name)) + "\"\n");
        f.close();
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    // An application `name`.desktop in the user's applications folder that
    // runs its recording script with `execArgs` (e.g. "%f"), for `mimeTypes`
    // ("a/b;c/d;"), optionally made the default of each.
    QString app(const QString& name, const QString& mimeTypes, bool makeDefault, const QString& execArgs = QStringLiteral("%f"))
    {
        const QString program = script(name);
        const QString file = box.userApps() + QLatin1Char('/') + name + QStringLiteral(".desktop");
        QDir().mkpath(box.userApps());
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(file));
        QByteArray text = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + " App\nExec=" +
                          QFile::encodeName(program) + ' ' + execArgs.toUtf8() + "\n";
        if (!mimeTypes.isEmpty())
            text += "MimeType=" + mimeTypes.toUtf8() + "\n";
        f.write(text);
        f.close();
        if (makeDefault)
            for (const QString& t : mimeTypes.split(QLatin1Char(';'), Qt::SkipEmptyParts))
                addListLine(QStringLiteral("Default Applications"), t, name + QStringLiteral(".desktop"));
        return file;
    }

    // Adds "type=id;" to `group` of the user's mimeapps.list.
    void addListLine(const QString& group, const QString& type, const QString& id) const
    {
        const QString list = box.configHome + QStringLiteral("/mimeapps.list");
        QFile f(list);
        QByteArray text;
        if (f.open(QIODevice::ReadOnly))
            text = f.readAll();
        f.close();
        const QByteArray header = '[' + group.toUtf8() + "]\n";
        const QByteArray line = type.toUtf8() + '=' + id.toUtf8() + ";\n";
        const int at = text.indexOf(header);
        if (at < 0)
            text += header + line;
        else
            text.insert(at + header.size(), line);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(list));
        f.write(text);
    }

    // The arguments `name` was started with, waiting up to 10 s for them;
    // empty when it did not run. Each call consumes the record.
    QStringList startedWith(const QString& name) const
    {
        const QString file = argsFile(name);
        for (int waited = 0; !QFileInfo::exists(file) && waited < 10000; waited += 20)
            QTest::qWait(20);
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList args = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!args.isEmpty() && args.last().isEmpty())
            args.removeLast();
        f.remove();
        return args;
    }
    // True when `name` has not run (checked after a short wait).
    bool notStarted(const QString& name) const
    {
        QTest::qWait(300);
        return !QFileInfo::exists(argsFile(name));
    }
};
