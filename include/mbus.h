/*
 * Flat C interface of the Modbus master library.
 *
 * Every master is reached through an opaque handle made by one of the mbusNew* factories and
 * released with mbusDestroy. Every function that can fail returns a result code: 0 (MBUS_SUCCESS)
 * or one of the MBUS_* codes below. A null handle gives MBUS_ILLEGAL_STATE from functions that
 * return a result code, 0 from getters and mbusIsOpen, and does nothing in functions without a
 * result.
 *
 * Configuration operations exist in two forms: the plain name applies to every slave address,
 * the name ending in ForSlave to one slave address.
 */
#ifndef MBUS_H
#define MBUS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The library's DLL names its exports in a module-definition file; marking them dllexport here
   would also export them from every DLL that links the static library (the extension module). */
#define MBUS_API
#else
#define MBUS_API __attribute__((visibility("default")))
#endif

/* Opaque handle of a master object. */
typedef struct MbusMaster *MbusHandle;

/* Library result codes. */
enum {
    MBUS_SUCCESS = 0,
    MBUS_ILLEGAL_ARGUMENT = 1,
    MBUS_ILLEGAL_STATE = 2,
    MBUS_NO_DATA_TABLE = 4,
    MBUS_ILLEGAL_SLAVE_ADDRESS = 5,

    MBUS_IO_ERROR_CLASS = 64,
    MBUS_IO_ERROR = 65,
    MBUS_OPEN_ERROR = 66,
    MBUS_PORT_ALREADY_OPEN = 67,
    MBUS_TCP_CONNECTION_ERROR = 68,
    MBUS_CONNECTION_CLOSED = 69,
    MBUS_SOCKET_LIBRARY_ERROR = 70,
    MBUS_PORT_ALREADY_BOUND = 71,
    MBUS_LISTEN_FAILED = 72,
    MBUS_FILEDES_EXCEEDED = 73,
    MBUS_PORT_NO_ACCESS = 74,
    MBUS_PORT_NOT_AVAILABLE = 75,
    MBUS_LINE_BUSY = 76,

    MBUS_BUS_PROTOCOL_ERROR_CLASS = 128,
    MBUS_CHECKSUM_ERROR = 129,
    MBUS_INVALID_FRAME_ERROR = 130,
    MBUS_INVALID_REPLY_ERROR = 131,
    MBUS_REPLY_TIMEOUT = 132,
    MBUS_SEND_TIMEOUT = 133,
    MBUS_INVALID_MBAP_ID = 134,

    MBUS_EXCEPTION_RESPONSE = 160,
    MBUS_ILLEGAL_FUNCTION_RESPONSE = 161,
    MBUS_ILLEGAL_ADDRESS_RESPONSE = 162,
    MBUS_ILLEGAL_VALUE_RESPONSE = 163,
    MBUS_SLAVE_FAILURE_RESPONSE = 164,
    MBUS_GATEWAY_PATH_UNAVAILABLE_RESPONSE = 170,
    MBUS_GATEWAY_TARGET_FAILED_RESPONSE = 171
};

/* Serial parity values of mbusOpenSerialPort. */
enum { MBUS_PARITY_NONE = 0, MBUS_PARITY_ODD = 1, MBUS_PARITY_EVEN = 2 };

/* Library texts (no handle needed). Never null. */
MBUS_API const char *mbusGetErrorText(int code);
MBUS_API const char *mbusGetPackageVersion(void);

/* Factories: a new closed master, or null when memory is exhausted. */
MBUS_API MbusHandle mbusNewTcpMaster(void);
MBUS_API MbusHandle mbusNewRtuOverTcpMaster(void);
MBUS_API MbusHandle mbusNewAsciiOverTcpMaster(void);
MBUS_API MbusHandle mbusNewUdpMaster(void);
MBUS_API MbusHandle mbusNewRtuMaster(void);
MBUS_API MbusHandle mbusNewAsciiMaster(void);
MBUS_API MbusHandle mbusNewElamMaster(void);
/* Closes an open port or socket and deletes the master. */
MBUS_API void mbusDestroy(MbusHandle handle);

/* Connection state. */
MBUS_API int mbusIsOpen(MbusHandle handle);
MBUS_API void mbusCloseConnection(MbusHandle handle);

/* IP masters. */
MBUS_API int mbusOpenConnection(MbusHandle handle, const char *hostName);
MBUS_API int mbusSetPort(MbusHandle handle, unsigned short port);
MBUS_API int mbusGetPort(MbusHandle handle);
/* response: a buffer of at least 256 bytes; receives a NUL-terminated text. */
MBUS_API int mbusSendAsciiCommand(MbusHandle handle, const char *command, char *response);

