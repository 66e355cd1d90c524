#pragma once
// quarn-cli's self-extracting commands: sfx (zip → program) and unsfx
// (program → zip).

#include <QStringList>
#include <optional>

class QTextStream;

// Runs `command` ("sfx" or "unsfx") with `args` (the archive first), writing
// to `out` and `err`. Returns the exit status, or nothing when `command` is
// not one of them.
std::optional<int> runSfxCli(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err);

// The lines quarn-cli --help shows for them.
extern const char* const kSfxHelp;
