// The host services as the module calls them, over Igor's callback procedure. XOPInit binds the
// module to the I/O record Igor handed to XOPMain and to the calling thread, Igor's main thread;
// every other service either works on that record or calls Igor back. Before XOPInit (or with an
// unusable record) the services do nothing and the fallible ones fail.
//
// Threads: NOTICE and the output variables are safe on any thread once Igor accepted the
// call-record mode; handle sizes are read through Igor's thread-safe memory functions. Everything
// else belongs to the main thread; elsewhere it writes "BUG: <service> is not threadsafe.\r" to
// standard error (at most once every 3600 ticks) and does nothing.
#ifndef ZORVANE_HOST_SERVICES_H
#define ZORVANE_HOST_SERVICES_H

#include "host/igor_xop.h"

// XOPInit's answer for a handle that holds no usable record: nobody to tell the reason to.
constexpr int kNoHost = -1;

// In order: keeps the record and the main thread; asks the version (GET_IGOR_VERSION); from 6.20
// switches to the call-record mode (SET_IGOR_CALLBACK_METHOD); asks for the memory function table
// (GET_IGOR_INTERNAL_INFO) and decides how handle sizes are read. 0 when the module can work with
// this host (or the version is below 6.20, which the caller refuses itself); else the Igor error
// code to refuse with: the mode switch's answer, or IGOR_OBSOLETE when handle sizes cannot be read.
int XOPInit(IORecHandle ioRecHandle);

// 100 times the host version (620 for 6.2); 0 while unbound.
int hostVersion();

void SetXOPEntry(XOPEntryProc entry);
int GetXOPMessage();
void SetXOPResult(int result);

// Main thread only: elsewhere NOT_IN_THREADSAFE after the alarm line.
int RegisterOperation(const char *cmdTemplate, const char *runtimeNumVarList,
                      const char *runtimeStrVarList, int runtimeParamStructSize,
                      XOPExecuteFunc executeFunc, int options);

// Copies the text of an Igor handle (no NUL; its size from Igor) into buffer, which holds
// maxChars + 1 bytes and is always terminated. 0; USING_NULL_STRVAR for a null handle;
// STR_TOO_LONG (first maxChars bytes kept) for a longer text.
int GetCStringFromHandle(Handle text, char *buffer, int maxChars);

// SET_RUNTIME_NUMERIC_VARIABLE: an output variable of the running command.
int setOutputVariable(const char *name, double value);
// NOTICE: text for the history, each line ending in "\r".
void printHistoryLine(const char *text);

// Waves, over the wave callbacks (safe on any thread in the call-record mode); each returns 0 or
// Igor's error code, and IGOR_OBSOLETE while unbound.
// The wave an operation writes its result to: named by /DEST (dfH, name; refId from its "set"
// word) or by the operation's default name, made or overwritten with these dimensions and type.
int GetOperationDestWave(DataFolderHandle dfH, const char *name, int refId, int options,
                         const CountInt dimensionSizes[MAX_DIMENSIONS + 1], int type,
                         waveHndl *wave, int *created);
// Points a function's automatic wave reference of /DEST at the wave.
int SetOperationWaveRef(waveHndl wave, int refId);
int MDGetWaveDimensions(waveHndl wave, int *numDimensions,
                        CountInt dimensionSizes[MAX_DIMENSIONS + 1]);
// Every point as a double (two per point in a complex wave); fails for a text wave.
int MDGetDPDataFromNumericWave(waveHndl wave, double *data);
// Stores every point from doubles, truncated toward zero for integer waves.
int MDStoreDPDataInNumericWave(waveHndl wave, const double *data);
// Tells Igor the wave changed, so that graphs and tables showing it update.
void WaveHandleModified(waveHndl wave);

#endif
