// Zips from quarn-cli against Info-ZIP's zip at the same level: on text made
// to look like C headers (short strings repeated often but in no order, where
// a shallow match search loses to zip's), in a file compressed whole and in
// one compressed in blocks, as UTF-16, and mixed with binary data, no entry
// comes out larger than zip makes it, nor the archive, and the peers accept it.
// The same text in blocks made into a .gz is no larger than gzip's at its
// level.

#include "CliTools.h"

#include "EntryPipeline.h"

#include <QtTest>

using namespace clitools;

namespace {

// C-header-like text: declarations, macros and comments built from a
// vocabulary of made-up words picked at random (skewed towards the
// frequent ones), so that short strings repeat often but in no order.
inline QByteArray headerText(int size, quint32 seed)
{
    quint32 s = seed * 2654435761u + 1;
    auto next = [&s](quint32 n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    };
    static const char* const syllables[] = {"ab", "ac", "al", "an", "ar", "at", "be", "bu", "ca", "ch", "co", "de",
                                            "di", "el", "en", "er", "ex", "fi", "fo", "ge", "in", "io", "is", "it",
                                            "ke", "la", "le", "li", "lo", "ma", "me", "mi", "mo", "ne", "no", "nt",
                                            "or", "pa", "pe", "po", "ra", "re", "ri", "ro", "sa", "se", "si", "st",
                                            "ta", "te", "ti", "to", "tr", "ul", "un", "ur", "va", "ve", "wa", "xt"};
    QList<QByteArray> words;
    for (int i = 0; i < 3000; ++i) {
        QByteArray w;
        for (quint32 k = 0, n = 1 + next(4); k < n; ++k)
            w += syllables[next(60)];
        words << w;
    }
    // Skewed: small indexes far more often.
    auto word = [&]() -> const QByteArray& {
        const quint32 a = next(3000), b = next(3000);
        return words[int(a * b / 3000)];
    };
    static const char* const types[] = {"int", "unsigned int", "size_t", "const char *", "void *", "struct ",
                                        "uint32_t", "long", "double", "enum "};
    QByteArray out;
    out.reserve(size + 200);
    while (out.size() < size) {
        switch (next(6)) {
        case 0:
            out += "#define " + word().toUpper() + "_" + word().toUpper() + " 0x" + QByteArray::number(next(65536), 16) + "\n";
            break;
        case 1:
            out += "/* " + word() + " " + word() + " the " + word() + " of " + word() + " " + word() + ". */\n";
            break;
        case 2: {
            const char* t = types[next(10)];
            out += QByteArray("extern ") + t + (t[qstrlen(t) - 1] == ' ' ? word() + " " : QByteArray(" ")) + word() + "_" + word() + "(";
            for (quint32 k = 0, n = next(4); k <= n; ++k)
                out += (k ? ", " : "") + QByteArray(types[next(10)]) + " " + word();
            out += ");\n";
            break;
        }
        case 3:
            out += "    " + QByteArray(types[next(10)]) + " " + word() + "_" + word() + ";\t/* " + word() + " */\n";
            break;
        case 4:
            out += "struct " + word() + "_" + word() + " {\n";
            break;
        default:
            out += "};\n\n#ifdef " + word().toUpper() + "\n#include <" + word() + "/" + word() + ".h>\n#endif\n";
        }
    }
    out.truncate(size);
    return out;
}

QByteArray utf16(const QByteArray& ascii)
{
    QByteArray out(ascii.size() * 2, '\0');
    for (int i = 0; i < ascii.size(); ++i)
        out[2 * i] = ascii[i];
    return out;
}

// Entry name to compressed size, by Python's zipfile.
QMap<QString, qint64> compressedSizes(const QString& zip)
{
    const Run r = python("import sys, zipfile\n"
                         "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                         "    if not i.is_dir(): print(i.filename, i.compress_size)\n",
                         {zip});
    QMap<QString, qint64> sizes;
    if (r.code != 0)
        return sizes;
    for (const QString& line : r.outText().split('\n', Qt::SkipEmptyParts))
        sizes.insert(line.section(' ', 0, 0), line.section(' ', 1).toLongLong());
    return sizes;
}

} // namespace

