// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Hl7.h"

#include "net/TlsPeer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velkard::net {

namespace {

constexpr char kStart = 0x0b, kEnd = 0x1c, kCr = 0x0d;

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::round(v));
    return buf;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const auto at = s.find(sep, start);
        out.push_back(s.substr(start, at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

class Socket {
public:
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

// Waits until fd is ready for `events` within the deadline; false on timeout.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc > 0)
            return true;
        if (rc < 0 && errno != EINTR)
            return false;
    }
}

// The connection to the receiver: the socket itself, or TLS over it. send and recv give the
// bytes moved, 0 when the socket is not ready (then `want` is the poll event to wait for), -1 on
// an error (said in `why`); recv gives -2 when the peer closed the connection.
class Channel {
public:
    explicit Channel(int fd) : fd_(fd) {}
    short want = POLLOUT;
    std::string why;

    // TLS with the peer's certificate checked against the CA file and the host name (or
    // address) it was reached by; this workstation's certificate when one is configured.
    Status startTls(const NetworkSettings& s, const std::string& host,
                    std::chrono::steady_clock::time_point deadline) {
        if (s.tlsCaFile.empty())
            return Status::failure(ErrorCode::InvalidArgument,
                                   "TLS to the HL7 receiver needs the CA file (tls.ca_file)");
        ctx_.reset(SSL_CTX_new(TLS_client_method()));
        if (!ctx_)
            return Status::failure(ErrorCode::IoError, "TLS is not available: " + sslError());
        SSL_CTX_set_min_proto_version(ctx_.get(), TLS1_2_VERSION);
        SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_PEER, nullptr);
        if (SSL_CTX_load_verify_locations(ctx_.get(), s.tlsCaFile.c_str(), nullptr) != 1)
            return Status::failure(ErrorCode::InvalidArgument,
                                   "Cannot read the CA file " + s.tlsCaFile + ": " + sslError());
        if (!s.tlsCertificateFile.empty()) {
            if (SSL_CTX_use_certificate_chain_file(ctx_.get(), s.tlsCertificateFile.c_str()) != 1 ||
                SSL_CTX_use_PrivateKey_file(ctx_.get(), s.tlsKeyFile.c_str(), SSL_FILETYPE_PEM) !=
                    1 ||
                SSL_CTX_check_private_key(ctx_.get()) != 1)
                return Status::failure(ErrorCode::InvalidArgument,
                                       "Cannot use the certificate " + s.tlsCertificateFile +
                                           " with the key " + s.tlsKeyFile + ": " + sslError());
        }
        ssl_.reset(SSL_new(ctx_.get()));
        if (!ssl_ || SSL_set_fd(ssl_.get(), fd_) != 1)
            return Status::failure(ErrorCode::IoError, "TLS is not available: " + sslError());
        // A name also goes out as SNI, for a receiver behind a name-based proxy.
        if ((!isIpAddress(host) && SSL_set_tlsext_host_name(ssl_.get(), host.c_str()) != 1) ||
            !expectPeerName(SSL_get0_param(ssl_.get()), host))
            return Status::failure(ErrorCode::IoError, "TLS is not available: " + sslError());
        while (true) {
            const int rc = SSL_connect(ssl_.get());
            if (rc == 1)
                return Status::success();
            const int e = SSL_get_error(ssl_.get(), rc);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
                if (!waitFor(fd_, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                    return Status::failure(ErrorCode::IoError, "no TLS handshake in time");
                continue;
            }
            const long verified = SSL_get_verify_result(ssl_.get());
            if (verified != X509_V_OK)
                // A certificate not to be trusted: no retry helps until the settings change.
                return Status::failure(ErrorCode::Failed,
                                       std::string("its certificate is not trusted: ") +
                                           X509_verify_cert_error_string(verified));
            return Status::failure(ErrorCode::IoError, "the TLS handshake failed: " + sslError());
        }
    }

    long send(const char* data, std::size_t n) {
        if (!ssl_) {
            const ssize_t k = ::send(fd_, data, n, MSG_NOSIGNAL);
            if (k >= 0)
                return k;
            want = POLLOUT;
            return errno == EAGAIN || errno == EINTR ? 0 : fail(std::strerror(errno));
        }
        const int k =
            SSL_write(ssl_.get(), data, static_cast<int>(std::min<std::size_t>(n, 1 << 20)));
        return k > 0 ? k : sslRetry(k);
    }

    long recv(char* data, std::size_t n) {
        if (!ssl_) {
            const ssize_t k = ::recv(fd_, data, n, 0);
            if (k > 0)
                return k;
            if (k == 0)
                return -2;
            want = POLLIN;
            return errno == EAGAIN || errno == EINTR ? 0 : fail(std::strerror(errno));
        }
        const int k = SSL_read(ssl_.get(), data, static_cast<int>(n));
        return k > 0 ? k : sslRetry(k);
    }

private:
    struct FreeCtx {
        void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
    };
    struct FreeSsl {
        void operator()(SSL* s) const { SSL_free(s); }
    };

    static std::string sslError() {
        const unsigned long e = ERR_get_error();
        ERR_clear_error();
        if (e == 0)
            return "no reason given";
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        return text;
    }
    long fail(std::string reason) {
        why = std::move(reason);
        return -1;
    }
    long sslRetry(int rc) {
        const int e = SSL_get_error(ssl_.get(), rc);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            want = e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
            return 0;
        }
        if (e == SSL_ERROR_ZERO_RETURN || (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0))
            return -2;
        return fail(sslError());
    }

    int fd_;
    std::unique_ptr<SSL_CTX, FreeCtx> ctx_;
    std::unique_ptr<SSL, FreeSsl> ssl_;
};

} // namespace

