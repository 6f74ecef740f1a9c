/**
 * @file mbus.h
 * @brief Flat C interface of the Modbus master library.
 *
 * Every master is reached through an opaque handle made by one of the mbusNew* factories and
 * released with mbusDestroy. Every function that can fail returns a result code: 0 (MBUS_SUCCESS)
 * or one of the MBUS_* codes below. A null handle gives MBUS_ILLEGAL_STATE from functions that
 * return a result code, 0 from getters and mbusIsOpen, and does nothing in functions without a
 * result.
 *
 * Configuration operations exist in two forms: the plain name applies to every slave address,
 * the name ending in ForSlave to one slave address.
 *
 * @par Arguments before I/O
 * Every function checks its arguments before anything is sent and returns MBUS_ILLEGAL_ARGUMENT
 * without sending when one is out of range. Settings can be changed only while the master is
 * closed (MBUS_ILLEGAL_STATE otherwise); the range test comes first.
 *
 * @par Transaction results
 * A function that talks to a device returns MBUS_SUCCESS, or:
 * - MBUS_ILLEGAL_ARGUMENT: an argument out of range (nothing was sent);
 * - MBUS_ILLEGAL_STATE: a null handle, or the master is not open;
 * - an I/O error (64..127), e.g. MBUS_IO_ERROR, MBUS_TCP_CONNECTION_ERROR,
 *   MBUS_CONNECTION_CLOSED, MBUS_LINE_BUSY;
 * - a bus protocol error (128..159), e.g. MBUS_REPLY_TIMEOUT, MBUS_CHECKSUM_ERROR,
 *   MBUS_INVALID_FRAME_ERROR, MBUS_INVALID_REPLY_ERROR, MBUS_INVALID_MBAP_ID;
 * - an exception response (160 + the device's exception code), e.g.
 *   MBUS_ILLEGAL_ADDRESS_RESPONSE.
 *
 * Time-outs, checksum and framing errors are repeated as often as the retry count allows
 * (mbusSetRetryCnt). Read functions clear their output arrays first, so a failed read leaves
 * zeros. mbusGetErrorText gives the text of any code.
 *
 * @par References and slave addresses
 * Register and bit references are one-based by default (reference 1 is wire address 0); see
 * mbusConfigureZeroBasedAddressing. Slave address 0 is the broadcast address; the highest
 * accepted address is 255 for the IP masters, 247 for the RTU and ASCII masters and 2295 for the
 * extended-address (ELAM) master.
 *
 * @par Threads
 * A master holds no lock: use one master from one thread at a time. Different masters are
 * independent.
 */
#ifndef MBUS_H
#define MBUS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** @cond MBUS_INTERNAL */
#if defined(_WIN32)
/* The library's DLL names its exports in a module-definition file; marking them dllexport here
   would also export them from every DLL that links the static library (the extension module). */
#define MBUS_API
#else
#define MBUS_API __attribute__((visibility("default")))
#endif
/** @endcond */

/** Opaque handle of a master object, made by an mbusNew* factory and released by mbusDestroy. */
typedef struct MbusMaster *MbusHandle;

/** Library result codes, returned by every function that can fail; see mbusGetErrorText. */
enum {
    MBUS_SUCCESS = 0, /**< The operation was successful. */
    MBUS_ILLEGAL_ARGUMENT = 1, /**< An argument is out of range or null; nothing was sent. */
    MBUS_ILLEGAL_STATE = 2, /**< Null handle, master not open, or a setting changed while open. */
    MBUS_NO_DATA_TABLE = 4, /**< No data table configured (not returned by the master functions). */
    MBUS_ILLEGAL_SLAVE_ADDRESS = 5, /**< Slave address 0 is illegal in this context (not returned by the master functions). */

    MBUS_IO_ERROR_CLASS = 64, /**< First code of the I/O error group (64..127). */
    MBUS_IO_ERROR = 65, /**< An I/O operation of the port or socket failed. */
    MBUS_OPEN_ERROR = 66, /**< The port or socket could not be opened. */
    MBUS_PORT_ALREADY_OPEN = 67, /**< The serial port is in use by another program. */
    MBUS_TCP_CONNECTION_ERROR = 68, /**< The host name could not be resolved or the connection could not be made. */
    MBUS_CONNECTION_CLOSED = 69, /**< The peer closed the TCP connection, or it is not open. */
    MBUS_SOCKET_LIBRARY_ERROR = 70, /**< The socket library could not be started. */
    MBUS_PORT_ALREADY_BOUND = 71, /**< The TCP port is already bound (not returned by the master functions). */
    MBUS_LISTEN_FAILED = 72, /**< Listening failed (not returned by the master functions). */
    MBUS_FILEDES_EXCEEDED = 73, /**< Too many file descriptors (not returned by the master functions). */
    MBUS_PORT_NO_ACCESS = 74, /**< No permission to open the serial port. */
    MBUS_PORT_NOT_AVAILABLE = 75, /**< The TCP port is not available (not returned by the master functions). */
    MBUS_LINE_BUSY = 76, /**< The serial line never became silent before a request. */

