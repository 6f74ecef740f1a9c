// The module's message table: the text of extension error 10000 + N is entry N. Entries 1 .. 166
// belong to the five original commands (whose range alarm still counts 166); 170 and 171 are
// the gateway exceptions; the block commands and the serial open add theirs from 201 on, clear
// of the numbers that device exception codes (160 + code) take.
#ifndef ZORVANE_MESSAGE_TABLE_H
#define ZORVANE_MESSAGE_TABLE_H

#include <string>

constexpr int FIRST_XOP_ERR = 10000;
constexpr int kFirstCommandsMessageCount = 166;
constexpr int kMessageCount = 206;

// Extension errors of the block commands and the serial open.
constexpr int kBadBlockRange = 10201;
constexpr int kBadValueLayout = 10202;
constexpr int kBadUnitId = 10203;
constexpr int kNotNumericWave = 10204;
constexpr int kValueNotWritable = 10205;
constexpr int kBadSerialSettings = 10206;

// Entry n (1 .. kMessageCount), or null outside the table.
const char *messageText(int n);

// The table as its resource bytes: every text followed by a NUL, then one more NUL.
const std::string &messageTableBytes();

#endif
