// libsmbclient, set up for a listing with the user's Kerberos ticket or
// anonymously, that reads no file of Samba's, writes none but the user's
// credential cache, and prints nothing.
#include "spooler/smb/smb_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libsmbclient.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "spooler/run_failure.h"
#include "spooler/run_limits.h"
#include "spooler/smb/smb_connect_cut.h"
#include "spooler/smb/srvsvc_pipe.h"

namespace {

// libsmbclient is loaded here, in the process that lists, and nowhere else:
// with the hundred libraries of Samba it brings along, linking it would cost
// every run of the program some twenty milliseconds before its first line.
const char* const kLibrary = "libsmbclient.so.0";

// The user name of a Kerberos session. libsmbclient tries Kerberos only
// for a user that has a name, but the ticket says who the user is: this
// name is never sent (a Kerberos session setup carries the ticket's
// principal, an anonymous one no name at all).
const char* const kKerberosUser = "kerberos";

// The function of that name in the library, with the type its header gives
// it; null when the library has none.
template <typename Function>
Function* Find(void* library, const char* name) {
  return reinterpret_cast<Function*>(dlsym(library, name));
}
#define QUELVARO_SMBC(name) Find<decltype(name)>(library, #name)

// Writes text into a buffer of libsmbclient's of size bytes.
void Fill(char* buffer, int size, const char* text) {
  if (size <= 0) return;
  int i = 0;
  for (; i + 1 < size && text[i] != '\0'; ++i) buffer[i] = text[i];
  buffer[i] = '\0';
}

// Anonymous: no user name, no password, whatever libsmbclient proposes.
void GiveNoCredentials(SMBCCTX*, const char*, const char*, char*, int,
                       char* user, int user_size, char* password,
                       int password_size) {
  Fill(user, user_size, "");
  Fill(password, password_size, "");
}

// Kerberos: a user name and no password, whatever libsmbclient proposes.
void GiveKerberosCredentials(SMBCCTX*, const char*, const char*, char*, int,
                             char* user, int user_size, char* password,
                             int password_size) {
  Fill(user, user_size, kKerberosUser);
  Fill(password, password_size, "");
}

// libsmbclient reads its configuration when the first context is made, from
// $HOME/.smb/smb.conf, else the machine's smb.conf (and then
// $HOME/.smb/smb.conf.append), and smbc_setConfiguration only adds to what
// that left. So before that: no HOME, and the machine's file, as
// libsamba-util (loaded with libsmbclient) names it, is /dev/null, which
// leaves every setting at Samba's default. set_dyn_CONFIGFILE has no public
// header; without it the machine's file is read.
// Without HOME and RANDFILE the Kerberos library that comes with the session
// setup also leaves the user's files alone: it seeds its random numbers from
// $RANDFILE/.rnd or $HOME/.rnd and writes the file back; else it reads and
// writes /dev/urandom.
// And no password from the environment: Samba's guess at credentials
// (cli_credentials_guess, which each session setup makes before it takes
// the ones given) reads one from $PASSWD, $PASSWD_FD or $PASSWD_FILE.
void ReadNoSambaConfiguration(void* library) {
  unsetenv("HOME");
  unsetenv("RANDFILE");
  unsetenv("PASSWD");
  unsetenv("PASSWD_FD");
  unsetenv("PASSWD_FILE");
  using SetPath = const char*(const char*);
  if (SetPath* set = Find<SetPath>(library, "set_dyn_CONFIGFILE")) {
    set("/dev/null");
  }
}

// Settings over Samba's defaults, made once the configuration is read (they
// outlast any later reading of it). A server asked by name is looked up
// through the system's resolver alone: Samba's default order asks lmhosts,
// WINS and a NetBIOS broadcast first for a one-word name. Samba's lock
// directory, where every name looked up would be cached in gencache.tdb
// (created if need be, in ~/.cache/samba for a user who may not write the
// machine's), is no directory: the cache is not opened. And the lowest
// dialect negotiated (libsmbclient's negotiate offers dialects from "client
// min protocol" to "client max protocol", SMB3_11 by default): SMB 2.02, as
// by default, and so a negotiate in SMB2 alone; or NT1 (SMB1), and so an
// SMB1 negotiate that offers NT LM 0.12 beside SMB 2.002 and SMB 2.???, to
// which a server that speaks SMB2 answers in SMB2. lp_set_cmdline, of
// libsmbconf (loaded with libsmbclient), has no public header.
bool SetSambaSettings(void* library, bool smb1) {
  using SetParameter = bool(const char*, const char*);
  SetParameter* set = Find<SetParameter>(library, "lp_set_cmdline");
  return set != nullptr && set("name resolve order", "host") &&
         set("lock directory", "/dev/null") &&
         set("client min protocol", smb1 ? "NT1" : "SMB2_02");
}

// How an open of the pipe that failed ended. libsmbclient says it in errno,
// mapped from Samba's status: NT_STATUS_CONNECTION_REFUSED is ECONNREFUSED,
// a connection the server closed (NT_STATUS_CONNECTION_DISCONNECTED) is
// ECONNABORTED, one it reset (NT_STATUS_CONNECTION_RESET) ENETRESET.
SmbOutcome OutcomeOfOpen(bool cut, int error) {
  if (cut || error == ECONNREFUSED || error == EHOSTUNREACH ||
      error == ENETUNREACH) {
    return kSmbNotConnected;
  }
  if (error == ECONNABORTED || error == ENETRESET) return kSmbDropped;
  return kSmbRefused;
}

}  // namespace

