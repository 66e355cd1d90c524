/* The C interface between the zip engine and the two compression modules
 * (libziplib.so for adding and deleting, libunzlib.so for extracting and testing).
 * Every block holds its fields in the order the engine fills them; pointers are
 * at native width, flags are 32-bit with -1 for true and 0 for false unless a
 * narrower width is given. Reserved fields are zero. */
#ifndef QUARN_ZIPLIBAPI_H
#define QUARN_ZIPLIBAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QZ_LIB_VERSION 170

/* Library error codes (sent with messages, code 4). */
enum {
    QZ_OK = 0,
    QZ_WARNING = 1,
    QZ_ERR_ZIP = 2,
    QZ_ERR_FORMAT = 3,
    QZ_ERR_MEMORY = 4,
    QZ_ERR_NOFILE = 9,
    QZ_ERR_PARAM = 10,
    QZ_ERR_NOMATCH = 11,
    QZ_ERR_DISKFULL = 50,
    QZ_ERR_EOF = 51,
    QZ_ERR_ABORT = 80,
    QZ_ERR_UNSUPPORTED = 81,
    QZ_ERR_PASSWORD = 82
};

/* Callback action codes. */
enum {
    QZ_CB_NEWFILE = 1,      /* text = name, size = its size */
    QZ_CB_BYTES = 2,        /* size = bytes done since the last report */
    QZ_CB_END = 3,
    QZ_CB_MESSAGE = 4,      /* error = library error code, text = message */
    QZ_CB_TOTALFILES = 5,   /* size = number of files */
    QZ_CB_TOTALSIZE = 6,    /* size = number of bytes */
    QZ_CB_NEWNAME = 7,
    QZ_CB_PASSWORD = 8,     /* error bit 0 = password for adding; size = repeat count;
                               reply error 1 = text holds the password, for adding
                               with bit 1 set: encrypt with AES-256, clear: traditional */
    QZ_CB_CRCERROR = 9,     /* error = CRC found, size = CRC expected */
    QZ_CB_OVERWRITE = 10,   /* error = bit 16 older + index, size = default answer */
    QZ_CB_SKIPPED = 11,     /* error = error code, size = skip type + 1 */
    QZ_CB_COMMENT = 12,
    QZ_CB_STREAM = 13
};

/* Skip types sent with QZ_CB_SKIPPED (size field = type + 1). */
enum {
    QZ_SKIP_ON_FRESHEN = 0,
    QZ_SKIP_NO_OVERWRITE = 1,
    QZ_SKIP_FILE_EXISTS = 2,
    QZ_SKIP_BAD_PASSWORD = 3,
    QZ_SKIP_NO_PASSWORD = 4,
    QZ_SKIP_COMPRESSION_UNKNOWN = 5,
    QZ_SKIP_UNKNOWN = 6,
    QZ_SKIP_UNZIP_ERROR = 7,
    QZ_SKIP_STOPPED_BY_USER = 8,
    QZ_SKIP_CRC_ERROR = 9
};

/* The record a module fills and hands to the engine's callback. The callback
 * returns non-zero when the module is to abort. */
typedef struct QzCallbackRecord {
    int32_t reserved0;
    void* engine;          /* as passed in the block */
    int32_t reserved8;
    int32_t isZipAction;   /* non-zero during add/delete */
    int32_t actionCode;    /* QZ_CB_*; may be rewritten by the engine */
    int32_t errorCode;     /* argument and reply */
    int32_t size;          /* argument and reply */
    char text[512];        /* zero-terminated; argument and reply */
} QzCallbackRecord;

typedef int32_t (*QzCallback)(QzCallbackRecord* record);

/* One file-pattern record of the zip block. */
typedef struct QzFileSpec {
    const char* fileSpec;
    int32_t reserved4;
    int32_t reserved8;
    const char* password;  /* null: the block's password */
    int32_t encrypt;       /* 0xFFFF: encrypt with `password`; -1 block's flag */
    int16_t recurse;
    int16_t reserved22;
    int32_t reserved24[3];
    const char* rootDir;   /* null: names relative to the current folder */
    int32_t reserved40[16];
} QzFileSpec;

/* Where the zip module writes a new archive instead of a file of its own (the
 * parts of a set). Offsets count from the archive's first byte. Every function
 * returns 0, or an errno value when the archive cannot be written on. */
typedef struct QzOutput {
    void* context;
    int32_t (*write)(void* context, const void* data, uint64_t n);
    int32_t (*writeAt)(void* context, uint64_t offset, const void* data, uint64_t n);
    int32_t (*truncate)(void* context, uint64_t offset);
    /* The next `n` bytes (a local header with its name and extra field) are kept together. */
    int32_t (*keepTogether)(void* context, uint64_t n);
    /* What follows is the central directory and the end record. */
    int32_t (*directory)(void* context);
} QzOutput;

