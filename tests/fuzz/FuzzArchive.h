#pragma once
// What the archive-layer targets do with an input: list it, then extract all
// of it into "out" in the scratch folder, replacing nothing by asking.
#include "FuzzScratch.h"
#include "archive/Archive.h"

#include <QDir>

inline void FuzzListAndExtract(Archive& archive, const FuzzScratch& scratch)
{
    int listed = 0;
    const QString listError = archive.list([&](const ArchiveEntry&) {
        ++listed;
        return true;
    });
    ExtractRequest request;
    request.destination = scratch.path(QStringLiteral("out"));
    FUZZ_CHECK(QDir().mkpath(request.destination));
    request.replace = ReplacePolicy::Always;
    request.password = QStringLiteral("secret");
    const ExtractResult result = archive.extract(request);
    FUZZ_CHECK(result.extracted + result.skipped + result.failed >= 0);
    // Nothing lands beside the archive: the scratch folder still holds only it and "out".
    FUZZ_CHECK(FuzzEntriesOf(scratch.path(QString())).size() == 2);
    (void)listError;
}