void* LoadSmbClient() {
  void* const library = LoadSharedLibrary(kLibrary);
  if (library != nullptr) ReadNoSambaConfiguration(library);
  return library;
}

SmbAttempt ListSmbSharesOnce(void* library, const SmbWay& way, bool smb1,
                             bool kerberos, Deadline deadline) {
  const SmbAttempt refused = {std::nullopt, kSmbRefused};
  const auto new_context = QUELVARO_SMBC(smbc_new_context);
  const auto free_context = QUELVARO_SMBC(smbc_free_context);
  const auto set_debug = QUELVARO_SMBC(smbc_setDebug);
  const auto set_auth = QUELVARO_SMBC(smbc_setFunctionAuthDataWithContext);
  const auto set_user = QUELVARO_SMBC(smbc_setUser);
  const auto use_kerberos = QUELVARO_SMBC(smbc_setOptionUseKerberos);
  const auto fall_back = QUELVARO_SMBC(smbc_setOptionFallbackAfterKerberos);
  const auto use_ccache = QUELVARO_SMBC(smbc_setOptionUseCCache);
  const auto no_anonymous = QUELVARO_SMBC(smbc_setOptionNoAutoAnonymousLogin);
  const auto set_port = QUELVARO_SMBC(smbc_setPort);
  const auto set_timeout = QUELVARO_SMBC(smbc_setTimeout);
  const auto init_context = QUELVARO_SMBC(smbc_init_context);
  const auto get_open = QUELVARO_SMBC(smbc_getFunctionOpen);
  const auto get_read = QUELVARO_SMBC(smbc_getFunctionRead);
  const auto get_write = QUELVARO_SMBC(smbc_getFunctionWrite);
  const auto get_close = QUELVARO_SMBC(smbc_getFunctionClose);
  if (!new_context || !free_context || !set_debug || !set_auth || !set_user ||
      !use_kerberos || !fall_back || !use_ccache || !no_anonymous ||
      !set_port || !set_timeout || !init_context || !get_open || !get_read ||
      !get_write || !get_close) {
    return refused;
  }

  // Closes whatever the context still has open (the pipe, the connection to
  // the server, which it logs off) and frees it.
  const auto free_all = [free_context](SMBCCTX* context) {
    free_context(context, 1);
  };
  std::unique_ptr<SMBCCTX, decltype(free_all)> context(new_context(), free_all);
  if (!context || !SetSambaSettings(library, smb1)) return refused;
  SMBCCTX* const smb = context.get();
  set_debug(smb, 0);
  // Kerberos alone: the session setup offers no NTLM (and would refuse a
  // server that knows no other), with the ticket of the user's credential
  // cache, the one KRB5CCNAME names or else the default one. Not the NTLM
  // of winbind's cache of the user's credentials, which is all
  // smbc_setOptionUseCCache turns on (libsmbclient's default). No
  // anonymous session of libsmbclient's own after a Kerberos one failed:
  // Samba 4.17 sets one up on the same connection, later releases (4.22.9,
  // 4.23.6, 4.24) no longer do when Kerberos was required; the caller asks
  // anonymously itself. Set, the user name is not taken from $USER. Over
  // SMB1 the same: a server without SPNEGO gets no Kerberos session setup,
  // and Samba sets up no other when Kerberos is required.
  set_auth(smb, kerberos ? &GiveKerberosCredentials : &GiveNoCredentials);
  set_user(smb, kerberos ? kKerberosUser : "");
  use_kerberos(smb, kerberos ? 1 : 0);
  fall_back(smb, 0);
  use_ccache(smb, 0);
  no_anonymous(smb, 1);
  // The port of this way alone: with no port set, libsmbclient tries 139
  // (NetBIOS) first for IPC$, and then both at once.
  set_port(smb, static_cast<std::uint16_t>(way.port));
  set_timeout(smb, std::max(1, MillisecondsLeft(deadline)));
  if (init_context(smb) == nullptr) return refused;

  // The share list, through the server service's pipe: the connection,
  // the session and the tree connect to IPC$ that libsmbclient's own
  // listing makes, and the pipe it opens, with calls of the program's own.
  const std::string uri = "smb://" + way.host + "/IPC$/srvsvc";
  const int connect_bound = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kConnectBound)
          .count());
  const struct sigaction before =
      StartConnectCut(std::min(connect_bound, MillisecondsLeft(deadline)));
  SMBCFILE* const pipe = get_open(smb)(smb, uri.c_str(), O_RDWR, 0);
  const int error = errno;
  const bool cut = EndConnectCut(before);
  if (pipe == nullptr) return {std::nullopt, OutcomeOfOpen(cut, error)};
  SmbAttempt attempt = {
      ListSharesOnPipe({smb, pipe, get_read(smb), get_write(smb)}),
      kSmbListed};
  if (!attempt.shares) attempt.outcome = kSmbRefused;
  get_close(smb)(smb, pipe);
  return attempt;
}
