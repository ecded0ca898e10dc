// libsmbclient, set up for an anonymous listing that reads and writes no file
// of Samba's and prints nothing.
#include "spooler/smb/smb_client.h"

#include <dlfcn.h>
#include <libsmbclient.h>

#include <cstdlib>
#include <memory>

namespace {

using SmbContext = std::unique_ptr<SMBCCTX, void (*)(SMBCCTX*)>;

// Closes whatever the context still has open (a directory, the connection
// to the server, which it logs off) and frees it.
void FreeSmbContext(SMBCCTX* context) { smbc_free_context(context, 1); }

// Anonymous: no user name, no password, whatever libsmbclient proposes.
void GiveNoCredentials(SMBCCTX*, const char*, const char*, char*, int,
                       char* user, int user_size, char* password,
                       int password_size) {
  if (user_size > 0) user[0] = '\0';
  if (password_size > 0) password[0] = '\0';
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
void ReadNoSambaConfiguration() {
  unsetenv("HOME");
  unsetenv("RANDFILE");
  using SetPath = const char* (*)(const char*);
  if (void* found = dlsym(RTLD_DEFAULT, "set_dyn_CONFIGFILE")) {
    reinterpret_cast<SetPath>(found)("/dev/null");
  }
}

}  // namespace

std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const std::string& address, int timeout_milliseconds) {
  ReadNoSambaConfiguration();
  SmbContext context(smbc_new_context(), &FreeSmbContext);
  if (!context) return std::nullopt;
  SMBCCTX* const smb = context.get();
  smbc_setDebug(smb, 0);
  smbc_setFunctionAuthDataWithContext(smb, &GiveNoCredentials);
  // Set, so that libsmbclient does not take the user name from $USER.
  smbc_setUser(smb, "");
  smbc_setOptionUseKerberos(smb, 0);
  smbc_setOptionFallbackAfterKerberos(smb, 0);
  smbc_setOptionUseCCache(smb, 0);
  // The session is anonymous already; no second, anonymous, try.
  smbc_setOptionNoAutoAnonymousLogin(smb, 1);
  // Port 445 only: with no port set, libsmbclient tries 139 (NetBIOS) first
  // for a listing, and then both.
  smbc_setPort(smb, 445);
  smbc_setTimeout(smb, timeout_milliseconds);
  if (smbc_init_context(smb) == nullptr) return std::nullopt;

  const std::string uri = "smb://" + address + "/";
  SMBCFILE* listing = smbc_getFunctionOpendir(smb)(smb, uri.c_str());
  if (listing == nullptr) return std::nullopt;
  SmbShareList shares;
  while (const smbc_dirent* entry =
             smbc_getFunctionReaddir(smb)(smb, listing)) {
    if (entry->smbc_type != SMBC_PRINTER_SHARE) continue;
    shares.emplace_back(entry->name,
                        entry->comment != nullptr ? entry->comment : "");
  }
  smbc_getFunctionClosedir(smb)(smb, listing);
  return shares;
}
