/* Preloaded into Debian's obexftpd (written for OpenOBEX 1.5, linked with 1.7) so
 * that it serves as a test peer: several sessions in a row, SETPATH, multi-packet
 * PUTs. The server's own FTP logic stays untouched; this only restores what the
 * older library did around it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openobex/obex.h>

static obex_event_t server_event;
static char start_folder[PATH_MAX];
static int kept_listener = -1;
static int bound_socket = -1;

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int at_start_folder(void)
{
    char here[PATH_MAX];
    return getcwd(here, sizeof here) != NULL && strcmp(here, start_folder) == 0;
}

/* A name outside the current folder ("..", "a/b") is refused: the peer serves
 * nothing beyond its folder. *empty: the Name header is empty or missing. */
static int name_is_unsafe(obex_t* handle, obex_object_t* obj, int* empty)
{
    obex_headerdata_t hv;
    uint8_t hi;
    uint32_t len;
    int unsafe = 0;
    *empty = 1;
    while (OBEX_ObjectGetNextHeader(handle, obj, &hi, &hv, &len)) {
        if (hi != OBEX_HDR_NAME)
            continue;
        int dots = 0, units = 0;
        for (uint32_t i = 0; i + 1 < len; i += 2) {
            uint16_t unit = (uint16_t)(hv.bs[i] << 8 | hv.bs[i + 1]);
            if (unit == 0)
                break;
            ++units;
            if (unit == '/' || unit == '\\')
                unsafe = 1;
            dots += unit == '.';
        }
        if (units > 0)
            *empty = 0;
        if (units > 0 && dots == units && units <= 2)
            unsafe = 1;
    }
    OBEX_ObjectReParseHeaders(handle, obj);
    return unsafe;
}

static void setpath(obex_t* handle, obex_object_t* obj, int mode, int event, int cmd, int rsp)
{
    uint8_t* nonhdr = NULL;
    int parent = OBEX_ObjectGetNonHdrData(obj, &nonhdr) >= 1 && nonhdr != NULL && (nonhdr[0] & 1);
    int empty;
    if (name_is_unsafe(handle, obj, &empty)) {
        OBEX_ObjectSetRsp(obj, OBEX_RSP_FORBIDDEN, OBEX_RSP_FORBIDDEN);
        return;
    }
    if (parent) {
        if (at_start_folder() || chdir("..") != 0) {
            OBEX_ObjectSetRsp(obj, OBEX_RSP_NOT_FOUND, OBEX_RSP_NOT_FOUND);
            return;
        }
        OBEX_ObjectSetRsp(obj, OBEX_RSP_SUCCESS, OBEX_RSP_SUCCESS);
        /* The server takes an empty name for "to the root": a bare parent step ends here. */
        if (empty)
            return;
    }
    server_event(handle, obj, mode, event, cmd, rsp);
}

static void shim_event(obex_t* handle, obex_object_t* obj, int mode, int event, int cmd, int rsp)
{
    int empty;
    switch (event) {
    case OBEX_EV_REQHINT:
        /* The server's hint handler refuses SETPATH, which 1.7 (unlike 1.5) sends. */
        if (cmd == OBEX_CMD_SETPATH) {
            OBEX_ObjectSetRsp(obj, OBEX_RSP_CONTINUE, OBEX_RSP_SUCCESS);
            return;
        }
        break;
    case OBEX_EV_PROGRESS:
        /* Its progress handler walks the headers of a PUT and leaves the final
         * request without a body, which it then takes for a delete. */
        return;
    case OBEX_EV_REQ:
        if (cmd == OBEX_CMD_CONNECT && chdir(start_folder) != 0) {
            OBEX_ObjectSetRsp(obj, OBEX_RSP_INTERNAL_SERVER_ERROR, OBEX_RSP_INTERNAL_SERVER_ERROR);
            return;
        }
        if (cmd == OBEX_CMD_SETPATH) {
            setpath(handle, obj, mode, event, cmd, rsp);
            return;
        }
        if ((cmd == OBEX_CMD_GET || cmd == OBEX_CMD_PUT) && name_is_unsafe(handle, obj, &empty)) {
            OBEX_ObjectSetRsp(obj, OBEX_RSP_FORBIDDEN, OBEX_RSP_FORBIDDEN);
            return;
        }
        break;
    default:
        break;
    }
    server_event(handle, obj, mode, event, cmd, rsp);
}

/* The server makes a new handle for every session; each starts in the start folder. */
obex_t* OBEX_Init(int transport, obex_event_t eventcb, unsigned int flags)
{
    if (start_folder[0] == 0 && getcwd(start_folder, sizeof start_folder) == NULL)
        return NULL;
    if (chdir(start_folder) != 0)
        return NULL;
    server_event = eventcb;
    return REAL(OBEX_Init)(transport, shim_event, flags);
}

/* 1.7 reports a closed connection as recv() returning 0, which it takes for a
 * timeout and polls again forever; 1.5 saw a link error. */
ssize_t recv(int fd, void* buf, size_t len, int flags)
{
    ssize_t got = REAL(recv)(fd, buf, len, flags);
    if (got == 0 && len > 0) {
        errno = ECONNRESET;
        return -1;
    }
    return got;
}

/* 1.7 closes the listening socket when it accepts, and the server makes a new one
 * per session: a duplicate of the first serves every later one, so that clients
 * connecting meanwhile wait in its backlog instead of being refused. */
int bind(int fd, const struct sockaddr* addr, socklen_t len)
{
    if (kept_listener >= 0)
        return dup2(kept_listener, fd) == fd ? 0 : -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int result = REAL(bind)(fd, addr, len);
    if (result == 0)
        bound_socket = fd;
    return result;
}

int listen(int fd, int backlog)
{
    int result = REAL(listen)(fd, backlog);
    if (result == 0 && fd == bound_socket && kept_listener < 0)
        kept_listener = dup(fd);
    return result;
}

/* The server throttles for a second between sessions. */
unsigned int sleep(unsigned int seconds)
{
    (void)seconds;
    usleep(10000);
    return 0;
}
