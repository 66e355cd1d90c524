#pragma once
// The choices of the self-extracting page (and quarn-cli sfx) turned into the
// engine's self-extractor properties, and read back from them.

#include <QString>

class TZipEngine;

struct SfxRequest {
    bool AutoRun = false;   // extract into the current folder with no dialog
    bool AskFiles = false;  // let the user pick the entries
    bool NoSuccessMsg = false;
    bool AskCmdLine = false; // let the user cancel the auto-start
    QString Title;           // empty: "Self Extracting Zip File"
    int FolderChoice = 0;    // 0 the current folder, 1 the temporary folder, 2 `Folder`
    QString Folder;
    int MessageKind = 0;     // 0 none, 1 OK, 2 OK and Cancel, 3 Yes and No
    QString Message;
    QString AutoStart;       // the entry to start after extraction, or empty

    // Sets SFXOptions, SFXCaption, SFXDefaultDir, SFXMessage and
    // SFXCommandLine (SFXOverWriteMode is left as the engine holds it).
    void ApplyTo(TZipEngine& engine) const;
    // The same choices as a program's options give them (after MakePlainZip).
    static SfxRequest ReadFrom(const TZipEngine& engine);
};
