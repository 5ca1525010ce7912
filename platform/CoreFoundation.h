// The whole CoreFoundation-style object layer.
#pragma once

#include "platform/CFArray.h"
#include "platform/CFBase.h"
#include "platform/CFBundle.h"
#include "platform/CFData.h"
#include "platform/CFDictionary.h"
#include "platform/CFLocale.h"
#include "platform/CFNumber.h"
#include "platform/CFPreferences.h"
#include "platform/CFPropertyList.h"
#include "platform/CFString.h"
#include "platform/CFURL.h"
