#include "SfxRequest.h"

#include "TZipEngine.h"

namespace {
const QString kTempFolderMark = QStringLiteral("><");
const QString kExtractedFileMark = QStringLiteral("><");
} // namespace

void SfxRequest::ApplyTo(TZipEngine& engine) const
{
    if (AutoRun) {
        engine.SFXOptions = TZipEngine::SFXCheckSize | TZipEngine::SFXAutoRun | TZipEngine::SFXHideOverWriteBox;
    } else {
        engine.SFXOptions = uint8_t(TZipEngine::SFXCheckSize | (AskFiles ? TZipEngine::SFXAskFiles : 0)
                                    | (NoSuccessMsg ? TZipEngine::SFXNoSuccessMsg : 0)
                                    | (AskCmdLine ? TZipEngine::SFXAskCmdLine : 0));
    }
    engine.SFXCaption = Title.isEmpty() ? QStringLiteral("Self Extracting Zip File") : Title;
    engine.SFXDefaultDir = AutoRun || FolderChoice == 0 ? QString() : FolderChoice == 1 ? kTempFolderMark : Folder;
    if (AutoRun || MessageKind == 0 || Message.isEmpty())
        engine.SFXMessage.clear();
    else if (MessageKind == 1)
        engine.SFXMessage = Message;
    else
        engine.SFXMessage = QChar(char16_t(MessageKind - 1)) + Message;
    engine.SFXCommandLine = AutoStart.isEmpty() ? QString() : kExtractedFileMark + AutoStart;
}

SfxRequest SfxRequest::ReadFrom(const TZipEngine& engine)
{
    SfxRequest r;
    const uint8_t o = engine.SFXOptions;
    r.AutoRun = o & TZipEngine::SFXAutoRun;
    r.AskFiles = o & TZipEngine::SFXAskFiles;
    r.NoSuccessMsg = o & TZipEngine::SFXNoSuccessMsg;
    r.AskCmdLine = o & TZipEngine::SFXAskCmdLine;
    r.Title = engine.SFXCaption;
    const QString& dir = engine.SFXDefaultDir;
    r.FolderChoice = dir.isEmpty() ? 0 : dir == kTempFolderMark ? 1 : 2;
    r.Folder = r.FolderChoice == 2 ? dir : QString();
    const QString& m = engine.SFXMessage;
    if (m.isEmpty()) {
        r.MessageKind = 0;
    } else if (m.front() == QChar(1) || m.front() == QChar(2)) {
        r.MessageKind = m.front().unicode() + 1;
        r.Message = m.mid(1);
    } else {
        r.MessageKind = 1;
        r.Message = m;
    }
    const QString& cmd = engine.SFXCommandLine;
    r.AutoStart = cmd.startsWith(kExtractedFileMark) ? cmd.mid(2) : cmd;
    return r;
}
