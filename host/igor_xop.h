/*
 * Igor Pro's extension interface as it crosses the boundary between Igor and an extension
 * module: the I/O record behind the handle given to XOPMain, the call record of the thread-safe
 * callback mode, Igor's handles, the memory function table, and the numbers (messages, callback
 * codes, error codes) both sides use. Layouts are Igor's own: packed to 2 bytes, little-endian,
 * 64-bit pointers; the static assertions below hold them in place.
 *
 * Plain C so that a host written in any language can use it.
 */
#ifndef ZORVANE_IGOR_XOP_H
#define ZORVANE_IGOR_XOP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An Igor handle: a pointer to a master pointer that holds the block's address. The block may
   move when it is resized; its size comes from the host. Text handles hold no NUL. */
typedef char **Handle;
typedef int64_t BCInt;

typedef void (*XOPEntryProc)(void);
/* Igor's callback procedure: the IORecHandle in legacy mode, an XOPCallRec * in call-record mode. */
typedef void (*XOPCallBackProc)(void *arg);

enum { NUM_IOREC_ITEMS = 16 };

#pragma pack(push, 2)

typedef struct IORec {
    int16_t XOPProtocolVersion; /* Igor: the first word of the module's XOPI resource */
    int32_t XOPType;            /* module: TRANSIENT, RESIDENT, IDLES ... bits */
    int64_t result;             /* module's answer to a message; Igor's to a legacy callback */
    int32_t status;             /* Igor: INFOREGROUND, INBACKGROUND, XOPINITING */
    XOPCallBackProc callBackProc;
    XOPEntryProc XOPEntry;      /* module: where Igor sends later messages */
    Handle stuffHandle;         /* Igor's own */
    int64_t refCon;             /* the module's own */
    int16_t message;            /* Igor's message, or the module's legacy callback code */
    int16_t menuID;
    int16_t itemID;
    int16_t subMenuID;
    int16_t numItems;
    int64_t items[NUM_IOREC_ITEMS]; /* Igor allocates all 16; the Toolkit declares one */
} IORec, *IORecPtr, **IORecHandle;

enum { kXOPCallRecVersion = 1000 };

typedef struct XOPCallRec {
    int32_t version;            /* kXOPCallRecVersion */
    IORecHandle ioRecHandle;
    int32_t message;            /* callback code */
    int32_t numParameters;
    int64_t *parametersP;       /* numParameters slots, NULL when there are none */
    int64_t reserved1;
    int64_t reserved2;
    int64_t reserved3;
    int64_t reserved4;
    int64_t result;             /* written by Igor */
} XOPCallRec;

#pragma pack(pop)

/* The table GET_IGOR_INTERNAL_INFO fills for "WMMemoryFunctions", version 800. Every int is an
   error code. */
typedef struct WMMemoryFunctions {
    Handle (*NewHandle)(BCInt size);
    BCInt (*GetHandleSize)(Handle h);
    int (*SetHandleSize)(Handle h, BCInt size);
    int (*HandToHand)(Handle *hp);
    int (*HandAndHand)(Handle src, Handle dst);
    void (*DisposeHandle)(Handle h);
    void *(*NewPtr)(BCInt size);
    BCInt (*GetPtrSize)(void *p);
    int (*SetPtrSize)(void *p, BCInt size);
    int (*PtrToHand)(const void *p, Handle *hp, BCInt size);
    int (*PtrAndHand)(const void *p, Handle h, BCInt size);
    void (*DisposePtr)(void *p);
} WMMemoryFunctions;

enum { kWMMemoryFunctionsVersion = 800 };

/* XOPType bits and status values. */
enum { TRANSIENT = 0, RESIDENT = 1, IDLES = 2, ADDS_TARGET_WINDOWS = 4 };
enum { INFOREGROUND = 0, INBACKGROUND = 1, XOPINITING = 2 };

/* Messages Igor sends to XOPEntry (INIT only to XOPMain). */
enum { INIT = 1, CLEANUP = 12 };

/* Callback codes. */
enum {
    NOTICE = 8,
    REGISTER_OPERATION = 187,
    SET_RUNTIME_NUMERIC_VARIABLE = 188,
    SET_RUNTIME_STRING_VARIABLE = 189,
    NOTICE2 = 213,
    SET_IGOR_CALLBACK_METHOD = 221,
    GET_IGOR_VERSION = 238,
    GET_IGOR_INTERNAL_INFO = 292
};

/* RegisterOperation options. */
enum { kOperationIsThreadSafe = 2 };

/* XOPC categories the host looks at. */
enum { compilableOp = 64, threadSafeOp = 32768 };

/* Igor's error codes used on either side. A module's own codes start at 10000. */
enum {
    NOMEM = 1,
    NOWAV = 2,                  /* no such wave */
    NAME_WAV_CONFLICT = 27,
    NO_TEXTNUMERIC_WAVE_OVERWRITE = 372,
    IGOR_OBSOLETE = 163,        /* a callback the running Igor does not know */
    USING_NULL_STRVAR = 185,
    XOP_RESOURCES_MISSING = 342,
    CANT_FIND_XOP_MAIN = 600,
    OH_BAD_TEMPLATE = 878,      /* first of the Operation Handler's template errors */
    OH_NOT_IN_XOPC = 896,
    OH_NOT_COMPILABLE = 898,
    OH_BAD_STRUCT_SIZE = 899,
    NOT_IN_THREADSAFE = 978,
    XOP_BAD_CALLBACK_MODE = 1315,
    XOP_CALLBACK_NOT_THREADSAFE = 1316,
    STR_TOO_LONG = 2006,
    GENERAL_BAD_VIBS = 1506,
    XOP_BAD_PARAMETER = 6165
};