/* What the unzip module reads instead of the file zipFileName names: one zip
 * made of the parts of a set. readAt returns 0 when all `n` bytes were read;
 * it may be called from several threads at once. */
typedef struct QzInput {
    void* context;
    uint64_t size;
    int32_t (*readAt)(void* context, uint64_t offset, void* dst, uint64_t n);
} QzInput;

/* The zip block (adding and deleting). */
typedef struct QzZipBlock {
    void* owner;               /* 0 */
    void* engine;              /* 4 */
    int32_t version;           /* 8 */
    QzCallback callback;       /* 12 */
    int32_t trace;             /* 16 */
    const char* password;      /* 20: null when none */
    const char* storeSuffixes; /* 24: ".gif:.png:..." or null */
    int32_t encrypt;           /* 28 */
    int32_t hiddenFiles;       /* 32 */
    int32_t volume;            /* 36 */
    int32_t reserved40;
    int32_t noDirEntries;      /* 44: folders get no entries of their own */
    int32_t fromDate;          /* 48: `date` is a lower bound */
    int32_t verbose;           /* 52 */
    int32_t quiet;             /* 56 */
    int32_t level;             /* 60: 0..9 */
    int32_t aesEncrypt;        /* 64: non-zero: WinZip AES-256 (AE-2) instead of traditional encryption */
    int32_t reserved68;
    int32_t junkDirs;          /* 72: names without paths */
    int16_t recurse;           /* 76 */
    int16_t reserved78;
    int32_t grow;              /* 80: -1 adding, 0 deleting */
    int32_t forceDos;          /* 84 */
    int32_t move;              /* 88 */
    int32_t deleteEntries;     /* 92 */
    int32_t update;            /* 96 */
    int32_t freshen;           /* 100 */
    int32_t reserved104;
    int32_t latestTime;        /* 108: archive dated as its newest entry */
    char date[8];              /* 112: "mm dd yy", no terminator */
    int32_t specCount;         /* 120 */
    const char* zipFileName;   /* 124 */
    const char* tempDir;       /* 128: null: beside the archive */
    const char* comment;       /* 132: null: keep the archive's own */
    int16_t archiveOnly;       /* 136 */
    int16_t resetArchive;      /* 138 */
    QzFileSpec* specs;         /* 140 */
    int32_t reserved144;
    int32_t exclCount;         /* 148 */
    const char* const* excl;   /* 152 */
    int32_t stream[8];         /* 156..184 */
    int32_t allowUndo;         /* 188 */
    int16_t codePage;          /* 192 */
    int16_t reserved194;
    const QzOutput* output;    /* 196: null: the archive is written as one file */
    int32_t reserved200[2];
    int32_t seven;             /* 212: 7 */
} QzZipBlock;

/* One file-pattern record of the unzip block. */
typedef struct QzUnzFileSpec {
    const char* fileSpec;
    int32_t exact;         /* 1: the name of one entry; '*' and '?' are plain characters */
    int32_t reserved[15];
} QzUnzFileSpec;

/* The unzip block (extracting and testing). */
typedef struct QzUnzBlock {
    void* owner;             /* 0 */
    void* engine;            /* 4 */
    int32_t version;         /* 8 */
    QzCallback callback;     /* 12 */
    int32_t trace;           /* 16 */
    int32_t reserved20;
    const char* password;    /* 24: empty text when none */
    int32_t test;            /* 28 */
    int32_t reserved32;
    int32_t reserved36;
    int32_t quiet;           /* 40 */
    int32_t verbose;         /* 44 */
    int32_t update;          /* 48 */
    int32_t freshen;         /* 52 */
    int32_t dirNames;        /* 56 */
    int32_t overwrite;       /* 60 */
    int32_t specCount;       /* 64: 0 = every entry */
    const char* zipFileName; /* 68 */
    QzUnzFileSpec* specs;    /* 72 */
    int32_t reserved76;
    int32_t stream[6];       /* 80..100 */
    int32_t passwordReqCount;/* 104 */
    const char* baseDir;     /* 108: null: the current folder */
    const QzInput* input;    /* 112: null: zipFileName is read */
    int32_t reserved116[6];
    int32_t seven;           /* 144: 7 */
} QzUnzBlock;

typedef int32_t (*QzZipLibExec)(QzZipBlock* block);
typedef int32_t (*QzUnzLibExec)(QzUnzBlock* block);
typedef int32_t (*QzGetVersion)(void);

#ifdef __cplusplus
}
#endif

#endif
