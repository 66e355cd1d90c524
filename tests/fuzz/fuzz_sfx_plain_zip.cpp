// Fuzz target: turning a self-extracting program back into a zip: the search
// for the option block behind the stub, the icon in its resources, and the
// copy of the zip data with its offsets moved. Either the zip is made and the
// program removed, or the program stays and no zip is left.
#include "FuzzScratch.h"
#include "zipengine/SfxParts.h"
#include "zipengine/TZipEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString exe = scratch.write(QStringLiteral("a.exe"), data, size);
    if (exe.isEmpty())
        return 0;
    int32_t result = 0;
    {
        TZipEngine engine;
        engine.Unattended = true;
        engine.HowToDelete = TZipEngine::htdFinal;  // not to the user's trash
        engine.SetZipFileName(exe);
        result = engine.MakePlainZip();
    }
    const bool zip = QFile::exists(scratch.path(QStringLiteral("a.zip")));
    FUZZ_CHECK(result == SfxResult::Ok ? zip && !QFile::exists(exe) : !zip && QFile::exists(exe));
    return 0;
}
