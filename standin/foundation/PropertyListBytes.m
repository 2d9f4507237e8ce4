// A property list's bytes made into Foundation objects: the size limit, then the form, as
// CoreFoundation tells it: "bplist00" starts a binary file (measured, then read here); text whose
// first character past white space is '<' is XML (its depth measured, then read by libplist); any
// other text is old-style, which cannot hold a dictionary at a '<' (that starts data), so nothing is
// lost by not trying it there. An empty file is no property list.
#import "PropertyListFile.h"

#import "PropertyListForms.h"
#import "PropertyListLimits.h"
#import "PropertyListObjects.h"
#import "PropertyListResult.h"

#include <plist/plist.h>
#include <stdbool.h>
#include <string.h>

static bool IsBinary(const uint8_t *bytes, size_t length) { return length >= 8 && memcmp(bytes, "bplist00", 8) == 0; }

static bool IsXML(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != ' ' && bytes[i] != '\t' && bytes[i] != '\r' && bytes[i] != '\n') return bytes[i] == '<';
  }
  return false;
}

static id FromXML(const uint8_t *bytes, size_t length, DWPropertyListReadResult *result) {
  bool wideUnsigned = false;
  DWPropertyListOutcome check = DWCheckXMLDepth(bytes, length, &wideUnsigned);
  if (result != NULL) result->wideUnsigned = wideUnsigned;
  if (check != DWPropertyListRead) {
    DWReportPropertyListOutcome(result, check);
    return nil;
  }
  plist_t root = NULL;
  plist_from_memory((const char *)bytes, (uint32_t)length, &root);
  id object = DWObjectFromPropertyListNode(root);
  plist_free(root);
  DWReportPropertyListOutcome(result, object != nil ? DWPropertyListRead : DWPropertyListMalformed);
  return object;
}

static id FromBinary(const uint8_t *bytes, size_t length, DWPropertyListReadResult *result) {
  bool wideUnsigned = false;
  DWPropertyListOutcome check = DWCheckBinaryGraph(bytes, length, &wideUnsigned);
  if (result != NULL) result->wideUnsigned = wideUnsigned;
  id object = check == DWPropertyListRead ? DWObjectFromBinaryPropertyList(bytes, length) : nil;
  if (check == DWPropertyListRead && object == nil) check = DWPropertyListMalformed;  // out of memory
  DWReportPropertyListOutcome(result, check);
  return object;
}

id DWPropertyListFromBytes(const void *bytes, size_t length, DWPropertyListReadResult *result) {
  if (length > DWPropertyListMaxBytes) {
    if (result != NULL) result->size = length;
    DWReportPropertyListOutcome(result, DWPropertyListTooLarge);
    return nil;
  }
  if (result != NULL) result->wideUnsigned = false;
  if (length == 0) {
    DWReportPropertyListOutcome(result, DWPropertyListMalformed);
    return nil;
  }
  if (IsBinary(bytes, length)) return FromBinary(bytes, length, result);
  if (IsXML(bytes, length)) return FromXML(bytes, length, result);
  id object = nil;
  DWReportPropertyListOutcome(result, DWReadOpenStepPropertyList(bytes, length, &object));
  return object;
}
