// The host services as the module calls them. XOPInit binds the module to the record its host
// handed to XOPMain; every other service forwards through that record. Before XOPInit (or with
// an unusable record) the services do nothing and the fallible ones report XOP_ERR_NO_HOST.
#ifndef ZORVANE_HOST_SERVICES_H
#define ZORVANE_HOST_SERVICES_H

#include "host/xop_host_record.h"

// Binds the host record and takes the calling thread as the host's main thread. 0, or
// XOP_ERR_NO_HOST for a null or too small record (the module then stays unbound).
int XOPInit(const XopHostRecord *record);

// 100 times the host version (620 for 6.2); 0 while unbound.
int hostVersion();

void SetXOPEntry(XopEntryFunc entry);
int GetXOPMessage();
void SetXOPResult(int result);

// Guarded: off the host's main thread it shows "BUG: RegisterOperation is not threadsafe.\r" (at
// most once every 3600 ticks) and fails with XOP_ERR_NOT_MAIN_THREAD.
int RegisterOperation(const char *cmdTemplate, const char *runtimeNumVarList,
                      const char *runtimeStrVarList, int runtimeParamStructSize,
                      XopExecuteFunc executeFunc, int options);

// buffer holds maxChars + 1 bytes and is NUL-terminated whatever the host does.
int GetCStringFromHandle(XopTextHandle text, char *buffer, int maxChars);

int setOutputVariable(const char *name, double value);
void printHistoryLine(const char *text);

#endif
