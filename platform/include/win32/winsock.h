// Winsock 1.1 with the IPX address family (the parts of winsock.h, wsipx.h and
// wsnwlink.h that the system uses). Linux has no IPX, so IPX datagrams travel
// inside UDP as RFC 1234 describes; see docs/platform/winsock.md.
//
// - One IPX host per process: its node number is two zero bytes followed by
//   the IPv4 address of "BindAddress", its network number
//   "VirtualNetworkNumber" (both under HKLM
//   "SYSTEM\CurrentControlSet\Services\NwlnkIpx\Parameters", read at the
//   first WSAStartup), its UDP port "UdpPort" (default 213).
// - A socket bound with bind() owns that UDP port on that address (so one
//   bound IPX socket per IPX host); a socket that only sends is bound
//   implicitly by its first sendto() to a dynamic IPX socket number and a
//   UDP port of the system's choosing.
// - Only SOCK_DGRAM sockets exist. Datagrams arriving with a bad header (short,
//   checksum other than FFFF, bad length), for another IPX socket number, or,
//   with IPX_FILTERPTYPE set, of another packet type are dropped unseen.
//
// Results follow Winsock: SOCKET_ERROR or INVALID_SOCKET on failure with the
// WSA error code in WSAGetLastError(); WSAStartup returns its error. Every
// function may be called from any thread; closesocket() wakes a thread blocked
// in recv() on that socket, which then fails with WSAEINTR.
//
// The socket functions have C++ linkage: their names are the C library's
// (socket, bind, select, ...) and must not replace them for the rest of the
// process. A file that includes this header must not include the system's
// socket headers; fd_set and the FD_* macros are Winsock's after it.
#pragma once

#include <sys/select.h>  // the C library's fd_set first, so that Winsock's replaces it below
#include <sys/time.h>    // struct timeval: the same members as Winsock's

#include "win32/types.h"

typedef UINT_PTR SOCKET;
typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_IPX 6
#define PF_IPX AF_IPX

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define SOCK_SEQPACKET 5

// Protocols of AF_IPX: NSPROTO_IPX + n sends packets of type n.
#define NSPROTO_IPX 1000
#define NSPROTO_SPX 1256
#define NSPROTO_SPXII 1257

#define SOL_SOCKET 0xFFFF
#define SO_BROADCAST 0x0020
#define SO_RCVBUF 0x1002

// IPX options (level NSPROTO_IPX), with an int or DWORD value.
#define IPX_PTYPE 0x4000
#define IPX_FILTERPTYPE 0x4001
#define IPX_STOPFILTERPTYPE 0x4003

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | (((WORD)((BYTE)(high))) << 8)))
#define LOBYTE(w) ((BYTE)((w)&0xFF))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xFF))

// Winsock error codes.
#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENOBUFS 10055
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
} WSADATA, *LPWSADATA;

struct sockaddr;  // only ever passed as a pointer to SOCKADDR_IPX

// An IPX address: network and node numbers and the socket number, all in
// network byte order. 14 bytes; functions accept any larger length.
typedef struct sockaddr_ipx {
  short sa_family;
  char sa_netnum[4];
  char sa_nodenum[6];
  unsigned short sa_socket;
} SOCKADDR_IPX, *PSOCKADDR_IPX, *LPSOCKADDR_IPX;

// Winsock's fd_set: a count and an array of sockets.
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ZERO
#undef FD_ISSET
#define FD_SETSIZE 64
#define fd_set wl_winsock_fd_set
typedef struct wl_winsock_fd_set {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
} wl_winsock_fd_set;

WLAPI int __WSAFDIsSet(SOCKET s, fd_set* set);

#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))
#define FD_SET(s, set)                                                \
  do {                                                                \
    fd_set* wl_set_ = (fd_set*)(set);                                 \
    u_int wl_i_;                                                      \
    for (wl_i_ = 0; wl_i_ < wl_set_->fd_count; ++wl_i_)               \
      if (wl_set_->fd_array[wl_i_] == (SOCKET)(s)) break;             \
    if (wl_i_ == wl_set_->fd_count && wl_set_->fd_count < FD_SETSIZE) \
      wl_set_->fd_array[wl_set_->fd_count++] = (SOCKET)(s);           \
  } while (0)
#define FD_CLR(s, set)                                                     \
  do {                                                                     \
    fd_set* wl_set_ = (fd_set*)(set);                                      \
    for (u_int wl_i_ = 0; wl_i_ < wl_set_->fd_count; ++wl_i_) {            \
      if (wl_set_->fd_array[wl_i_] == (SOCKET)(s)) {                       \
        wl_set_->fd_array[wl_i_] = wl_set_->fd_array[--wl_set_->fd_count]; \
        break;                                                             \
      }                                                                    \
    }                                                                      \
  } while (0)

WLAPI int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
WLAPI int WSACleanup();
WLAPI int WSAGetLastError();
WLAPI void WSASetLastError(int iError);

WLAPI SOCKET socket(int af, int type, int protocol);
// `name` is a SOCKADDR_IPX; its network and node numbers are not examined
// (there is one local IPX host); socket number 0 asks for a dynamic one.
WLAPI int bind(SOCKET s, const struct sockaddr* name, int namelen);
WLAPI int getsockname(SOCKET s, struct sockaddr* name, int* namelen);
WLAPI int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
WLAPI int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
// Readable sockets only are waited for (every socket is writable, none has
// exceptional data). A null timeout waits without end.
WLAPI int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                 const struct timeval* timeout);
// The data of the next datagram without its IPX header. A datagram longer than
// `len` fills the buffer and fails with WSAEMSGSIZE (the rest is lost).
WLAPI int recv(SOCKET s, char* buf, int len, int flags);
WLAPI int recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen);
// Node FFFFFFFFFFFF is the broadcast (IPv4 255.255.255.255); any other node
// must be two zero bytes and an IPv4 address, else WSAEADDRNOTAVAIL.
WLAPI int sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to,
                 int tolen);
WLAPI int closesocket(SOCKET s);

// Not Winsock: makes this process another IPX host than the registry says,
// for tools that play a remote host. A null or empty address keeps the
// registry's "BindAddress", port 0 its "UdpPort". Takes effect at the next
// WSAStartup that starts Winsock afresh; FALSE for an address that is not
// dotted IPv4.
WLAPI BOOL wl_SetIpxHost(const char* bindAddress, int udpPort);

WLAPI u_short htons(u_short hostshort);
WLAPI u_short ntohs(u_short netshort);
WLAPI DWORD htonl(DWORD hostlong);
WLAPI DWORD ntohl(DWORD netlong);
