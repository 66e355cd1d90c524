#pragma once
// The pieces of a self-extracting program the engine writes and reads back:
// the option block behind the stub, and the stub's icon in its PE resources.

#include <QByteArray>
#include <QString>
#include <cstdint>

// The option block's flag bits.
namespace SfxFlag {
constexpr uint8_t AskCmdLine = 1u << 0, AskFiles = 1u << 1, HideOverWriteBox = 1u << 2, OvrAlways = 1u << 3,
                  OvrNever = 1u << 4, NoCheckSize = 1u << 5, AutoRun = 1u << 6, NoSuccessMsg = 1u << 7;
}

struct SfxOptionBlock {
    uint8_t Flags = 0;
    // The texts as stored (the engine writes UTF-8).
    QByteArray Caption, DefaultDir, CommandLine, Message;

    // 12 + the four text lengths, before rounding.
    int RawLength() const;
    // The "MPV" form: header, the four texts each behind its length byte,
    // zero bytes up to the next multiple of 4.
    QByteArray Encode() const;
    // Reads an "MPV" or the older "MPU" block starting at `p` (`n` bytes
    // available). False when there is none or it does not fit.
    bool Decode(const unsigned char* p, qsizetype n);
};

namespace SfxIconImage {
// A 32x32 16-colour icon image: header, palette, colour and transparency masks.
constexpr int ImageSize = 744;
// Icon-file form of one such image: 6-byte header, one 16-byte entry, the image.
constexpr int FileSize = 6 + 16 + ImageSize;

// The engine's built-in icon, in icon-file form.
QByteArray BuiltIn();

// The check made when an icon is chosen: the first image of the icon file
// `ico` is 32 by 32 with 16 colours (bytes 6, 7 and 8).
bool HeaderIs32x32x16(const QByteArray& ico);

// Whether `ico` is an icon file of exactly one 32x32 16-colour image.
bool IsSingle32x32x16(const QByteArray& ico);

// Where the first 744-byte image of resource type 3, identifier 1 lies in
// `image` (a PE program's first bytes, file positions). Returns the position,
// or -1 when the program has no such image (or is not a PE program).
qint64 FindStubIconImage(const QByteArray& image);

// The first icon image in the resources of `image`, in icon-file form; empty
// when there is none.
QByteArray FirstIcon(const QByteArray& image);
} // namespace SfxIconImage

// What MakeSelfExtracting and MakePlainZip return.
namespace SfxResult {
constexpr int32_t Ok = 0, CreateFailed = -1, CopyFailed = -2, SourceFailed = -3, General = -9, IconNotFound = -10,
                  NoMemory = -10, IconSetFailed = -11, IconSize = -12;
}

namespace SfxTexts {
// What the self-extracting page (and quarn-cli) say for a failed conversion:
// to a program (`toProgram`) or back to a zip.
QString FailureText(bool toProgram, int32_t result);
// The refusal of an icon that is not 32 by 32 with 16 colours.
QString IconRefusedText();
// The success texts, naming the file converted and its folder.
QString ConvertedToProgramText(const QString& zip);
QString ConvertedToZipText(const QString& program);
// The zip's name for an auto-run program: "!" + its name in its folder
// (unchanged when it already begins with "!").
QString AutoRunName(const QString& zip);
} // namespace SfxTexts
