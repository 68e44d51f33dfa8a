// SPDX-License-Identifier: GPL-3.0-or-later
// What a peer's TLS certificate must name, for the DICOM and the HL7 connections alike.
#pragma once

#include <string>

typedef struct X509_VERIFY_PARAM_st X509_VERIFY_PARAM;

namespace velkard::net {

// Whether host is an IPv4 or IPv6 address rather than a name.
bool isIpAddress(const std::string& host);

// The certificate must carry the name or address the peer is reached by (an address among its
// IP entries, a name among its DNS names): one of the CA's certificates for another machine is
// not this peer. False when OpenSSL does not take it.
bool expectPeerName(X509_VERIFY_PARAM* param, const std::string& host);

} // namespace velkard::net
