#pragma once
// HOME and every XDG_* variable pointed at a temporary folder for the life
// of the object (the previous values come back afterwards), so a test never reads or writes a real user's desktop
// files. The "system" folders (XDG_DATA_DIRS, XDG_CONFIG_DIRS) are inside it
// too. Programs the test starts inherit the same environment.

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <optional>

struct XdgSandbox {
    QTemporaryDir root;
    QString home, dataHome, configHome, systemData, systemConfig;

    XdgSandbox()
    {
        for (const char* v : kVariables)
            saved << qMakePair(QByteArray(v), qEnvironmentVariableIsSet(v) ? std::optional(qgetenv(v)) : std::nullopt);
        home = root.filePath(QStringLiteral("home"));
        dataHome = home + QStringLiteral("/.local/share");
        configHome = home + QStringLiteral("/.config");
        systemData = root.filePath(QStringLiteral("usr/share"));
        systemConfig = root.filePath(QStringLiteral("etc/xdg"));
        const QString runtime = root.filePath(QStringLiteral("run"));
        for (const QString& d : {home, dataHome, configHome, systemData, systemConfig, runtime})
            QDir().mkpath(d);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        set("HOME", home);
        set("XDG_DATA_HOME", dataHome);
        set("XDG_CONFIG_HOME", configHome);
        set("XDG_CACHE_HOME", home + QStringLiteral("/.cache"));
        set("XDG_STATE_HOME", home + QStringLiteral("/.local/state"));
        set("XDG_RUNTIME_DIR", runtime);
        set("XDG_DATA_DIRS", systemData);
        set("XDG_CONFIG_DIRS", systemConfig);
        // No desktop: the generic lookups of the xdg tools apply.
        for (const char* v : {"XDG_CURRENT_DESKTOP", "XDG_MENU_PREFIX", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                              "KDE_FULL_SESSION", "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID",
                              "MATE_DESKTOP_SESSION_ID", "XDG_SESSION_TYPE"})
            qunsetenv(v);
    }
    ~XdgSandbox()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    static constexpr const char* kVariables[] = {
        "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR",
        "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP", "XDG_MENU_PREFIX", "XDG_SESSION_DESKTOP",
        "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID",
        "MATE_DESKTOP_SESSION_ID", "XDG_SESSION_TYPE"};
    QList<QPair<QByteArray, std::optional<QByteArray>>> saved;

    static void set(const char* name, const QString& value) { qputenv(name, QFile::encodeName(value)); }

    QString userApps() const { return dataHome + QStringLiteral("/applications"); }
    QString systemApps() const { return systemData + QStringLiteral("/applications"); }

    // An application entry `id` in `folder` named `name`, whose program exists.
    static void addApplication(const QString& folder, const QString& id, const QString& name,
                               const QString& mimeTypes = QString())
    {
        QDir().mkpath(folder);
        QFile f(folder + QLatin1Char('/') + id);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(f.fileName()));
        QByteArray text = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=/bin/true %f\n";
        if (!mimeTypes.isEmpty())
            text += "MimeType=" + mimeTypes.toUtf8() + "\n";
        f.write(text);
    }
};
