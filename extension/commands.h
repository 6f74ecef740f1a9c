// The execute functions of the five host commands. Each gets the parameter record the host
// filled (extension/parameter_records.h) and returns 0 or an extension error code.
#ifndef ZORVANE_COMMANDS_H
#define ZORVANE_COMMANDS_H

int ExecuteMBOpen(void *params);
int ExecuteMBClose(void *params);
int ExecuteMBGetStatus(void *params);
int ExecuteMBRead(void *params);
int ExecuteMBWrite(void *params);

#endif
