#include "ZipMessages.h"

#include <unordered_map>

namespace {

const std::unordered_map<int, const char*>& table()
{
    static const std::unordered_map<int, const char*> t = {
        {10101, "Fatal Error in ZipLib.DLL: abort exception"},
        {10102, "Error - no zip file specified!"},
        {10103, "Requested memory not available"},
        {10104, "Error - passwords do NOT match\nPassword ignored"},
        {10105, "Copying: "},
        {10150, "Error - no add password given"},
        {10151, "Error - no extract password given"},
        {10152, "&Ok"},
        {10153, "&Cancel"},
        {10154, "Password"},
        {10155, "Enter Password "},
        {10156, "Confirm Password "},
        {10157, "Cancel all"},
        {10158, "Abort"},
        {10201, "Seek error reading Zip archive!"},
        {10202, "Unknown error in List() function\n"},
        {10203, "Warning - Error in zip structure!"},
        {10204, "Warning - Garbage at the end of the zipfile!"},
        {10301, "Error - no files to zip!"},
        {10302, "Unattended action not possible without a password"},
        {10303, "AddFreshen or AddUpdate not possible on a spanned archive"},
        {10304, "Error %.1d occurred during Auto SFX creation."},
        {10401, "Error - no files selected for deletion"},
        {10402, "Delete files from archive not implemented for a spanned zip file"},
        {10501, "Fatal Error in UnzLib.DLL: abort exception"},
        {10502, "Warning - Unattended Extract: possible not all files extracted"},
        {10601, "ZIP LIB Loaded"},
        {10602, "ZipLibExec function not found in ZIPLIB.DLL!"},
        {10603, "GetZipLibVersion function not found in ZIPLIB.DLL!"},
        {10604, "ZIPLIB.DLL not found!"},
        {10605, "Attempted to load old ZipLib from "},
        {10701, "UNZLIB Loaded!"},
        {10702, "UnzLibExec function not found in UNZLIB.DLL!"},
        {10703, "GetUnzLibVersion function not found in UNZLIB.DLL!"},
        {10704, "UNZLIB.DLL not found!"},
        {10705, "Attempted to load old UnzLib from "},
        {10801, "Error - On or more of the 4 property strings mentioned below exceeds 255 characters!"},
        {10802, "Error - SFXSTUB.BIN not found!"},
        {10803, "Error: input file is not a zip file"},
        {10805, "The converted file is in place, but the file it was made from could not be removed:"},
        {10901, "Error - no .EXE file specified"},
        {10902, "Error: input file is not an .EXE file"},
        {10903, "Error determining the type of SFX archive"},
        {11001, "Input file does not exist"},
        {11002, "Zip file could not be opened"},
        {11003, "Not a valid drive: %s"},
        {11004, "Drive %s is NOT defined"},
        {11005, "Volume label could not be set"},
        {11006, "Not enough memory to display MsgBox"},
        {11007, "User canceled operation"},
        {11008, "Seek error in input file"},
        {11009, "Creation of output file failed"},
        {11010, "Write error in output file"},
        {11011, "Error while reading the End Of Central Directory"},
        {11012, "Error while reading a local header"},
        {11013, "Error while reading a central header"},
        {11014, "A local header signature is wrong"},
        {11015, "A central header signature is wrong"},
        {11016, "Error while reading a local file name"},
        {11017, "Error while reading a central file name"},
        {11018, "Error while reading a local extra field"},
        {11019, "Error while reading a central extra field"},
        {11020, "Error while reading/writing a data descriptor area"},
        {11021, "Error while reading zipped data"},
        {11022, "Error while reading a file comment"},
        {11023, "Error while reading the archive comment"},
        {11024, "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n"},
        {11025, "Unattended disk spanning not implemented"},
        {11026, "A local header not found in internal structure"},
        {11027, "Temporary file could not be created"},
        {11028, "Error while writing a local header"},
        {11029, "Error while writing a central header"},
        {11030, "Error while writing the End Of Central Directory"},
        {11031, "Error while reading a Extended Local signature"},
        {11032, "This disk has not enough free space available"},
        {11033, "Please insert last disk"},
        {11034, "Please insert disk volume %.1d of %.1d"},
        {11035, "\nin drive: %s"},
        {11036, "This archive is not a valid Zip archive"},
        {11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
        {11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
        {11039, "There is already a file %s\nDo you want to overwrite this file"},
        {11040, "ATTENTION: This is previous disk no %d!!!\nAre you sure you want to overwrite the contents"},
        {11041, "Error - Self extracting archives(.exe) can not be spanned"},
        {11042, "Error while copying a filename of a CEH structure"},
        {11043, "Seek error while skipping a EOC structure"},
        {11044, "Error while copying the zip archive comment"},
        {11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
        {11046, "Please insert disk volume %.1d"},
        {11047, "Central directory"},
    };
    return t;
}

QString standByText(int id)
{
    switch (id) {
    case ZipMsg::LZ_OldZipDll:
    case ZipMsg::LU_OldUnzDll:
        return QStringLiteral("Old Dll from ");
    case ZipMsg::SF_NotSupported:
        return QStringLiteral("SFX not supported");
    case ZipMsg::DS_NotSupported:
        return QStringLiteral("Span not supported");
    default:
        return QStringLiteral("The message resource is probably not linked to the executable\nMissing String ID is: ")
               + QString::number(id);
    }
}

} // namespace

bool HasZipStr(int id)
{
    return table().count(id) != 0;
}

QString LoadZipStr(int id)
{
    auto it = table().find(id);
    return it == table().end() ? standByText(id) : QString::fromLatin1(it->second);
}

QString LoadZipStr(int id, const QString& standBy)
{
    auto it = table().find(id);
    return it == table().end() ? standBy : QString::fromLatin1(it->second);
}

QString ZipFormat(const QString& format, const QStringList& args)
{
    QString out;
    out.reserve(format.size() + 16);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        if (format.at(i + 1) == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        // A place holder: flags, width and precision, then one conversion letter.
        qsizetype j = i + 1;
        while (j < format.size() && (format.at(j).isDigit() || format.at(j) == QLatin1Char('.')
                                     || format.at(j) == QLatin1Char('-')))
            ++j;
        if (j >= format.size() || !QStringLiteral("dsuxi").contains(format.at(j))) {
            out += c; // not a place holder we know: keep it as written
            continue;
        }
        if (next < args.size())
            out += args.at(next);
        ++next;
        i = j;
    }
    return out;
}

static std::string toStd(const QString& s)
{
    return s.toStdString();
}

EZipEngine::EZipEngine(int id, bool display)
    : std::runtime_error(toStd(LoadZipStr(id))), message_(LoadZipStr(id)), resourceId_(id), display_(display)
{
}

EZipEngine::EZipEngine(int id, int value)
    : EZipEngine(ZipFormat(LoadZipStr(id), {QString::number(value)}), id, true)
{
}

EZipEngine::EZipEngine(int id, const QString& value)
    : EZipEngine(ZipFormat(LoadZipStr(id), {value}), id, true)
{
}

EZipEngine::EZipEngine(const QString& text, int id, bool display)
    : std::runtime_error(toStd(text)), message_(text), resourceId_(id), display_(display)
{
}
