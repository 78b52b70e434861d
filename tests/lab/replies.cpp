#include "tests/lab/replies.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kLengthOffset = 4;

void Append16(Bytes *b, unsigned v) {
    b->push_back(static_cast<unsigned char>(v >> 8));
    b->push_back(static_cast<unsigned char>(v));
}

void AppendArray8(Bytes *b, const std::string &s) {
    Append16(b, static_cast<unsigned>(s.size()));
    b->insert(b->end(), s.begin(), s.end());
}

Bytes Message(unsigned opcode, const Bytes &body) {
    Bytes m;
    Append16(&m, 1);
    Append16(&m, opcode);
    Append16(&m, static_cast<unsigned>(body.size()));
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

} // namespace

Bytes WillingReply(const std::string &name, const std::string &status,
                   const std::string &authName) {
    Bytes body;
    AppendArray8(&body, authName);
    AppendArray8(&body, name);
    AppendArray8(&body, status);
    return Message(5, body);
}

Bytes UnwillingReply(const std::string &name, const std::string &status) {
    Bytes body;
    AppendArray8(&body, name);
    AppendArray8(&body, status);
    return Message(6, body);
}

Bytes DeclineReply(const std::string &status) {
    Bytes body;
    AppendArray8(&body, status);
    AppendArray8(&body, "");
    AppendArray8(&body, "");
    return Message(9, body);
}

std::vector<Bytes> NumberedReplies(int n, const char *nameFormat,
                                   const char *statusFormat) {
    std::vector<Bytes> replies;
    for (int i = 0; i < n; i++) {
        char name[64];
        char status[64];
        std::snprintf(name, sizeof(name), nameFormat, i);
        std::snprintf(status, sizeof(status), statusFormat, i);
        replies.push_back(WillingReply(name, status));
    }
    return replies;
}

Bytes SkewLength(Bytes m, int delta) {
    unsigned length = m[kLengthOffset] * 256u + m[kLengthOffset + 1] + delta;
    m[kLengthOffset] = static_cast<unsigned char>(length >> 8);
    m[kLengthOffset + 1] = static_cast<unsigned char>(length);
    return m;
}

Bytes ReadReport(int listenFd) {
    int c = accept(listenFd, nullptr, nullptr);
    Bytes all;
    unsigned char chunk[4096];
    ssize_t n;
    while ((n = read(c, chunk, sizeof(chunk))) > 0)
        all.insert(all.end(), chunk, chunk + n);
    close(c);
    return all;
}

std::string Hex(const Bytes &bytes) {
    std::string s;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof(two), "%02x", c);
        s += two;
    }
    return s;
}
