#pragma once
// The engine's numbered message texts and its exception class.

#include <QString>
#include <QStringList>
#include <stdexcept>

namespace ZipMsg {
// General and passwords
constexpr int GE_FatalZip = 10101, GE_NoZipSpecified = 10102, GE_NoMem = 10103, GE_WrongPassword = 10104,
              GE_CopyFile = 10105;
constexpr int PW_UnatAddPWMiss = 10150, PW_UnatExtPWMiss = 10151, PW_Ok = 10152, PW_Cancel = 10153,
              PW_Caption = 10154, PW_MessageEnter = 10155, PW_MessageConfirm = 10156, PW_CancelAll = 10157,
              PW_Abort = 10158;
// Directory reading
constexpr int LI_ReadZipError = 10201, LI_ErrorUnknown = 10202, LI_WrongZipStruct = 10203, LI_GarbageAtEOF = 10204;
// Adding and deleting
constexpr int AD_NothingToZip = 10301, AD_UnattPassword = 10302, AD_NoFreshenUpdate = 10303, AD_AutoSFXWrong = 10304,
              DL_NothingToDel = 10401, DL_NoDelOnSpan = 10402;
// Extracting
constexpr int EX_FatalUnZip = 10501, EX_UnAttPassword = 10502;
// Library loading
constexpr int LZ_ZipDllLoaded = 10601, LZ_NoZipDllExec = 10602, LZ_NoZipDllVers = 10603, LZ_NoZipDll = 10604,
              LZ_OldZipDll = 10605, LU_UnzDllLoaded = 10701, LU_NoUnzDllExec = 10702, LU_NoUnzDllVers = 10703,
              LU_NoUnzDll = 10704, LU_OldUnzDll = 10705;
// Self-extracting conversion
constexpr int SF_StringToLong = 10801, SF_NoStubBin = 10802, SF_InputIsNoZip = 10803, SF_NotSupported = 10804,
              SF_ZipNotRemoved = 10805,
              CZ_NoExeSpecified = 10901, CZ_InputNotExe = 10902, CZ_SFXTypeUnknown = 10903;
// Files, disks and spanning
constexpr int DS_NoInFile = 11001, DS_FileOpen = 11002, DS_NotaDrive = 11003, DS_DriveNoMount = 11004,
              DS_NoVolume = 11005, DS_NoMem = 11006, DS_Canceled = 11007, DS_FailedSeek = 11008,
              DS_NoOutFile = 11009, DS_NoWrite = 11010, DS_EOCBadRead = 11011, DS_LOHBadRead = 11012,
              DS_CEHBadRead = 11013, DS_LOHWrongSig = 11014, DS_CEHWrongSig = 11015, DS_LONameLen = 11016,
              DS_CENameLen = 11017, DS_LOExtraLen = 11018, DS_CEExtraLen = 11019, DS_DataDesc = 11020,
              DS_ZipData = 11021, DS_CECommentLen = 11022, DS_EOArchComLen = 11023, DS_ErrorUnknown = 11024,
              DS_NoUnattSpan = 11025, DS_EntryLost = 11026, DS_NoTempFile = 11027, DS_LOHBadWrite = 11028,
              DS_CEHBadWrite = 11029, DS_EOCBadWrite = 11030, DS_ExtWrongSig = 11031, DS_NoDiskSpace = 11032,
              DS_InsertDisk = 11033, DS_InsertVolume = 11034, DS_InDrive = 11035, DS_NoValidZip = 11036,
              DS_FirstInSet = 11037, DS_NotLastInSet = 11038, DS_AskDeleteFile = 11039, DS_AskPrevFile = 11040,
              DS_NoSFXSpan = 11041, DS_CEHBadCopy = 11042, DS_EOCBadSeek = 11043, DS_EOCBadCopy = 11044,
              DS_FirstFileOnHD = 11045, DS_InsertAVolume = 11046, DS_CopyCentral = 11047, DS_NotSupported = 11048;
} // namespace ZipMsg

// The text of message `id`, or its stand-by text when the table has none.
QString LoadZipStr(int id);
// The same with a caller's own stand-by text for a missing entry.
QString LoadZipStr(int id, const QString& standBy);
// Whether the table holds a text for `id`.
bool HasZipStr(int id);

// Fills the printf-style place holders of an engine text (%d, %.1d, %s, %u, %x)
// from `args`, left to right. Missing arguments leave the place holder empty;
// "%%" is a single "%".
QString ZipFormat(const QString& format, const QStringList& args);

// The engine's exception: a message text, its number and whether to show it.
class EZipEngine : public std::runtime_error {
public:
    EZipEngine(int id, bool display);
    EZipEngine(int id, int value);
    EZipEngine(int id, const QString& value);
    // A ready-made text (used for texts built from several messages).
    EZipEngine(const QString& text, int id, bool display);

    const QString& Message() const { return message_; }
    int ResourceId() const { return resourceId_; }
    bool Display() const { return display_; }

private:
    QString message_;
    int resourceId_;
    bool display_;
};