    MBUS_BUS_PROTOCOL_ERROR_CLASS = 128, /**< First code of the bus protocol error group (128..159). */
    MBUS_CHECKSUM_ERROR = 129, /**< A reply frame had a wrong CRC or LRC. */
    MBUS_INVALID_FRAME_ERROR = 130, /**< A reply frame was malformed or answered another unit or function. */
    MBUS_INVALID_REPLY_ERROR = 131, /**< A reply did not fit the request (byte count, echo, length). */
    MBUS_REPLY_TIMEOUT = 132, /**< No complete reply within the time-out. */
    MBUS_SEND_TIMEOUT = 133, /**< The request could not be sent within the time-out. */
    MBUS_INVALID_MBAP_ID = 134, /**< A Modbus/TCP or UDP reply carried a wrong transaction or protocol identifier. */

    MBUS_EXCEPTION_RESPONSE = 160, /**< First code of the exception responses: 160 + the exception code the device sent. */
    MBUS_ILLEGAL_FUNCTION_RESPONSE = 161, /**< Exception 1: the device does not support the function. */
    MBUS_ILLEGAL_ADDRESS_RESPONSE = 162, /**< Exception 2: the address is not valid in the device. */
    MBUS_ILLEGAL_VALUE_RESPONSE = 163, /**< Exception 3: a value in the request is not valid for the device. */
    MBUS_SLAVE_FAILURE_RESPONSE = 164, /**< Exception 4: the device failed while performing the request. */
    MBUS_GATEWAY_PATH_UNAVAILABLE_RESPONSE = 170, /**< Exception 10: the gateway has no path to the device. */
    MBUS_GATEWAY_TARGET_FAILED_RESPONSE = 171 /**< Exception 11: the device behind the gateway did not answer. */
};

/** Serial parity values of mbusOpenSerialPort. */
enum {
    MBUS_PARITY_NONE = 0, /**< No parity bit. */
    MBUS_PARITY_ODD = 1,  /**< Odd parity. */
    MBUS_PARITY_EVEN = 2  /**< Even parity (the Modbus default). */
};

/** Read device identification codes of mbusReadDeviceIdentification. */
enum {
    MBUS_DEVICE_ID_BASIC = 1,    /**< The basic objects 0x00..0x02 (vendor, product code, revision). */
    MBUS_DEVICE_ID_REGULAR = 2,  /**< The basic and regular objects, 0x00..0x7F. */
    MBUS_DEVICE_ID_EXTENDED = 3, /**< Every object, the extended ones 0x80..0xFF included. */
    MBUS_DEVICE_ID_SPECIFIC = 4  /**< One object, the one named by its id. */
};

/** One object of a device identification: its id and where its bytes lie in the data buffer. */
typedef struct MbusDeviceIdObject {
    int id;     /**< Object id, 0..255. */
    int offset; /**< Offset of the object's first byte in the caller's data buffer. */
    int length; /**< Number of the object's bytes (not NUL-terminated). */
} MbusDeviceIdObject;

/** The parts of a report server id reply beside the bytes themselves. */
typedef struct MbusServerIdReply {
    int idLen;        /**< Bytes of the server id stored. */
    int runIndicator; /**< 0x00 (off) or 0xFF (on). */
    int restLen;      /**< Bytes of additional data behind the run indicator stored. */
} MbusServerIdReply;

/** idLen of mbusReportServerId: the server id fills every byte before the run indicator. */
#define MBUS_SERVER_ID_TO_RUN_INDICATOR (-1)

/** One sub-request of a file record read or write (function codes 20 and 21). */
typedef struct MbusFileSubRequest {
    int fileNo;    /**< File number, 1..65535. */
    int recordNo;  /**< First record, 0..9999. */
    int recordLen; /**< Number of records (registers), 1 up to the end of record 9999. */
} MbusFileSubRequest;

/** Directions of a traced frame. */
enum {
    MBUS_TRACE_SENT = 0,    /**< A request frame as it went out. */
    MBUS_TRACE_RECEIVED = 1 /**< Reply bytes as they came in, valid or not. */
};

/**
 * Receiver of a frame trace (see mbusSetFrameTrace).
 * @param user the pointer given to mbusSetFrameTrace.
 * @param direction MBUS_TRACE_SENT or MBUS_TRACE_RECEIVED.
 * @param bytes the frame's bytes on the wire, valid during the call only.
 * @param count the number of bytes.
 * @param timeMs a monotonic time stamp in milliseconds (wraps after 2^32).
 */
typedef void (*MbusFrameTrace)(void *user, int direction, const unsigned char *bytes, int count, uint32_t timeMs);

/** @name Library texts (no handle needed) */
/** @{ */
/**
 * Text of a library result code.
 * @param code a result code (MBUS_*), or any other number.
 * @return the code's text, "Unknown error" for a code without a text; never null, never to be freed.
 */
MBUS_API const char *mbusGetErrorText(int code);
/**
 * Version of the library that the program runs with.
 * @return the version text, "2.9.0.0"; never null. The headers' version is in mbus_version.h.
 */
MBUS_API const char *mbusGetPackageVersion(void);
/** @} */

/** @name Factories and destruction */
/** @{ */
/**
 * A new Modbus/TCP master (MBAP frames over TCP, port 502 by default).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewTcpMaster(void);
/**
 * A new master for RTU frames over TCP (port 1100 by default).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewRtuOverTcpMaster(void);
/**
 * A new master for ASCII frames over TCP (port 23 by default).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewAsciiOverTcpMaster(void);
/**
 * A new Modbus/UDP master (MBAP frames over UDP, port 502 by default).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewUdpMaster(void);
/**
 * A new serial RTU master (slave addresses 0..247).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewRtuMaster(void);
/**
 * A new serial ASCII master (slave addresses 0..247).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewAsciiMaster(void);
/**
 * A new serial master for RTU frames with extended slave addresses 0..2295 (ELAM).
 * @return the closed master, to be released with mbusDestroy; null when memory is exhausted.
 */
