// A stand-in for the Modbus library's flat functions that the extension calls: it keeps masters
// as plain records, logs every data call and answers with scripted results and values. The
// setters follow the library's rules (range test first, then refused while open).
#ifndef TESTS_EXTENSION_FAKE_LIBRARY_H
#define TESTS_EXTENSION_FAKE_LIBRARY_H

#include <map>
#include <string>
#include <vector>

struct FakeMaster {
    bool open = false;
    int port = 502;
    int timeout = 1000;
    int pollDelay = 0;
    bool littleEndianFloats = false;
    bool destroyed = false;
    std::string openedHost;
    int opens = 0;
    int closes = 0;
};

struct FakeLibrary {
    std::vector<FakeMaster *> masters; // every master ever made, destroyed ones included
    std::vector<std::string> calls;    // data calls: "mbusReadCoils 255 18 1"
    std::map<std::string, int> results; // scripted result per function name (one use each)
    bool failNew = false;
    int openResult = 0;
    // Values the reads deliver in element 0.
    int bitValue = 1;
    short shortValue = 0;
    int longValue = 0;
    float floatValue = 0.0f;
    unsigned char statusByte = 0;

    int liveMasters() const;
    void reset();
};

// The fake's state, shared with the flat functions it replaces.
FakeLibrary &fakeLibrary();

#endif
