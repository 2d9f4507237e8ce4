// Property lists parsed by libplist, made into Foundation objects: the size limit, then the depth
// and expansion checks, then libplist, then the conversion.
#import "PropertyListFile.h"

#import "PropertyListLimits.h"
#import "PropertyListObjects.h"
#import "PropertyListResult.h"

#include <plist/plist.h>
#include <stdbool.h>

id DWPropertyListFromBytes(const void *bytes, size_t length, DWPropertyListReadResult *result) {
  if (length > DWPropertyListMaxBytes) {
    if (result != NULL) result->size = length;
    DWReportPropertyListOutcome(result, DWPropertyListTooLarge);
    return nil;
  }
  BOOL binary = plist_is_binary(bytes, (uint32_t)length) != 0;
  bool wideUnsigned = false;
  DWPropertyListOutcome check =
      binary ? DWCheckBinaryGraph(bytes, length, &wideUnsigned) : DWCheckXMLDepth(bytes, length, &wideUnsigned);
  if (result != NULL) result->wideUnsigned = wideUnsigned;
  if (check != DWPropertyListRead) {
    DWReportPropertyListOutcome(result, check);
    return nil;
  }
  plist_t root = NULL;
  if (length > 0) plist_from_memory(bytes, (uint32_t)length, &root);
  id object = DWObjectFromPropertyListNode(root);
  plist_free(root);
  DWReportPropertyListOutcome(result, object != nil ? DWPropertyListRead : DWPropertyListMalformed);
  return object;
}
