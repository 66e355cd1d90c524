// Decoding pictures: the DevIL helper process (its answers, its restart after
// a crash or a hang), the routing of GIF and XPM to Qt's reader, and the
// loader's texts and ImageInfo.

#include "Pictures.h"
#include "ScriptedPrompter.h"
#include "TestTools.h"

#include "imagedecode/ImageDecodeProtocol.h"
#include "viewers/ImageLoader.h"
#include "viewers/TImageDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace pictures;

class TestImageDecode : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static void checkQuadrants(const QImage& img, int w, int h, int tolerance)
    {
        QCOMPARE(img.size(), QSize(w, h));
        auto near = [tolerance](QRgb got, QRgb want) {
            return qAbs(qRed(got) - qRed(want)) <= tolerance && qAbs(qGreen(got) - qGreen(want)) <= tolerance &&
                   qAbs(qBlue(got) - qBlue(want)) <= tolerance;
        };
        QVERIFY2(near(img.pixel(2, 2), qRgb(255, 0, 0)), "top left is red");
        QVERIFY2(near(img.pixel(w - 3, 2), qRgb(0, 255, 0)), "top right is green");
        QVERIFY2(near(img.pixel(2, h - 3), qRgb(0, 0, 255)), "bottom left is blue");
        QVERIFY2(near(img.pixel(w - 3, h - 3), qRgb(255, 255, 255)), "bottom right is white");
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(TImageDecoder::DefaultHelperPath()).isExecutable(),
                 "quarn-imagedecode is built beside the tests");
    }

    // Every writer Qt has here, through DevIL: size, orientation and colour order.
    void decodesThroughTheHelper_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("png") << "png" << 0;
        QTest::newRow("bmp") << "bmp" << 0;
        QTest::newRow("ppm") << "ppm" << 0;
        QTest::newRow("jpg") << "jpg" << 40;
    }
    void decodesThroughTheHelper()
    {
        QFETCH(QString, ending);
        QFETCH(int, tolerance);
        const QString file = path("q." + ending);
        QVERIFY(quadrants(40, 30).save(file));
        TImageDecoder decoder;
        const TDecodeResult r = decoder.Decode(file);
        QCOMPARE(r.outcome, TDecodeResult::Decoded);
        QCOMPARE(r.Image.format(), QImage::Format_RGB32);
        checkQuadrants(r.Image, 40, 30, tolerance);
    }

    // The helper's failures carry DevIL's code; the loader turns it into its text.
    void failuresAndTheirTexts()
    {
        ScriptedPrompter prompter;
        TImageLoader loader(&prompter);
        struct Case {
            QString file;
            QString text;
        };
        testtools::writeFile(path("text.png"), "this is not a picture at all\n");
        testtools::writeFile(path("notes.txt"), "plain text\n");
        // DevIL reads a 16-bit PGM as 8-bit data labelled 16-bit: converting
        // it would run past its buffers, so the helper refuses it.
        testtools::writeFile(path("deep.pgm"), QByteArray("P5\n4 3\n65535\n") + QByteArray(24, '\x7f'));
        const QList<Case> cases{
            {path("missing.png"), "Error : Could not open file"},
            {path("notes.txt"), "Error : Illegal extension on load"},
            {path("text.png"), "Image Error"},
            {truncatedPng(path("cut.png")), "Image Error"},
            {path("deep.pgm"), "Image Error"},
            {psd(path("crash.psd"), true), "Image Error"},
        };
        for (const Case& c : cases) {
            prompter.clear();
            QVERIFY2(!loader.LoadImageFile(c.file), qPrintable(c.file));
            QCOMPARE(prompter.texts(), QStringList{c.text});
            QCOMPARE(loader.ImageInfo.Height, -1);
            QCOMPARE(loader.ImageInfo.Width, -1);
            // The quiet variant says nothing.
            prompter.clear();
            QVERIFY(!loader.LoadImageFileQuiet(c.file));
            QVERIFY(prompter.texts().isEmpty());
        }
        // ... and the program carries on with the next picture.
        QVERIFY(loader.LoadImageFile(quadrantFile(path("after.png"), 20, 10)));
        QCOMPARE(loader.DecodedBitmap.size(), QSize(20, 10));
    }

    // DevIL frees its buffer twice on a binary PNM whose pixels stop short,
    // goes round for ever on some broken headers, and allocates and decodes
    // what a TGA header claims: the helper refuses those before DevIL sees
    // them (a PNM whatever its ending, as DevIL knows one by its first
    // bytes), and lives on.
    void brokenPnmAndTgaAreRefused()
    {
        TImageDecoder decoder;
        // An 8-bit colour-mapped, run-length TGA header: colour map length,
        // width and height as given, then `rest`.
        auto tga = [](quint16 mapLength, quint16 width, quint16 height, const QByteArray& rest) {
            QByteArray b(18, '\0');
            b[1] = 1;
            b[2] = 9;
            b[5] = char(mapLength & 0xFF);
            b[6] = char(mapLength >> 8);
            b[7] = 24;
            b[12] = char(width & 0xFF);
            b[13] = char(width >> 8);
            b[14] = char(height & 0xFF);
            b[15] = char(height >> 8);
            b[16] = 8;
            return b + rest;
        };
        const QList<QPair<QString, QByteArray>> broken{
            {"cut.ppm", QByteArray("P6\n4 3\n255\n") + QByteArray(20, '\x40')},
            {"cut.pgm", QByteArray("P5\n4 3\n65535\n") + QByteArray(23, '\x40')},
            {"cut.pbm", QByteArray("P4\n16 3\n") + QByteArray(5, '\x40')},
            {"cut.raw", QByteArray("P6\n4 3\n255\n") + QByteArray(20, '\x40')},
            {"garbage.ppm", QByteArray("P6\n4 3\n25\x7f") + QByteArray(40, '\x40')},
            // DevIL reads on through the tab ("200ABCDEFGHIJK"), comes short
            // of pixels and frees the image it is still bound to.
            {"tab.pgm", QByteArray("P5\n4 3\n200\tABCDEFGHIJK\n") + QByteArray(3, '\x40')},
            // DevIL stores every number of a text line, past its buffer.
            {"extra.pgm", QByteArray("P2\n2 2\n255\n1 2 3 4 5 6 7 8 9 10 11 12\n")},
            {"letters.pbm", QByteArray("P4pbm\n4\n\0\xb0 ", 12)},
            {"nothing.ppm", QByteArray("P\x1d ")},
            {"long-map.tga", tga(65524, 4, 3, QByteArray(40, '\x01'))},
            {"huge.tga", tga(6, 28676, 25449, QByteArray(30, '\x01'))},
        };
        for (const auto& [name, bytes] : broken) {
            testtools::writeFile(path(name), bytes);
            const TDecodeResult r = decoder.Decode(path(name));
            QCOMPARE(r.outcome, TDecodeResult::Failed);
            QCOMPARE(r.Status, int32_t(ImageDecodeProtocol::StatusLoadFailed));
            QVERIFY(decoder.Running());
        }
        // Whole, with a comment in its header, a PNM decodes (binary or text); so does a TGA
        // of two colours in two runs.
        testtools::writeFile(path("whole.ppm"), QByteArray("P6\n# made here\n4 3\n255\n") + QByteArray(36, '\x40'));
        const TDecodeResult whole = decoder.Decode(path("whole.ppm"));
        QCOMPARE(whole.outcome, TDecodeResult::Decoded);
        QCOMPARE(whole.Image.size(), QSize(4, 3));
        testtools::writeFile(path("text.pgm"), QByteArray("P2\n# made here\n2 2\n255\n 1 2 \r\n3 4\n"));
        const TDecodeResult text = decoder.Decode(path("text.pgm"));
        QCOMPARE(text.outcome, TDecodeResult::Decoded);
        QCOMPARE(text.Image.size(), QSize(2, 2));
        testtools::writeFile(path("runs.tga"), tga(2, 4, 3, QByteArray::fromHex("0000ff" "ff0000" "85" "00" "85" "01")));
        const TDecodeResult runs = decoder.Decode(path("runs.tga"));
        QCOMPARE(runs.outcome, TDecodeResult::Decoded);
        QCOMPARE(runs.Image.size(), QSize(4, 3));
    }

    // DevIL writes past its buffers where runs or packets go beyond the
    // pixels (PIX, Photoshop, SGI), on every Softimage picture without alpha
    // or with pure runs, and on its stack where an ILBM picture has more
    // colours or planes than 256 colours need; it goes on with a pixel buffer
    // it did not get where a header claims more than any answer (BMP, TGA);
    // and it reads a .raw file as any of some twenty kinds. The helper
    // refuses those, and the whole counterparts decode.
    void brokenRunsAndHugeHeadersAreRefused()
    {
        TImageDecoder decoder;
        // Alias PIX, 4 x 3: runs of (count, blue, green, red).
        auto pix = [](const QByteArray& runs) {
            QByteArray b;
            for (quint16 v : {4, 3, 0, 0, 24})
                be16(b, v);
            return b + runs;
        };
        // A grey Photoshop file, 4 x 3, run-length: a row table, then `packets`.
        auto psdRle = [](const QByteArray& packets) {
            QByteArray b = "8BPS";
            be16(b, 1);
            b.append(6, '\0');
            be16(b, 1);
            be32(b, 3);
            be32(b, 4);
            be16(b, 8);
            be16(b, 1);
            be32(b, 0);
            be32(b, 0);
            be32(b, 0);
            be16(b, 1);
            for (int row = 0; row < 3; ++row)
                be16(b, 2);
            return b + packets;
        };
        // A grey run-length SGI file, 4 x 3, every line `line`.
        auto sgiRle = [](const QByteArray& line) {
            QByteArray b;
            be16(b, 474);
            b.append(char(1)).append(char(1));
            for (quint16 v : {2, 4, 3, 1})
                be16(b, v);
            b.append(512 - b.size(), '\0');
            for (int row = 0; row < 3; ++row)
                be32(b, quint32(512 + 24 + row * line.size()));
            for (int row = 0; row < 3; ++row)
                be32(b, quint32(line.size()));
            for (int row = 0; row < 3; ++row)
                b += line;
            return b;
        };
        // A Windows bitmap header: 40-byte info, `width` x `height`, 24 bits.
        auto bmp = [](qint32 width, qint32 height, const QByteArray& pixels) {
            QByteArray b = "BM";
            auto le32 = [&b](quint32 v) {
                for (int i = 0; i < 4; ++i)
                    b.append(char(v >> (8 * i)));
            };
            le32(quint32(54 + pixels.size()));
            le32(0);
            le32(54);
            le32(40);
            le32(quint32(width));
            le32(quint32(height));
            b.append(char(1)).append('\0').append(char(24)).append('\0');
            for (int i = 0; i < 6; ++i)
                le32(0);
            return b + pixels;
        };
        // A Softimage picture, 4 x 3: a packet of kind `kind` for red, green
        // and blue, with `alpha` a mixed run-length one for alpha, then the
        // rows, each `row`.
        auto pic = [](int kind, bool alpha, const QByteArray& row) {
            QByteArray b;
            be32(b, 0x5380F634);
            b.append(84, '\0');
            b += "PICT";
            for (quint16 v : {4, 3, 0x3F80, 0, 3, 0})
                be16(b, v);
            b += QByteArray::fromHex(alpha ? "010802e000080210" : "000802e0");
            b[b.size() - (alpha ? 6 : 2)] = char(kind);
            return b + row + row + row;
        };
        // An IFF ILBM picture, 16 x 3, of `planes` planes and `colours` colours.
        auto ilbm = [](int planes, int colours) {
            auto chunk = [](const QByteArray& kind, const QByteArray& data) {
                QByteArray c = kind;
                be32(c, quint32(data.size()));
                return c + data + (data.size() % 2 ? QByteArray(1, '\0') : QByteArray());
            };
            QByteArray header;
            for (quint16 v : {16, 3, 0, 0})
                be16(header, v);
            header.append(char(planes)).append(5, '\0').append(char(10)).append(char(11));
            be16(header, 16);
            be16(header, 3);
            const QByteArray body(2 * planes * 3, '\0');
            return chunk("FORM", "ILBM" + chunk("BMHD", header) + chunk("CMAP", QByteArray(3 * colours, '\x20'))
                                     + chunk("BODY", body));
        };
        const QList<QPair<QString, QByteArray>> broken{
            {"planes.lbm", ilbm(243, 2)},
            // DevIL reads a .raw file as whatever its first bytes say; an XPM
            // of two characters a pixel kills it.
            {"two.raw", testtools::readFile(xpm2(path("two.xpm"), 8, 6))},
            {"colours.lbm", ilbm(8, 300)},
            {"noalpha.pic", pic(0, false, QByteArray(12, '\x40'))},
            {"pure.pic", pic(1, true, QByteArray::fromHex("04102030" "83ff"))},
            {"past.pix", pix(QByteArray::fromHex("04102030" "04102030" "05102030"))},
            {"past.psd", psdRle(QByteArray::fromHex("03010203" "fd09" "fd09"))},
            {"past.sgi", sgiRle(QByteArray::fromHex("0640" "00"))},
            {"literal.sgi", sgiRle(QByteArray::fromHex("8501020304 05" "00"))},
            {"huge.bmp", bmp(33554436, 768, QByteArray(300, '\0'))},
            // A TGA (by its header) whose colour map flag is a letter and whose
            // 33312 x 8245 pixels of 32 bits wrap DevIL's 32-bit size.
            {"huge.raw", QByteArray::fromHex("36540a000084fd821f454e1f208235202045") + QByteArray(100, 'N')},
        };
        for (const auto& [name, bytes] : broken) {
            testtools::writeFile(path(name), bytes);
            const TDecodeResult r = decoder.Decode(path(name));
            QVERIFY2(r.outcome == TDecodeResult::Failed, qPrintable(name));
            QCOMPARE(r.Status, int32_t(ImageDecodeProtocol::StatusLoadFailed));
            QVERIFY(decoder.Running());
        }
        const QList<QPair<QString, QByteArray>> whole{
            {"whole.pix", pix(QByteArray::fromHex("04102030" "04102030" "04102030"))},
            {"whole.psd", psdRle(QByteArray::fromHex("fd09" "fd09" "fd09"))},
            {"whole.sgi", sgiRle(QByteArray::fromHex("0440" "00"))},
            {"whole.bmp", bmp(4, 3, QByteArray(36, '\x40'))},
            {"whole.lbm", ilbm(8, 256)},
            {"whole.pic", pic(2, true, QByteArray::fromHex("83102030" "83ff"))},
        };
        for (const auto& [name, bytes] : whole) {
            testtools::writeFile(path(name), bytes);
            const TDecodeResult r = decoder.Decode(path(name));
            QVERIFY2(r.outcome == TDecodeResult::Decoded, qPrintable(name));
            // ILBM rows are whole 16-pixel words.
            QCOMPARE(r.Image.size(), QSize(name.endsWith(".lbm") ? 16 : 4, 3));
        }
    }

    // DevIL dies on a valid XPM with two characters per pixel: asked directly,
    // the helper goes down, the request fails, and the next one gets a new helper.
    void crashedHelperIsRestarted()
    {
        TImageDecoder decoder;
        const QString xpm = xpm2(path("two.xpm"), 8, 6);
        const TDecodeResult crashed = decoder.Decode(xpm);
        QCOMPARE(crashed.outcome, TDecodeResult::HelperCrashed);
        QVERIFY(!decoder.Running());
        const TDecodeResult again = decoder.Decode(quadrantFile(path("fine.png"), 10, 10));
        QCOMPARE(again.outcome, TDecodeResult::Decoded);
        QVERIFY(decoder.Running());
        // The crafted PSD is refused before DevIL, and the helper lives on; a
        // good PSD decodes.
        const TDecodeResult bad = decoder.Decode(psd(path("bad.psd"), true));
        QCOMPARE(bad.outcome, TDecodeResult::Failed);
        QVERIFY(decoder.Running());
        const TDecodeResult good = decoder.Decode(psd(path("good.psd"), false));
        QCOMPARE(good.outcome, TDecodeResult::Decoded);
        QCOMPARE(good.Image.size(), QSize(16, 8));
    }

    // GIF and XPM never reach DevIL: the XPM that kills it decodes through Qt.
    void gifAndXpmThroughQt()
    {
        ScriptedPrompter prompter;
        TImageLoader loader(&prompter);
        QVERIFY(loader.LoadImageFile(xpm2(path("two.xpm"), 8, 6)));
        QCOMPARE(loader.DecodedBitmap.size(), QSize(8, 6));
        QCOMPARE(loader.DecodedBitmap.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(loader.DecodedBitmap.pixel(7, 5), qRgb(0, 0, 255));
        QVERIFY(!loader.decoder().Running());  // no helper was needed

        QVERIFY(loader.LoadImageFile(gif(path("tiny.gif"))));
        QCOMPARE(loader.DecodedBitmap.size(), QSize(2, 2));
        QCOMPARE(loader.DecodedBitmap.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(loader.DecodedBitmap.pixel(1, 0), qRgb(0, 255, 0));
        QCOMPARE(loader.DecodedBitmap.pixel(0, 1), qRgb(0, 0, 255));
        QCOMPARE(loader.DecodedBitmap.pixel(1, 1), qRgb(255, 255, 255));

        testtools::writeFile(path("bad.gif"), "GIF89a but nothing else");
        QVERIFY(!loader.LoadImageFile(path("bad.gif")));
        QCOMPARE(prompter.texts(), QStringList{"Image Error"});
    }

    // ImageInfo: name, size and time of the file, height and width of the picture.
    void imageInfo()
    {
        TImageLoader loader;
        const QString file = quadrantFile(path("info.bmp"), 10, 20);
        QVERIFY(loader.LoadImageFileQuiet(file));
        QCOMPARE(loader.ImageInfo.FileName, QStringLiteral("info.bmp"));
        QCOMPARE(loader.ImageInfo.Width, 10);
        QCOMPARE(loader.ImageInfo.Height, 20);
        QCOMPARE(loader.ImageInfo.FileSize, int32_t(QFileInfo(file).size()));
        QCOMPARE(loader.ImageInfo.FileTime, QFileInfo(file).lastModified());
        // A missing file: no time, no size, the name kept.
        QVERIFY(!loader.LoadImageFileQuiet(path("gone.bmp")));
        QCOMPARE(loader.ImageInfo.FileName, QStringLiteral("gone.bmp"));
        QCOMPARE(loader.ImageInfo.FileSize, 0);
        QVERIFY(!loader.ImageInfo.FileTime.isValid());
    }

    // A helper that answers out of step, one that hangs, and one that is not
    // there: each is a failed decode, never a hang or a crash here.
    void misbehavingHelpers()
    {
        const QString catHelper = QStandardPaths::findExecutable("cat");
        QVERIFY(!catHelper.isEmpty());
        TImageDecoder echo(catHelper);  // sends the request back: wrong magic
        QCOMPARE(echo.Decode(quadrantFile(path("e.png"), 4, 4)).outcome, TDecodeResult::HelperCrashed);

        const QString hang = path("hang.sh");
        testtools::writeFile(hang, "#!/bin/sh\nexec sleep 30\n");
        QFile::setPermissions(hang, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TImageDecoder slow(hang);
        slow.TimeoutMs = 300;
        QCOMPARE(slow.Decode(path("e.png")).outcome, TDecodeResult::HelperCrashed);
        QVERIFY(!slow.Running());

        ScriptedPrompter prompter;
        TImageLoader missing(&prompter, path("no-such-helper"));
        QVERIFY(!missing.LoadImageFile(path("e.png")));
        QCOMPARE(prompter.texts(), QStringList{"Image Error"});
    }
};

QTEST_MAIN(TestImageDecode)
#include "test_imagedecode.moc"
