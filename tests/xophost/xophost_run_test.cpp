// xophost end to end: the binary loads Zorvane.xop and runs commands against a simulated device
// served from this test process on an ephemeral loopback port.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/serial_device.h"
#include "sim/tcp_device.h"

extern char **environ;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tempPath(const std::string &contents)
{
    char path[] = "/tmp/xophost_test_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    if (fd >= 0) {
        EXPECT_EQ(write(fd, contents.data(), contents.size()),
                  static_cast<ssize_t>(contents.size()));
        close(fd);
    }
    return path;
}

// Runs xophost with args and the given standard input; gives up (and kills it) after 60 s.
RunResult runXophost(const std::vector<std::string> &args, const std::string &input = "")
{
    const std::string inPath = tempPath(input);
    const std::string outPath = tempPath("");
    const std::string errPath = tempPath("");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_TRUNC, 0);
    std::vector<std::string> all{XOPHOST_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult result;
    const int spawned = posix_spawn(&pid, XOPHOST_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    if (spawned == 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "xophost did not finish";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    std::remove(inPath.c_str());
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}

// Runs xophost on a terminal (standard input, output and error all on one pseudo-terminal
// without output processing), types input, and collects what the terminal shows.
RunResult runOnTerminal(const std::vector<std::string> &args, const std::string &typed)
{
    RunResult result;
    int master = -1;
    int slave = -1;
    termios settings{};
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return result;
    }
    tcgetattr(slave, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(slave, TCSANOW, &settings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_adddup2(&actions, slave, fd);
    posix_spawn_file_actions_addclose(&actions, master);
    std::vector<std::string> all{XOPHOST_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, XOPHOST_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(slave);
    EXPECT_EQ(spawned, 0);
    if (spawned == 0) {
        EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buffer[1024];
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n > 0) {
                    result.out.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                if (exited)
                    break; // the terminal is closed and empty
            }
            if (!exited && waitpid(pid, &status, WNOHANG) == pid)
                exited = true;
            else if (exited)
                break;
        }
        if (!exited) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "xophost did not finish";
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(master);
    return result;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// Every -c given as LINE.
std::vector<std::string> commands(std::initializer_list<std::string> list)
{
    std::vector<std::string> args;
    for (const std::string &line : list) {
        args.push_back("-c");
        args.push_back(line);
    }
    return args;
}

// A loopback port that was free a moment ago.
int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

const std::string kFound0 = "=> getConnection: connection #0...\n"
                            "=> getConnection: connection #0 selected";
const std::vector<std::string> kCleanUpOneSlot = {
    "=> getNThConnection: handle of connection #0 returned",
    "=> eraseNthConnection: connection #0 disabled",
    "=> getNThConnection: handle of connection #1 returned",
    "=> disposeMyConnections: list of connection disposed"};

class XophostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = device.start(0);
        ASSERT_GT(port, 0);
        open = "MBOpen IP=\"127.0.0.1\", port=" + std::to_string(port) + ", timeout=500";
    }
    void TearDown() override { device.stop(); }
    sim::TcpDevice device;
    int port = 0;
    std::string open;
};

TEST_F(XophostTest, ASessionOfEveryCommandAgainstTheDevice)
{
    device.setCoil(3, true);
    device.setDiscreteInput(5, true);
    device.setHoldingRegister(10, 0xFFFF);
    device.setHoldingRegister(20, 0x86A0); // 100000, low word first
    device.setHoldingRegister(21, 0x0001);
    device.setInputRegister(30, 0x0000); // 3.25f, low word first
    device.setInputRegister(31, 0x4050);
    device.setExceptionStatus(0x5A);
    const RunResult r = runXophost(commands({
        open,
        "MBRead IP=\"127.0.0.1\", Coil=3",
        "MBRead IP=\"127.0.0.1\", DiscreteInput=5",
        "MBRead IP=\"127.0.0.1\", HoldingRegister=10",
        "MBRead /L IP=\"127.0.0.1\", HoldingRegister=20",
        "MBRead /F /Q IP=\"127.0.0.1\", InputRegister=30",
        "print V_MBInputRegister",
        "MBWrite IP=\"127.0.0.1\", Coil={7, 1}, Register={8, 70000}",
        "MBGetStatus IP=\"127.0.0.1\"",
        "print V_MBstatus",
        "MBClose IP=\"127.0.0.1\"",
        "print V_MBerr",
    }));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string p = std::to_string(port);
    const std::string expected =
        "=> initConn: Initialisation of all connections\n"
        "=> getConnection: connection #0...\n"
        "=> getConnection: connection #0 not selected\n"
        "=> setConnection: connection #0 enabled\n"
        "=> MODBUS/TCP connection established with device at address 127.0.0.1 on TCP port " + p +
        " with timeout of 500ms and poll delay of 10ms\n" +
        kFound0 + "\n=> MODBUS/TCP device returned 1 from coil #3\n" +
        kFound0 + "\n=> MODBUS/TCP device returned 1 from discrete input #5\n" +
        kFound0 + "\n=> MODBUS/TCP device returned -1 from holding register #10\n" +
        kFound0 + "\n=> MODBUS/TCP device returned 100000 from holding register #20\n" +
        kFound0 + "\n" +
        "3.25\n" +
        kFound0 + "\n=> MODBUS/TCP device coil #7 set to 1\n"
                  "=> MODBUS/TCP device register #8 set to 4464\n" +
        kFound0 + "\n=> statusByte = 90\n"
                  "90\n" +
        kFound0 + "\n" + kFound0 + "\n=> MODBUS/TCP connection closed with devive at address 127.0.0.1\n"
                  "0\n"
                  "=> getNThConnection: handle of connection #0 returned\n"
                  "=> eraseNthConnection: connection #0 disabled\n"
                  "=> getNThConnection: handle of connection #1 returned\n"
                  "=> disposeMyConnections: list of connection disposed\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "=> initProtocol: LITTLE_ENDIAN selected\r"
                     "=> openProtocol: MODBUS/TCP connection opened\r"
                     "=> ExecuteMBGetStatus: isOpen...\r"
                     "=> ExecuteMBGetStatus: readExceptionStatus...\r"
                     "=> ExecuteMBGetStatus -> statusByte=90\r"
                     "=> closeProtocol: connection closed with device 127.0.0.1 on port " + p + "\r");
    EXPECT_TRUE(device.coil(7));
    EXPECT_EQ(device.holdingRegister(8), 4464);
}

TEST_F(XophostTest, AFailingCommandEndsTheSessionWithStatusOne)
{
    const RunResult r = runXophost(commands({"MBRead IP=\"nowhere\", Coil=1", "print V_MBerr"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "=> ExecuteMBRead -> No connection...\r"
                     "=> ExecuteMBRead -> error #166\r"
                     "-c 1: MBRead: error 10166: MODBUS/TCP Connection not established\n");
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                "=> initConn: Initialisation of all connections",
                                "=> getConnection: connection #0...",
                                "=> getConnection: connection #0 not selected",
                                "=> MODBUS/TCP error #166",
                                "=> getNThConnection: handle of connection #0 returned",
                                "=> disposeMyConnections: list of connection disposed"}));
}