std::string hl7Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '|':
            out += "\\F\\";
            break;
        case '^':
            out += "\\S\\";
            break;
        case '~':
            out += "\\R\\";
            break;
        case '\\':
            out += "\\E\\";
            break;
        case '&':
            out += "\\T\\";
            break;
        case '\r':
        case '\n':
            out += ' ';
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = bytes[i] << 16;
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string buildOru(const NetworkSettings& settings, const Hl7Result& r) {
    const std::string status = r.confirmed ? "F" : "P";
    std::ostringstream m;
    m << "MSH|^~\\&|VELKARD|" << hl7Escape(settings.hl7Facility) << '|'
      << hl7Escape(settings.hl7ReceivingApplication) << '|'
      << hl7Escape(settings.hl7ReceivingFacility) << '|' << r.timestamp << "||ORU^R01^ORU_R01|"
      << hl7Escape(r.controlId) << "|P|2.5|||AL|NE||UNICODE UTF-8" << kCr;
    m << "PID|1||" << hl7Escape(r.patientId) << "^^^^MR||" << hl7Escape(r.familyName) << '^'
      << hl7Escape(r.givenName) << '^' << hl7Escape(r.middleName) << "||" << r.birthDate << '|'
      << r.sex << kCr;
    m << "OBR|1|" << hl7Escape(r.placerOrder) << '|' << hl7Escape(r.accessionNumber)
      << "|11524-6^EKG study^LN|||" << r.observedAt << std::string(18, '|') << status << kCr;
    int set = 0;
    for (const auto& n : r.numbers) {
        if (!n.value)
            continue;
        m << "OBX|" << ++set << "|NM|" << n.loinc << '^' << hl7Escape(n.name) << "^LN||"
          << number(*n.value) << '|' << n.unit << '^' << hl7Escape(n.unitName) << "^UCUM|||||"
          << status << kCr;
    }
    int sub = 0;
    for (const auto& s : r.statements)
        m << "OBX|" << ++set << "|TX|18844-1^EKG impression^LN|" << ++sub << '|' << hl7Escape(s)
          << "||||||" << status << kCr;
    if (!r.pdf.empty())
        m << "OBX|" << ++set << "|ED|18750-0^Cardiac electrophysiology report^LN|1|^AP^PDF^Base64^"
          << base64(r.pdf) << "||||||" << status << kCr;
    return m.str();
}

std::optional<Hl7Ack> parseAck(const std::string& message) {
    for (const std::string& segment : split(message, kCr)) {
        if (segment.rfind("MSA|", 0) != 0)
            continue;
        const auto fields = split(segment, '|');
        Hl7Ack ack;
        ack.code = fields.size() > 1 ? fields[1] : "";
        ack.controlId = fields.size() > 2 ? fields[2] : "";
        ack.text = fields.size() > 3 ? fields[3] : "";
        return ack;
    }
    return std::nullopt;
}

