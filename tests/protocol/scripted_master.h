// A master whose transport is a script: each transaction records the request and answers with
// the next scripted reply.
#ifndef MBUS_TESTS_SCRIPTED_MASTER_H
#define MBUS_TESTS_SCRIPTED_MASTER_H

#include <algorithm>
#include <deque>
#include <vector>

#include "protocol/master_functions.h"

using namespace mbus;

struct ScriptedReply {
    int result = MBUS_SUCCESS;
    std::vector<unsigned char> data;
};

struct RecordedRequest {
    int slaveAddr;
    int functionCode;
    std::vector<unsigned char> data;
    int replyLen;
};

class ScriptedMaster : public MbusMasterFunctions {
public:
    explicit ScriptedMaster(int maxSlave = 255) : maxSlaveAddress(maxSlave) {}

    int getMaxSlaveAddress() override { return maxSlaveAddress; }
    int isOpen() override { return open; }
    void closeConnection() override { open = false; }
    int transact(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                 unsigned char *replyData, int replyLen, int *receivedLen) override
    {
        requests.push_back({slaveAddr, functionCode, std::vector<unsigned char>(requestData, requestData + requestLen),
                            replyLen});
        if (receivedLen)
            *receivedLen = 0;
        if (replies.empty())
            return MBUS_REPLY_TIMEOUT;
        ScriptedReply reply = replies.front();
        replies.pop_front();
        if (reply.result != MBUS_SUCCESS)
            return reply.result;
        int stored = std::min(static_cast<int>(reply.data.size()), replyLen);
        std::copy(reply.data.begin(), reply.data.begin() + stored, replyData);
        if (receivedLen)
            *receivedLen = stored;
        return MBUS_SUCCESS;
    }

    void reply(std::vector<unsigned char> data) { replies.push_back({MBUS_SUCCESS, std::move(data)}); }
    void fail(int result) { replies.push_back({result, {}}); }
    const RecordedRequest &last() const { return requests.back(); }
    unsigned char options(int slaveAddr) const { return slaveOptionTable[slaveAddr]; }

    bool open = false;
    std::vector<RecordedRequest> requests;
    std::deque<ScriptedReply> replies;

private:
    int maxSlaveAddress;
};

#endif