TEST_F(XophostTest, KeepGoingRunsEveryLineAndExitsWithTheWorstStatus)
{
    const RunResult r = runXophost({"--keep-going", "-c", "MBRead IP=\"nowhere\", Coil=1", "-c",
                                    "MBRead IP=\"x\", Coil=", "-c", "print V_MBerr"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-c 2: syntax error: MBRead: missing parameter addressCoil of keyword Coil\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("\n166\n"), std::string::npos) << r.out;
}

TEST_F(XophostTest, ASyntaxErrorRunsNothingAndExitsWithStatusTwo)
{
    const RunResult r = runXophost(commands({"MBOpen IP=\"127.0.0.1\", port=\"502\"", open}));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "-c 1: syntax error: MBOpen: keyword port expects a number for TCPport\n");
    // Only the clean-up ran.
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                "=> initConn: Initialisation of all connections",
                                "=> getNThConnection: handle of connection #0 returned",
                                "=> disposeMyConnections: list of connection disposed"}));
}

TEST_F(XophostTest, DeviceExceptionsBecomeErrorCodesWithTheirTexts)
{
    device.pushFault(sim::Fault{sim::FaultKind::Exception, 2});
    device.pushFault(sim::Fault{sim::FaultKind::Exception, 10});
    const RunResult r = runXophost(
        {"--keep-going", "-c", open, "-c", "MBRead IP=\"127.0.0.1\", HoldingRegister=1", "-c",
         "MBRead IP=\"127.0.0.1\", Coil=1", "-c", "print V_MBerr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("=> ExecuteMBRead -> Cannot read short[32] holding register...\r"
                         "=> ExecuteMBRead -> error #162\r"
                         "-c 2: MBRead: error 10162: Signals that an Illegal Data Address "
                         "exception response (MODBUS code 02) was received."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("=> ExecuteMBRead -> Cannot read coil...\r"
                         "=> ExecuteMBRead -> error #170\r"
                         "-c 3: MBRead: error 10170: Signals that a Gateway Path Unavailable exception "
                         "response (MODBUS code 0A) was received"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("=> MODBUS/TCP error #162\n"), std::string::npos);
    EXPECT_NE(r.out.find("BUG FIX REQUIRED in MBRead: Error code 10170  > FIRST_XOP_ERR (10000) + "
                         "166\n=> MODBUS/TCP error #170\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n170\n"), std::string::npos);
}

TEST_F(XophostTest, CommandsAfterAnAmpersandRunOnTheSecondThread)
{
    device.setHoldingRegister(1, 7);
    const RunResult r = runXophost(commands({open, "&MBRead IP=\"127.0.0.1\", HoldingRegister=1", "&wait",
                                             "print V_MBHoldingRegister", "&MBRead IP=\"nowhere\", Coil=1"}));
    // The failure on the second thread counts when the session ends.
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("=> MODBUS/TCP device returned 7 from holding register #1\n7\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("-c 5: MBRead: error 10166: MODBUS/TCP Connection not established\n"), std::string::npos)
        << r.err;
    const RunResult print = runXophost(commands({"&print V_MBerr"}));
    EXPECT_EQ(print.status, 2);
    EXPECT_EQ(print.err, "-c 1: syntax error: & takes a command of the module\n");
}

TEST_F(XophostTest, ScriptFilesAndStandardInputRunTheSameLines)
{
    const std::string script = "// a comment\r\n"
                               "\r\n" +
                               open + "\r\n"
                                      "MBWrite/Q IP=\"127.0.0.1\", Register={3, -2}\r\n"
                                      "MBRead IP=\"127.0.0.1\", HoldingRegister=3\n"
                                      "print V_MBHoldingRegister\n";
    const std::string path = tempPath(script);
    const RunResult fromFile = runXophost({path});
    std::remove(path.c_str());
    const RunResult fromStdin = runXophost({}, script);
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_NE(fromFile.out.find("=> MODBUS/TCP device returned -2 from holding register #3\n-2\n"),
              std::string::npos)
        << fromFile.out;
    EXPECT_EQ(fromFile.out, fromStdin.out);
    // No prompt when standard input is not a terminal.
    EXPECT_EQ(fromStdin.out.find("xophost>"), std::string::npos);
}

TEST_F(XophostTest, ErrorsInScriptsNameTheLine)
{
    const std::string path = tempPath("\n" + open + "\nMBClose\n");
    const RunResult r = runXophost({path});
    std::remove(path.c_str());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("=> ExecuteMBOpen: No IP address!\r=> ExecuteMBClose -> error #1\r" + path +
                         ":3: MBClose: error 10001: A parameter passed to the command is invalid or "
                         "out of range.\n"),
              std::string::npos)
        << r.err;
}

TEST_F(XophostTest, AtATerminalLinesKeepTheirOrderAndMistakesDoNotEndTheSession)
{
    const RunResult r = runOnTerminal(
        {}, "MBRead IP=\"nowhere\", Coil=1\nMBRead IP=\"x\", Coil=\nprint V_MBerr\n\x04");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "xophost> "
                     "=> initConn: Initialisation of all connections\n"
                     "=> getConnection: connection #0...\n"
                     "=> getConnection: connection #0 not selected\n"
                     "=> ExecuteMBRead -> No connection...\n"
                     "=> ExecuteMBRead -> error #166\n"
                     "=> MODBUS/TCP error #166\n"
                     "MBRead: error 10166: MODBUS/TCP Connection not established\n"
                     "xophost> syntax error: MBRead: missing parameter addressCoil of keyword Coil\n"
                     "xophost> 166\n"
                     "xophost> \n"
                     "=> getNThConnection: handle of connection #0 returned\n"
                     "=> disposeMyConnections: list of connection disposed\n");
}

TEST(XophostRefusedTest, ARefusedConnectionStaysRegisteredButClosed)
{
    const std::string refused = "MBOpen IP=\"127.0.0.1\", port=" + std::to_string(freePort()) +
                                ", timeout=200";
    const RunResult r = runXophost({"--keep-going", "-c", refused, "-c", "print V_MBerr", "-c",
                                    "MBGetStatus IP=\"127.0.0.1\"", "-c", "print V_MBstatus"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("=> openProtocol: Error opening protocol: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("=> ExecuteMBOpen -> error #68\r-c 1: MBOpen: error 10068: Signals that "
                         "the TCP/IP connection could not be established."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("=> ExecuteMBGetStatus: isOpen...\r=> ExecuteMBGetStatus -> error #69\r"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("=> MODBUS/TCP connection error #68\n68\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("=> MODBUS/TCP error #69\n0\n"), std::string::npos) << r.out;
}

TEST(XophostStartTest, AnOldHostIsRefused)
{
    const RunResult r = runXophost({"--host-version", "619", "-c", "MBClose IP=\"x\""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "xophost: the module refused to load: error 10165: ZORVANE XOP requires Igor Pro "
              "6.2/8.0\n");
    EXPECT_EQ(runXophost({"--host-version=620", "-c", "MBClose/Q IP=\"x\""}).status, 0);
}

TEST(XophostStartTest, UsageErrors)
{
    EXPECT_EQ(runXophost({"--bogus"}).status, 2);
    EXPECT_EQ(runXophost({"--sim=70000"}).status, 2);
    EXPECT_EQ(runXophost({"a.txt", "b.txt"}).status, 2);
    const RunResult missing = runXophost({"/nonexistent/script.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "xophost: cannot open script /nonexistent/script.txt\n");
    const RunResult noModule = runXophost({"--module", "/nonexistent/M.xop", "-c", "print V_x"});
    EXPECT_EQ(noModule.status, 1);
    EXPECT_NE(noModule.err.find("cannot load /nonexistent/M.xop"), std::string::npos);
}

TEST_F(XophostTest, AScriptLogsASerialAndATcpDeviceIntoWavesFromBothThreads)
{
    sim::SerialDevice line;
    const std::string path = line.start(sim::SerialFraming::Rtu);
    ASSERT_FALSE(path.empty());
    for (int i = 0; i < 100; ++i) {
        device.setHoldingRegister(static_cast<uint16_t>(200 + i), static_cast<uint16_t>(i));
        line.setInputRegister(static_cast<uint16_t>(i), static_cast<uint16_t>(1000 + i));
    }
    // One command per device and poll; the second poll of each runs on the second thread.
    const std::string serial = "IP=\"" + path + "\", InputRegister={0, 100}";
    const std::string tcp = "IP=\"127.0.0.1\", HoldingRegister={200, 100}";
    const std::string script = open + "\n"
                               "MBOpenSerial /Q port=\"" + path + "\", baud=115200, unit=7, timeout=2000\n"
                               "MBReadWave /Q /T=1 /DEST=serial1 " + serial + "\n"
                               "MBReadWave /Q /DEST=tcp1 " + tcp + "\n"
                               "&MBReadWave /Q /T=1 /DEST=serial2 " + serial + "\n"
                               "MBReadWave /Q /DEST=tcp2 " + tcp + "\n"
                               "&wait\n"
                               "&MBReadWave /Q /DEST=tcp3 " + tcp + "\n"
                               "MBReadWave /Q /T=1 /DEST=serial3 " + serial + "\n"
                               "&wait\n"
                               "print serial2\nprint tcp3\n";
    const std::string scriptPath = tempPath(script);
    const RunResult r = runXophost({scriptPath});
    std::remove(scriptPath.c_str());
    line.stop();
    EXPECT_EQ(r.status, 0) << r.err;
    std::string serialValues;
    std::string tcpValues;
    for (int i = 0; i < 100; ++i) {
        serialValues += (i > 0 ? "," : "") + std::to_string(1000 + i);
        tcpValues += (i > 0 ? "," : "") + std::to_string(i);
    }
    EXPECT_NE(r.out.find("  serial2[0]= {" + serialValues + "}\n  tcp3[0]= {" + tcpValues + "}\n"),
              std::string::npos)
        << r.out;
    // Each poll was one command and, on the serial line, for unit 7.
    std::size_t serialPolls = 0;
    for (const auto &frame : line.requests())
        serialPolls += frame.size() > 1 && frame[0] == 7 && frame[1] == 4 ? 1 : 0;
    EXPECT_EQ(serialPolls, 3u);
}

TEST(XophostDemoTest, TheDemoScriptRunsAgainstTheBuiltInDevice)
{
    // The demo talks to port 5020; here it gets a port of its own.
    const int port = freePort();
    std::string demo = readFile(DEMO_PATH);
    ASSERT_NE(demo.find("port=5020"), std::string::npos);
    demo.replace(demo.find("port=5020"), 9, "port=" + std::to_string(port));
    const std::string path = tempPath(demo);
    const RunResult r = runXophost({"--sim=" + std::to_string(port), path});
    std::remove(path.c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("xophost: simulated Modbus/TCP device on 127.0.0.1:" +
                         std::to_string(port) + "\n"),
              std::string::npos);
    for (const char *expected :
         {"=> MODBUS/TCP device returned 0 from discrete input #1\n",
          "=> MODBUS/TCP device returned 1 from coil #1\n1\n",
          "=> MODBUS/TCP device returned 1234 from holding register #1\n1234\n",
          "=> MODBUS/TCP device returned 100000 from holding register #20\n100000\n",
          "=> MODBUS/TCP device returned 3.25 from holding register #30\n3.25\n",
          "=> statusByte = 0\n0\n",
          "=> MODBUS/TCP connection closed with devive at address 127.0.0.1\n0\n"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
}

TEST(ModuleTest, ExportsTheEntryAndTheResourcesOnly)
{
    void *module = dlopen(MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_NE(dlsym(module, "XOPMain"), nullptr);
    EXPECT_NE(dlsym(module, "XOPGetResource"), nullptr);
    for (const char *hidden : {"mbusNewTcpMaster", "mbusReadCoils", "_Z8initConnv",
                               "_Z13ExecuteMBReadPv"})
        EXPECT_EQ(dlsym(module, hidden), nullptr) << hidden;
    dlclose(module);
}

} // namespace
