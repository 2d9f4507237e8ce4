// Filling in a caller's DWPropertyListReadResult, which may be NULL.
#pragma once

#import "PropertyListFile.h"

static inline void DWReportPropertyListOutcome(DWPropertyListReadResult *result, DWPropertyListOutcome outcome) {
  if (result != NULL) result->outcome = outcome;
}
