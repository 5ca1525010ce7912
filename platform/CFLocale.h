// The user's preferred languages.
#pragma once

#include "platform/CFArray.h"

// The languages named by LANGUAGE (a ':' list), else by the first set of
// LC_ALL, LC_MESSAGES and LANG, as strings in the "de-CH" form; codeset and
// modifier are dropped, and "C" and "POSIX" are left out. Null when no
// language is named.
CFArrayRef CFLocaleCopyPreferredLanguages();
