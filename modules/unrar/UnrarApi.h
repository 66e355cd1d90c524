// The C interface of the RAR library (libunrar.so), as published for the
// unrar library: open record, header record, processing calls, callbacks and
// result codes. The program loads the library at run time and finds these
// entry points by name.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Result codes.
#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12
#define ERAR_BAD_ARCHIVE 13
#define ERAR_UNKNOWN_FORMAT 14
#define ERAR_EOPEN 15
#define ERAR_ECREATE 16
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20
#define ERAR_UNKNOWN 21
#define ERAR_STOPPED 255

// This library's own codes, for what it cannot do; each is reported before a
// byte of the entry is written.
#define ERAR_ENTRY_ENCRYPTED 30   // the entry's data is encrypted: it cannot be decrypted here
#define ERAR_ENTRY_SOLID 31       // an entry of a RAR 4 solid archive past the first
#define ERAR_NAMES_ENCRYPTED 32   // the archive's headers are encrypted: nothing can be listed
#define ERAR_VOLUME_MISSING 33    // the entry continues in a volume that is not there
#define ERAR_TRUNCATED 34         // the archive ends inside this entry or its header

// Open modes.
#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1

// Operations of RARProcessFile.
#define RAR_SKIP 0
#define RAR_TEST 1     // decompress and check; the data goes to the data callback only
#define RAR_EXTRACT 2

// Modes of the volume callback.
#define RAR_VOL_ASK 0
#define RAR_VOL_NOTIFY 1

// Header flags (RAR 4 meaning; RAR 5 entries are reported the same way).
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0xe0

// Host systems.
#define RAR_HOST_MSDOS 0
#define RAR_HOST_WIN32 2
#define RAR_HOST_UNIX 3

struct RARHeaderData {
    char ArcName[260];
    char FileName[260];
    unsigned int Flags;
    unsigned int PackSize;
    unsigned int UnpSize;
    unsigned int HostOS;
    unsigned int FileCRC;
    unsigned int FileTime;   // DOS date and time, local
    unsigned int UnpVer;
    unsigned int Method;
    unsigned int FileAttr;   // Unix mode bits when HostOS is RAR_HOST_UNIX, DOS attributes otherwise
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
};

struct RAROpenArchiveData {
    char* ArcName;
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;   // 0 no comment, 1 read, ERAR_SMALL_BUF when cut to the buffer
};

// Mode RAR_VOL_ASK: `arcName` (a buffer of 1024 bytes) names the missing
// volume and may be changed to where it is; a negative return cancels.
// RAR_VOL_NOTIFY: the next volume is being read.
typedef int (*CHANGEVOLPROC)(char* arcName, int mode);
// One block of unpacked data; a negative return stops the entry.
typedef int (*PROCESSDATAPROC)(unsigned char* addr, int size);

typedef void* (*RAROpenArchiveFn)(struct RAROpenArchiveData*);
typedef int (*RARCloseArchiveFn)(void*);
typedef int (*RARReadHeaderFn)(void*, struct RARHeaderData*);
typedef int (*RARProcessFileFn)(void*, int, char*, char*);
typedef void (*RARSetChangeVolProcFn)(void*, CHANGEVOLPROC);
typedef void (*RARSetProcessDataProcFn)(void*, PROCESSDATAPROC);
typedef void (*RARSetPasswordFn)(void*, char*);

#ifdef __cplusplus
}
#endif
