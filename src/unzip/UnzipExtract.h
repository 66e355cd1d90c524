#pragma once
// The replace question of the tar extractor, shared by the unzip page's
// extractors.

#include "platform/Prompter.h"

#include <QString>
#include <cstdint>

// Asks whether the file at `diskFile` is to be replaced by the archive entry
// `entryName` (its date text and size given); answers Yes at once when no
// file is there. Returns Yes, No, YesToAll or NoToAll.
PromptButton OverWriteWarning(Prompter& prompter, const QString& diskFile, const QString& entryName,
                              const QString& entryDate, int64_t entrySize);

// A byte count in KB as the replace question shows it: "1.5" for 1536.
QString KiloBytesText(int64_t bytes);