MBUS_API MbusHandle mbusNewElamMaster(void);
/**
 * Closes an open port or socket and deletes the master.
 * @param handle the master; null does nothing. The handle is invalid afterwards.
 */
MBUS_API void mbusDestroy(MbusHandle handle);
/** @} */

/** @name Connection state */
/** @{ */
/**
 * Tells whether the master's port or socket is open.
 * @param handle the master.
 * @return 1 when open, 0 when closed or for a null handle.
 */
MBUS_API int mbusIsOpen(MbusHandle handle);
/**
 * Closes the master's port or socket; harmless on a closed master or a null handle.
 * The settings stay; the master can be opened again.
 * @param handle the master.
 */
MBUS_API void mbusCloseConnection(MbusHandle handle);
/** @} */

/** @name IP masters */
/** @{ */
/**
 * Connects an IP master to a device (for UDP: sets the peer), on the port set by mbusSetPort.
 * @param handle an IP master.
 * @param hostName a dotted IPv4 address or a host name to look up.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for a null host name or a master that is not an IP
 *         master; MBUS_ILLEGAL_STATE for a null handle or a master already open;
 *         MBUS_TCP_CONNECTION_ERROR when the name cannot be resolved or the connection fails within
 *         the time-out; MBUS_OPEN_ERROR when no socket can be made.
 */
MBUS_API int mbusOpenConnection(MbusHandle handle, const char *hostName);
/**
 * Sets the TCP or UDP port of an IP master for the next mbusOpenConnection.
 * @param handle an IP master.
 * @param port the port number.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_STATE for a null handle or an open master;
 *         MBUS_ILLEGAL_ARGUMENT for a master that is not an IP master.
 */
MBUS_API int mbusSetPort(MbusHandle handle, unsigned short port);
/**
 * The port of an IP master.
 * @param handle an IP master.
 * @return the port; 0 for a null handle or a master that is not an IP master.
 */
MBUS_API int mbusGetPort(MbusHandle handle);
/**
 * Sends a text command to a Modbus/TCP device and receives its text answer: the command is
 * written to holding register 9999 of unit 1 and read back from it, the answer follows the reply.
 * @param handle a Modbus/TCP master (or one derived from it).
 * @param command the command, 1..255 characters; a carriage return is added when missing.
 * @param response a buffer of at least 256 bytes; receives the answer as NUL-terminated text,
 *        up to its first carriage return.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for a null or empty text, a command longer than
 *         246 bytes with its carriage return and padding, or another kind of master;
 *         MBUS_CONNECTION_CLOSED when not open or closed by the peer; MBUS_IO_ERROR; or a
 *         transaction result of the write or the read.
 */
MBUS_API int mbusSendAsciiCommand(MbusHandle handle, const char *command, char *response);
/** @} */

/** @name Serial masters */
/** @{ */
/**
 * Opens and configures the serial port of a serial master.
 * @param handle a serial master (RTU, ASCII or ELAM).
 * @param portName the device: "/dev/ttyUSB0" on POSIX, "COM3" on Windows.
 * @param baudRate the speed in bit/s, e.g. 9600 or 19200.
 * @param dataBits 7 or 8 (RTU needs 8).
 * @param stopBits 1 or 2.
 * @param parity MBUS_PARITY_NONE, MBUS_PARITY_ODD or MBUS_PARITY_EVEN.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for a rate of 0 or less, data bits other than 7
 *         or 8, a master that is not a serial master, or a line setting the port refuses (the
 *         port then stays open: call mbusCloseConnection); MBUS_ILLEGAL_STATE for a null handle
 *         or a master already open; MBUS_PORT_NO_ACCESS without permission;
 *         MBUS_PORT_ALREADY_OPEN when another program holds the port; MBUS_OPEN_ERROR otherwise.
 */
MBUS_API int mbusOpenSerialPort(MbusHandle handle, const char *portName, int baudRate, int dataBits,
                                int stopBits, int parity);
/**
 * Adopts a serial line that the caller has already opened and configured; the master closes
 * it on mbusCloseConnection and mbusDestroy.
 * @param handle a serial master.
 * @param osHandle the operating system's handle: a file descriptor on POSIX, a HANDLE on Windows.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_STATE for a null handle or a master already open;
 *         MBUS_ILLEGAL_ARGUMENT for a master that is not a serial master; MBUS_OPEN_ERROR for a
 *         handle that is not usable.
 */
MBUS_API int mbusAttachSerialHandle(MbusHandle handle, intptr_t osHandle);
/**
 * Switches RS-485 transmitter control by RTS on or off for the next opening: RTS is raised
 * while a request is sent and dropped after it.
 * @param handle a serial master.
 * @param rtsDelay milliseconds to wait after sending before RTS is dropped, 0..100000; 0 turns
 *        RS-485 mode off (RTS then stays raised while the port is open).
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for a delay out of range or a master that is not a
 *         serial master; MBUS_ILLEGAL_STATE for a null handle or an open master.
 */
MBUS_API int mbusEnableRs485Mode(MbusHandle handle, int rtsDelay);
/** @} */

