// The module's message table: the text of extension error 10000 + N is entry N (1 .. 166).
#ifndef ZORVANE_MESSAGE_TABLE_H
#define ZORVANE_MESSAGE_TABLE_H

#include <string>

constexpr int FIRST_XOP_ERR = 10000;
constexpr int kMessageCount = 166;

// Entry n (1 .. kMessageCount), or null outside the table.
const char *messageText(int n);

// The table as its resource bytes: every text followed by a NUL, then one more NUL.
const std::string &messageTableBytes();

#endif
