// libplist's nodes of an XML file as Foundation objects, each retained once and owned by its container.
#pragma once

#import "PropertyListFile.h"

#include <plist/plist.h>

// The object `node` stands for, retained (the caller releases it), or nil when it or anything in it
// has no Foundation form or nests deeper than the limit.
__attribute__((visibility("hidden"))) id DWObjectFromPropertyListNode(plist_t node);
