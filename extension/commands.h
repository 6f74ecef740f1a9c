// The execute functions of the host commands: the five originals, the block transfers with
// waves and the serial open. Each gets the parameter record the host
// filled (extension/parameter_records.h) and returns 0 or an extension error code.
#ifndef ZORVANE_COMMANDS_H
#define ZORVANE_COMMANDS_H

int ExecuteMBOpen(void *params);
int ExecuteMBClose(void *params);
int ExecuteMBGetStatus(void *params);
int ExecuteMBRead(void *params);
int ExecuteMBWrite(void *params);
int ExecuteMBReadWave(void *params);
int ExecuteMBWriteWave(void *params);
int ExecuteMBOpenSerial(void *params);

#endif
