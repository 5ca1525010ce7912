// Preference domains stored as XML property-list files, one per domain and
// store:
//   current user, any host:     ${XDG_CONFIG_HOME:-$HOME/.config}/Preferences/<domain>.plist
//   current user, current host:
//   ${XDG_CONFIG_HOME:-$HOME/.config}/Preferences/ByHost/<domain>.<hostid>.plist any user, any
//   host:         <first of ${XDG_CONFIG_DIRS:-/etc/xdg}>/Preferences/<domain>.plist any user,
//   current host:     <first of
//   ${XDG_CONFIG_DIRS:-/etc/xdg}>/Preferences/ByHost/<domain>.<hostid>.plist
// Set values wait in memory until the domain is synchronised; the write is
// atomic (a temporary file renamed over the old one). A file that cannot be
// read or parsed holds nothing for readers and is never overwritten; a store
// that is no regular file (a pipe, a link to a device) or is larger than
// platform::kLargestPlistFile counts as unreadable.
#pragma once

#include <string>

#include "platform/CFArray.h"
#include "platform/CFBase.h"
#include "platform/CFPropertyList.h"
#include "platform/CFString.h"

extern const CFStringRef kCFPreferencesCurrentUser;
extern const CFStringRef kCFPreferencesAnyUser;
extern const CFStringRef kCFPreferencesCurrentHost;
extern const CFStringRef kCFPreferencesAnyHost;

// Searches the domain's stores from the most specific: current user at the
// current host, current user at any host, any user at the current host, any
// user at any host.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef domain);
CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef domain, CFStringRef user,
                                         CFStringRef host);
// A null value removes the key.
void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef domain,
                           CFStringRef user, CFStringRef host);
// Writes the pending changes of that store; true when there were none or they
// were written.
bool CFPreferencesSynchronize(CFStringRef domain, CFStringRef user, CFStringRef host);
// The keys of that store; null when it holds no file or the file cannot be read.
CFArrayRef CFPreferencesCopyKeyList(CFStringRef domain, CFStringRef user, CFStringRef host);

namespace platform {
// The file that holds a store of `domain` (see above); empty for an unknown
// user or host value.
std::string preferencesFilePath(const std::string& domain, CFStringRef user, CFStringRef host);
} // namespace platform