/* Serial masters. parity: MBUS_PARITY_*. */
MBUS_API int mbusOpenSerialPort(MbusHandle handle, const char *portName, int baudRate, int dataBits,
                                int stopBits, int parity);
/* Adopts an open operating-system serial handle (a file descriptor on POSIX). */
MBUS_API int mbusAttachSerialHandle(MbusHandle handle, intptr_t osHandle);
MBUS_API int mbusEnableRs485Mode(MbusHandle handle, int rtsDelay);

/* Settings (changeable only while closed) and counters. */
MBUS_API int mbusSetTimeout(MbusHandle handle, int timeOut);
MBUS_API int mbusGetTimeout(MbusHandle handle);
MBUS_API int mbusSetPollDelay(MbusHandle handle, int pollDelay);
MBUS_API int mbusGetPollDelay(MbusHandle handle);
MBUS_API int mbusSetRetryCnt(MbusHandle handle, int retryCnt);
MBUS_API int mbusGetRetryCnt(MbusHandle handle);
MBUS_API int mbusGetTotalCounter(MbusHandle handle);
MBUS_API void mbusResetTotalCounter(MbusHandle handle);
MBUS_API int mbusGetSuccessCounter(MbusHandle handle);
MBUS_API void mbusResetSuccessCounter(MbusHandle handle);

/* Per-slave options: all slaves, or one slave (ForSlave). */
MBUS_API void mbusConfigureOneBasedAddressing(MbusHandle handle);
MBUS_API int mbusConfigureOneBasedAddressingForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureZeroBasedAddressing(MbusHandle handle);
MBUS_API int mbusConfigureZeroBasedAddressingForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureLittleEndianInts(MbusHandle handle);
MBUS_API int mbusConfigureLittleEndianIntsForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureBigEndianInts(MbusHandle handle);
MBUS_API int mbusConfigureBigEndianIntsForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureLittleEndianFloats(MbusHandle handle);
MBUS_API int mbusConfigureLittleEndianFloatsForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureBigEndianFloats(MbusHandle handle);
MBUS_API int mbusConfigureBigEndianFloatsForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigure32BitRegisterMode(MbusHandle handle);
MBUS_API int mbusConfigure32BitRegisterModeForSlave(MbusHandle handle, int slaveAddr);
MBUS_API void mbusConfigureStandardRegisterMode(MbusHandle handle);
MBUS_API int mbusConfigureStandardRegisterModeForSlave(MbusHandle handle, int slaveAddr);

/* Bit access: function codes 1, 2, 5, 15. */
MBUS_API int mbusReadCoils(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt);
MBUS_API int mbusReadInputDiscretes(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt);
MBUS_API int mbusWriteCoil(MbusHandle handle, int slaveAddr, int bitAddr, int bitVal);
MBUS_API int mbusForceMultipleCoils(MbusHandle handle, int slaveAddr, int startRef, const int *bitArr,
                                    int refCnt);

/* 16-bit registers: function codes 3, 4, 6, 16, 22, 23. */
MBUS_API int mbusReadMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt);
MBUS_API int mbusReadInputRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt);
MBUS_API int mbusWriteSingleRegister(MbusHandle handle, int slaveAddr, int regAddr, short regVal);
MBUS_API int mbusWriteMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, const short *regArr,
                                        int refCnt);
MBUS_API int mbusMaskWriteRegister(MbusHandle handle, int slaveAddr, int regAddr, short andMask, short orMask);
MBUS_API int mbusReadWriteRegisters(MbusHandle handle, int slaveAddr, int readRef, short *readArr, int readCnt,
                                    int writeRef, const short *writeArr, int writeCnt);

/* Register pairs: 32-bit integers, floats and modulo-10000 values. */
MBUS_API int mbusReadMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
MBUS_API int mbusReadInputLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
MBUS_API int mbusReadMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt);
MBUS_API int mbusReadInputFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt);
MBUS_API int mbusReadMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
MBUS_API int mbusReadInputMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
MBUS_API int mbusWriteMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr,
                                       int refCnt);
MBUS_API int mbusWriteMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, const float *floatArr,
                                     int refCnt);
MBUS_API int mbusWriteMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr,
                                       int refCnt);

/* Diagnostics: function codes 7 and 8. */
MBUS_API int mbusReadExceptionStatus(MbusHandle handle, int slaveAddr, unsigned char *statusByte);
MBUS_API int mbusReturnQueryData(MbusHandle handle, int slaveAddr, const unsigned char *queryArr,
                                 unsigned char *echoArr, int len);
MBUS_API int mbusRestartCommunicationsOption(MbusHandle handle, int slaveAddr, int clearEventLog);

