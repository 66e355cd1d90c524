#pragma once
// Text conversion for names and comments stored in zip headers.
//
// "OEM" text is code page 437. "ANSI" text is UTF-8 when the bytes are valid
// UTF-8, otherwise Windows-1252. Entries whose general-purpose bit 11 is set
// are UTF-8 whatever else they say.

#include <QByteArray>
#include <QString>

enum class TCodePage { cpAuto, cpNone, cpOEM };

namespace ZipText {

// Code page 437 to Unicode (bytes below 0x80 pass unchanged).
QString FromOem(const char* data, qsizetype size);
inline QString FromOem(const QByteArray& b) { return FromOem(b.constData(), b.size()); }

// The platform's "ANSI" reading of stored bytes.
QString FromAnsi(const char* data, qsizetype size);
inline QString FromAnsi(const QByteArray& b) { return FromAnsi(b.constData(), b.size()); }

// Windows-1252 to Unicode.
QString FromWindows1252(const char* data, qsizetype size);

bool IsValidUtf8(const char* data, qsizetype size);

// Unicode to code page 437; characters it cannot hold become "_".
QByteArray ToOem(const QString& text);

// Whether an entry's bytes are OEM text by the engine's rule: with `cpAuto`
// for MS-DOS hosts, always for OS/2 HPFS and for NTFS written by version 5.0,
// and for every entry with `cpOEM`.
bool StoredAsOem(TCodePage codePage, int hostSystem, int madeByVersion);

// A central directory name or comment as the engine shows it.
QString DecodeEntryText(const char* data, qsizetype size, unsigned flags, TCodePage codePage, int hostSystem,
                        int madeByVersion);

// A local header name (the local header carries no host system).
QString DecodeLocalName(const char* data, qsizetype size, unsigned flags);

} // namespace ZipText
