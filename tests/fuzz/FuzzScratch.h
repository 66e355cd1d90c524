#pragma once
// The one place a fuzz target writes: a fresh folder under the temporary
// folder, removed with everything in it when the input is done.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

class FuzzScratch {
public:
    FuzzScratch() : dir_(QDir::tempPath() + QStringLiteral("/quarn-fuzz-XXXXXX")) {}
    bool ok() const { return dir_.isValid(); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Writes `size` bytes to `name` in the folder; returns its path, or "" when it could not.
    QString write(const QString& name, const uint8_t* data, size_t size) const
    {
        const QString p = path(name);
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            return {};
        return p;
    }

private:
    QTemporaryDir dir_;
};

// Everything in `folder`, hidden files and broken links included.
inline QStringList FuzzEntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// An output that keeps nothing and counts what it was given.
class FuzzSink : public QIODevice {
public:
    FuzzSink() { open(QIODevice::WriteOnly); }
    qint64 count = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 n) override
    {
        count += n;
        return n;
    }
};

// Stops the run on a broken promise of the code under test (a crash libFuzzer
// and the plain driver both report).
#define FUZZ_CHECK(cond) \
    do {                 \
        if (!(cond))     \
            __builtin_trap(); \
    } while (0)