Status sendHl7(const NetworkSettings& settings, const std::string& message) {
    const Peer& peer = settings.hl7;
    if (!peer.configured())
        return Status::failure(ErrorCode::InvalidArgument, "No HL7 receiver is configured");
    const std::string where = peer.host + ":" + std::to_string(peer.port);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(settings.timeoutSeconds);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(peer.host.c_str(), std::to_string(peer.port).c_str(), &hints, &found) != 0)
        return Status::failure(ErrorCode::IoError, "Cannot find the HL7 receiver " + where);
    Socket sock;
    std::string why = "no address";
    for (addrinfo* a = found; a && sock.fd < 0; a = a->ai_next) {
        sock.fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (sock.fd < 0)
            continue;
        if (::connect(sock.fd, a->ai_addr, a->ai_addrlen) == 0)
            break;
        int err = errno;
        if (err == EINPROGRESS && waitFor(sock.fd, POLLOUT, deadline)) {
            socklen_t len = sizeof err;
            ::getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err == 0)
                break;
        } else if (err == EINPROGRESS) {
            err = ETIMEDOUT;
        }
        why = std::strerror(err);
        ::close(sock.fd);
        sock.fd = -1;
    }
    ::freeaddrinfo(found);
    if (sock.fd < 0)
        return Status::failure(ErrorCode::IoError,
                               "Cannot reach the HL7 receiver " + where + ": " + why);
    Channel channel(sock.fd);
    if (peer.tls)
        if (Status s = channel.startTls(settings, peer.host, deadline); !s)
            return Status::failure(s.code,
                                   "No TLS with the HL7 receiver " + where + ": " + s.message);
    const std::string framed = std::string(1, kStart) + message + kEnd + kCr;
    std::size_t done = 0;
    while (done < framed.size()) {
        const long n = channel.send(framed.data() + done, framed.size() - done);
        if (n < 0)
            return Status::failure(ErrorCode::IoError,
                                   "Sending to " + where + " failed: " + channel.why);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (!waitFor(sock.fd, channel.want, deadline))
            return Status::failure(ErrorCode::IoError,
                                   "The HL7 receiver " + where + " takes no more data");
    }
    std::string reply;
    while (true) {
        const auto end = reply.find(std::string(1, kEnd) + kCr);
        if (end != std::string::npos) {
            const auto start = reply.find(kStart);
            reply = reply.substr(start == std::string::npos ? 0 : start + 1,
                                 end - (start == std::string::npos ? 0 : start + 1));
            break;
        }
        char buf[4096];
        const long n = channel.recv(buf, sizeof buf);
        if (n == -2)
            return Status::failure(ErrorCode::IoError, "The HL7 receiver " + where +
                                                           " closed the connection unanswered");
        if (n < 0)
            return Status::failure(ErrorCode::IoError,
                                   "Reading from " + where + " failed: " + channel.why);
        if (n > 0)
            reply.append(buf, static_cast<std::size_t>(n));
        else if (!waitFor(sock.fd, channel.want, deadline))
            return Status::failure(ErrorCode::IoError,
                                   "No acknowledgement from the HL7 receiver " + where);
    }
    const auto ack = parseAck(reply);
    if (!ack)
        return Status::failure(ErrorCode::Failed,
                               "The HL7 receiver " + where + " answered without an MSA segment");
    // The control ID of the message sent is MSH-10.
    const auto msh = split(message.substr(0, message.find(kCr)), '|');
    const std::string controlId = msh.size() > 9 ? msh[9] : "";
    if (ack->controlId != controlId)
        return Status::failure(ErrorCode::Failed, "The HL7 receiver " + where +
                                                      " acknowledged another message (" +
                                                      ack->controlId + ")");
    if (!ack->accepted())
        return Status::failure(ErrorCode::Failed, "The HL7 receiver " + where + " answered " +
                                                      ack->code +
                                                      (ack->text.empty() ? "" : ": " + ack->text));
    return Status::success();
}

} // namespace velkard::net
