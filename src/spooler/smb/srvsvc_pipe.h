// The share list asked of the server service over its named pipe (IPC$
// \srvsvc), which libsmbclient has opened as a file: every name and comment
// whole, where libsmbclient's own listing keeps 255 bytes of each.
#ifndef QUELVARO_SPOOLER_SMB_SRVSVC_PIPE_H
#define QUELVARO_SPOOLER_SMB_SRVSVC_PIPE_H

#include <libsmbclient.h>

#include <optional>

#include "spooler/smb/smb_share_message.h"

// The pipe, and libsmbclient's functions that read and write it.
struct SmbPipe {
  SMBCCTX* context;
  SMBCFILE* file;
  smbc_read_fn read;
  smbc_write_fn write;
};

// The printer shares, in the server's order: a bind to srvsvc, then
// NetShareEnumAll until the server has listed all. None when the server
// refuses the bind or the call, answers anything else, or more than 64 MiB.
// Each read waits as long as the context's timeout lets it.
std::optional<SmbShareList> ListSharesOnPipe(const SmbPipe& pipe);

#endif  // QUELVARO_SPOOLER_SMB_SRVSVC_PIPE_H
