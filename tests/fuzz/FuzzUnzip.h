#pragma once
// Runs the unzip module (built into the target) over a zip: entries encrypted
// with the password "secret" decrypted, everything written into `out`, every
// question answered with its default (go on, no new password, keep the
// default overwrite answer).
#include "ZipLibApi.h"

#include <QFile>
#include <QString>

extern "C" int32_t UnzLibExec(QzUnzBlock* block);

inline int32_t FuzzUnzipAnswer(QzCallbackRecord* record)
{
    if (record->actionCode == QZ_CB_PASSWORD)
        record->text[0] = '\0';
    return 0;
}

// `input`, when given, is where the module reads the zip; `zip` then only names it.
inline void FuzzUnzip(const QString& zip, const QString& out, bool test, const QzInput* input = nullptr)
{
    const QByteArray zipName = QFile::encodeName(zip), base = QFile::encodeName(out);
    QzUnzBlock block{};
    block.version = QZ_LIB_VERSION;
    block.callback = FuzzUnzipAnswer;
    block.password = "secret";
    block.quiet = -1;
    block.test = test ? 1 : 0;
    block.dirNames = 1;
    block.overwrite = 1;
    block.zipFileName = zipName.constData();
    block.input = input;
    block.baseDir = base.constData();
    block.seven = 7;
    UnzLibExec(&block);
}
