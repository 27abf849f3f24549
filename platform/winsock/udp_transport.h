// The UDP side of IPX sockets: thin wrappers over the system's sockets that
// report failures as Winsock error codes. Kept apart from the Winsock
// functions because the system's socket headers and winsock.h cannot meet in
// one file. Internal to the platform library; any thread. Addresses are IPv4
// in host byte order, 0 meaning every address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wl::udp {

// A datagram socket bound to address:port (port 0: the system chooses), with
// broadcasts allowed. Returns the descriptor, or -1 with *error set.
int Open(uint32_t address, uint16_t port, int* error);
// Wakes every thread blocked on the descriptor (it then sees no data).
void Shutdown(int fd);
void Close(int fd);

bool SendTo(int fd, uint32_t address, uint16_t port, const void* data, size_t size, int* error);
// One datagram into `buffer` (truncated to `size`); its full length in
// *length. `wait` false returns false with *error = WSAEWOULDBLOCK when none
// is queued.
bool Receive(int fd, void* buffer, size_t size, bool wait, size_t* length, int* error);
// Waits until one of the descriptors is readable; ready[i] tells which.
// timeoutMs < 0 waits without end. Returns the number ready, 0 on time-out,
// -1 with *error set.
int WaitReadable(const int* fds, bool* ready, size_t count, int timeoutMs, int* error);

// The local address the system would send from towards `address`; 0 when
// unknown.
uint32_t LocalAddressTowards(uint32_t address);
// Dotted IPv4 text; false on anything else.
bool ParseIPv4(const std::string& text, uint32_t* address);

}  // namespace wl::udp