class TestCliSize : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    QString parent;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        for (const char* peer : {"zip", "unzip", "7z", "python3"})
            QUARN_REQUIRE_PEER(peer);
        parent = tmp.fresh();
        const QString tree = parent + "/src";
        writeFile(tree + "/whole.h", headerText(3 << 20, 1));
        writeFile(tree + "/blocks.h", headerText(int(qz::EntryPipeline::kWholeLimit + qz::EntryPipeline::kBlock) + 4321, 2));
        writeFile(tree + "/utf16.txt", utf16(headerText(1 << 20, 3)));
        writeFile(tree + "/mixed.dat", headerText(1 << 20, 4) + randomData(300000, 5) + sampleData(400000, 6) + headerText(700000, 7));
        writeFile(tree + "/empty", QByteArray());
    }

    void noLargerThanZip_data()
    {
        QTest::addColumn<int>("level");
        for (int level : {1, 6, 9})
            QTest::newRow(qPrintable(QString("level %1").arg(level))) << level;
    }

    void noLargerThanZip()
    {
        QFETCH(int, level);
        const QString d = tmp.fresh();
        const QString ours = d + "/ours.zip", theirs = d + "/zip.zip";
        const Run r = run(cliPath(), {"create", ours, "--level", QString::number(level), "src"}, parent);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        const Run z = run("zip", {"-q", "-r", "-X", "-" + QString::number(level), theirs, "src"}, parent);
        QVERIFY2(z.code == 0, qPrintable(z.errText()));

        const QMap<QString, qint64> mine = compressedSizes(ours), zips = compressedSizes(theirs);
        QCOMPARE(mine.keys(), zips.keys());
        QCOMPARE(mine.size(), 5);
        for (auto it = zips.cbegin(); it != zips.cend(); ++it)
            QVERIFY2(mine.value(it.key()) <= it.value(),
                     qPrintable(QStringLiteral("%1: %2 bytes against zip's %3").arg(it.key()).arg(mine.value(it.key())).arg(it.value())));
        QVERIFY(QFileInfo(ours).size() <= QFileInfo(theirs).size());

        for (const QStringList& test : {QStringList{"unzip", "-tq", ours}, QStringList{"7z", "t", ours}}) {
            const Run t = run(test.first(), test.mid(1));
            QVERIFY2(t.code == 0, qPrintable(test.join(' ') + ": " + t.outText() + t.errText()));
        }
        const Run p = python("import sys, zipfile\n"
                             "sys.exit(0 if zipfile.ZipFile(sys.argv[1]).testzip() is None else 1)\n",
                             {ours});
        QVERIFY2(p.code == 0, qPrintable(p.outText() + p.errText()));
    }

    void gzipNoLargerThanGzip()
    {
        QUARN_REQUIRE_PEER("gzip");
        const QString d = tmp.fresh();
        const QString ours = d + "/blocks.h.gz";
        const Run r = run(cliPath(), {"create", ours, "blocks.h"}, parent + "/src");
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        // quarn-cli writes gzip's default level, 6.
        const Run z = run("gzip", {"-6", "-n", "-c", parent + "/src/blocks.h"});
        QVERIFY2(z.code == 0 && z.out.size() > 0, qPrintable(z.errText()));
        QVERIFY2(QFileInfo(ours).size() <= z.out.size(),
                 qPrintable(QStringLiteral("%1 bytes against gzip's %2").arg(QFileInfo(ours).size()).arg(z.out.size())));
        const Run t = run("gzip", {"-t", ours});
        QVERIFY2(t.code == 0, qPrintable(t.errText()));
    }
};

QTEST_GUILESS_MAIN(TestCliSize)
#include "test_cli_size.moc"