/* Waves. A wave is an Igor handle the module only passes back to Igor; its number type and
   dimensions come from Igor. Dimension arrays hold MAX_DIMENSIONS + 1 counts, 0 after the last
   dimension in use. */
typedef Handle waveHndl;
typedef Handle DataFolderHandle;
typedef int64_t CountInt;
enum { MAX_DIMENSIONS = 10 };

/* Number types: OR NT_UNSIGNED with an integer type; NT_CMPLX with any. Text waves are type 0. */
enum {
    TEXT_WAVE_TYPE = 0,
    NT_CMPLX = 1,
    NT_FP32 = 2,
    NT_FP64 = 4,
    NT_I8 = 8,
    NT_I16 = 0x10,
    NT_I32 = 0x20,
    NT_UNSIGNED = 0x40,
    NT_I64 = 0x80
};

/* Wave callbacks; all of them may be used from Igor's preemptive threads. MD_GETWAVEDIMENSIONS
   and MD_GETDPDATAFROMNUMERICWAVE are taken from their place in the run of MD_ codes (77 make,
   79 change, 86 access, 88 set point, 90 store), not from a header. */
enum {
    WAVEMODIFIED = 1,
    MD_MAKEWAVE = 77,
    MD_GETWAVEDIMENSIONS = 78,
    MD_CHANGEWAVE = 79,
    MD_ACCESSNUMERICWAVEDATA = 86,
    MD_GETDPDATAFROMNUMERICWAVE = 89,
    MD_STOREDPDATAINNUMERICWAVE = 90,
    SET_OPERATION_WAVE_REF = 209,
    GET_OPERATION_WAVE_REF = 222,
    GET_OPERATION_DEST_WAVE = 223
};

/* GET_OPERATION_DEST_WAVE options. */
enum {
    kOpDestWaveOverwriteOK = 1,
    kOpDestWaveChangeExistingWave = 2,
    kOpDestWaveOverwriteExistingWave = 4,
    kOpDestWaveMakeFreeWave = 8,
    kOpDestWaveMustAlreadyExist = 16
};

/* A DataFolderAndName parameter (/DEST=name) as an operation's record holds it. The module
   declares Toolkit 7 and no long names in its XOPI, so names are at most 31 bytes. */
enum { MAX_OBJ_NAME = 31 };
#pragma pack(push, 2)
typedef struct DataFolderAndName {
    DataFolderHandle dfH;       /* NULL: the current data folder */
    char name[MAX_OBJ_NAME + 1];
} DataFolderAndName;
#pragma pack(pop)

/* A command's execute function: its runtime parameter record in, 0 or an error code out. */
typedef int (*XOPExecuteFunc)(void *runtimeParams);

/* The one export of a module. */
typedef int (*XOPMainFunc)(IORecHandle ioRecHandle);

#ifdef __cplusplus
}

static_assert(offsetof(IORec, XOPType) == 2, "IORec layout");
static_assert(offsetof(IORec, result) == 6, "IORec layout");
static_assert(offsetof(IORec, status) == 14, "IORec layout");
static_assert(offsetof(IORec, callBackProc) == 18, "IORec layout");
static_assert(offsetof(IORec, XOPEntry) == 26, "IORec layout");
static_assert(offsetof(IORec, stuffHandle) == 34, "IORec layout");
static_assert(offsetof(IORec, refCon) == 42, "IORec layout");
static_assert(offsetof(IORec, message) == 50, "IORec layout");
static_assert(offsetof(IORec, numItems) == 58, "IORec layout");
static_assert(offsetof(IORec, items) == 60, "IORec layout");
static_assert(sizeof(IORec) == 188, "Igor allocates an IORec of 16 items");
static_assert(offsetof(XOPCallRec, ioRecHandle) == 4, "XOPCallRec layout");
static_assert(offsetof(XOPCallRec, message) == 12, "XOPCallRec layout");
static_assert(offsetof(XOPCallRec, numParameters) == 16, "XOPCallRec layout");
static_assert(offsetof(XOPCallRec, parametersP) == 20, "XOPCallRec layout");
static_assert(offsetof(XOPCallRec, reserved1) == 28, "XOPCallRec layout");
static_assert(offsetof(XOPCallRec, result) == 60, "XOPCallRec layout");
static_assert(sizeof(XOPCallRec) == 68, "XOPCallRec layout");
static_assert(sizeof(WMMemoryFunctions) == 96, "WMMemoryFunctions layout");
static_assert(offsetof(DataFolderAndName, name) == 8, "DataFolderAndName layout");
static_assert(sizeof(DataFolderAndName) == 40, "DataFolderAndName with 31-byte names");
#endif

#endif
