#pragma once
// Stored entry names as text. One rule for every reader, so that a name the
// list shows is the name extraction and deletion match.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zipdir {

// How names without the UTF-8 flag are read: by the host system that wrote
// them (Auto), never as OEM text (None), always as OEM text (Oem).
enum class CodePage { Auto, None, Oem };

// The high halves of code page 437 and the 0x80..0x9F row of Windows-1252
// (whose other high bytes are Latin-1).
extern const char16_t kCp437High[128];
extern const char16_t kWindows1252C1[32];

bool IsValidUtf8(const char* data, size_t size);
inline bool IsValidUtf8(const std::string& s) { return IsValidUtf8(s.data(), s.size()); }
std::string Cp437ToUtf8(const std::string& raw);
std::string Windows1252ToUtf8(const std::string& raw);

// Info-ZIP's Unicode Path field (0x7075) of `extra`, when its CRC matches
// `rawName` and it holds valid UTF-8.
bool UnicodePathField(const std::string& extra, const std::string& rawName, std::string& utf8);

// A stored name (or comment) as UTF-8: the Unicode Path field first, then the
// UTF-8 flag (bit 11), then OEM text (code page 437) for MS-DOS, OS/2 HPFS and
// NTFS-by-version-5.0 hosts, otherwise "ANSI" text (UTF-8 when valid, else
// Windows-1252).
std::string DecodeName(const std::string& rawName, const std::string& extra, uint16_t flags, int hostSystem,
                       int madeByVersion, CodePage codePage = CodePage::Auto);

} // namespace zipdir
