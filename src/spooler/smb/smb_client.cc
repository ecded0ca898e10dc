// libsmbclient, set up for an anonymous listing that reads and writes no file
// of Samba's and prints nothing.
#include "spooler/smb/smb_client.h"

#include <dlfcn.h>
#include <libsmbclient.h>

#include <cstdlib>
#include <memory>

namespace {

// libsmbclient is loaded here, in the process that lists, and nowhere else:
// with the hundred libraries of Samba it brings along, linking it would cost
// every run of the program some twenty milliseconds before its first line.
const char* const kLibrary = "libsmbclient.so.0";

// The function of that name in the library, with the type its header gives
// it; null when the library has none.
template <typename Function>
Function* Find(void* library, const char* name) {
  return reinterpret_cast<Function*>(dlsym(library, name));
}
#define QUELVARO_SMBC(name) Find<decltype(name)>(library, #name)

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
void ReadNoSambaConfiguration(void* library) {
  unsetenv("HOME");
  unsetenv("RANDFILE");
  using SetPath = const char*(const char*);
  if (SetPath* set = Find<SetPath>(library, "set_dyn_CONFIGFILE")) {
    set("/dev/null");
  }
}

}  // namespace

std::optional<SmbShareList> ListSmbPrinterSharesHere(
    const std::string& address, int timeout_milliseconds) {
  // Never closed: the process ends when the listing does.
  void* const library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  ReadNoSambaConfiguration(library);

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
  const auto get_opendir = QUELVARO_SMBC(smbc_getFunctionOpendir);
  const auto get_readdir = QUELVARO_SMBC(smbc_getFunctionReaddir);
  const auto get_closedir = QUELVARO_SMBC(smbc_getFunctionClosedir);
  if (!new_context || !free_context || !set_debug || !set_auth || !set_user ||
      !use_kerberos || !fall_back || !use_ccache || !no_anonymous ||
      !set_port || !set_timeout || !init_context || !get_opendir ||
      !get_readdir || !get_closedir) {
    return std::nullopt;
  }

  // Closes whatever the context still has open (a directory, the
  // connection to the server, which it logs off) and frees it.
  const auto free_all = [free_context](SMBCCTX* context) {
    free_context(context, 1);
  };
  std::unique_ptr<SMBCCTX, decltype(free_all)> context(new_context(), free_all);
  if (!context) return std::nullopt;
  SMBCCTX* const smb = context.get();
  set_debug(smb, 0);
  set_auth(smb, &GiveNoCredentials);
  // Set, so that libsmbclient does not take the user name from $USER.
  set_user(smb, "");
  use_kerberos(smb, 0);
  fall_back(smb, 0);
  use_ccache(smb, 0);
  // The session is anonymous already; no second, anonymous, try.
  no_anonymous(smb, 1);
  // Port 445 only: with no port set, libsmbclient tries 139 (NetBIOS) first
  // for a listing, and then both.
  set_port(smb, 445);
  set_timeout(smb, timeout_milliseconds);
  if (init_context(smb) == nullptr) return std::nullopt;

  const std::string uri = "smb://" + address + "/";
  SMBCFILE* listing = get_opendir(smb)(smb, uri.c_str());
  if (listing == nullptr) return std::nullopt;
  SmbShareList shares;
  while (const smbc_dirent* entry = get_readdir(smb)(smb, listing)) {
    if (entry->smbc_type != SMBC_PRINTER_SHARE) continue;
    shares.emplace_back(entry->name,
                        entry->comment != nullptr ? entry->comment : "");
  }
  get_closedir(smb)(smb, listing);
  return shares;
}
