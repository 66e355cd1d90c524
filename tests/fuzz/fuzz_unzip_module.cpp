// Fuzz target: the unzip module's extraction of a zip, entries encrypted with
// the password "secret" decrypted, everything written into a scratch folder.
#include "FuzzScratch.h"
#include "ZipLibApi.h"

#include <QDir>

extern "C" int32_t UnzLibExec(QzUnzBlock* block);

namespace {

// Answers every question of the module with its default: go on, no new
// password, keep the default overwrite answer.
int32_t answer(QzCallbackRecord* record)
{
    if (record->actionCode == QZ_CB_PASSWORD)
        record->text[0] = '\0';
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.zip"), data, size);
    const QString out = scratch.path(QStringLiteral("out"));
    if (path.isEmpty() || !QDir().mkpath(out))
        return 0;
    const QByteArray zipName = QFile::encodeName(path), base = QFile::encodeName(out);
    QzUnzBlock block{};
    block.version = QZ_LIB_VERSION;
    block.callback = answer;
    block.password = "secret";
    block.quiet = -1;
    block.test = (size & 1) ? 1 : 0;
    block.dirNames = 1;
    block.overwrite = 1;
    block.zipFileName = zipName.constData();
    block.baseDir = base.constData();
    block.seven = 7;
    UnzLibExec(&block);
    FUZZ_CHECK(QDir(scratch.path(QString())).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                           | QDir::NoDotAndDotDot).size() == 2);
    return 0;
}