/** @name Settings and counters */
/** @{ */
/**
 * Sets the time-out of connecting, of sending and of each wait for reply bytes.
 * @param handle the master.
 * @param timeOut milliseconds, 1..100000 (default 1000).
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT out of range; MBUS_ILLEGAL_STATE for a null handle
 *         or an open master.
 */
MBUS_API int mbusSetTimeout(MbusHandle handle, int timeOut);
/**
 * The time-out in milliseconds.
 * @param handle the master.
 * @return the time-out; 0 for a null handle.
 */
MBUS_API int mbusGetTimeout(MbusHandle handle);
/**
 * Sets the least time between the starts of two transactions.
 * @param handle the master.
 * @param pollDelay milliseconds, 0..100000 (default 0: no delay).
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT out of range; MBUS_ILLEGAL_STATE for a null handle
 *         or an open master.
 */
MBUS_API int mbusSetPollDelay(MbusHandle handle, int pollDelay);
/**
 * The poll delay in milliseconds.
 * @param handle the master.
 * @return the poll delay; 0 for a null handle.
 */
MBUS_API int mbusGetPollDelay(MbusHandle handle);
/**
 * Sets how often a failed attempt (time-out, checksum or frame error) is repeated.
 * @param handle the master.
 * @param retryCnt 0..10 (default 0).
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT out of range; MBUS_ILLEGAL_STATE for a null handle
 *         or an open master.
 */
MBUS_API int mbusSetRetryCnt(MbusHandle handle, int retryCnt);
/**
 * The retry count.
 * @param handle the master.
 * @return the retry count; 0 for a null handle.
 */
MBUS_API int mbusGetRetryCnt(MbusHandle handle);
/**
 * The number of transaction attempts since the master was made or the counter was reset;
 * every retry counts.
 * @param handle the master.
 * @return the count; 0 for a null handle.
 */
MBUS_API int mbusGetTotalCounter(MbusHandle handle);
/**
 * Sets the attempt counter to 0.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusResetTotalCounter(MbusHandle handle);
/**
 * The number of attempts that succeeded since the master was made or the counter was reset.
 * @param handle the master.
 * @return the count; 0 for a null handle.
 */
MBUS_API int mbusGetSuccessCounter(MbusHandle handle);
/**
 * Sets the success counter to 0.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusResetSuccessCounter(MbusHandle handle);
/** @} */

/** @name Per-slave options */
/** @{ */
/**
 * References are one-based: reference 1 is wire address 0 (the default).
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureOneBasedAddressing(MbusHandle handle);
/**
 * References are one-based: reference 1 is wire address 0 (the default).
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureOneBasedAddressingForSlave(MbusHandle handle, int slaveAddr);
/**
 * References are sent unchanged as wire addresses (zero-based).
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureZeroBasedAddressing(MbusHandle handle);
/**
 * References are sent unchanged as wire addresses (zero-based).
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureZeroBasedAddressingForSlave(MbusHandle handle, int slaveAddr);
/**
 * 32-bit integers: the first register of a pair holds the low-order word (the default).
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureLittleEndianInts(MbusHandle handle);
/**
 * 32-bit integers: the first register of a pair holds the low-order word (the default).
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureLittleEndianIntsForSlave(MbusHandle handle, int slaveAddr);
/**
 * 32-bit integers: the first register of a pair holds the high-order word.
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureBigEndianInts(MbusHandle handle);
/**
 * 32-bit integers: the first register of a pair holds the high-order word.
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureBigEndianIntsForSlave(MbusHandle handle, int slaveAddr);
/**
 * Floats: the first register of a pair holds the low-order word (the default).
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureLittleEndianFloats(MbusHandle handle);
/**
 * Floats: the first register of a pair holds the low-order word (the default).
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureLittleEndianFloatsForSlave(MbusHandle handle, int slaveAddr);
/**
 * Floats: the first register of a pair holds the high-order word.
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureBigEndianFloats(MbusHandle handle);
/**
 * Floats: the first register of a pair holds the high-order word.
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureBigEndianFloatsForSlave(MbusHandle handle, int slaveAddr);
/**
 * 32-bit register mode: the quantity field of register-pair requests counts 32-bit values,
 * and both integers and floats are taken high-order word first.
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigure32BitRegisterMode(MbusHandle handle);
/**
 * 32-bit register mode: the quantity field of register-pair requests counts 32-bit values,
 * and both integers and floats are taken high-order word first.
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigure32BitRegisterModeForSlave(MbusHandle handle, int slaveAddr);
/**
 * Standard register mode (the default): quantity fields count 16-bit registers, and integers
 * and floats are taken low-order word first.
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureStandardRegisterMode(MbusHandle handle);
/**
 * Standard register mode (the default): quantity fields count 16-bit registers, and integers
 * and floats are taken low-order word first.
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureStandardRegisterModeForSlave(MbusHandle handle, int slaveAddr);
/**
 * Swapped bytes: the first byte of each register's pair sits in its low half, so 32-bit values
 * come as BADC (high word first) or DCBA (low word first), and text as the second character of
 * each pair first. Applies to 32-bit integers and floats, the 16-, 32- and 64-bit
 * values and text, not to modulo-10000 values.
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureSwappedBytes(MbusHandle handle);
/**
 * Swapped bytes: the first byte of each register's pair sits in its low half, so 32-bit values
 * come as BADC (high word first) or DCBA (low word first), and text as the second character of
 * each pair first. Applies to 32-bit integers and floats, the 16-, 32- and 64-bit
 * values and text, not to modulo-10000 values.
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureSwappedBytesForSlave(MbusHandle handle, int slaveAddr);
/**
 * Standard bytes (the default): the first byte of each register's pair sits in its high half,
 * so 32-bit values come as ABCD (high word first) or CDAB (low word first).
 * Applies to every slave address the master accepts, at any time, from the next request on.
 * @param handle the master; null does nothing.
 */
