#pragma rtGlobals=3		// Use modern global access method and strict wave access.
#pragma IgorVersion=6.20
#pragma version=1.1

// Zorvane.ipf: ready functions around the operations of Zorvane.xop.
//
//	MB_ReadBlock		one block of coils, inputs or registers into a wave (ThreadSafe)
//	MB_LogBlock		one block appended as a row to a log, with a time stamp
//	MB_StartPolling	a named background task that logs a block every so many seconds
//	MB_StopPolling		stops it
//	MB_LoggerPanel		a small panel for all of the above (Macros menu: "Zorvane Modbus Logger")
//
// Open the device first: MBOpen IP="192.168.0.10" for Modbus/TCP, or
// MBOpenSerial port="COM3", baud=19200, unit=1 for a serial line (then IP="COM3" names it).
// See "Zorvane Help.txt" for every operation and flag.

// The tables, as MB_ReadBlock and MB_StartPolling take them.
Constant MB_COILS = 0
Constant MB_DISCRETE_INPUTS = 1
Constant MB_HOLDING_REGISTERS = 2
Constant MB_INPUT_REGISTERS = 3

// Value types (/T) and byte orders (/B) of MBReadWave and MBWriteWave.
Constant MB_INT16 = 0
Constant MB_UINT16 = 1
Constant MB_INT32 = 2
Constant MB_UINT32 = 3
Constant MB_FLOAT = 4
Constant MB_DOUBLE = 5
Constant MB_MOD10000 = 6
Constant MB_ABCD = 0
Constant MB_CDAB = 1
Constant MB_BADC = 2
Constant MB_DCBA = 3

static StrConstant kPackage = "root:Packages:Zorvane"

Menu "Macros"
	"Zorvane Modbus Logger", MB_LoggerPanel()
End

// Reads count values from start on into the wave destName in the current data folder (made or
// overwritten). Returns V_MBerr: 0, or the error number (its text: GetErrMessage(10000 + n)).
ThreadSafe Function MB_ReadBlock(host, dataTable, start, count, type, order, unit, destName)
	String host
	Variable dataTable, start, count, type, order, unit
	String destName

	switch (dataTable)
		case MB_COILS:
			MBReadWave /Q /T=(type) /B=(order) /U=(unit) /DEST=$destName IP=host, Coil={start, count}
			break
		case MB_DISCRETE_INPUTS:
			MBReadWave /Q /T=(type) /B=(order) /U=(unit) /DEST=$destName IP=host, DiscreteInput={start, count}
			break
		case MB_HOLDING_REGISTERS:
			MBReadWave /Q /T=(type) /B=(order) /U=(unit) /DEST=$destName IP=host, HoldingRegister={start, count}
			break
		default:
			MBReadWave /Q /T=(type) /B=(order) /U=(unit) /DEST=$destName IP=host, InputRegister={start, count}
			break
	endswitch
	return V_MBerr
End

// Appends one row to the log logName_data (rows: polls, columns: the count values) and the time
// of the poll to logName_time (seconds since 1904, shown as dates), both in the current data
// folder and made when missing. Returns V_MBerr; a failed poll appends nothing.
Function MB_LogBlock(host, dataTable, start, count, logName [, type, order, unit])
	String host
	Variable dataTable, start, count
	String logName
	Variable type, order, unit

	type = ParamIsDefault(type) ? MB_INT16 : type
	order = ParamIsDefault(order) ? MB_CDAB : order
	unit = ParamIsDefault(unit) ? 255 : unit

	Variable err = MB_ReadBlock(host, dataTable, start, count, type, order, unit, logName + "_last")
	if (err != 0)
		return err
	endif
	WAVE last = $(logName + "_last")
	WAVE/Z data = $(logName + "_data")
	WAVE/Z times = $(logName + "_time")
	if (!WaveExists(data) || DimSize(data, 1) != count)
		Make/O/D/N=(0, count) $(logName + "_data")
		Make/O/D/N=0 $(logName + "_time")
		WAVE data = $(logName + "_data")
		WAVE times = $(logName + "_time")
		SetScale d 0, 0, "dat", times
	endif
	Variable row = DimSize(data, 0)
	Redimension/N=(row + 1, -1) data
	data[row][] = last[q]
	Redimension/N=(row + 1) times
	times[row] = DateTime
	return 0
End

// Starts (or restarts) the background task taskName: every periodSeconds it logs count values
// from start on with MB_LogBlock into taskName_data and taskName_time in the data folder that is
// current now. A failed poll is printed to the history and the task goes on.
Function MB_StartPolling(taskName, host, dataTable, start, count, periodSeconds [, type, order, unit])
	String taskName, host
	Variable dataTable, start, count, periodSeconds
	Variable type, order, unit

	type = ParamIsDefault(type) ? MB_INT16 : type
	order = ParamIsDefault(order) ? MB_CDAB : order
	unit = ParamIsDefault(unit) ? 255 : unit

	NewDataFolder/O root:Packages
	NewDataFolder/O root:Packages:Zorvane
	String df = kPackage + ":" + taskName
	NewDataFolder/O $df
	String/G $(df + ":gHost") = host
	String/G $(df + ":gFolder") = GetDataFolder(1)
	Variable/G $(df + ":gTable") = dataTable
	Variable/G $(df + ":gStart") = start
	Variable/G $(df + ":gCount") = count
	Variable/G $(df + ":gType") = type
	Variable/G $(df + ":gOrder") = order
	Variable/G $(df + ":gUnit") = unit

	CtrlNamedBackground $taskName, stop
	CtrlNamedBackground $taskName, period=max(1, round(periodSeconds * 60)), proc=MB_PollTask, start
