#pragma once
// Running quarn-cli from the build's bin folder, with the shared file and
// process helpers.

#include "TestTools.h"

namespace clitools {

using namespace testtools;

inline QString cliPath() { return QStringLiteral(QUARN_BIN_DIR "/quarn-cli"); }

inline Run cli(const QStringList& args, const QString& cwd = QString()) { return run(cliPath(), args, cwd); }

} // namespace clitools