MBUS_API void mbusConfigureStandardBytes(MbusHandle handle);
/**
 * Standard bytes (the default): the first byte of each register's pair sits in its high half,
 * so 32-bit values come as ABCD (high word first) or CDAB (low word first).
 * Applies to one slave address, at any time, from the next request on.
 * @param handle the master.
 * @param slaveAddr the slave address, 0 up to the master's highest address.
 * @return MBUS_SUCCESS; MBUS_ILLEGAL_ARGUMENT for an address out of range (nothing changes);
 *         MBUS_ILLEGAL_STATE for a null handle.
 */
MBUS_API int mbusConfigureStandardBytesForSlave(MbusHandle handle, int slaveAddr);
/** @} */

/** @name Bit access: function codes 1, 2, 5, 15 */
/** @{ */
/**
 * Reads coils (function code 1).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first coil's reference.
 * @param bitArr receives refCnt values, 1 for on and 0 for off.
 * @param refCnt the number of coils, 1..2000.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadCoils(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt);
/**
 * Reads discrete inputs (function code 2).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first input's reference.
 * @param bitArr receives refCnt values, 1 for on and 0 for off.
 * @param refCnt the number of inputs, 1..2000.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputDiscretes(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt);
/**
 * Writes one coil (function code 5).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param bitAddr the coil's reference.
 * @param bitVal 0 for off, any other value for on.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteCoil(MbusHandle handle, int slaveAddr, int bitAddr, int bitVal);
/**
 * Writes consecutive coils (function code 15).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first coil's reference.
 * @param bitArr refCnt values, 0 for off and any other value for on.
 * @param refCnt the number of coils, 1..1968.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusForceMultipleCoils(MbusHandle handle, int slaveAddr, int startRef, const int *bitArr,
                                    int refCnt);
/** @} */

/** @name 16-bit registers: function codes 3, 4, 6, 16, 22, 23 */
/** @{ */
/**
 * Reads holding registers (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first register's reference.
 * @param regArr receives refCnt 16-bit values.
 * @param refCnt the number of registers, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt);
/**
 * Reads input registers (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first register's reference.
 * @param regArr receives refCnt 16-bit values.
 * @param refCnt the number of registers, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt);
/**
 * Writes one holding register (function code 6).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param regAddr the register's reference.
 * @param regVal the 16-bit value.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteSingleRegister(MbusHandle handle, int slaveAddr, int regAddr, short regVal);
/**
 * Writes consecutive holding registers (function code 16).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the first register's reference.
 * @param regArr refCnt 16-bit values.
 * @param refCnt the number of registers, 1..123.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, const short *regArr,
                                        int refCnt);
/**
 * Changes bits of one holding register (function code 22): the device stores
 * (value AND andMask) OR (orMask AND NOT andMask).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param regAddr the register's reference.
 * @param andMask the bits to keep.
 * @param orMask the bits to set among those not kept.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusMaskWriteRegister(MbusHandle handle, int slaveAddr, int regAddr, short andMask, short orMask);
/**
 * Writes holding registers and reads holding registers in one transaction (function code 23);
 * the device writes first.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param readRef the first register to read.
 * @param readArr receives readCnt 16-bit values.
 * @param readCnt the number of registers to read, 1..125.
 * @param writeRef the first register to write.
 * @param writeArr writeCnt 16-bit values.
 * @param writeCnt the number of registers to write, 1..121.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadWriteRegisters(MbusHandle handle, int slaveAddr, int readRef, short *readArr, int readCnt,
                                    int writeRef, const short *writeArr, int writeCnt);
/** @} */

/** @name Register pairs: 32-bit integers, floats and modulo-10000 values */
/** @{ */
/**
 * Reads 32-bit integers from pairs of holding registers (function code 3).
 * The word order is the slave's: see mbusConfigureBigEndianIntsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr receives refCnt integers.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
/**
 * Reads 32-bit integers from pairs of input registers (function code 4).
 * The word order is the slave's: see mbusConfigureBigEndianIntsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr receives refCnt integers.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
/**
 * Reads floats from pairs of holding registers (function code 3).
 * The word order is the slave's: see mbusConfigureBigEndianFloatsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param floatArr receives refCnt floats.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt);
/**
 * Reads floats from pairs of input registers (function code 4).
 * The word order is the slave's: see mbusConfigureBigEndianFloatsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param floatArr receives refCnt floats.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt);
/**
 * Reads modulo-10000 values from pairs of holding registers (function code 3):
 * value = 10000 * first register + second register, both signed.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr receives refCnt values.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
/**
 * Reads modulo-10000 values from pairs of input registers (function code 4):
 * value = 10000 * first register + second register, both signed.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr receives refCnt values.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt);
/**
 * Writes 32-bit integers to pairs of holding registers (function code 16).
 * The word order is the slave's: see mbusConfigureBigEndianIntsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr refCnt values.
 * @param refCnt the number of values, 1..61 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr,
                                       int refCnt);
/**
 * Writes floats to pairs of holding registers (function code 16).
 * The word order is the slave's: see mbusConfigureBigEndianFloatsForSlave.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param floatArr refCnt values.
 * @param refCnt the number of values, 1..61 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, const float *floatArr,
                                     int refCnt);
/**
 * Writes modulo-10000 values: first register = value / 10000, second = the remainder to pairs of holding registers (function code 16).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param int32Arr refCnt values.
 * @param refCnt the number of values, 1..61 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr,
                                       int refCnt);
/** @} */

