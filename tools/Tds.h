#pragma once
// The parts of TDS 7.1 to 7.4 the stand-in speaks: packet framing, the pre-login answer (encryption
// not supported), LOGIN7 decoding, ALL_HEADERS, and the server tokens (ENVCHANGE, INFO, ERROR,
// LOGINACK, DONE). Integers are little-endian on the wire except the packet header's length and
// SPID. Text is UCS-2 (UTF-16LE) on the wire and UTF-8 here.
//
// A connection speaks the level its LOGIN7 asks for (capped at 7.4). Below 7.2 a client sends no
// ALL_HEADERS, DONE carries a 4-byte row count, ERROR and INFO a 2-byte line number, and there are
// no transaction ENVCHANGEs (types 8 to 10).
//
// Socket functions return false on end of file or any socket error; the caller then closes.
#include <cstdint>
#include <string>
#include <vector>

namespace tds {

using Bytes = std::vector<uint8_t>;

enum PacketType : uint8_t {
    SqlBatch = 0x01,
    Tds5Login = 0x02,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    PreLogin = 0x12,
};

enum DoneStatus : uint16_t {
    DoneFinal = 0x0000,
    DoneMore = 0x0001,
    DoneError = 0x0002,
    DoneInXact = 0x0004,
    DoneCount = 0x0010,
    DoneAttn = 0x0020,
};

// A TDS level as the high byte of its version number: 0x71 (7.1) to 0x74 (7.4).
using Level = uint8_t;
const Level kLevel71 = 0x71, kLevel72 = 0x72, kLevel74 = 0x74;
// The level to answer a LOGIN7 version with: the client's, capped at 7.4; 0 below 7.1.
Level LevelOf(uint32_t loginVersion);
// The version as LOGINACK carries it, e.g. "7.1"; for the journal.
std::string LevelName(Level level);

struct Message {
    uint8_t type = 0;
    Bytes payload;
};

// Reads packets up to the one marked end-of-message and joins their payloads.
bool ReadMessage(int fd, Message& message);
// Sends payload as type-0x04 packets of at most packetSize bytes; endOfMessage marks the last.
bool SendReply(int fd, const Bytes& payload, uint16_t spid, unsigned packetSize, bool endOfMessage = true);

std::string Utf8FromUcs2(const uint8_t* data, size_t units);
Bytes Ucs2FromUtf8(const std::string& text);
std::string Hex(const uint8_t* data, size_t size);

Bytes PreLoginAnswer();

struct LoginRequest {
    uint32_t tdsVersion = 0;
    uint32_t packetSize = 0;
    std::string user, password, database;  // the password unscrambled
};
// False when the payload is too short for its level or a field points outside it.
bool ParseLogin7(const Bytes& payload, LoginRequest& login);

// ALL_HEADERS at the start of a batch or transaction-manager request.
struct Headers {
    size_t length = 0;        // bytes taken by ALL_HEADERS, i.e. where the request proper starts
    uint64_t descriptor = 0;  // transaction descriptor header (type 2), 0 when absent
};
bool ParseAllHeaders(const Bytes& payload, Headers& headers);
// A request's headers at a level: ALL_HEADERS from 7.2 on, none before (the request starts at 0).
bool ParseRequestHeaders(const Bytes& payload, Level level, Headers& headers);

// A token stream under construction, in a level's formats.
class Tokens {
public:
    explicit Tokens(Level level = kLevel74) : level_(level) {}
    // Transaction ENVCHANGEs (8 begin, 9 commit, 10 rollback) exist from 7.2 on; below, none is sent.
    Tokens& EnvChangeTransaction(uint8_t type, const Bytes& newValue, const Bytes& oldValue);
    Tokens& EnvChangeText(uint8_t type, const std::string& newValue, const std::string& oldValue);
    Tokens& EnvChangeBytes(uint8_t type, const Bytes& newValue, const Bytes& oldValue);
    Tokens& Info(int32_t number, uint8_t state, const std::string& message);
    Tokens& Error(int32_t number, uint8_t state, uint8_t severity, const std::string& message);
    Tokens& LoginAck();
    Tokens& Done(uint16_t status, uint64_t rowCount = 0);
    const Bytes& bytes() const { return bytes_; }

private:
    Tokens& Message(uint8_t token, int32_t number, uint8_t state, uint8_t severity, const std::string& message);
    Level level_;
    Bytes bytes_;
};

Bytes DescriptorBytes(uint64_t descriptor);

}  // namespace tds
