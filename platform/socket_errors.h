// Socket error numbers as scripts and sinks see them: the Winsock numbers on every
// platform, so that a script compares against one set of values.
#pragma once

namespace kit::platform {

constexpr int kWsaEwouldblock = 10035;
constexpr int kWsaEconnaborted = 10053;
constexpr int kWsaEconnreset = 10054;
constexpr int kWsaEtimedout = 10060;
constexpr int kWsaEconnrefused = 10061;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;

// The Winsock number for an errno value of a socket call. Values without a Winsock
// counterpart become WSAECONNABORTED (the connection is unusable).
int winsock_error_from_errno(int errno_value);

} // namespace kit::platform