/** @name Value layouts: unsigned, 64-bit and text */
/** @{ */
/**
 * Reads holding registers as unsigned 16-bit values, each in the slave's byte order
 * (mbusConfigureSwappedBytesForSlave) (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleUnsigned16(MbusHandle handle, int slaveAddr, int startRef, uint16_t *valueArr, int refCnt);
/**
 * Reads input registers as unsigned 16-bit values, each in the slave's byte order
 * (mbusConfigureSwappedBytesForSlave) (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputUnsigned16(MbusHandle handle, int slaveAddr, int startRef, uint16_t *valueArr, int refCnt);
/**
 * Reads unsigned 32-bit integers from pairs of holding registers.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); 32-bit register
 * mode applies as to mbusReadMultipleLongInts (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleUnsigned32(MbusHandle handle, int slaveAddr, int startRef, uint32_t *valueArr, int refCnt);
/**
 * Reads unsigned 32-bit integers from pairs of input registers.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); 32-bit register
 * mode applies as to mbusReadInputLongInts (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..62 (two registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputUnsigned32(MbusHandle handle, int slaveAddr, int startRef, uint32_t *valueArr, int refCnt);
/**
 * Reads signed 64-bit integers from four holding registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleLongLongs(MbusHandle handle, int slaveAddr, int startRef, int64_t *valueArr, int refCnt);
/**
 * Reads signed 64-bit integers from four input registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputLongLongs(MbusHandle handle, int slaveAddr, int startRef, int64_t *valueArr, int refCnt);
/**
 * Writes signed 64-bit integers to four holding registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave) (function code 16).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr refCnt values.
 * @param refCnt the number of values, 1..30 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleLongLongs(MbusHandle handle, int slaveAddr, int startRef, const int64_t *valueArr, int refCnt);
/**
 * Reads unsigned 64-bit integers from four holding registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, uint64_t *valueArr, int refCnt);
/**
 * Reads unsigned 64-bit integers from four input registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, uint64_t *valueArr, int refCnt);
/**
 * Writes unsigned 64-bit integers to four holding registers each.
 * The word order is the slave's integer order (mbusConfigureBigEndianIntsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave) (function code 16).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr refCnt values.
 * @param refCnt the number of values, 1..30 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, const uint64_t *valueArr, int refCnt);
/**
 * Reads doubles from four holding registers each.
 * The word order is the slave's float order (mbusConfigureBigEndianFloatsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 3).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleDoubles(MbusHandle handle, int slaveAddr, int startRef, double *valueArr, int refCnt);
/**
 * Reads doubles from four input registers each.
 * The word order is the slave's float order (mbusConfigureBigEndianFloatsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave); the quantity
 * field counts registers (function code 4).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr receives refCnt values.
 * @param refCnt the number of values, 1..31 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputDoubles(MbusHandle handle, int slaveAddr, int startRef, double *valueArr, int refCnt);
/**
 * Writes doubles to four holding registers each.
 * The word order is the slave's float order (mbusConfigureBigEndianFloatsForSlave), the byte
 * order its byte order (mbusConfigureSwappedBytesForSlave) (function code 16).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param valueArr refCnt values.
 * @param refCnt the number of values, 1..30 (four registers each).
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleDoubles(MbusHandle handle, int slaveAddr, int startRef, const double *valueArr, int refCnt);
/**
 * Reads text from holding registers (function code 3): two characters per register, the first in the
 * high half, or in the low half with the slave's swapped bytes (mbusConfigureSwappedBytesForSlave).
 * The 2 * regCnt characters are stored as they came, NUL padding included, and a NUL follows.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param text receives 2 * regCnt characters and a closing NUL; all textSize bytes are cleared first.
 * @param textSize the size of text, at least 2 * regCnt + 1.
 * @param regCnt the number of registers, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadMultipleText(MbusHandle handle, int slaveAddr, int startRef, char *text, int textSize, int regCnt);
/**
 * Reads text from input registers (function code 4): two characters per register, the first in the
 * high half, or in the low half with the slave's swapped bytes (mbusConfigureSwappedBytesForSlave).
 * The 2 * regCnt characters are stored as they came, NUL padding included, and a NUL follows.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param text receives 2 * regCnt characters and a closing NUL; all textSize bytes are cleared first.
 * @param textSize the size of text, at least 2 * regCnt + 1.
 * @param regCnt the number of registers, 1..125.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadInputText(MbusHandle handle, int slaveAddr, int startRef, char *text, int textSize, int regCnt);
/** @} */

