/*
 * The record a host hands to an extension module's XOPMain: the host's services as a table of
 * functions. The module reaches its host through nothing else, so any program that fills this
 * table (the application, the stand-in host, a test) can load and drive the module.
 *
 * Plain C so that a host written in any language can fill it.
 */
#ifndef ZORVANE_XOP_HOST_RECORD_H
#define ZORVANE_XOP_HOST_RECORD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A text owned by the host (a command's string parameter); read with getCStringFromHandle. */
typedef struct XopText *XopTextHandle;

/* The module's callback for host messages; the message number comes from getXOPMessage. */
typedef void (*XopEntryFunc)(void);

/* A command's execute function: gets the parameter record the host filled, returns 0 or an error. */
typedef int (*XopExecuteFunc)(void *params);

/* Host messages. Only the clean-up message matters to this module. */
enum { XOP_MSG_CLEANUP = 12 };

/* Host error codes. They stay below 10000, where a module's own message table begins. */
enum {
    XOP_ERR_NO_HOST = 1001,           /* the module has no usable host record */
    XOP_ERR_NULL_TEXT = 1002,         /* a text handle is null */
    XOP_ERR_TEXT_TOO_LONG = 1003,     /* a text is longer than the caller's maximum */
    XOP_ERR_NOT_MAIN_THREAD = 1004,   /* a guarded service was called off the main thread */
    XOP_ERR_BAD_TEMPLATE = 1005,      /* a command template cannot be parsed */
    XOP_ERR_RECORD_SIZE = 1006,       /* the registered record size disagrees with the template */
    XOP_ERR_DUPLICATE_COMMAND = 1007, /* a command of that name is already registered */
    XOP_ERR_UNKNOWN_VARIABLE = 1008   /* not an output variable of the running command */
};

typedef struct XopHostRecord {
    /* sizeof(XopHostRecord) as the host was built; the module refuses a smaller record. */
    uint32_t recordSize;
    /* 100 times the host's version: 620 for 6.2, 800 for 8.0. */
    int32_t hostVersion;
    /* Handed back unchanged as the first argument of every service. */
    void *context;

    void (*setXOPEntry)(void *context, XopEntryFunc entry);
    int (*getXOPMessage)(void *context);
    void (*setXOPResult)(void *context, int result);
    int (*registerOperation)(void *context, const char *cmdTemplate, const char *runtimeNumVarList,
                             const char *runtimeStrVarList, int runtimeParamStructSize,
                             XopExecuteFunc executeFunc, int options);
    /* Copies at most maxChars characters and a NUL into buffer (maxChars + 1 bytes). 0, or
       XOP_ERR_NULL_TEXT / XOP_ERR_TEXT_TOO_LONG. */
    int (*getCStringFromHandle)(void *context, XopTextHandle text, char *buffer, int maxChars);
    int (*setOutputVariable)(void *context, const char *name, double value);
    void (*printHistoryLine)(void *context, const char *text);
    void (*showMessageBox)(void *context, const char *text);
} XopHostRecord;

/* The module's exports. */
typedef int (*XopMainFunc)(const XopHostRecord *record);
/* Resource bytes by type ("XOPI", "XOPC", "STR#", "VERSION", "MANIFEST") and identifier; null if
   there is none. size and language may be null. */
typedef const unsigned char *(*XopGetResourceFunc)(const char *type, int id, uint32_t *size,
                                                   uint16_t *language);

#ifdef __cplusplus
}
#endif

#endif
