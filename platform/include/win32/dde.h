// Dynamic Data Exchange (DDEML), client side, with one server: "PROGMAN"
// (service and topic), the program groups of the desktop menu.
//
// On this platform Program Manager is the desktop menu as freedesktop.org
// defines it. A program group is a submenu: a menu file
// "<config>/menus/applications-merged/wardenline-<id>.menu" and a directory
// entry "<data>/desktop-directories/wardenline-<id>.directory"; its items are
// desktop entries "<data>/applications/wardenline-<id>-<item id>.desktop"
// that carry the group's category. <config> is the first directory of
// XDG_CONFIG_DIRS when set, else WARDENLINE_SYSTEM_PREFIX + "etc/xdg"; <data>
// the first of XDG_DATA_DIRS, else WARDENLINE_SYSTEM_PREFIX + "usr/share"
// (the prefix defaults to "/"). Ids are the name in lower-case letters and
// digits and a hash of the exact name. The group that [CreateGroup] or
// [ShowGroup] made active, which [AddItem] and [DeleteItem] act on, is kept
// in "<config>/menus/applications-merged/.wardenline-progman-active" until
// the group is deleted.
//
// XTYP_EXECUTE understands [CreateGroup(name)], [AddItem(command[,name,...])],
// [ShowGroup(name,n)], [DeleteItem(name)] and [DeleteGroup(name)], several in
// one string; names are compared without regard to case, arguments may be in
// double quotes. The whole string is parsed first: a malformed one (unknown
// command, bad brackets, a control character, a name over 255 bytes, data
// over 4096 bytes) is refused with DMLERR_NOTPROCESSED and nothing changes.
// A command that cannot be carried out (a group or item that does not exist,
// no active group, a file error) also gives DMLERR_NOTPROCESSED; commands
// before it in the string stay done. Each file is written whole (a temporary
// file renamed over it).
// Thread safety: one thread.
#pragma once

#include "win32/types.h"

typedef struct HCONV__* HCONV;
typedef struct HSZ__* HSZ;
typedef struct HDDEDATA__* HDDEDATA;
typedef struct tagCONVCONTEXT* PCONVCONTEXT;
typedef HDDEDATA(CALLBACK* PFNCALLBACK)(UINT wType, UINT wFmt, HCONV hConv, HSZ hsz1, HSZ hsz2,
                                        HDDEDATA hData, UINT_PTR dwData1, UINT_PTR dwData2);

#define APPCMD_CLIENTONLY 0x00000010u
#define CBF_FAIL_ALLSVRXACTIONS 0x0003f000u
#define CP_WINANSI 1004
#define XCLASS_FLAGS 0x4000u
#define XTYP_EXECUTE (0x0050u | XCLASS_FLAGS)
#define CF_TEXT 1u

#define DMLERR_NO_ERROR 0u
#define DMLERR_DLL_NOT_INITIALIZED 0x4003u
#define DMLERR_INVALIDPARAMETER 0x4006u
#define DMLERR_NOTPROCESSED 0x4009u
#define DMLERR_NO_CONV_ESTABLISHED 0x400au

WL_EXTERN_C_BEGIN
// Client-only instances; pidInst must hold 0. DMLERR_NO_ERROR or
// DMLERR_INVALIDPARAMETER.
WLAPI UINT DdeInitializeA(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD afCmd, DWORD ulRes);
WLAPI BOOL DdeUninitialize(DWORD idInst);
WLAPI HSZ DdeCreateStringHandleA(DWORD idInst, LPCSTR psz, int iCodePage);
WLAPI BOOL DdeFreeStringHandle(DWORD idInst, HSZ hsz);
// Only service "PROGMAN" with topic "PROGMAN" (any case) answers; otherwise
// null with DMLERR_NO_CONV_ESTABLISHED.
WLAPI HCONV DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic, PCONVCONTEXT pCC);
WLAPI BOOL DdeDisconnect(HCONV hConv);
WLAPI HDDEDATA DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff, HSZ hszItem,
                                   UINT wFmt, UINT afCmd);
WLAPI BOOL DdeFreeDataHandle(HDDEDATA hData);
// XTYP_EXECUTE only: pData is the command text (cbData bytes, up to a
// terminator), or a data handle with cbData (DWORD)-1, which the call frees.
// Returns (HDDEDATA)1 when every command was carried out, else null.
WLAPI HDDEDATA DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv, HSZ hszItem, UINT wFmt,
                                    UINT wType, DWORD dwTimeout, LPDWORD pdwResult);
WLAPI UINT DdeGetLastError(DWORD idInst);
WL_EXTERN_C_END