/** @name Device identification, server id, file records, FIFO: function codes 43/14, 17, 20, 21, 24 */
/** @{ */
/**
 * Writes text to holding registers (function code 16): two characters per register in the slave's
 * byte order (mbusConfigureSwappedBytesForSlave), padded with NULs to regCnt registers.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param startRef the reference of the first register.
 * @param text a NUL-terminated text of at most 2 * regCnt characters (a longer one is refused).
 * @param regCnt the number of registers, 1..123.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteMultipleText(MbusHandle handle, int slaveAddr, int startRef, const char *text, int regCnt);
/**
 * Reads the device identification (function code 43, MEI type 14). A reply that says "more
 * follows" is followed by the next request of the chain, to the end, within this one call. A
 * chain whose object ids do not rise, or that runs past 256 replies, ends with
 * MBUS_INVALID_REPLY_ERROR.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param readDevIdCode MBUS_DEVICE_ID_BASIC, _REGULAR, _EXTENDED or _SPECIFIC.
 * @param objectId the first object to read (0 for all), or the one object of _SPECIFIC; 0..255.
 * @param objects receives one entry per object (id, offset and length in data).
 * @param objectCap the number of entries objects has room for.
 * @param objectCnt receives the number of objects stored (0 after a failure); must not be null.
 * @param data receives the objects' bytes one after the other; cleared first.
 * @param dataCap the size of data.
 * @param conformityLevel receives the device's conformity level; may be null.
 * @return MBUS_SUCCESS, or a transaction result (see the file description);
 *         MBUS_ILLEGAL_ARGUMENT for arguments out of range or when the objects do not fit the
 *         buffers; MBUS_INVALID_REPLY_ERROR for a malformed reply; MBUS_ILLEGAL_STATE for a null
 *         handle or a closed master. After a failure both buffers hold zeros.
 */
MBUS_API int mbusReadDeviceIdentification(MbusHandle handle, int slaveAddr, int readDevIdCode, int objectId,
                                            MbusDeviceIdObject *objects, int objectCap, int *objectCnt,
                                            unsigned char *data, int dataCap, int *conformityLevel);
/**
 * Reports the server id (function code 17): the id bytes, the run indicator and the additional
 * data behind it. How long the id is depends on the device.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param idLen the length of the device's id in bytes (often 1), or
 *        MBUS_SERVER_ID_TO_RUN_INDICATOR when the id fills all bytes before a final run indicator.
 * @param id receives the id; cleared first.
 * @param idCap the size of id.
 * @param rest receives the additional data; cleared first.
 * @param restCap the size of rest.
 * @param reply receives the lengths stored and the run indicator; must not be null.
 * @return MBUS_SUCCESS, or a transaction result (see the file description);
 *         MBUS_ILLEGAL_ARGUMENT for arguments out of range or when the id or the rest does not fit
 *         its buffer; MBUS_INVALID_REPLY_ERROR when the byte count disagrees with the reply or the
 *         run indicator is neither 0x00 nor 0xFF; MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReportServerId(MbusHandle handle, int slaveAddr, int idLen, unsigned char *id, int idCap,
                                  unsigned char *rest, int restCap, MbusServerIdReply *reply);
/**
 * Reads file records (function code 20), several sub-requests in one request.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param subs subCnt sub-requests (file, first record, number of records).
 * @param subCnt the number of sub-requests, at least 1; request and reply must fit one PDU
 *        (at most 35 sub-requests, and 2 + 2 * records bytes each in a reply of at most 252).
 * @param regArr receives the records of all sub-requests one after the other; regCap entries are cleared first.
 * @param regCap the number of entries regArr has room for, at least the sum of the record counts.
 * @return MBUS_SUCCESS, or a transaction result (see the file description);
 *         MBUS_ILLEGAL_ARGUMENT for arguments out of range; MBUS_INVALID_REPLY_ERROR when a length
 *         or reference type in the reply disagrees with the request; MBUS_ILLEGAL_STATE for a null
 *         handle or a closed master.
 */
MBUS_API int mbusReadFileRecords(MbusHandle handle, int slaveAddr, const MbusFileSubRequest *subs, int subCnt, short *regArr,
                                   int regCap);
/**
 * Writes file records (function code 21), several sub-requests in one request; the device
 * echoes the request.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param subs subCnt sub-requests (file, first record, number of records).
 * @param subCnt the number of sub-requests, at least 1; the request must fit one PDU.
 * @param regArr the records of all sub-requests one after the other.
 * @param regCnt the number of entries in regArr: the sum of the record counts.
 * @return MBUS_SUCCESS, or a transaction result (see the file description);
 *         MBUS_ILLEGAL_ARGUMENT for arguments out of range; MBUS_INVALID_REPLY_ERROR when the echo
 *         differs from the request; MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusWriteFileRecords(MbusHandle handle, int slaveAddr, const MbusFileSubRequest *subs, int subCnt,
                                    const short *regArr, int regCnt);
/**
 * Reads a FIFO queue (function code 24): up to 31 registers queued behind one address.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param fifoRef the reference of the FIFO pointer register.
 * @param valueArr receives the queued values; valueCap entries are cleared first.
 * @param valueCap the number of entries valueArr has room for (31 holds any queue).
 * @param valueCnt receives the number of values stored (0 after a failure); must not be null.
 * @return MBUS_SUCCESS, or a transaction result (see the file description);
 *         MBUS_ILLEGAL_ARGUMENT for arguments out of range or a queue longer than valueCap;
 *         MBUS_INVALID_REPLY_ERROR when the byte count disagrees with the count or the count is
 *         above 31; MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadFifoQueue(MbusHandle handle, int slaveAddr, int fifoRef, short *valueArr, int valueCap, int *valueCnt);
/** @} */

