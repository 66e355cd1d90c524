// A stand-in for the compression modules that does no work: it sends the
// block it was given back to the engine as one message ("key=value" lines),
// so that tests can read what the engine passed. Built in variants:
// PROBE_VERSION sets the version reported, PROBE_NO_EXEC leaves the exec
// entry point out.

#include "ZipLibApi.h"

#include <cstring>
#include <string>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

PROBE_EXPORT int32_t GetZipLibVersion(void) { return PROBE_VERSION; }
PROBE_EXPORT int32_t GetUnzLibVersion(void) { return PROBE_VERSION; }

#ifndef PROBE_NO_EXEC
namespace {

std::string text(const char* s) { return s ? std::string(s) : std::string("(null)"); }

void put(std::string& out, const std::string& key, const std::string& value) { out += key + "=" + value + "\n"; }
void put(std::string& out, const std::string& key, long value) { put(out, key, std::to_string(value)); }

void send(QzCallback cb, void* engine, bool zip, const std::string& report)
{
    QzCallbackRecord r;
    std::memset(&r, 0, sizeof r);
    r.engine = engine;
    r.isZipAction = zip ? 1 : 0;
    r.actionCode = QZ_CB_MESSAGE;
    std::strncpy(r.text, report.c_str(), sizeof r.text - 1);
    cb(&r);
}

} // namespace

PROBE_EXPORT int32_t ZipLibExec(QzZipBlock* b)
{
    // Sent in two messages: the block's own fields, then its file-pattern records.
    std::string o;
    put(o, "owner", b->owner ? 1 : 0);
    put(o, "password", text(b->password));
    put(o, "suffixes", text(b->storeSuffixes));
    put(o, "encrypt", b->encrypt);
    put(o, "hidden", b->hiddenFiles);
    put(o, "noDirEntries", b->noDirEntries);
    put(o, "verbose", b->verbose);
    put(o, "level", b->level);
    put(o, "junkDirs", b->junkDirs);
    put(o, "recurse", b->recurse);
    put(o, "grow", b->grow);
    put(o, "move", b->move);
    put(o, "delete", b->deleteEntries);
    put(o, "update", b->update);
    put(o, "freshen", b->freshen);
    put(o, "date", std::string(b->date, 8));
    put(o, "patternCount", b->specCount);
    put(o, "tempDir", text(b->tempDir));
    put(o, "exclCount", b->exclCount);
    put(o, "allowUndo", b->allowUndo);
    put(o, "seven", b->seven);
    send(b->callback, b->engine, true, o);
    std::string s;
    for (int32_t i = 0; i < b->specCount; ++i) {
        const QzFileSpec& f = b->specs[i];
        const std::string k = std::to_string(i);
        put(s, "pattern" + k, text(f.fileSpec));
        put(s, "pw" + k, text(f.password));
        put(s, "enc" + k, f.encrypt);
        put(s, "rec" + k, f.recurse);
        put(s, "root" + k, text(f.rootDir));
    }
    for (int32_t i = 0; i < b->exclCount; ++i)
        put(s, "excl" + std::to_string(i), text(b->excl[i]));
    send(b->callback, b->engine, true, s);
    return 0;
}

PROBE_EXPORT int32_t UnzLibExec(QzUnzBlock* b)
{
    std::string o;
    put(o, "owner", b->owner ? 1 : 0);
    put(o, "password", text(b->password));
    put(o, "test", b->test);
    put(o, "update", b->update);
    put(o, "freshen", b->freshen);
    put(o, "dirNames", b->dirNames);
    put(o, "overwrite", b->overwrite);
    put(o, "patternCount", b->specCount);
    for (int32_t i = 0; i < b->specCount; ++i)
        put(o, "pattern" + std::to_string(i), text(b->specs[i].fileSpec));
    put(o, "passwordReqCount", b->passwordReqCount);
    put(o, "baseDir", text(b->baseDir));
    put(o, "seven", b->seven);
    send(b->callback, b->engine, false, o);
    return 0;
}
#endif
