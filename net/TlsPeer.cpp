// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TlsPeer.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

namespace velkard::net {

bool isIpAddress(const std::string& host) {
    in6_addr address;
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

bool expectPeerName(X509_VERIFY_PARAM* param, const std::string& host) {
    return (isIpAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                              : X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0)) == 1;
}

} // namespace velkard::net