/** @name Frame trace */
/** @{ */
/**
 * Hands every frame this master sends and receives to trace, with user and a monotonic time
 * stamp: the request as it goes out, and the reply bytes as they came in (also a reply cut short
 * or found invalid). Off by default; the callback runs on the caller's thread inside the
 * transaction and must not call the master.
 * @param handle the master; null does nothing.
 * @param trace the callback, or null to turn tracing off.
 * @param user any pointer, handed to trace unchanged.
 */
MBUS_API void mbusSetFrameTrace(MbusHandle handle, MbusFrameTrace trace, void *user);
/** @} */

/** @name Diagnostics: function codes 7 and 8 */
/** @{ */
/**
 * Reads the device's exception status byte (function code 7).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param statusByte receives the status byte.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusReadExceptionStatus(MbusHandle handle, int slaveAddr, unsigned char *statusByte);
/**
 * Sends data that the device echoes back (function code 8, sub-function 0), a loop-back test.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param queryArr len bytes to send.
 * @param echoArr receives the len bytes echoed.
 * @param len the number of bytes, 1..250.
 * @return as for any transaction (see the file description); MBUS_INVALID_REPLY_ERROR when the
 *         echo differs from the query.
 */
MBUS_API int mbusReturnQueryData(MbusHandle handle, int slaveAddr, const unsigned char *queryArr,
                                 unsigned char *echoArr, int len);
/**
 * Restarts the device's communications (function code 8, sub-function 1).
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param clearEventLog nonzero to also clear the device's communication event log.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusRestartCommunicationsOption(MbusHandle handle, int slaveAddr, int clearEventLog);
/** @} */

/** @name Any function code */
/** @{ */
/**
 * Sends a request with any function code and returns the reply data as it came.
 * @param handle the master.
 * @param slaveAddr the slave (unit) address; 0 is the broadcast address.
 * @param functionCode the function code, 1..127.
 * @param requestData requestLen bytes that follow the function code.
 * @param requestLen the number of request bytes, 0..252.
 * @param replyData receives the reply data after the function code.
 * @param replyLen in: the expected reply data length, 0..252; out: the number of bytes stored.
 * @return MBUS_SUCCESS, or a transaction result (see the file description); MBUS_ILLEGAL_ARGUMENT
 *         for arguments out of range, MBUS_ILLEGAL_STATE for a null handle or a closed master.
 */
MBUS_API int mbusCustomFunction(MbusHandle handle, int slaveAddr, int functionCode,
                                const unsigned char *requestData, int requestLen, unsigned char *replyData,
                                int *replyLen);
/** @} */

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
 *  @param handle a TLS master.
 *  @param path the PEM file.
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for a null path or a handle that is no TLS
 *  master, MBUS_ILLEGAL_STATE when open */
MBUS_API int mbusTlsSetCaFile(MbusHandle handle, const char *path);

/** Sets a folder of trusted CA certificates named by their hashes (openssl rehash).
 *  @param handle a TLS master.
 *  @param path the folder.
 *  @return as mbusTlsSetCaFile */
MBUS_API int mbusTlsSetCaFolder(MbusHandle handle, const char *path);

/** Sets the master's certificate chain and private key, both PEM; keyFile NULL means the key
 *  is in certFile, password NULL means an unencrypted key. Replaces a PKCS#12 file.
 *  @param handle a TLS master.
 *  @param certFile the PEM certificate chain.
 *  @param keyFile the PEM private key, or NULL.
 *  @param password the key's password, or NULL.
 *  @return as mbusTlsSetCaFile; an unreadable file shows as MBUS_TLS_CONFIG_ERROR at the open */
MBUS_API int mbusTlsSetClientCertificate(MbusHandle handle, const char *certFile, const char *keyFile,
                                         const char *password);

/** Sets the master's certificate and key from one PKCS#12 (PFX) file. Replaces PEM files.
 *  @param handle a TLS master.
 *  @param pfxFile the PKCS#12 file.
 *  @param password its password, or NULL.
 *  @return as mbusTlsSetClientCertificate */
MBUS_API int mbusTlsSetClientPfx(MbusHandle handle, const char *pfxFile, const char *password);

/** Sets the name the device's certificate must carry; a dotted address is checked against the
 *  certificate's IP names. An empty name (the default) means the host name that
 *  mbusOpenConnection is given.
 *  @param handle a TLS master.
 *  @param serverName the expected name or address, or "".
 *  @return as mbusTlsSetCaFile */
MBUS_API int mbusTlsSetServerName(MbusHandle handle, const char *serverName);

/** Turns the check of the device's certificate on (1, the default) or off (0: any device is
 *  accepted, for trials only).
 *  @param handle a TLS master.
 *  @param on 1 to check, 0 not to.
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for a handle that is no TLS master,
 *  MBUS_ILLEGAL_STATE when open */
MBUS_API int mbusTlsSetVerifyServer(MbusHandle handle, int on);

/** Sets the lowest TLS version accepted: MBUS_TLS_VERSION_1_2 (default) or MBUS_TLS_VERSION_1_3.
 *  @param handle a TLS master.
 *  @param version MBUS_TLS_VERSION_1_2 or MBUS_TLS_VERSION_1_3.
 *  @return MBUS_SUCCESS, MBUS_ILLEGAL_ARGUMENT for another value or handle, MBUS_ILLEGAL_STATE
 *  when open */
MBUS_API int mbusTlsSetMinVersion(MbusHandle handle, int version);

#ifdef __cplusplus
}
#endif

#endif /* MBUS_H */