/* Pass-through for any function code 1..127. *replyLen: in, the expected reply data length
   (0..252); out, the number of bytes stored. */
MBUS_API int mbusCustomFunction(MbusHandle handle, int slaveAddr, int functionCode,
                                const unsigned char *requestData, int requestLen, unsigned char *replyData,
                                int *replyLen);

/* ---------------------------------------------------------------------------------------------
 * Modbus/TCP over TLS: MBAP frames inside a TLS session (TLS 1.2 or later, default port 802),
 * the device checked by its certificate and the master shown by its own. The settings below may
 * be changed only while the master is closed; the TLS context is made from them at the next
 * mbusOpenConnection and reused by every reconnect. Data access, time-out, retries and poll
 * delay are those of every master.
 * ------------------------------------------------------------------------------------------- */

/** Result codes of the TLS masters, in the I/O class. The certificate and version refusals
 *  (82 to 85) and 86, 87 are final: the master closes and does not reconnect by itself. */
enum {
    MBUS_TLS_HANDSHAKE_FAILED = 80,     /**< The handshake broke off (peer closed, not TLS, ...) */
    MBUS_TLS_HANDSHAKE_TIMEOUT = 81,    /**< Connect and handshake not done within the time-out */
    MBUS_TLS_SERVER_NOT_TRUSTED = 82,   /**< The device's certificate chain is not trusted */
    MBUS_TLS_SERVER_NAME_MISMATCH = 83, /**< The device's certificate is for another name or address */
    MBUS_TLS_CLIENT_CERT_REFUSED = 84,  /**< The device refused or required the master's certificate */
    MBUS_TLS_VERSION_REFUSED = 85,      /**< No TLS version both sides accept */
    MBUS_TLS_NOT_AVAILABLE = 86,        /**< This build has no TLS backend */
    MBUS_TLS_CONFIG_ERROR = 87          /**< A CA, certificate, key or PKCS#12 file could not be used */
};

/** Lowest TLS versions for mbusTlsSetMinVersion. */
enum { MBUS_TLS_VERSION_1_2 = 0x0303, MBUS_TLS_VERSION_1_3 = 0x0304 };

/** Creates a Modbus/TCP master over TLS, port 802, server verification on, TLS 1.2 or later.
 *  @return the handle, or NULL when out of memory */
MBUS_API MbusHandle mbusNewTlsMaster(void);

/** Sets the PEM file of the CAs trusted to sign the device's certificate. Without a CA file
 *  and folder the system's CAs are trusted.
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for a null path or a handle that is no TLS
 *  master, MBUS_ILLEGAL_STATE when open */
MBUS_API int mbusTlsSetCaFile(MbusHandle handle, const char *path);

/** Sets a folder of trusted CA certificates named by their hashes (openssl rehash).
 *  @return as mbusTlsSetCaFile */
MBUS_API int mbusTlsSetCaFolder(MbusHandle handle, const char *path);

/** Sets the master's certificate chain and private key, both PEM; keyFile NULL means the key
 *  is in certFile, password NULL means an unencrypted key. Replaces a PKCS#12 file.
 *  @return as mbusTlsSetCaFile; an unreadable file shows as MBUS_TLS_CONFIG_ERROR at the open */
MBUS_API int mbusTlsSetClientCertificate(MbusHandle handle, const char *certFile, const char *keyFile,
                                         const char *password);

/** Sets the master's certificate and key from one PKCS#12 (PFX) file. Replaces PEM files.
 *  @return as mbusTlsSetClientCertificate */
MBUS_API int mbusTlsSetClientPfx(MbusHandle handle, const char *pfxFile, const char *password);

/** Sets the name the device's certificate must carry; a dotted address is checked against the
 *  certificate's IP names. An empty name (the default) means the host name that
 *  mbusOpenConnection is given.
 *  @return as mbusTlsSetCaFile */
MBUS_API int mbusTlsSetServerName(MbusHandle handle, const char *serverName);

/** Turns the check of the device's certificate on (1, the default) or off (0: any device is
 *  accepted, for trials only).
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for a handle that is no TLS master,
 *  MBUS_ILLEGAL_STATE when open */
MBUS_API int mbusTlsSetVerifyServer(MbusHandle handle, int on);

/** Sets the lowest TLS version accepted: MBUS_TLS_VERSION_1_2 (default) or MBUS_TLS_VERSION_1_3.
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for another value or handle, MBUS_ILLEGAL_STATE
 *  when open */
MBUS_API int mbusTlsSetMinVersion(MbusHandle handle, int version);

#ifdef __cplusplus
}
#endif

#endif /* MBUS_H */
