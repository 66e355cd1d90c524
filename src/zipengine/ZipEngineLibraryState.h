#pragma once
// The engine's handles and entry points of the loaded compression libraries.

#include "TZipEngine.h"
#include "../../modules/common/ZipLibApi.h"

#include <QLibrary>

struct TZipEngine::LibraryState {
    struct Lib {
        QLibrary* library = nullptr;
        void* exec = nullptr;
        QzGetVersion version = nullptr;
        QString path;
    };
    Lib zip, unz;
};
