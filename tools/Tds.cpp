#include "tools/Tds.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/types.h>

namespace tds {
namespace {

const char kServerName[] = "STANDIN";
const size_t kMaxMessage = 16u << 20;

bool ReadExactly(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = recv(fd, data, size, 0);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void Put16(Bytes& b, uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
void Put64(Bytes& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

void PutBVarChar(Bytes& b, const std::string& text) {
    Bytes u = Ucs2FromUtf8(text);
    b.push_back(static_cast<uint8_t>(u.size() / 2));
    b.insert(b.end(), u.begin(), u.end());
}

void PutUsVarChar(Bytes& b, const std::string& text) {
    Bytes u = Ucs2FromUtf8(text);
    Put16(b, static_cast<uint16_t>(u.size() / 2));
    b.insert(b.end(), u.begin(), u.end());
}

// Token with a 2-byte length that counts the bytes after itself.
void PutSized(Bytes& out, uint8_t token, const Bytes& body) {
    out.push_back(token);
    Put16(out, static_cast<uint16_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

bool ReadMessage(int fd, Message& message) {
    message.payload.clear();
    for (;;) {
        uint8_t header[8];
        if (!ReadExactly(fd, header, sizeof header)) return false;
        const size_t length = static_cast<size_t>(header[2] << 8 | header[3]);
        if (length < 8 || message.payload.size() + length > kMaxMessage) return false;
        message.type = header[0];
        const size_t old = message.payload.size();
        message.payload.resize(old + length - 8);
        if (!ReadExactly(fd, message.payload.data() + old, length - 8)) return false;
        if (header[1] & 0x01) return true;
    }
}

bool SendReply(int fd, const Bytes& payload, uint16_t spid, unsigned packetSize, bool endOfMessage) {
    const size_t chunk = packetSize - 8;
    size_t pos = 0;
    uint8_t packetId = 1;
    do {
        const size_t n = std::min(chunk, payload.size() - pos);
        const bool last = pos + n == payload.size();
        const size_t length = n + 8;
        Bytes packet = {Reply,
                        static_cast<uint8_t>(last && endOfMessage ? 0x01 : 0x00),
                        static_cast<uint8_t>(length >> 8),
                        static_cast<uint8_t>(length & 0xFF),
                        static_cast<uint8_t>(spid >> 8),
                        static_cast<uint8_t>(spid & 0xFF),
                        packetId++,
                        0};
        packet.insert(packet.end(), payload.begin() + pos, payload.begin() + pos + n);
        if (!WriteAll(fd, packet.data(), packet.size())) return false;
        pos += n;
    } while (pos < payload.size());
    return true;
}

std::string Utf8FromUcs2(const uint8_t* data, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = Get16(data + 2 * i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            uint32_t low = Get16(data + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    return out;
}

Bytes Ucs2FromUtf8(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = (c & 0x1F) << 6 | (text[i + 1] & 0x3F);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = (c & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            cp = (c & 0x07) << 18 | (text[i + 1] & 0x3F) << 12 | (text[i + 2] & 0x3F) << 6 | (text[i + 3] & 0x3F);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Put16(out, static_cast<uint16_t>(0xD800 + (cp >> 10)));
            Put16(out, static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            Put16(out, static_cast<uint16_t>(cp));
        }
    }
    return out;
}

std::string Hex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

Bytes PreLoginAnswer() {
    // Options VERSION (6 bytes at 11) and ENCRYPTION (1 byte at 17), terminator, then the data.
    return {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
            0x01, 0xFF, 0x10, 0x00, 0x0F, 0xA7, 0x00, 0x00, 0x02 /* ENCRYPT_NOT_SUP */};
}

Level LevelOf(uint32_t loginVersion) {
    const unsigned high = loginVersion >> 24;
    if (high < kLevel71) return 0;
    return static_cast<Level>(std::min<unsigned>(high, kLevel74));
}

std::string LevelName(Level level) { return std::to_string(level >> 4) + "." + std::to_string(level & 0x0F); }

bool ParseLogin7(const Bytes& p, LoginRequest& login) {
    // The fixed part: 86 bytes up to 7.1, 94 from 7.2 on (ChangePassword and cbSSPILong added).
    if (p.size() < 8) return false;
    login.tdsVersion = Get32(&p[4]);
    const size_t fixed = LevelOf(login.tdsVersion) >= kLevel72 ? 94 : 86;
    if (p.size() < fixed) return false;
    login.packetSize = Get32(&p[8]);
    auto field = [&](size_t at, Bytes& out) {
        const size_t offset = Get16(&p[at]), chars = Get16(&p[at + 2]);
        if (offset + 2 * chars > p.size()) return false;
        out.assign(p.begin() + offset, p.begin() + offset + 2 * chars);
        return true;
    };
    Bytes user, password, database;
    if (!field(40, user) || !field(44, password) || !field(68, database)) return false;
    for (uint8_t& b : password) {
        b ^= 0xA5;
        b = static_cast<uint8_t>((b << 4 | b >> 4) & 0xFF);
    }
    login.user = Utf8FromUcs2(user.data(), user.size() / 2);
    login.password = Utf8FromUcs2(password.data(), password.size() / 2);
    login.database = Utf8FromUcs2(database.data(), database.size() / 2);
    return true;
}

bool ParseAllHeaders(const Bytes& p, Headers& headers) {
    if (p.size() < 4) return false;
    const size_t total = Get32(&p[0]);
    if (total < 4 || total > p.size()) return false;
    headers = Headers{total, 0};
    for (size_t pos = 4; pos < total;) {
        if (pos + 6 > total) return false;
        const size_t length = Get32(&p[pos]);
        const uint16_t type = Get16(&p[pos + 4]);
        if (length < 6 || pos + length > total) return false;
        if (type == 2 && length >= 14) {
            uint64_t d = 0;
            for (int i = 7; i >= 0; --i) d = d << 8 | p[pos + 6 + i];
            headers.descriptor = d;
        }
        pos += length;
    }
    return true;
}

bool ParseRequestHeaders(const Bytes& p, Level level, Headers& headers) {
    if (level >= kLevel72) return ParseAllHeaders(p, headers);
    headers = Headers{};
    return true;
}

Bytes DescriptorBytes(uint64_t descriptor) {
    Bytes b;
    Put64(b, descriptor);
    return b;
}

Tokens& Tokens::EnvChangeText(uint8_t type, const std::string& newValue, const std::string& oldValue) {
    Bytes body = {type};
    PutBVarChar(body, newValue);
    PutBVarChar(body, oldValue);
    PutSized(bytes_, 0xE3, body);
    return *this;
}

Tokens& Tokens::EnvChangeBytes(uint8_t type, const Bytes& newValue, const Bytes& oldValue) {
    Bytes body = {type, static_cast<uint8_t>(newValue.size())};
    body.insert(body.end(), newValue.begin(), newValue.end());
    body.push_back(static_cast<uint8_t>(oldValue.size()));
    body.insert(body.end(), oldValue.begin(), oldValue.end());
    PutSized(bytes_, 0xE3, body);
    return *this;
}

Tokens& Tokens::EnvChangeTransaction(uint8_t type, const Bytes& newValue, const Bytes& oldValue) {
    return level_ >= kLevel72 ? EnvChangeBytes(type, newValue, oldValue) : *this;
}

Tokens& Tokens::Message(uint8_t token, int32_t number, uint8_t state, uint8_t severity, const std::string& message) {
    Bytes body;
    Put32(body, static_cast<uint32_t>(number));
    body.push_back(state);
    body.push_back(severity);
    PutUsVarChar(body, message);
    PutBVarChar(body, kServerName);
    PutBVarChar(body, "");  // procedure
    if (level_ >= kLevel72) {
        Put32(body, 1);  // line number
    } else {
        Put16(body, 1);
    }
    PutSized(bytes_, token, body);
    return *this;
}

Tokens& Tokens::Info(int32_t number, uint8_t state, const std::string& message) {
    return Message(0xAB, number, state, 0, message);
}

Tokens& Tokens::Error(int32_t number, uint8_t state, uint8_t severity, const std::string& message) {
    return Message(0xAA, number, state, severity, message);
}

Tokens& Tokens::LoginAck() {
    // The version in the opposite byte order to LOGIN7's: 7.1 71000001, 7.2 72090002,
    // 7.3 (B) 730B0003, 7.4 74000004.
    static const uint8_t kSecond[] = {0x00, 0x09, 0x0B, 0x00};
    const int i = level_ - kLevel71;
    Bytes body = {0x01 /* T-SQL */, level_, kSecond[i], 0x00, static_cast<uint8_t>(i + 1)};
    PutBVarChar(body, "SQL");
    body.insert(body.end(), {0x10, 0x00, 0x00, 0x00});  // program version 16.0.0.0
    PutSized(bytes_, 0xAD, body);
    return *this;
}

Tokens& Tokens::Done(uint16_t status, uint64_t rowCount) {
    bytes_.push_back(0xFD);
    Put16(bytes_, status);
    Put16(bytes_, 0);  // current command
    if (level_ >= kLevel72) {
        Put64(bytes_, rowCount);
    } else {
        Put32(bytes_, static_cast<uint32_t>(rowCount));
    }
    return *this;
}

}  // namespace tds
