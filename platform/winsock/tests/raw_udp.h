// Plain UDP sockets for the tests, to put arbitrary bytes on the wire and to
// see exactly what the IPX sockets send (kept apart from winsock.h, whose
// names the system's socket headers also use).
#pragma once

#include <cstdint>
#include <string>

namespace rawudp {

// A socket bound to 127.0.0.1 on a port of the system's choosing (*port), or
// on `wanted` when it is not 0. -1 on failure.
int Bind(uint16_t wanted, uint16_t* port);
void Send(int fd, uint16_t port, const std::string& bytes);
// One datagram, or "" after `timeoutMs`.
std::string Receive(int fd, int timeoutMs);
void Close(int fd);

}  // namespace rawudp