End

Function MB_StopPolling(taskName)
	String taskName
	CtrlNamedBackground $taskName, stop
End

// The background task: one MB_LogBlock with the settings MB_StartPolling kept.
Function MB_PollTask(s)
	STRUCT WMBackgroundStruct &s

	String df = kPackage + ":" + s.name
	SVAR host = $(df + ":gHost")
	SVAR folder = $(df + ":gFolder")
	NVAR dataTable = $(df + ":gTable")
	NVAR start = $(df + ":gStart")
	NVAR count = $(df + ":gCount")
	NVAR type = $(df + ":gType")
	NVAR order = $(df + ":gOrder")
	NVAR unit = $(df + ":gUnit")

	String saved = GetDataFolder(1)
	SetDataFolder $folder
	Variable err = MB_LogBlock(host, dataTable, start, count, s.name, type=type, order=order, unit=unit)
	SetDataFolder $saved
	if (err != 0)
		printf "Zorvane: %s: poll failed with error %d\r", s.name, err
	endif
	return 0	// keep running
End

// ---- The panel.

Function MB_LoggerPanel()
	NewDataFolder/O root:Packages
	NewDataFolder/O root:Packages:Zorvane
	SVAR/Z host = root:Packages:Zorvane:gPanelHost
	if (!SVAR_Exists(host))
		String/G root:Packages:Zorvane:gPanelHost = "127.0.0.1"
		Variable/G root:Packages:Zorvane:gPanelPort = 502
		Variable/G root:Packages:Zorvane:gPanelStart = 0
		Variable/G root:Packages:Zorvane:gPanelCount = 10
		Variable/G root:Packages:Zorvane:gPanelPeriod = 1
		Variable/G root:Packages:Zorvane:gPanelUnit = 255
	endif

	DoWindow/F MBLoggerPanel
	if (V_flag)
		return 0
	endif
	NewPanel/K=1/N=MBLoggerPanel/W=(100, 100, 430, 290) as "Zorvane Modbus Logger"
	SetVariable hostSV, pos={10, 10}, size={200, 16}, title="Device", value=root:Packages:Zorvane:gPanelHost
	SetVariable portSV, pos={220, 10}, size={100, 16}, title="TCP port", value=root:Packages:Zorvane:gPanelPort
	PopupMenu tablePM, pos={10, 35}, title="Table", mode=3
	PopupMenu tablePM, value="Coils;Discrete inputs;Holding registers;Input registers"
	SetVariable unitSV, pos={220, 37}, size={100, 16}, title="Unit", value=root:Packages:Zorvane:gPanelUnit
	SetVariable startSV, pos={10, 62}, size={150, 16}, title="Start", value=root:Packages:Zorvane:gPanelStart
	SetVariable countSV, pos={170, 62}, size={150, 16}, title="Count", value=root:Packages:Zorvane:gPanelCount
	PopupMenu typePM, pos={10, 87}, title="Type", mode=1
	PopupMenu typePM, value="Int16;UInt16;Int32;UInt32;Float;Double;Mod10000"
	PopupMenu orderPM, pos={170, 87}, title="Order", mode=2, value="ABCD;CDAB;BADC;DCBA"
	SetVariable periodSV, pos={10, 114}, size={150, 16}, title="Period (s)", value=root:Packages:Zorvane:gPanelPeriod
	Button connectB, pos={10, 145}, size={95, 20}, title="Connect TCP", proc=MB_PanelButtonProc
	Button startB, pos={115, 145}, size={95, 20}, title="Start logging", proc=MB_PanelButtonProc
	Button stopB, pos={220, 145}, size={95, 20}, title="Stop", proc=MB_PanelButtonProc
	return 0
End

Function MB_PanelButtonProc(ba) : ButtonControl
	STRUCT WMButtonAction &ba

	Variable dataTable, type, order
	if (ba.eventCode != 2)	// mouse up
		return 0
	endif
	SVAR host = root:Packages:Zorvane:gPanelHost
	NVAR port = root:Packages:Zorvane:gPanelPort
	NVAR start = root:Packages:Zorvane:gPanelStart
	NVAR count = root:Packages:Zorvane:gPanelCount
	NVAR period = root:Packages:Zorvane:gPanelPeriod
	NVAR unit = root:Packages:Zorvane:gPanelUnit
	strswitch (ba.ctrlName)
		case "connectB":
			MBOpen IP=host, port=port
			break
		case "startB":
			ControlInfo/W=$ba.win tablePM
			dataTable = V_Value - 1
			ControlInfo/W=$ba.win typePM
			type = V_Value - 1
			ControlInfo/W=$ba.win orderPM
			order = V_Value - 1
			MB_StartPolling("MBLogger", host, dataTable, start, count, period, type=type, order=order, unit=unit)
			print "Zorvane: logging into MBLogger_data and MBLogger_time in " + GetDataFolder(1)
			break
		case "stopB":
			MB_StopPolling("MBLogger")
			break
	endswitch
	return 0
End
